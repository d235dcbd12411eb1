#pragma once

#include "Image.h"

#include <string>

namespace Varnik::Soloma::Cli {

// A small built-in bitmap font for captions on pictures: printable ASCII in 5x7 cells, a
// column of space between glyphs. Characters outside printable ASCII are drawn as '?'.
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;

// Width in pixels of `text` drawn at `scale` (each font pixel a scale x scale square).
int TextWidth(const std::string& text, int scale);

// Draws `text` into an RGB or RGBA image with its top left corner at (x, y), in `colour`
// (red, green, blue, alpha; the alpha byte is read for RGBA images only). Only the glyphs'
// pixels are set, and what falls outside the image is clipped.
void DrawText(Image8* image, int x, int y, const std::string& text, int scale,
              const unsigned char colour[4]);

}  // namespace Varnik::Soloma::Cli
