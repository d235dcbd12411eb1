#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// The library's built-in display palettes and the colouring of 16-bit frames through them.
// Only static operations; the tables are built once, on first use from any thread, and live
// until the process ends, so calls may run at once from several threads.
//
// Each palette has 65536 entries, entry 0 for the coldest shown value and entry 65535 for the
// hottest, interpolated linearly between a few fixed colours and rounded to nearest:
//   Grey     black to white, every channel round(i * 255 / 65535);
//   Iron     black, deep blue, magenta, orange, yellow, white (luminance rises throughout);
//   Rainbow  blue, cyan, green, yellow, red.
// Every entry has the reserved byte 255.
class SOLOMA_IMAGEPROCESSING_API Palettes {
public:
    // Held as an int, so that any int value is a valid Kind for the calls below.
    enum Kind : int { Grey = 0, Iron = 1, Rainbow = 2 };

    // The 65536 entries of a palette; a kind outside the enumeration gives Grey.
    static const RGBQUAD* Table(Kind kind);

    // "grey" (also "gray"), "iron" or "rainbow", in lower case: true and the kind. Anything
    // else, null included, gives false and leaves *kind alone.
    static bool FromName(const char* name, Kind* kind);

    // Colours the width x height frame at src into dst, 4 bytes per pixel (blue, green, red,
    // reserved 255). A value v takes entry round((v - low) * 65535 / (high - low)), clamped
    // to 0..65535: values up to low get entry 0, values from high get entry 65535. The index
    // is computed in single precision, so where the exact quotient lies within a few
    // thousandths of a half the neighbouring entry may be taken. A range with high <= low
    // acts as a threshold at low: values up to low take entry 0, values above it entry 65535.
    // Null images or sizes below 1 do nothing. Rows run in parallel; src and dst must not
    // overlap.
    static void Apply(const unsigned short* src, int srcStep, Kind kind, int low, int high,
                      unsigned char* dst, int dstStep, int width, int height);

    // The display range of a frame: *low the value at rank floor((n - 1) / 100) of its n
    // pixels in ascending order (about the 1st percentile), *high the value at the same rank
    // counted from the top (about the 99th), so that a few outliers on either side do not
    // flatten the picture; a frame of at most 100 pixels gives its minimum and maximum. When
    // the two are equal (a flat frame), *high is one above *low (or *low one below, at 65535),
    // so that high > low always holds. Null images or sizes below 1 give 0 and 65535. Either
    // output pointer may be null.
    static void DisplayRange(const unsigned short* src, int srcStep, int width, int height,
                             int* low, int* high);

    Palettes& operator=(const Palettes&) { return *this; }

protected:
    // Not meant to be instantiated: all members are static.
    Palettes(const Palettes&) {}
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
