#pragma once

#include "Image.h"

#include <vector>

namespace Varnik::Soloma::Cli {

// Small picture operations for the demo's contact sheet and stage pictures. Pictures are
// 8-bit RGB images (Image8 with three channels) unless said otherwise.

struct Rgb {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;
};

// A width x height picture of one colour.
Image8 MakeCanvas(int width, int height, Rgb colour);

// An RGB copy of a gray (1 channel) picture.
Image8 GrayToRgb(const Image8& gray);

// An RGB copy of a 4-byte colour image in the library's order: blue, green, red, reserved.
Image8 BgraToRgb(const unsigned char* bgra, int width, int height);

// The picture shrunk by an integer factor, each output pixel the rounded mean of a factor x
// factor block (a partial block at the right or bottom edge is averaged over what it has),
// or, for a factor below -1, enlarged by -factor with each pixel repeated. Any channel count.
Image8 Rescale(const Image8& picture, int factor);

// Copies `picture` (same channel count) into `canvas` with its top left corner at (x, y),
// clipped to the canvas.
void Paste(Image8* canvas, const Image8& picture, int x, int y);

// Paints the boundary of a selection mask (width x height, non-zero selected) in `colour`:
// every selected pixel with an unselected 4-neighbour or on the picture's edge.
void DrawOutline(Image8* picture, const std::vector<unsigned char>& mask, Rgb colour);

// Paints `colour` at every pixel where `mask` is non-zero.
void Fill(Image8* picture, const std::vector<unsigned char>& mask, Rgb colour);

// The smallest box holding every selected pixel of a width x height mask, grown by `margin`
// on each side; empty when nothing is selected.
PixelRect BoundingBox(const std::vector<unsigned char>& mask, int width, int margin);

// The box's frame, `thickness` pixels wide inside it, clipped; nothing for an empty box.
void DrawBox(Image8* picture, const PixelRect& box, int thickness, Rgb colour);

}  // namespace Varnik::Soloma::Cli
