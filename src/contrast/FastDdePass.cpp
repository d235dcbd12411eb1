#include "contrast/FastDdePass.h"

#include "frame/Rows.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

using u16 = unsigned short;

// The 7x7 window reaches three pixels beyond the frame on every side.
constexpr int kBorder = 3;
// Rows of horizontal sums kept: the seven of a 7x7 window and the row leaving it as the window
// moves down (the 3x3 sums need fewer, but share the indexing).
constexpr int kRingRows = 8;
// Scratch rows: the widened source row, the two rings of horizontal sums, and the running
// column sums of the 7x7 window.
constexpr int kScratchRows = 1 + 2 * kRingRows + 1;
// Rows start on 64-byte boundaries.
constexpr int kRowAlignment = 16;

// The weight of the 7x7 mean, as the general filter applies it.
constexpr float kOneFortyNinth = 1.0f / 49.0f;
static_assert(kOneFortyNinth == 0x1.4e5e0ap-6f, "1/49 must be the float 0x3CA72F05");
// A 7x7 sum of 16-bit values is exact in float.
static_assert(49LL * 65535 < (1LL << 24), "window sums must stay exact in float");

long long RowStride(int width) {
    const long long ints = static_cast<long long>(width) + 2 * kBorder;
    return (ints + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

// The source row as integers, with the three columns beyond either edge repeating the edge
// pixel (`wide` points at column 0). Widening 16-bit lanes is a shuffle; it is done once.
SOLOMA_MULTIVERSION void WidenRow(const u16* __restrict src, int* __restrict wide, int n) {
    for (int x = 0; x < n; ++x) {
        wide[x] = src[x];
    }
    for (int i = 1; i <= kBorder; ++i) {
        wide[-i] = wide[0];
        wide[n - 1 + i] = wide[n - 1];
    }
}

// Sums of seven and of three neighbouring pixels of one widened row, centred on each pixel.
SOLOMA_MULTIVERSION void HorizontalSums(const int* __restrict wide, int* __restrict sums7,
                                        int* __restrict sums3, int n) {
    for (int x = 0; x < n; ++x) {
        const int middle = wide[x - 1] + wide[x] + wide[x + 1];
        sums7[x] = wide[x - 3] + wide[x - 2] + middle + wide[x + 2] + wide[x + 3];
        sums3[x] = middle;
    }
}

// The running 7x7 column sums before the first output row: the rows from 4 above it to 2
// below, so that the first slide (adding the row 3 below, taking off the row 4 above) lands
// on its window.
SOLOMA_MULTIVERSION void StartColumnSums(const int* const* r, int* __restrict sums7, int n) {
    for (int x = 0; x < n; ++x) {
        sums7[x] = r[0][x] + r[1][x] + r[2][x] + r[3][x] + r[4][x] + r[5][x] + r[6][x];
    }
}

// One output pixel from its window sums, both exact in float: the means, the halved frame
// plus the offset, the detail band times the gain, their sum, and the conversion to 16 bits,
// clamped to [lo, hi] = [0, 65535] (NaN becomes 0) and rounded to nearest, ties to even. The
// bounds come in as arguments so that the selects stay vector minima and maxima. Inlined into
// the multiversioned row loops, so that it is compiled for each of their targets.
__attribute__((always_inline)) inline u16 FinishPixel(int window7, int window3, int centre,
                                                      float offset, float detailGain, float lo,
                                                      float hi) {
    // Adding 1.5 * 2^23 rounds a value of [0, 65535] to an integer, ties to even, and leaves
    // that integer in the low bits of the sum's mantissa.
    constexpr float magic = 0x1.8p23f;
    const float mean7 = static_cast<float>(window7) * kOneFortyNinth;
    const float mean3 = static_cast<float>(window3) / 9.0f;
    const float halved = static_cast<float>(centre) * 0.5f + offset;
    const float detail = (mean3 - mean7) * detailGain;
    const float value = halved + detail;
    float clamped = value > lo ? value : lo;
    clamped = clamped < hi ? clamped : hi;
    const float shifted = clamped + magic;
    std::uint32_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    return static_cast<u16>(bits);
}

// One output row while a new source row enters the 7x7 window: that row's horizontal sums are
// made from its widened pixels and kept in newSums7 and newSums3 for the rows below, the 7x7
// window sum slides down by a row (the new row added, leave7 taken off), and the 3x3 window sum
// adds three rows of horizontal sums (above, at and below the output row). Making the sums in
// the same loop overlaps their loads with the float work of the pixels.
SOLOMA_MULTIVERSION void FinishRowEntering(const int* __restrict wide, int* __restrict newSums7,
                                           int* __restrict newSums3, const u16* __restrict centre,
                                           const int* __restrict leave7, int* __restrict sums7,
                                           const int* __restrict above3, const int* __restrict at3,
                                           const int* __restrict below3, u16* __restrict dst, int n,
                                           float offset, float detailGain, float lo, float hi) {
    for (int x = 0; x < n; ++x) {
        const int middle = wide[x - 1] + wide[x] + wide[x + 1];
        const int enter7 = wide[x - 3] + wide[x - 2] + middle + wide[x + 2] + wide[x + 3];
        newSums7[x] = enter7;
        newSums3[x] = middle;
        const int window7 = sums7[x] + (enter7 - leave7[x]);
        sums7[x] = window7;
        const int window3 = above3[x] + at3[x] + below3[x];
        dst[x] = FinishPixel(window7, window3, centre[x], offset, detailGain, lo, hi);
    }
}

// One output row near the bottom, where the row entering the 7x7 window repeats the last row
// (enter7 holds its horizontal sums); otherwise as FinishRowEntering.
SOLOMA_MULTIVERSION void FinishRow(const u16* __restrict centre, const int* __restrict enter7,
                                   const int* __restrict leave7, int* __restrict sums7,
                                   const int* __restrict above3, const int* __restrict at3,
                                   const int* __restrict below3, u16* __restrict dst, int n,
                                   float offset, float detailGain, float lo, float hi) {
    for (int x = 0; x < n; ++x) {
        const int window7 = sums7[x] + (enter7[x] - leave7[x]);
        sums7[x] = window7;
        const int window3 = above3[x] + at3[x] + below3[x];
        dst[x] = FinishPixel(window7, window3, centre[x], offset, detailGain, lo, hi);
    }
}

}  // namespace

int FastDdeScratchInts(int width) {
    const long long ints = kScratchRows * RowStride(width);
    return width > 0 && ints <= INT_MAX ? static_cast<int>(ints) : 0;
}

void FastDdePass(const u16* src, int srcStep, u16* dst, int dstStep, int rangeSum, float detailGain,
                 int width, int height, int* scratch) {
    const std::ptrdiff_t stride = RowStride(width);
    // The sum is formed as an integer before it becomes a float.
    const float centreOffset = static_cast<float>(rangeSum) * 0.25f;
    int* wide = scratch + kBorder;
    int* ring7 = scratch + stride;
    int* ring3 = ring7 + kRingRows * stride;
    int* sums7 = ring3 + kRingRows * stride;
    // Horizontal sums are made once per source row, in order, into slot row % kRingRows; the
    // rows a window needs and the one leaving it never share a slot. Rows beyond the frame
    // repeat its first or last row.
    int made = 0;
    auto slot = [&](int sy) -> std::ptrdiff_t {
        sy = std::clamp(sy, 0, height - 1);
        for (; made <= sy; ++made) {
            const std::ptrdiff_t offset = (made % kRingRows) * stride;
            WidenRow(RowAt(src, srcStep, made), wide, width);
            HorizontalSums(wide, ring7 + offset, ring3 + offset, width);
        }
        return (sy % kRingRows) * stride;
    };
    const int* before[7];
    for (int i = 0; i < 7; ++i) {
        before[i] = ring7 + slot(i - kBorder - 1);
    }
    StartColumnSums(before, sums7, width);
    for (int y = 0; y < height; ++y) {
        const int* leave7 = ring7 + slot(y - kBorder - 1);
        const int* above3 = ring3 + slot(y - 1);
        const int* at3 = ring3 + slot(y);
        const int* below3 = ring3 + slot(y + 1);
        u16* out = RowAt(dst, dstStep, y);
        const int entering = y + kBorder;
        if (entering < height) {
            // The first use of this row: its slot held a row that no window needs any more.
            const std::ptrdiff_t offset = (entering % kRingRows) * stride;
            WidenRow(RowAt(src, srcStep, entering), wide, width);
            FinishRowEntering(wide, ring7 + offset, ring3 + offset, RowAt(src, srcStep, y), leave7,
                              sums7, above3, at3, below3, out, width, centreOffset, detailGain,
                              0.0f, 65535.0f);
            made = entering + 1;
        } else {
            FinishRow(RowAt(src, srcStep, y), ring7 + slot(entering), leave7, sums7, above3, at3,
                      below3, out, width, centreOffset, detailGain, 0.0f, 65535.0f);
        }
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
