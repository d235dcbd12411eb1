#pragma once

#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

// A subcommand gets the words after its name and returns the process's exit code.
using CommandFunction = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* summary;
    CommandFunction run;
};

int RunEqualize(const std::vector<std::string>& args);
int RunPlateau(const std::vector<std::string>& args);
int RunDde(const std::vector<std::string>& args);
int RunFastDde(const std::vector<std::string>& args);
int RunStats(const std::vector<std::string>& args);
int RunLimits(const std::vector<std::string>& args);
int RunStabilize(const std::vector<std::string>& args);
int RunGas(const std::vector<std::string>& args);
int RunWand(const std::vector<std::string>& args);
int RunColour(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);
int RunPipeline(const std::vector<std::string>& args);

}  // namespace Varnik::Soloma::Cli
