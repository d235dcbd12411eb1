#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include "../Paths.h"
#include "../PngIo.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;

const char* const kDefaultOutput = "out/plateau.png";
const char* const kDefaultSequenceOutput = "out/plateau";
// A little of the identity keeps faint gradients in large flat areas visible.
const float kDefaultLinearPercent = 10.0f;
// The default plateau is four times the mean count of 4096 bins: width * height / 1024.
const int kPixelsPerPlateauCount = 1024;

CommandUsage PlateauUsage() {
    return {"plateau",
            "[--input FILE | --sequence DIR] [--output PATH] [--linear-percent P] "
            "[--plateau-limit N] [--window MIN,MAX] [--damping D]",
            "Plateau-equalizes a 16-bit frame, or the frames of a folder in name order through "
            "one\nprocessor so that damping acts, and writes each result with an 8-bit preview.",
            {InputOption(),
             {"sequence", "DIR", "every *.png of DIR in name order, instead of --input"},
             {"output", "PATH",
              std::string("result (default: ") + kDefaultOutput + "); with --sequence a folder (" +
                  kDefaultSequenceOutput + ")"},
             {"linear-percent", "P", "share of the identity mapping, 0..100 (default: 10)"},
             {"plateau-limit", "N",
              "largest count per bin (default: width * height / 1024, 4x the mean)"},
             {"window", "MIN,MAX", "histogram of raw MIN..MAX instead of the full range"},
             {"damping", "D", "weight of the previous histogram, 0..1 (default: 0.5)"}}};
}

struct Settings {
    float linearPercent = kDefaultLinearPercent;
    float plateauLimit = -1.0f;  // negative: from the frame size
    float damping = 0.5f;
    bool windowed = false;
    int rangeMin = 0;
    int rangeMax = 0;
};

bool ParseWindow(const std::string& text, Settings* settings) {
    const std::vector<std::string> ends = SplitList(text, ',');
    int lo = 0;
    int hi = 0;
    if (ends.size() != 2 || !ParseInteger(ends[0], 0, 65535, &lo) ||
        !ParseInteger(ends[1], 0, 65535, &hi) || lo > hi) {
        return false;
    }
    settings->windowed = true;
    settings->rangeMin = lo;
    settings->rangeMax = hi;
    return true;
}

// Reads the options that tune the processor; on a mistake reports it and returns false.
bool ReadSettings(const std::string& command, const Options& options, Settings* settings) {
    if (!ReadNumberOption(command, options, "linear-percent", 0, 100, &settings->linearPercent) ||
        !ReadNumberOption(command, options, "plateau-limit", 1, 2147483520,
                          &settings->plateauLimit) ||
        !ReadNumberOption(command, options, "damping", 0, 1, &settings->damping)) {
        return false;
    }
    if (options.Has("window") && !ParseWindow(options.Get("window"), settings)) {
        ReportBadValue(command,
                       "--window wants MIN,MAX: two whole numbers 0..65535 with MIN <= MAX");
        return false;
    }
    if (options.Has("input") && options.Has("sequence")) {
        ReportBadValue(command, "give either --input or --sequence, not both");
        return false;
    }
    return true;
}

// Runs one frame through the processor; returns the milliseconds taken.
double Process(ImageProcessing::PlateauEqualization& plateau, const Settings& settings,
               const Gray16Image& source, Gray16Image* result) {
    *result = source;
    const float limit = settings.plateauLimit >= 0.0f
                            ? settings.plateauLimit
                            : std::max(1.0f, static_cast<float>(source.width) * source.height /
                                                 kPixelsPerPlateauCount);
    return TimeMilliseconds([&] {
        if (settings.windowed) {
            plateau.Create(source.pixels.data(), source.Step(), result->pixels.data(),
                           result->Step(), source.width, source.height, settings.linearPercent,
                           limit, settings.rangeMin, settings.rangeMax);
        } else {
            plateau.Create(source.pixels.data(), source.Step(), result->pixels.data(),
                           result->Step(), source.width, source.height, settings.linearPercent,
                           limit);
        }
    });
}

// The compact "12..345" of the one-line-per-frame sequence report.
std::string DescribeRangeBriefly(const Gray16Image& image) {
    const ValueRange range = FindRange(image);
    return std::to_string(range.min) + ".." + std::to_string(range.max);
}

std::string DescribeSettings(const Settings& settings) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "linear %g %%, damping %g, ", settings.linearPercent,
                  settings.damping);
    return numbers + (settings.windowed ? "window " + std::to_string(settings.rangeMin) + ".." +
                                              std::to_string(settings.rangeMax)
                                        : std::string("full range"));
}

int RunSingle(const Options& options, const Settings& settings) {
    InputFrame input;
    OutputFiles outputs;
    int exitCode = kExitSuccess;
    if (!LoadInputAndPlanOutputs(options, kDefaultOutput, &input, &outputs, &exitCode)) {
        return exitCode;
    }
    ImageProcessing::PlateauEqualization plateau;
    plateau.SetDampingFactor(settings.damping);
    Gray16Image result;
    const double milliseconds = Process(plateau, settings, input.image, &result);
    return FinishImageCommand(input, outputs, result,
                              {"soloma plateau: plateau equalization",
                               {{"settings", DescribeSettings(settings)}},
                               "PlateauEqualization::Create",
                               milliseconds});
}

int RunSequence(const Options& options, const Settings& settings) {
    const std::string folder = options.Get("sequence");
    const fs::path outputFolder = options.Get("output", kDefaultSequenceOutput);
    std::vector<fs::path> frames;
    std::string error;
    if (!ListFrames(folder, &frames, &error)) {
        return ReportFailure(error);
    }
    // The results carry the frames' names, so they must not land in the frames' folder.
    if (SameFile(folder, outputFolder.string())) {
        return ReportFailure("refusing to write the results into the input folder '" + folder +
                             "'");
    }
    ImageProcessing::PlateauEqualization plateau;
    plateau.SetDampingFactor(settings.damping);
    std::printf("soloma plateau: %zu frames from '%s', %s\n", frames.size(), folder.c_str(),
                DescribeSettings(settings).c_str());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Gray16Image source;
        Gray16Image result;
        OutputFiles outputs{(outputFolder / frames[i].filename()).string(), ""};
        outputs.preview = PreviewPathFor(outputs.frame);
        if (!ReadGray16Png(frames[i].string(), &source, &error)) {
            return ReportFailure(error);
        }
        const double milliseconds = Process(plateau, settings, source, &result);
        if (!WriteResult(outputs, result, &error)) {
            return ReportFailure(error);
        }
        std::printf("  [%zu/%zu] %s  %dx%d  %s -> %s  %.3f ms  wrote %s\n", i + 1, frames.size(),
                    frames[i].filename().string().c_str(), source.width, source.height,
                    DescribeRangeBriefly(source).c_str(), DescribeRangeBriefly(result).c_str(),
                    milliseconds, outputs.frame.c_str());
    }
    return kExitSuccess;
}

}  // namespace

int RunPlateau(const std::vector<std::string>& args) {
    const CommandUsage usage = PlateauUsage();
    Options options;
    Settings settings;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    if (!ReadSettings(usage.name, options, &settings)) {
        return kExitUsage;
    }
    return options.Has("sequence") ? RunSequence(options, settings) : RunSingle(options, settings);
}

}  // namespace Varnik::Soloma::Cli
