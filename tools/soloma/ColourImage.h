#pragma once

#include "Image.h"

#include <Varnik/Soloma/ImageProcessing/Palettes.h>

#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

// A 4-byte colour image, bytes blue, green, red, reserved, as the library takes them.
struct ColourImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bgra;

    int Step() const { return 4 * width; }
};

// The frame coloured by a built-in palette over [low, high].
ColourImage PaletteColouring(const Gray16Image& frame, ImageProcessing::Palettes::Kind palette,
                             int low, int high);

// An 8-bit RGB or RGBA image (3 or 4 channels) as 4-byte colour; its alpha is not used.
ColourImage FromRgb(const Image8& image);

// The colour image as an 8-bit RGBA PNG, fully opaque.
bool WriteColourPng(const std::string& path, const ColourImage& colour, std::string* error);

}  // namespace Varnik::Soloma::Cli
