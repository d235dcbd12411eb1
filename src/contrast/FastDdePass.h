#pragma once

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// The whole of fast detail enhancement in one pass over the frame, two output rows at a time:
// each source row is widened to integers once, and its sums of 7 and of 3 neighbouring pixels
// are made once, as it enters the 7x7 window, in the loop that finishes the pair above; the
// 7x7 window sums slide down the frame (the entering row's sums added, the leaving row's taken
// off), the 3x3 ones add three rows of sums (the pair shares two). Every window sum of 16-bit
// values is an integer below 2^24, exact in float whatever the order of its additions, so the sums
// match those of the whole-image primitives (box low-pass, general filter on the replicated-border
// copy) to the bit; the float operations that round (the scaling of the means, the halving and
// offset, the difference, the gain, the sum and the conversion) keep the primitives' order:
//   dst = round(clamp(0.5 * src + 0.25 * rangeSum + detailGain * (mean3x3 - mean7x7), 0, 65535))
// with rangeSum the frame's maximum plus its minimum.

// Integers of scratch the pass needs for rows of `width` pixels; 0 when that does not fit an
// int.
int FastDdeScratchInts(int width);

// Enhances the width x height region of src into dst (width, height > 0), with scratch of
// FastDdeScratchInts(width) integers.
void FastDdePass(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                 int rangeSum, float detailGain, int width, int height, int* scratch);

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
