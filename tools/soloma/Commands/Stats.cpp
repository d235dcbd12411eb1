#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"
#include "RegionOption.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>
#include <limits>

namespace Varnik::Soloma::Cli {
namespace {

CommandUsage StatsUsage() {
    return {"stats",
            "[--input FILE] [--roi X,Y,W,H] [--kelvin LOW:K0,HIGH:K1]",
            "Prints the minimum and maximum (with their positions), mean, sum and standard "
            "deviation of a region,\nin signal counts or in kelvin. Writes no files.",
            {InputOption(),
             RegionOption(),
             {"kelvin", "LOW:K0,HIGH:K1",
              "kelvin through a linear table from signal LOW at K0 to signal HIGH at K1 "
              "(0 <= LOW < HIGH <= 65535); signals outside it take the nearer end's value "
              "and an extreme they give is marked below or above the table"}}};
}

// The signal-to-kelvin table of --kelvin: one entry per signal from low to high.
struct KelvinTable {
    int low = 0;
    int high = 0;
    double k0 = 0.0;
    double k1 = 0.0;
    std::vector<float> entries;
};

// Kelvin at the table's ends only have to be finite.
const double kLargestKelvin = std::numeric_limits<double>::max();

bool ParseKelvin(const std::string& text, KelvinTable* table) {
    const std::vector<std::string> ends = SplitList(text, ',');
    if (ends.size() != 2) {
        return false;
    }
    const std::vector<std::string> low = SplitList(ends[0], ':');
    const std::vector<std::string> high = SplitList(ends[1], ':');
    if (low.size() != 2 || high.size() != 2 || !ParseInteger(low[0], 0, 65535, &table->low) ||
        !ParseInteger(high[0], 0, 65535, &table->high) ||
        !ParseNumber(low[1], -kLargestKelvin, kLargestKelvin, &table->k0) ||
        !ParseNumber(high[1], -kLargestKelvin, kLargestKelvin, &table->k1) ||
        table->high <= table->low) {
        return false;
    }
    const double slope = (table->k1 - table->k0) / (table->high - table->low);
    for (int s = table->low; s <= table->high; ++s) {
        table->entries.push_back(static_cast<float>(table->k0 + slope * (s - table->low)));
    }
    return true;
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
    if (useKelvin && !ParseKelvin(options.Get("kelvin"), &kelvin)) {
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
    char unit[160] = "signal counts";
    if (useKelvin) {
        std::snprintf(unit, sizeof unit, "kelvin, linear from signal %d at %g K to %d at %g K",
                      kelvin.low, kelvin.k0, kelvin.high, kelvin.k1);
    }
    PrintReportLine("unit", unit);
    std::printf("\n  %-9s %20s  %-14s %s\n", "statistic", "value", "status", "position (x, y)");
    PrintRow("min", s.min, s.minStatus, Position(s.minX, s.minY));
    PrintRow("max", s.max, s.maxStatus, Position(s.maxX, s.maxY));
    PrintRow("mean", s.mean, s.meanStatus, "");
    PrintRow("sum", s.sum, s.sumStatus, "");
    PrintRow("std dev", s.stdDev, s.stdDevStatus, "");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
