#include "KelvinTable.h"

#include <algorithm>

namespace Varnik::Soloma::Cli {

bool KelvinTable::Build(int lowSignal, int highSignal, double kelvin0, double kelvin1) {
    entries.clear();
    if (lowSignal < 0 || highSignal > 65535 || highSignal <= lowSignal) {
        return false;
    }
    low = lowSignal;
    high = highSignal;
    k0 = kelvin0;
    k1 = kelvin1;
    const double slope = (k1 - k0) / (high - low);
    entries.reserve(static_cast<std::size_t>(high - low) + 1);
    for (int s = low; s <= high; ++s) {
        entries.push_back(static_cast<float>(k0 + slope * (s - low)));
    }
    return true;
}

double KelvinTable::Kelvin(double signal) const {
    if (Empty()) {
        return signal;
    }
    const double clamped = std::clamp(signal, static_cast<double>(low), static_cast<double>(high));
    return k0 + (k1 - k0) * (clamped - low) / (high - low);
}

}  // namespace Varnik::Soloma::Cli
