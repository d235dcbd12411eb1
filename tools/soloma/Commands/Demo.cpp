#include "ChainReport.h"
#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include "../SyntheticPlume.h"

#include <Varnik/Soloma/ImageProcessing/Palettes.h>

#include <cstdio>

namespace Varnik::Soloma::Cli {
namespace {

const char* const kCommand = "demo";
constexpr int kDefaultFrames = 60;
constexpr int kLargestFrames = 240;
constexpr int kLargestStep = 10;
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 512;
// The stabilizer needs more than 60 pixels each way to estimate a shift.
constexpr int kSmallestSide = 64;
constexpr int kLargestSide = 2048;
// A demo calibration: a linear table that puts the synthetic ground near 300 K, the sky near
// 275 K and the hot engine near 355 K.
constexpr int kKelvinLowSignal = 7000;
constexpr double kKelvinLow = 263.15;
constexpr int kKelvinHighSignal = 10000;
constexpr double kKelvinHigh = 373.15;

CommandUsage DemoUsage() {
    return {kCommand,
            "[--frames N] [--every K] [--size WxH] [--palette NAME] [--output DIR] [--docs FILE]",
            "Runs the library's whole chain on a built-in synthetic recording and shows what\n"
            "it gives: raw counts in; display pictures, the hottest object's temperatures and\n"
            "the gas overlays of both detectors out, with their timing on one thread and on\n"
            "all. The recording is a still scene with a warm vehicle driving across, sensor\n"
            "noise, a camera wandering by a few whole pixels and a gas plume leaking from a\n"
            "pipe; the generator knows the true camera moves and plume, so the report also\n"
            "says how well the stabilizer and the detectors found them. Writes the page\n"
            "DIR/index.html with a contact sheet, the pictures of every stage for three frames\n"
            "and every frame's overlays.",
            {{"frames", "N",
              "frames of the recording, 1.." + std::to_string(kLargestFrames) +
                  " (default: " + std::to_string(kDefaultFrames) + ")"},
             {"every", "K",
              "every K-th frame of the recording, as a slower camera would see it, 1..10 "
              "(default: 1)"},
             {"size", "WxH",
              "frame size, each side " + std::to_string(kSmallestSide) + ".." +
                  std::to_string(kLargestSide) + " (default: " + std::to_string(kDefaultWidth) +
                  "x" + std::to_string(kDefaultHeight) + ")"},
             {"palette", "NAME", "grey, iron or rainbow (default: iron)"},
             {"output", "DIR", "folder of the results (default: out)"},
             {"docs", "FILE", "also a small contact sheet there, e.g. docs/contact_sheet.png"}}};
}

int Refuse(const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\n", kCommand, message.c_str());
    return kExitUsage;
}

bool ParseSize(const std::string& text, int* width, int* height) {
    const std::vector<std::string> sides = SplitList(text, 'x');
    return sides.size() == 2 && ParseInteger(sides[0], kSmallestSide, kLargestSide, width) &&
           ParseInteger(sides[1], kSmallestSide, kLargestSide, height);
}

}  // namespace

int RunDemo(const std::vector<std::string>& args) {
    const CommandUsage usage = DemoUsage();
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    ChainJob job;
    job.started = std::chrono::steady_clock::now();
    int frames = kDefaultFrames;
    PlumeSequenceOptions recording;
    recording.width = kDefaultWidth;
    recording.height = kDefaultHeight;
    if (options.Has("frames") && !ParseInteger(options.Get("frames"), 1, kLargestFrames, &frames)) {
        return Refuse("--frames wants a whole number from 1 to " + std::to_string(kLargestFrames) +
                      ", not '" + options.Get("frames") + "'");
    }
    int every = 1;
    if (options.Has("every") && !ParseInteger(options.Get("every"), 1, kLargestStep, &every)) {
        return Refuse("--every wants a whole number from 1 to " + std::to_string(kLargestStep) +
                      ", not '" + options.Get("every") + "'");
    }
    if (options.Has("size") &&
        !ParseSize(options.Get("size"), &recording.width, &recording.height)) {
        return Refuse("--size wants WxH with each side from " + std::to_string(kSmallestSide) +
                      " to " + std::to_string(kLargestSide) + ", not '" + options.Get("size") +
                      "'");
    }
    if (options.Has("palette")) {
        job.settings.paletteName = options.Get("palette");
        if (!ImageProcessing::Palettes::FromName(job.settings.paletteName.c_str(),
                                                 &job.settings.palette)) {
            return Refuse("--palette wants grey, iron or rainbow, not '" +
                          job.settings.paletteName + "'");
        }
    }
    recording.frames = (frames - 1) * every + 1;
    job.settings.kelvin.Build(kKelvinLowSignal, kKelvinHighSignal, kKelvinLow, kKelvinHigh);
    job.output = options.Get("output", "out");
    job.docsPicture = options.Get("docs");

    // Every frame depends only on its index, so they are made side by side.
    const PlumeSequence sequence(recording);
    std::vector<PlumeFrame> made(frames);
    const double generation = TimeMilliseconds([&] {
#pragma omp parallel for schedule(dynamic)
        for (int i = 0; i < frames; ++i) {
            made[i] = sequence.Frame(i * every);
        }
    });
    for (int i = 0; i < frames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%03d", i * every);
        job.names.push_back(name);
        job.frames.push_back(std::move(made[i].frame));
        job.truth.push_back(
            {made[i].jitterX, made[i].jitterY, std::move(made[i].plumeMask), made[i].vehicle});
    }
    job.title = "soloma demo: the whole chain on a synthetic recording";
    job.source = "built-in synthetic recording (seed " + std::to_string(recording.seed) +
                 "): a gas leak, a warm vehicle driving across, camera jitter up to " +
                 std::to_string(recording.jitter) + " pixels";
    char took[64];
    std::snprintf(took, sizeof took, "%.2f s for %d frames", generation / 1000.0, frames);
    job.lines.push_back({"generated", took});
    if (every > 1) {
        job.lines.push_back({"sampled", "frames 0, " + std::to_string(every) + ", " +
                                            std::to_string(2 * every) + ", ... of " +
                                            std::to_string(recording.frames)});
    }
    return RunChainJob(job);
}

}  // namespace Varnik::Soloma::Cli
