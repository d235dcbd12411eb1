#include "ChainReport.h"
#include "CommandSupport.h"
#include "Commands.h"
#include "KelvinOption.h"
#include "NumberOptions.h"

#include "../Paths.h"

#include <Varnik/Soloma/ImageProcessing/Palettes.h>

#include <cstdio>
#include <filesystem>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;

const char* const kCommand = "pipeline";
const char* const kDefaultOutput = "out/pipeline";

CommandUsage PipelineUsage() {
    return {kCommand,
            "--sequence DIR [--reference first|previous|N] [--palette NAME] "
            "[--kelvin LOW:K0,HIGH:K1] [--output DIR]",
            "Runs the library's whole chain, as 'soloma demo' does, on every 16-bit grayscale\n"
            "PNG of a folder in name order: statistics and display limits, stabilisation\n"
            "against the reference, DDE, damped plateau equalization, palette colouring, both\n"
            "gas detectors' overlays, the hottest object by the magic wand and its statistics.\n"
            "Prints the timing and the statistics and writes the page DIR/index.html with a\n"
            "contact sheet, the pictures of every stage for three frames and every frame's\n"
            "overlays. Every frame is read and checked before anything is written.",
            {{"sequence", "DIR", "the frames: every *.png of DIR, 16-bit grayscale, one size"},
             {"reference", "WHICH", "first, previous or a frame index N from 0 (default: first)"},
             {"palette", "NAME", "grey, iron or rainbow (default: iron)"},
             KelvinOption(),
             {"output", "DIR",
              std::string("folder of the results (default: ") + kDefaultOutput + ")"}}};
}

// A mistake in what was asked for, or frames the chain cannot take: one line, exit code 2.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\n", kCommand, message.c_str());
    return kExitUsage;
}

bool ParseReference(const std::string& text, std::size_t frames, ReferenceChoice* choice,
                    std::string* error) {
    int index = 0;
    if (text == "previous") {
        choice->previous = true;
    } else if (text != "first") {
        if (!ParseInteger(text, 0, 2147483647, &index)) {
            *error = "--reference wants first, previous or a frame index, not '" + text + "'";
            return false;
        }
        if (static_cast<std::size_t>(index) >= frames) {
            *error = "--reference " + text + " is past the last frame; the folder has " +
                     std::to_string(frames) + " (indices from 0)";
            return false;
        }
        choice->index = static_cast<std::size_t>(index);
    }
    return true;
}

// Reads every frame and checks that the chain can take them all, before anything is written.
bool LoadFrames(const std::vector<fs::path>& files, ChainJob* job, std::string* error) {
    for (const fs::path& file : files) {
        Gray16Image frame;
        if (!ReadFrame(file.string(), &frame, error)) {
            return false;
        }
        if (!job->frames.empty() &&
            (frame.width != job->frames[0].width || frame.height != job->frames[0].height)) {
            *error = "'" + file.string() + "' is " + std::to_string(frame.width) + "x" +
                     std::to_string(frame.height) + ", '" + files[0].string() + "' " +
                     std::to_string(job->frames[0].width) + "x" +
                     std::to_string(job->frames[0].height) + "; frames must be the same size";
            return false;
        }
        job->frames.push_back(std::move(frame));
        job->names.push_back(file.stem().string());
    }
    const Gray16Image& first = job->frames[0];
    if (first.width < kChainMinimumSide || first.height < kChainMinimumSide) {
        *error = "the frames are " + std::to_string(first.width) + "x" +
                 std::to_string(first.height) + "; the chain needs " +
                 std::to_string(kChainMinimumSide) + " pixels or more each way";
        return false;
    }
    return true;
}

}  // namespace

int RunPipeline(const std::vector<std::string>& args) {
    const CommandUsage usage = PipelineUsage();
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    ChainJob job;
    job.started = std::chrono::steady_clock::now();
    if (!options.Has("sequence")) {
        return Refuse("--sequence DIR is required: the folder of frames to run the chain on");
    }
    if (options.Has("palette")) {
        job.settings.paletteName = options.Get("palette");
        if (!ImageProcessing::Palettes::FromName(job.settings.paletteName.c_str(),
                                                 &job.settings.palette)) {
            return Refuse("--palette wants grey, iron or rainbow, not '" +
                          job.settings.paletteName + "'");
        }
    }
    if (options.Has("kelvin") && !ParseKelvinTable(options.Get("kelvin"), &job.settings.kelvin)) {
        return Refuse("--kelvin '" + options.Get("kelvin") +
                      "' is not LOW:K0,HIGH:K1 with 0 <= LOW < HIGH <= 65535");
    }
    const std::string folder = options.Get("sequence");
    job.output = options.Get("output", kDefaultOutput);
    std::vector<fs::path> files;
    std::string error;
    if (!fs::is_directory(folder)) {
        return Refuse("no such folder '" + folder + "'");
    }
    if (!ListFrames(folder, &files, &error) ||
        !ParseReference(options.Get("reference", "first"), files.size(), &job.reference, &error) ||
        !LoadFrames(files, &job, &error)) {
        return Refuse(error);
    }
    // The results carry the frames' names, so they must not land among the frames.
    if (SameFile(folder, job.output.string())) {
        return ReportFailure("refusing to write the results into the input folder '" + folder +
                             "'");
    }
    job.title = "soloma pipeline: the whole chain on a folder of frames";
    job.source = "'" + folder + "'";
    return RunChainJob(job);
}

}  // namespace Varnik::Soloma::Cli
