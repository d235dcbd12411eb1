#include "CommandSupport.h"
#include "Commands.h"

#include "../Paths.h"
#include "../PngIo.h"
#include "../SyntheticFrame.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>
#include <filesystem>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;

const char* const kCommand = "stabilize";
const char* const kDefaultOutput = "out/stabilized.png";
const char* const kDefaultSequenceOutput = "out/stabilized";
// Without files the built-in frame is aligned with a copy of itself moved by this much, so
// that the estimate has something to find.
constexpr int kDemoMoveX = 5;
constexpr int kDemoMoveY = -3;

CommandUsage StabilizeUsage() {
    return {kCommand,
            "[--ref FILE --input FILE | --sequence DIR] [--output PATH]",
            "Estimates the whole-pixel shift (up to 20 pixels each way) between a frame and a\n"
            "reference frame from their edges, and writes the frame moved to line up with the\n"
            "reference; the strip the move uncovers keeps the frame's own pixels. With\n"
            "--sequence, every frame of the folder is aligned with its first. Without files,\n"
            "the built-in frame is aligned with a copy of itself moved by (5, -3).",
            {{"ref", "FILE", "reference frame, a 16-bit grayscale PNG"},
             {"input", "FILE", "frame to align with the reference, the same size"},
             {"sequence", "DIR", "every *.png of DIR in name order, aligned with the first"},
             {"output", "PATH",
              std::string("aligned frame (default: ") + kDefaultOutput +
                  "); with --sequence a folder (" + kDefaultSequenceOutput + ")"}}};
}

// A mistake in what was asked for: one line on stderr, exit code 2.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\n", kCommand, message.c_str());
    return kExitUsage;
}

struct Alignment {
    Gray16Image aligned;
    int dx = 0;
    int dy = 0;
    double milliseconds = 0.0;
};

// The 16-bit estimate reports the move that brings the frame onto the reference. The output
// starts as the frame itself, so the uncovered strip keeps the frame's pixels.
Alignment Align(ImageProcessing::ImageStabilization& stabilization, const Gray16Image& ref,
                const Gray16Image& frame) {
    Alignment result;
    result.aligned = frame;
    result.milliseconds = TimeMilliseconds([&] {
        stabilization.Run(ref.pixels.data(), ref.Step(), frame.pixels.data(), frame.Step(),
                          result.aligned.pixels.data(), result.aligned.Step(), frame.width,
                          frame.height);
    });
    result.dx = stabilization.GetDx();
    result.dy = stabilization.GetDy();
    return result;
}

// The reference and the frame to align: two files, or the built-in frame and a moved copy.
bool LoadPair(const Options& options, InputFrame* ref, InputFrame* frame, int* exitCode) {
    std::string error;
    if (options.Has("ref") != options.Has("input")) {
        *exitCode = Refuse("give both --ref and --input, or neither");
        return false;
    }
    if (!options.Has("ref")) {
        ref->image = MakeSyntheticFrame();
        ref->description = "built-in synthetic frame (seed " + std::to_string(kSyntheticSeed) + ")";
        frame->image = ref->image;
        ImageProcessing::GeometricTransforms::Resize_16u_C1(
            ref->image.pixels.data(), ref->image.Step(), ref->image.width, ref->image.height,
            frame->image.pixels.data(), frame->image.Step(), frame->image.width,
            frame->image.height, 1.0f, kDemoMoveX, kDemoMoveY, false);
        frame->description = "the same frame with its content moved by (" +
                             std::to_string(kDemoMoveX) + ", " + std::to_string(kDemoMoveY) + ")";
        return true;
    }
    if (!ReadInputPair(options, ref, frame, &error)) {
        *exitCode = Refuse(error);
        return false;
    }
    return true;
}

std::string DescribeShift(int dx, int dy) {
    char text[96];
    std::snprintf(text, sizeof text, "dx %d, dy %d (the frame was moved by this)", dx, dy);
    return text;
}

int RunPair(const Options& options) {
    InputFrame ref;
    InputFrame frame;
    int exitCode = kExitSuccess;
    if (!LoadPair(options, &ref, &frame, &exitCode)) {
        return exitCode;
    }
    OutputFiles outputs;
    std::string error;
    if (!PlanOutputs(options.Get("output", kDefaultOutput), frame, &outputs, &error) ||
        !PlanOutputs(outputs.frame, ref, &outputs, &error)) {
        return ReportFailure(error);
    }
    ImageProcessing::ImageStabilization stabilization;
    const Alignment alignment = Align(stabilization, ref.image, frame.image);
    return FinishImageCommand(
        frame, outputs, alignment.aligned,
        {"soloma stabilize: whole-pixel alignment with a reference",
         {{"reference", ref.description}, {"shift", DescribeShift(alignment.dx, alignment.dy)}},
         "ImageStabilization::Run (first call, with allocation)",
         alignment.milliseconds});
}

int RunSequence(const Options& options) {
    const std::string folder = options.Get("sequence");
    const fs::path outputFolder = options.Get("output", kDefaultSequenceOutput);
    std::vector<fs::path> frames;
    std::string error;
    if (!fs::is_directory(folder)) {
        return Refuse("no such folder '" + folder + "'");
    }
    if (!ListFrames(folder, &frames, &error)) {
        return Refuse(error);
    }
    // The results carry the frames' names, so they must not land in the frames' folder.
    if (SameFile(folder, outputFolder.string())) {
        return ReportFailure("refusing to write the results into the input folder '" + folder +
                             "'");
    }
    Gray16Image ref;
    if (!ReadFrame(frames[0].string(), &ref, &error)) {
        return Refuse(error);
    }
    std::printf("soloma stabilize: %zu frames from '%s', aligned with %s\n", frames.size(),
                folder.c_str(), frames[0].filename().string().c_str());
    ImageProcessing::ImageStabilization stabilization;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Gray16Image frame;
        if (!ReadFrame(frames[i].string(), &frame, &error)) {
            return Refuse(error);
        }
        if (frame.width != ref.width || frame.height != ref.height) {
            return Refuse(SizeMismatch(frames[i].string(), frame, ref));
        }
        const Alignment alignment = Align(stabilization, ref, frame);
        OutputFiles outputs{(outputFolder / frames[i].filename()).string(), ""};
        outputs.preview = PreviewPathFor(outputs.frame);
        if (!WriteResult(outputs, alignment.aligned, &error)) {
            return ReportFailure(error);
        }
        std::printf("  [%zu/%zu] %s  dx %d  dy %d  %.3f ms  wrote %s\n", i + 1, frames.size(),
                    frames[i].filename().string().c_str(), alignment.dx, alignment.dy,
                    alignment.milliseconds, outputs.frame.c_str());
    }
    return kExitSuccess;
}

}  // namespace

int RunStabilize(const std::vector<std::string>& args) {
    const CommandUsage usage = StabilizeUsage();
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    if (options.Has("sequence") && (options.Has("ref") || options.Has("input"))) {
        return Refuse("give either --ref and --input, or --sequence, not both");
    }
    return options.Has("sequence") ? RunSequence(options) : RunPair(options);
}

}  // namespace Varnik::Soloma::Cli
