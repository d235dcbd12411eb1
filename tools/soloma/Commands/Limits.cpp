#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"
#include "RegionOption.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>

namespace Varnik::Soloma::Cli {
namespace {

// The histogram spans the whole 16-bit range, so that limits of different frames compare.
constexpr int kLowerLevel = 0;
constexpr int kUpperLevel = 65536;
const char* const kDefaultFractions = "0.01,0.01";
const int kDefaultBins = 4096;

CommandUsage LimitsUsage() {
    return {"limits",
            "[--input FILE] [--roi X,Y,W,H] [--fractions LOW,HIGH] [--bins N]",
            "Prints display limits of a region: the signals below and above which the given "
            "shares of its pixels lie,\nread from an even histogram over 0..65536. Writes no "
            "files.",
            {InputOption(),
             RegionOption(),
             {"fractions", "LOW,HIGH",
              std::string("shares of the pixels, 0..1, left below the lower and above the upper "
                          "limit (default: ") +
                  kDefaultFractions + ")"},
             {"bins", "N",
              "histogram bins over 0..65536, 1..65536 (default: " + std::to_string(kDefaultBins) +
                  "); the limits are bin edges"}}};
}

bool ParseFractions(const std::string& text, double* low, double* high) {
    const std::vector<std::string> parts = SplitList(text, ',');
    return parts.size() == 2 && ParseNumber(parts[0], 0.0, 1.0, low) &&
           ParseNumber(parts[1], 0.0, 1.0, high);
}

}  // namespace

int RunLimits(const std::vector<std::string>& args) {
    const CommandUsage usage = LimitsUsage();
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    double lowFraction = 0.0;
    double highFraction = 0.0;
    const std::string fractions = options.Get("fractions", kDefaultFractions);
    if (!ParseFractions(fractions, &lowFraction, &highFraction)) {
        return ReportBadValue(usage.name, "--fractions '" + fractions +
                                              "' is not LOW,HIGH with both between 0 and 1");
    }
    int bins = kDefaultBins;
    if (!ReadIntegerOption(usage.name, options, "bins", 1, 65536, &bins)) {
        return kExitUsage;
    }
    InputFrame input;
    Region region;
    if (!LoadInputAndRegion(usage.name, options, &input, &region, &exitCode)) {
        return exitCode;
    }

    const Gray16Image& frame = input.image;
    std::vector<int> hist(bins);
    std::vector<int> levels(bins + 1);
    unsigned short lower = 0;
    unsigned short upper = 0;
    ImageProcessing::RadiometricStatistics::CalculateHistogramMinMax(
        frame.pixels.data(), frame.Step(), hist.data(), levels.data(), bins + 1, kLowerLevel,
        kUpperLevel, region.x, region.y, region.width, region.height,
        static_cast<float>(lowFraction), static_cast<float>(highFraction), lower, upper);

    char cut[96];
    std::snprintf(cut, sizeof cut, "%g of the pixels below the lower limit, %g above the upper",
                  lowFraction, highFraction);
    PrintReportHeader("soloma limits: display limits from the histogram of a region", input);
    PrintReportLine("region", DescribeRegion(region));
    PrintReportLine("histogram", std::to_string(bins) + " bins over " +
                                     std::to_string(kLowerLevel) + ".." +
                                     std::to_string(kUpperLevel));
    PrintReportLine("cut", cut);
    PrintReportLine("lower", std::to_string(lower));
    PrintReportLine("upper", std::to_string(upper));
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
