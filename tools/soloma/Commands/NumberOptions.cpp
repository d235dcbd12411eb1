#include "NumberOptions.h"

#include "CommandSupport.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Varnik::Soloma::Cli {
namespace {

void ReportBadNumber(const std::string& command, const char* name, const char* what, double lo,
                     double hi, const std::string& text) {
    char range[96];
    std::snprintf(range, sizeof range, " from %g to %g", lo, hi);
    ReportBadValue(command,
                   std::string("--") + name + " wants " + what + range + ", not '" + text + "'");
}

}  // namespace

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool ParseNumber(const std::string& text, double lo, double hi, double* value) {
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(parsed) || parsed < lo || parsed > hi) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParseInteger(const std::string& text, long lo, long hi, int* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || parsed < lo || parsed > hi) {
        return false;
    }
    *value = static_cast<int>(parsed);
    return true;
}

bool ReadNumberOption(const std::string& command, const Options& options, const char* name,
                      double lo, double hi, float* value) {
    double parsed = 0.0;
    if (!options.Has(name)) {
        return true;
    }
    if (!ParseNumber(options.Get(name), lo, hi, &parsed)) {
        ReportBadNumber(command, name, "a number", lo, hi, options.Get(name));
        return false;
    }
    *value = static_cast<float>(parsed);
    return true;
}

bool ReadIntegerOption(const std::string& command, const Options& options, const char* name,
                       long lo, long hi, int* value) {
    if (options.Has(name) && !ParseInteger(options.Get(name), lo, hi, value)) {
        ReportBadNumber(command, name, "a whole number", lo, hi, options.Get(name));
        return false;
    }
    return true;
}

}  // namespace Varnik::Soloma::Cli
