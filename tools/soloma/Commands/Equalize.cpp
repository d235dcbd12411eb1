#include "CommandSupport.h"
#include "Commands.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <chrono>
#include <cstdio>

namespace Varnik::Soloma::Cli {
namespace {

const char* const kDefaultOutput = "out/equalized.png";

CommandUsage EqualizeUsage() {
    return {"equalize",
            "[--input FILE] [--output FILE]",
            "Histogram-equalizes a 16-bit frame and writes the result with an 8-bit preview.",
            {InputOption(),
             {"output", "FILE",
              std::string("16-bit result (default: ") + kDefaultOutput +
                  "), with <stem>_preview.png beside it"}}};
}

std::string DescribeRange(const ValueRange& range) {
    return "min " + std::to_string(range.min) + ", max " + std::to_string(range.max);
}

}  // namespace

int RunEqualize(const std::vector<std::string>& args) {
    const CommandUsage usage = EqualizeUsage();
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    InputFrame input;
    OutputFiles outputs;
    std::string error;
    if (!LoadInputFrame(options, &input, &error) ||
        !PlanOutputs(options.Get("output", kDefaultOutput), input, &outputs, &error)) {
        return ReportFailure(error);
    }

    const Gray16Image& source = input.image;
    Gray16Image result = source;
    ImageProcessing::HistogramEqualization equalization;
    const auto start = std::chrono::steady_clock::now();
    equalization.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
                        source.width, source.height);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;

    if (!WriteResult(outputs, result, &error)) {
        return ReportFailure(error);
    }
    char milliseconds[64];
    std::snprintf(milliseconds, sizeof milliseconds, "%.3f ms in HistogramEqualization::Create",
                  elapsed.count());
    std::printf("soloma equalize: histogram equalization\n");
    PrintReportLine("input", input.description);
    PrintReportLine("size", std::to_string(source.width) + " x " + std::to_string(source.height));
    PrintReportLine("input range", DescribeRange(FindRange(source)));
    PrintReportLine("output range", DescribeRange(FindRange(result)));
    PrintReportLine("time", milliseconds);
    PrintReportLine("wrote", outputs.frame + " (16-bit grayscale)");
    PrintReportLine("wrote", outputs.preview + " (8-bit preview, output min..max -> 0..255)");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
