#pragma once

#include <vector>

namespace Varnik::Soloma::Cli {

// A linear signal-to-kelvin calibration as RadiometricStatistics reads it: one entry per
// signal from `low` to `high`.
struct KelvinTable {
    int low = 0;
    int high = 0;
    double k0 = 0.0;  // kelvin at `low`
    double k1 = 0.0;  // kelvin at `high`
    std::vector<float> entries;

    bool Empty() const { return entries.empty(); }
    // Fills the entries; false, leaving the table empty, unless 0 <= low < high <= 65535.
    bool Build(int lowSignal, int highSignal, double kelvin0, double kelvin1);
    // The kelvin of a signal, clamped to the table's ends; the signal itself without a table.
    double Kelvin(double signal) const;
};

}  // namespace Varnik::Soloma::Cli
