#pragma once

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// The whole of fast detail enhancement in one pass over the frame, a pair of rows at a time:
// source rows are converted to floats into a ring of eight rows as the windows reach them,
// their column sums for the 3x3 and 7x7 means are taken for two output rows at once, and each
// output row is finished and converted back while those sums are still in cache. Every pixel
// goes through the float operations of the whole-image primitives (conversion, box low-pass,
// general filter on the replicated-border copy, scaling, offset, difference, gain, sum and
// conversion) in their order, so the result is the same to the bit:
//   dst = round(clamp(0.5 * src + offset + detailGain * (mean3x3 - mean7x7), 0, 65535)).

// Floats of scratch the pass needs for rows of `width` pixels; 0 when that does not fit an int.
int FastDdeScratchFloats(int width);

// Enhances the width x height region of src into dst (width, height > 0), with scratch of
// FastDdeScratchFloats(width) floats.
void FastDdePass(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                 float offset, float detailGain, int width, int height, float* scratch);

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
