#include "CommandSupport.h"
#include "Commands.h"
#include "KelvinOption.h"
#include "NumberOptions.h"
#include "RegionOption.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>

namespace Varnik::Soloma::Cli {
namespace {

CommandUsage StatsUsage() {
    return {"stats",
            "[--input FILE] [--roi X,Y,W,H] [--kelvin LOW:K0,HIGH:K1]",
            "Prints the minimum and maximum (with their positions), mean, sum and standard "
            "deviation of a region,\nin signal counts or in kelvin. Writes no files.",
            {InputOption(), RegionOption(), KelvinOption()}};
}

const char* DescribeStatus(int status) {
    switch (status) {
        case 2:
            return "2 valid";
        case 4:
            return "4 below table";
        case 5:
            return "5 above table";
        default:
            return "unknown";
    }
}

// One line of the table; rows without a position end at the status.
std::string FormatRow(const char* name, double value, int status, const std::string& position) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-9s %20.4f  %-14s %s", name, value, DescribeStatus(status),
                  position.c_str());
    std::string text = line;
    return text.erase(text.find_last_not_of(' ') + 1);
}

void PrintRow(const char* name, double value, int status, const std::string& position) {
    const std::string line = FormatRow(name, value, status, position);
    std::printf("%s\n", line.c_str());
}

std::string Position(int x, int y) {
    return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

}  // namespace

int RunStats(const std::vector<std::string>& args) {
    const CommandUsage usage = StatsUsage();
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    KelvinTable kelvin;
    const bool useKelvin = options.Has("kelvin");
    if (useKelvin && !ParseKelvinTable(options.Get("kelvin"), &kelvin)) {
        return ReportBadValue(usage.name,
                              "--kelvin '" + options.Get("kelvin") +
                                  "' is not LOW:K0,HIGH:K1 with 0 <= LOW < HIGH <= 65535");
    }
    InputFrame input;
    Region region;
    if (!LoadInputAndRegion(usage.name, options, &input, &region, &exitCode)) {
        return exitCode;
    }

    const Gray16Image& frame = input.image;
    Statistics s{};
    ImageProcessing::RadiometricStatistics::Calculate(
        frame.pixels.data(), region.width, region.height, frame.Step(), region.y, region.x,
        kelvin.entries.data(), kelvin.low, kelvin.high, s, !useKelvin);

    PrintReportHeader("soloma stats: statistics of a region", input);
    PrintReportLine("region", DescribeRegion(region));
    PrintReportLine("unit", useKelvin ? "kelvin, " + DescribeKelvinTable(kelvin) : "signal counts");
    std::printf("\n  %-9s %20s  %-14s %s\n", "statistic", "value", "status", "position (x, y)");
    PrintRow("min", s.min, s.minStatus, Position(s.minX, s.minY));
    PrintRow("max", s.max, s.maxStatus, Position(s.maxX, s.maxY));
    PrintRow("mean", s.mean, s.meanStatus, "");
    PrintRow("sum", s.sum, s.sumStatus, "");
    PrintRow("std dev", s.stdDev, s.stdDevStatus, "");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
