#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>

namespace Varnik::Soloma::Cli {
namespace {

const char* const kDefaultOutput = "out/fastdde.png";
const float kDefaultGain = 2.0f;
// As for dde: beyond this the detail band swamps any frame.
const double kLargestGain = 100.0;

CommandUsage FastDdeUsage() {
    return {"fastdde",
            "[--input FILE] [--output FILE] [--detail-gain G]",
            "Enhances detail with box filters: halves the frame's contrast about the middle of "
            "its range and adds back G times (3x3 mean - 7x7 mean).",
            {InputOption(),
             OutputOption(kDefaultOutput),
             {"detail-gain", "G", "gain of the detail band, -100 to 100 (default: 2)"}}};
}

}  // namespace

int RunFastDde(const std::vector<std::string>& args) {
    const CommandUsage usage = FastDdeUsage();
    Options options;
    float gain = kDefaultGain;
    InputFrame input;
    OutputFiles outputs;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    if (!ReadNumberOption(usage.name, options, "detail-gain", -kLargestGain, kLargestGain, &gain)) {
        return kExitUsage;
    }
    if (!LoadInputAndPlanOutputs(options, kDefaultOutput, &input, &outputs, &exitCode)) {
        return exitCode;
    }

    Gray16Image source = input.image;  // Create takes a non-const source; it only reads it
    Gray16Image result = source;
    ImageProcessing::FastDDE dde;
    const double milliseconds = TimeMilliseconds([&] {
        dde.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(), gain,
                   source.width, source.height);
    });
    char gainText[32];
    std::snprintf(gainText, sizeof gainText, "%g", gain);
    return FinishImageCommand(input, outputs, result,
                              {"soloma fastdde: fast detail enhancement",
                               {{"detail gain", gainText}},
                               "FastDDE::Create (first call, with allocation)",
                               milliseconds});
}

}  // namespace Varnik::Soloma::Cli
