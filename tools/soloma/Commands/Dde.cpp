#include "CommandSupport.h"
#include "Commands.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
         {"output", "FILE",
          std::string("16-bit result (default: ") + kDefaultOutput +
              "), with <stem>_preview.png beside it"},
         {"kernel", "N", "window side, 1..99; an even N acts as N - 1 (default: 5)"},
         {"sigma", "S", "spatial Gaussian's sigma in pixels, 0.1..100 (default: 2)"},
         {"base-sharpen", "B", "sharpening of the base against its blur, -10..10 (default: 0.5)"},
         {"detail-gain", "G", "factor on the detail layer, -100..100 (default: 2)"}}};
}

bool ParseNumber(const std::string& text, double lo, double hi, double* value) {
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(*value) && *value >= lo && *value <= hi;
}

// Reads the numeric options; on a mistake prints it and returns false.
bool ReadSettings(const CommandUsage& usage, const Options& options, Settings* settings) {
    struct Number {
        const char* name;
        double lo, hi;
        bool whole;
    };
    const Number numbers[] = {{"kernel", 1, 99, true},
                              {"sigma", 0.1, 100, false},
                              {"base-sharpen", -10, 10, false},
                              {"detail-gain", -100, 100, false}};
    double values[4] = {static_cast<double>(settings->kernelSize), settings->sigma,
                        settings->baseSharpen, settings->detailGain};
    for (int i = 0; i < 4; ++i) {
        const Number& number = numbers[i];
        if (options.Has(number.name) &&
            (!ParseNumber(options.Get(number.name), number.lo, number.hi, &values[i]) ||
             (number.whole && values[i] != std::floor(values[i])))) {
            std::fprintf(stderr,
                         "soloma %s: --%s wants %s from %g to %g\nRun 'soloma %s --help' for "
                         "the options.\n",
                         usage.name.c_str(), number.name,
                         number.whole ? "a whole number" : "a number", number.lo, number.hi,
                         usage.name.c_str());
            return false;
        }
    }
    settings->kernelSize = static_cast<int>(values[0]);
    settings->sigma = static_cast<float>(values[1]);
    settings->baseSharpen = static_cast<float>(values[2]);
    settings->detailGain = static_cast<float>(values[3]);
    return true;
}

std::string DescribeRange(const ValueRange& range) {
    return "min " + std::to_string(range.min) + ", max " + std::to_string(range.max);
}

}  // namespace

int RunDde(const std::vector<std::string>& args) {
    const CommandUsage usage = DdeUsage();
    Options options;
    Settings settings;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    if (!ReadSettings(usage, options, &settings)) {
        return kExitUsage;
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
    ImageProcessing::DDE dde(settings.kernelSize, settings.sigma);
    const auto start = std::chrono::steady_clock::now();
    dde.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
               settings.baseSharpen, settings.detailGain, source.width, source.height);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;

    if (!WriteResult(outputs, result, &error)) {
        return ReportFailure(error);
    }
    char text[160];
    std::printf("soloma dde: detail enhancement\n");
    PrintReportLine("input", input.description);
    PrintReportLine("size", std::to_string(source.width) + " x " + std::to_string(source.height));
    std::snprintf(text, sizeof text, "kernel %d, sigma %g, base sharpen %g, detail gain %g",
                  settings.kernelSize, settings.sigma, settings.baseSharpen, settings.detailGain);
    PrintReportLine("settings", text);
    PrintReportLine("input range", DescribeRange(FindRange(source)));
    PrintReportLine("output range", DescribeRange(FindRange(result)));
    std::snprintf(text, sizeof text, "%.3f ms in DDE::Create", elapsed.count());
    PrintReportLine("time", text);
    PrintReportLine("wrote", outputs.frame + " (16-bit grayscale)");
    PrintReportLine("wrote", outputs.preview + " (8-bit preview, output min..max -> 0..255)");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
