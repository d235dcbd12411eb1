#pragma once

#include "../Image.h"
#include "../Options.h"

#include <chrono>
#include <filesystem>
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

// A value the command cannot use: "soloma <command>: <message>" and a pointer to the help on
// stderr. Returns kExitUsage.
int ReportBadValue(const std::string& command, const std::string& message);

// The frame a command works on.
struct InputFrame {
    Gray16Image image;
    std::string path;         // empty for the built-in frame
    std::string description;  // for the report, e.g. "built-in synthetic frame (seed 1)"
};

// A 16-bit grayscale PNG frame; false with a message when the file is missing or is not one.
bool ReadFrame(const std::string& path, Gray16Image* frame, std::string* error);

// The message for a frame whose size differs from the reference's.
std::string SizeMismatch(const std::string& path, const Gray16Image& frame, const Gray16Image& ref);

// A reference frame and a frame to compare with it, which must be the same size; false with
// a message otherwise.
bool ReadFramePair(const std::string& refPath, const std::string& framePath, Gray16Image* ref,
                   Gray16Image* frame, std::string* error);

// The pair named by --ref and --input, read as ReadFramePair reads it, with their paths and
// descriptions filled in.
bool ReadInputPair(const Options& options, InputFrame* ref, InputFrame* frame, std::string* error);

// The *.png files of a folder in name order; false with a message when the folder cannot be
// read or holds none.
bool ListFrames(const std::string& folder, std::vector<std::filesystem::path>* frames,
                std::string* error);

// The standard --input option, and loading what it names: a 16-bit grayscale PNG, or the
// built-in synthetic frame when absent.
OptionInfo InputOption();
bool LoadInputFrame(const Options& options, InputFrame* frame, std::string* error);

// The result of a command: a 16-bit frame and its 8-bit preview beside it.
struct OutputFiles {
    std::string frame;
    std::string preview;
};

// The standard --output option of a command that writes one frame.
OptionInfo OutputOption(const std::string& defaultOutput);

// Works out the output files for `output` and refuses any that would overwrite the input.
bool PlanOutputs(const std::string& output, const InputFrame& input, OutputFiles* files,
                 std::string* error);

// LoadInputFrame, then PlanOutputs for --output or, when absent, `defaultOutput`. On a failure
// has reported it and returns false with *exitCode set to kExitFailure.
bool LoadInputAndPlanOutputs(const Options& options, const std::string& defaultOutput,
                             InputFrame* input, OutputFiles* outputs, int* exitCode);

// Creates the output folder if missing and writes the frame and its preview.
bool WriteResult(const OutputFiles& files, const Gray16Image& result, std::string* error);

// Runs `work` once and returns how long it took, in milliseconds of the steady clock.
template <typename Work>
double TimeMilliseconds(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

// One aligned line of a command's report on stdout: "  label     text".
void PrintReportLine(const char* label, const std::string& text);

// The first lines of every report: its title, e.g. "soloma dde: detail enhancement", and the
// input.
void PrintReportHeader(const std::string& title, const InputFrame& input);

// "min 12, max 345".
std::string DescribeRange(const ValueRange& range);

struct ReportLine {
    const char* label;
    std::string text;
};

// What an image command tells about its run beyond what all of them report.
struct ImageReport {
    std::string title;
    std::vector<ReportLine> extraLines;  // the command's own, e.g. its settings
    std::string timedCall;               // what the time was spent in, e.g. "DDE::Create"
    double milliseconds = 0.0;
};

// The common end of a command that makes one frame: writes `result` and prints the report
// (header, size, the extra lines, input and output ranges, time, files written). Returns the
// exit code.
int FinishImageCommand(const InputFrame& input, const OutputFiles& outputs,
                       const Gray16Image& result, const ImageReport& report);

}  // namespace Varnik::Soloma::Cli
