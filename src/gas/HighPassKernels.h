#pragma once

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// The stabiliser's high-pass magnitude, |5x5 box mean - image|, in one pass over bands of
// rows: the box mean of each row is made in a few rows of scratch and used at once, while it
// is in the first-level cache. Every value is the one the 5x5 low-pass primitive with a
// constant 0 border gives, to the bit: the same column sums of row pairs, the same window
// order and a true division by 25.

// Floats of scratch one call of HighPassMagnitude needs for frames `width` wide.
long long HighPassScratchLength(int width);

// For rows [y0, y1) of a width x height frame: edges = |lowpass - frame|, with lowpass the
// frame's 5x5 box mean, pixels outside the frame taken as 0. Returns the sum of the
// magnitudes: each row's added in double over 16 interleaved lanes, the rows' sums added in
// order. The result depends only on the frame and the rows asked for. 16-bit pixels count as
// their float values.
double HighPassMagnitude(const float* frame, int step, int width, int height, int y0, int y1,
                         float* edges, int edgesStep, float* scratch);
double HighPassMagnitude(const unsigned short* frame, int step, int width, int height, int y0,
                         int y1, float* edges, int edgesStep, float* scratch);

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
