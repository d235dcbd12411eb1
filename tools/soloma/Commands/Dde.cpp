#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>

namespace Varnik::Soloma::Cli {
namespace {

const char* const kDefaultOutput = "out/dde.png";

// A 5x5 window with sigma 2 reaches just far enough for a frame's fine texture; the gains
// lift the detail twice over and sharpen the base a little, which keeps noise in check.
struct Settings {
    int kernelSize = 5;
    float sigma = 2.0f;
    float baseSharpen = 0.5f;
    float detailGain = 2.0f;
};

CommandUsage DdeUsage() {
    return {
        "dde",
        "[--input FILE] [--output FILE] [--kernel N] [--sigma S] [--base-sharpen B] "
        "[--detail-gain G]",
        "Enhances detail in a 16-bit frame (bilateral base/detail split) and writes the "
        "result\nwith an 8-bit preview.",
        {InputOption(),
         OutputOption(kDefaultOutput),
         {"kernel", "N", "window side, 1..99; an even N acts as N - 1 (default: 5)"},
         {"sigma", "S", "spatial Gaussian's sigma in pixels, 0.1..100 (default: 2)"},
         {"base-sharpen", "B", "sharpening of the base against its blur, -10..10 (default: 0.5)"},
         {"detail-gain", "G", "factor on the detail layer, -100..100 (default: 2)"}}};
}

// Reads the numeric options; on a mistake reports it and returns false.
bool ReadSettings(const std::string& command, const Options& options, Settings* settings) {
    return ReadIntegerOption(command, options, "kernel", 1, 99, &settings->kernelSize) &&
           ReadNumberOption(command, options, "sigma", 0.1, 100, &settings->sigma) &&
           ReadNumberOption(command, options, "base-sharpen", -10, 10, &settings->baseSharpen) &&
           ReadNumberOption(command, options, "detail-gain", -100, 100, &settings->detailGain);
}

std::string DescribeSettings(const Settings& settings) {
    char text[160];
    std::snprintf(text, sizeof text, "kernel %d, sigma %g, base sharpen %g, detail gain %g",
                  settings.kernelSize, settings.sigma, settings.baseSharpen, settings.detailGain);
    return text;
}

}  // namespace

int RunDde(const std::vector<std::string>& args) {
    const CommandUsage usage = DdeUsage();
    Options options;
    Settings settings;
    InputFrame input;
    OutputFiles outputs;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    if (!ReadSettings(usage.name, options, &settings)) {
        return kExitUsage;
    }
    if (!LoadInputAndPlanOutputs(options, kDefaultOutput, &input, &outputs, &exitCode)) {
        return exitCode;
    }

    const Gray16Image& source = input.image;
    Gray16Image result = source;
    ImageProcessing::DDE dde(settings.kernelSize, settings.sigma);
    const double milliseconds = TimeMilliseconds([&] {
        dde.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
                   settings.baseSharpen, settings.detailGain, source.width, source.height);
    });
    return FinishImageCommand(input, outputs, result,
                              {"soloma dde: detail enhancement",
                               {{"settings", DescribeSettings(settings)}},
                               "DDE::Create",
                               milliseconds});
}

}  // namespace Varnik::Soloma::Cli
