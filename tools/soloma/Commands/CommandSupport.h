#pragma once

#include "../Image.h"
#include "../Options.h"

#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the job could not be done: unreadable input, unwritable output
constexpr int kExitUsage = 2;    // the command line itself was wrong

// What a subcommand shows for --help and after a mistake on its command line.
struct CommandUsage {
    std::string name;      // e.g. "equalize"
    std::string synopsis;  // the words after the name, e.g. "[--input FILE] [--output FILE]"
    std::string summary;   // one line on what it does
    std::vector<OptionInfo> options;
};

// The full help on stdout.
void PrintUsage(const CommandUsage& usage);

// Parses a subcommand's arguments. Returns true when the command should go on; otherwise it
// has printed the help or the mistake with the usage, and *exitCode says how to leave.
bool ParseCommandLine(const CommandUsage& usage, const std::vector<std::string>& args,
                      Options* options, int* exitCode);

// Prints "soloma: <message>" as one line on stderr and returns kExitFailure.
int ReportFailure(const std::string& message);

// The frame a command works on.
struct InputFrame {
    Gray16Image image;
    std::string path;         // empty for the built-in frame
    std::string description;  // for the report, e.g. "built-in synthetic frame (seed 1)"
};

// The standard --input option, and loading what it names: a 16-bit grayscale PNG, or the
// built-in synthetic frame when absent.
OptionInfo InputOption();
bool LoadInputFrame(const Options& options, InputFrame* frame, std::string* error);

// The result of a command: a 16-bit frame and its 8-bit preview beside it.
struct OutputFiles {
    std::string frame;
    std::string preview;
};

// Works out the output files for `output` and refuses any that would overwrite the input.
bool PlanOutputs(const std::string& output, const InputFrame& input, OutputFiles* files,
                 std::string* error);

// Creates the output folder if missing and writes the frame and its preview.
bool WriteResult(const OutputFiles& files, const Gray16Image& result, std::string* error);

// One aligned line of a command's report on stdout: "  label     text".
void PrintReportLine(const char* label, const std::string& text);

}  // namespace Varnik::Soloma::Cli
