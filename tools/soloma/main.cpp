// soloma: runs the image-processing library's algorithms on 16-bit thermal frames from the
// command line. Each subcommand lives in Commands/ and is listed once in the table below.

#include "Commands/CommandSupport.h"
#include "Commands/Commands.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

using namespace Varnik::Soloma::Cli;

const Command kCommands[] = {
    {"demo", "the whole chain on a built-in synthetic recording, with a page of results", RunDemo},
    {"pipeline", "the whole chain on a folder of frames, with a page of results", RunPipeline},
    {"equalize", "histogram equalization of a 16-bit frame", RunEqualize},
    {"plateau", "plateau histogram equalization, of a frame or a sequence", RunPlateau},
    {"dde", "detail enhancement by a bilateral base/detail split", RunDde},
    {"fastdde", "fast detail enhancement with box filters", RunFastDde},
    {"stats", "statistics of a region, in counts or kelvin", RunStats},
    {"limits", "display limits of a region from its histogram", RunLimits},
    {"stabilize", "whole-pixel alignment of a frame, or a sequence, with a reference",
     RunStabilize},
    {"gas", "gas detection against a reference frame, as a tinted colour overlay", RunGas},
    {"wand", "magic-wand selection of a region into a mask", RunWand},
    {"colour", "a frame coloured by a built-in palette, optionally blended", RunColour},
    {"convert", "conversion between RGB, RGBA and YUV 4:2:2 raw images", RunConvert},
};

void PrintCommands(bool toErrorStream) {
    std::FILE* stream = toErrorStream ? stderr : stdout;
    std::fprintf(stream, "usage: soloma <command> [options]\n\ncommands:\n");
    for (const Command& command : kCommands) {
        std::fprintf(stream, "  %-12s %s\n", command.name, command.summary);
    }
    std::fprintf(stream, "  %-12s %s\n", "help", "list the commands, or show one's options");
    std::fprintf(stream, "\nRun 'soloma <command> --help' for a command's options.\n");
}

int RunCommand(const std::string& name, const std::vector<std::string>& args) {
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return command.run(args);
        }
    }
    std::fprintf(stderr, "soloma: unknown command '%s'\n", name.c_str());
    PrintCommands(true);
    return kExitUsage;
}

int Run(const std::vector<std::string>& words) {
    if (words.empty()) {
        PrintCommands(true);
        return kExitUsage;
    }
    const std::string& name = words[0];
    if (name == "help" || name == "--help" || name == "-h") {
        if (words.size() == 1) {
            PrintCommands(false);
            return kExitSuccess;
        }
        // "soloma help equalize" is the same as "soloma equalize --help".
        return RunCommand(words[1], {"--help"});
    }
    return RunCommand(name, std::vector<std::string>(words.begin() + 1, words.end()));
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& failure) {
        // Chiefly std::bad_alloc for an absurdly large input.
        return ReportFailure(failure.what());
    }
}
