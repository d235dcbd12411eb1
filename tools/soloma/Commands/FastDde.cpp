#include "CommandSupport.h"
#include "Commands.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Varnik::Soloma::Cli {
namespace {

const char* const kDefaultOutput = "out/fastdde.png";
const char* const kDefaultGain = "2";

CommandUsage FastDdeUsage() {
    return {"fastdde",
            "[--input FILE] [--output FILE] [--detail-gain G]",
            "Enhances detail with box filters: halves the frame's contrast about the middle of "
            "its range and adds back G times (3x3 mean - 7x7 mean).",
            {InputOption(),
             {"output", "FILE",
              std::string("16-bit result (default: ") + kDefaultOutput +
                  "), with <stem>_preview.png beside it"},
             {"detail-gain", "G",
              std::string("gain of the detail band, a finite number (default: ") + kDefaultGain +
                  ")"}}};
}

// The whole word must be a finite number.
bool ParseGain(const std::string& text, float* gain) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) {
        return false;
    }
    *gain = value;
    return true;
}

}  // namespace

int RunFastDde(const std::vector<std::string>& args) {
    const CommandUsage usage = FastDdeUsage();
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    float gain = 0.0f;
    const std::string gainText = options.Get("detail-gain", kDefaultGain);
    if (!ParseGain(gainText, &gain)) {
        std::fprintf(stderr, "soloma fastdde: --detail-gain wants a finite number, not '%s'\n",
                     gainText.c_str());
        return kExitUsage;
    }
    InputFrame input;
    OutputFiles outputs;
    std::string error;
    if (!LoadInputFrame(options, &input, &error) ||
        !PlanOutputs(options.Get("output", kDefaultOutput), input, &outputs, &error)) {
        return ReportFailure(error);
    }

    Gray16Image source = input.image;  // Create takes a non-const source; it only reads it
    Gray16Image result = source;
    ImageProcessing::FastDDE dde;
    const auto start = std::chrono::steady_clock::now();
    dde.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(), gain,
               source.width, source.height);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;

    if (!WriteResult(outputs, result, &error)) {
        return ReportFailure(error);
    }
    const ValueRange in = FindRange(source);
    const ValueRange out = FindRange(result);
    char line[96];
    std::printf("soloma fastdde: fast detail enhancement\n");
    PrintReportLine("input", input.description);
    PrintReportLine("size", std::to_string(source.width) + " x " + std::to_string(source.height));
    std::snprintf(line, sizeof line, "%g", gain);
    PrintReportLine("detail gain", line);
    PrintReportLine("input range",
                    "min " + std::to_string(in.min) + ", max " + std::to_string(in.max));
    PrintReportLine("output range",
                    "min " + std::to_string(out.min) + ", max " + std::to_string(out.max));
    std::snprintf(line, sizeof line, "%.3f ms in FastDDE::Create (first call, with allocation)",
                  elapsed.count());
    PrintReportLine("time", line);
    PrintReportLine("wrote", outputs.frame + " (16-bit grayscale)");
    PrintReportLine("wrote", outputs.preview + " (8-bit preview, output min..max -> 0..255)");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
