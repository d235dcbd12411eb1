#pragma once

// The --kelvin option: a linear calibration from signal counts to kelvin.

#include "../KelvinTable.h"
#include "../Options.h"

#include <string>

namespace Varnik::Soloma::Cli {

OptionInfo KelvinOption();

// "LOW:K0,HIGH:K1" with 0 <= LOW < HIGH <= 65535 and finite kelvin; false for anything else.
bool ParseKelvinTable(const std::string& text, KelvinTable* table);

// "linear from signal 7000 at 263.15 K to 10000 at 373.15 K".
std::string DescribeKelvinTable(const KelvinTable& table);

}  // namespace Varnik::Soloma::Cli
