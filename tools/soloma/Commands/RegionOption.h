#pragma once

// What the radiometry commands share: the --roi option, the lists of numbers their options
// take, and the way they reject a bad value.

#include "CommandSupport.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

struct Region {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline OptionInfo RegionOption() {
    return {"roi", "X,Y,W,H",
            "region: first column and row, width and height (default: the whole frame)"};
}

// Splits at every `separator`; empty parts are kept, so that "1,,2" is caught later.
inline std::vector<std::string> SplitList(const std::string& text, char separator) {
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

// The whole of `text` as an integer in lo..hi.
inline bool ParseInteger(const std::string& text, long lo, long hi, int* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || parsed < lo || parsed > hi) {
        return false;
    }
    *value = static_cast<int>(parsed);
    return true;
}

// The whole of `text` as a finite number.
inline bool ParseNumber(const std::string& text, double* value) {
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

// The --roi value, or the whole image; false with a message when it is malformed or does not
// lie inside the image.
inline bool ReadRegion(const Options& options, const Gray16Image& image, Region* region,
                       std::string* error) {
    if (!options.Has("roi")) {
        *region = {0, 0, image.width, image.height};
        return true;
    }
    const std::string text = options.Get("roi");
    const std::vector<std::string> parts = SplitList(text, ',');
    int* fields[] = {&region->x, &region->y, &region->width, &region->height};
    bool valid = parts.size() == 4;
    for (std::size_t i = 0; valid && i < 4; ++i) {
        valid = ParseInteger(parts[i], i < 2 ? 0 : 1, 1L << 30, fields[i]);
    }
    if (!valid) {
        *error = "--roi '" + text + "' is not X,Y,W,H with X, Y >= 0 and W, H >= 1";
        return false;
    }
    if (static_cast<long>(region->x) + region->width > image.width ||
        static_cast<long>(region->y) + region->height > image.height) {
        *error = "--roi '" + text + "' does not lie inside the " + std::to_string(image.width) +
                 " x " + std::to_string(image.height) + " frame";
        return false;
    }
    return true;
}

inline std::string DescribeRegion(const Region& region) {
    return "x " + std::to_string(region.x) + ", y " + std::to_string(region.y) + ", " +
           std::to_string(region.width) + " x " + std::to_string(region.height) + " pixels";
}

// A value the command cannot use: the message and a pointer to the help, exit code 2.
inline int ReportBadValue(const char* command, const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\nRun 'soloma %s --help' for the options.\n", command,
                 message.c_str(), command);
    return kExitUsage;
}

}  // namespace Varnik::Soloma::Cli
