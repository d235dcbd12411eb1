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

// A rectangle of pixels, columns x0 .. x1 - 1 and rows y0 .. y1 - 1.
struct PixelRect {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;

    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    bool Contains(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
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
