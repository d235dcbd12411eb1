#pragma once

// Numbers on the command line. The whole word must be the number, and every command rejects
// a bad one with the same message, so that users learn one form.

#include "../Options.h"

#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

// Splits at every `separator`; empty parts are kept, so that "1,,2" is caught later.
std::vector<std::string> SplitList(const std::string& text, char separator);

// The whole of `text` as a finite number in lo..hi.
bool ParseNumber(const std::string& text, double lo, double hi, double* value);

// The whole of `text` as an integer in lo..hi, written without a fraction or exponent.
bool ParseInteger(const std::string& text, long lo, long hi, int* value);

// Read the number given as --name into *value, which keeps its default when the option is
// absent. A bad value is reported on stderr as
//   soloma <command>: --<name> wants a number from <lo> to <hi>, not '<text>'
// ("a whole number" for ReadIntegerOption) and gives false; the command then exits with
// kExitUsage.
bool ReadNumberOption(const std::string& command, const Options& options, const char* name,
                      double lo, double hi, float* value);
bool ReadIntegerOption(const std::string& command, const Options& options, const char* name,
                       long lo, long hi, int* value);

}  // namespace Varnik::Soloma::Cli
