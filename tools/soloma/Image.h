#pragma once

#include <vector>

namespace Varnik::Soloma::Cli {

// A 16-bit single-channel frame with rows packed back to back.
struct Gray16Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned short> pixels;

    int Step() const { return width * static_cast<int>(sizeof(unsigned short)); }
};

// An 8-bit image of 1 (gray), 2 (gray and alpha), 3 (RGB) or 4 (RGBA) interleaved channels,
// rows packed back to back.
struct Image8 {
    int width = 0;
    int height = 0;
    int channels = 1;
    std::vector<unsigned char> pixels;

    int Step() const { return width * channels; }
};

struct ValueRange {
    unsigned short min = 0;
    unsigned short max = 0;
};

// Smallest and largest pixel; both 0 for an empty image.
ValueRange FindRange(const Gray16Image& image);

// An 8-bit gray picture of a 16-bit frame for looking at: its own min..max stretched linearly
// onto 0..255, rounded to nearest. A flat frame becomes all 0.
Image8 MakePreview(const Gray16Image& image);

}  // namespace Varnik::Soloma::Cli
