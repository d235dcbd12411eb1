#pragma once

#include <map>
#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

// One option a subcommand accepts, written --name on the command line.
struct OptionInfo {
    std::string name;       // without the dashes
    std::string valueName;  // shown in the usage; empty for a flag, which takes no value
    std::string help;
};

// The options given to one subcommand: "--name value", "--name=value" and bare "--name" flags.
// "--help" and "-h" are always accepted, as the flag "help".
class Options {
public:
    // Returns false with a one-line message for an unknown option, a missing or unwanted
    // value, an option given twice, or a word that is not an option. A value may not begin
    // with "--", so that "--input --output x" is caught rather than reading a file
    // called "--output".
    bool Parse(const std::vector<OptionInfo>& known, const std::vector<std::string>& args,
               std::string* error);

    bool Has(const std::string& name) const;
    std::string Get(const std::string& name, const std::string& fallback = "") const;

private:
    std::map<std::string, std::string> _values;
};

// The options as usage lines, "  --name VALUE   help" aligned, ending with --help.
std::string FormatOptions(std::vector<OptionInfo> known);

}  // namespace Varnik::Soloma::Cli
