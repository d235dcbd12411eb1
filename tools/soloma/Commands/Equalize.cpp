#include "CommandSupport.h"
#include "Commands.h"

#include <Varnik/Soloma/ImageProcessing.h>

namespace Varnik::Soloma::Cli {
namespace {

const char* const kDefaultOutput = "out/equalized.png";

CommandUsage EqualizeUsage() {
    return {"equalize",
            "[--input FILE] [--output FILE]",
            "Histogram-equalizes a 16-bit frame and writes the result with an 8-bit preview.",
            {InputOption(), OutputOption(kDefaultOutput)}};
}

}  // namespace

int RunEqualize(const std::vector<std::string>& args) {
    const CommandUsage usage = EqualizeUsage();
    Options options;
    InputFrame input;
    OutputFiles outputs;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode) ||
        !LoadInputAndPlanOutputs(options, kDefaultOutput, &input, &outputs, &exitCode)) {
        return exitCode;
    }

    const Gray16Image& source = input.image;
    Gray16Image result = source;
    ImageProcessing::HistogramEqualization equalization;
    const double milliseconds = TimeMilliseconds([&] {
        equalization.Create(source.pixels.data(), source.Step(), result.pixels.data(),
                            result.Step(), source.width, source.height);
    });
    return FinishImageCommand(input, outputs, result,
                              {"soloma equalize: histogram equalization",
                               {},
                               "HistogramEqualization::Create",
                               milliseconds});
}

}  // namespace Varnik::Soloma::Cli
