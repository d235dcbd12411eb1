#include "KelvinOption.h"

#include "NumberOptions.h"

#include <cstdio>
#include <limits>
#include <vector>

namespace Varnik::Soloma::Cli {
namespace {

// Kelvin at the table's ends only have to be finite.
const double kLargestKelvin = std::numeric_limits<double>::max();

}  // namespace

OptionInfo KelvinOption() {
    return {"kelvin", "LOW:K0,HIGH:K1",
            "kelvin through a linear table from signal LOW at K0 to signal HIGH at K1 "
            "(0 <= LOW < HIGH <= 65535); signals outside it take the nearer end's value "
            "and an extreme they give is marked below or above the table"};
}

bool ParseKelvinTable(const std::string& text, KelvinTable* table) {
    const std::vector<std::string> ends = SplitList(text, ',');
    if (ends.size() != 2) {
        return false;
    }
    const std::vector<std::string> low = SplitList(ends[0], ':');
    const std::vector<std::string> high = SplitList(ends[1], ':');
    int lowSignal = 0;
    int highSignal = 0;
    double k0 = 0.0;
    double k1 = 0.0;
    return low.size() == 2 && high.size() == 2 && ParseInteger(low[0], 0, 65535, &lowSignal) &&
           ParseInteger(high[0], 0, 65535, &highSignal) &&
           ParseNumber(low[1], -kLargestKelvin, kLargestKelvin, &k0) &&
           ParseNumber(high[1], -kLargestKelvin, kLargestKelvin, &k1) &&
           table->Build(lowSignal, highSignal, k0, k1);
}

std::string DescribeKelvinTable(const KelvinTable& table) {
    char text[160];
    std::snprintf(text, sizeof text, "linear from signal %d at %g K to %d at %g K", table.low,
                  table.k0, table.high, table.k1);
    return text;
}

}  // namespace Varnik::Soloma::Cli
