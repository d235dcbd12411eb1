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
// Source rows widened to integers: the seven of a 7x7 window and the row leaving it as the
// window moves down.
constexpr int kRingRows = 8;
// Two rows of column sums: 7x7 and 3x3.
constexpr int kSumRows = 2;
// Rows start on 64-byte boundaries.
constexpr int kRowAlignment = 16;

// The weight of the 7x7 mean, as the general filter applies it.
constexpr float kOneFortyNinth = 1.0f / 49.0f;
static_assert(kOneFortyNinth == 0x1.4e5e0ap-6f, "1/49 must be the float 0x3CA72F05");
// A 7x7 sum of 16-bit values is exact in float.
// The 3x3 mean as a double product rounded to float: for every sum of nine 16-bit values
// that is the float quotient sum / 9.0f, and far cheaper than a vector division.
constexpr double kOneNinth = 1.0 / 9.0;
static_assert(49LL * 65535 < (1LL << 24), "window sums must stay exact in float");

long long RowStride(int width) {
    const long long ints = static_cast<long long>(width) + 2 * kBorder;
    return (ints + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

// Each source row is widened once: shuffling 16-bit lanes out to 32 bits is the scarce
// operation, so the row's seven uses read the integers.
SOLOMA_MULTIVERSION void WidenRow(const u16* __restrict src, int* __restrict dst, int n) {
    for (int x = 0; x < n; ++x) {
        dst[x] = src[x];
    }
}

// Column sums of the first output row: the seven rows of its 7x7 window (r[0] to r[6]) and
// the middle three for the 3x3 window.
SOLOMA_MULTIVERSION void StartColumnSums(const int* const* r, int* __restrict sums7,
                                         int* __restrict sums3, int n) {
    for (int x = 0; x < n; ++x) {
        const int middle = r[2][x] + r[3][x] + r[4][x];
        sums7[x] = r[0][x] + r[1][x] + middle + r[5][x] + r[6][x];
        sums3[x] = middle;
    }
}

// Moves the column sums down by one row: each window gains the row entering below and loses
// the row leaving above.
SOLOMA_MULTIVERSION void SlideColumnSums(const int* __restrict enter7, const int* __restrict leave7,
                                         const int* __restrict enter3, const int* __restrict leave3,
                                         int* __restrict sums7, int* __restrict sums3, int n) {
    for (int x = 0; x < n; ++x) {
        sums7[x] += enter7[x] - leave7[x];
        sums3[x] += enter3[x] - leave3[x];
    }
}

// The column sums of the columns beyond either edge are those of the edge column: the
// replicated columns hold the same values in the same rows.
void ReplicateEnds(int* sums, int n) {
    for (int i = 1; i <= kBorder; ++i) {
        sums[-i] = sums[0];
        sums[n - 1 + i] = sums[n - 1];
    }
}

// One output row from its column sums (padded by kBorder on either side) and its own source
// row: the window sums, exact in float; the means, the halved frame plus the offset, the
// detail band times the gain, their sum, and the conversion to 16 bits, clamped to
// [lo, hi] = [0, 65535] (NaN becomes 0) and rounded to nearest, ties to even. The bounds come
// in as arguments so that the selects stay vector minima and maxima.
SOLOMA_MULTIVERSION void FinishRow(const int* __restrict centre, const int* __restrict sums7,
                                   const int* __restrict sums3, u16* __restrict dst, int n,
                                   int rangeSum, float detailGain, float lo, float hi) {
    // Adding 1.5 * 2^23 rounds a value of [0, 65535] to an integer, ties to even, and leaves
    // that integer in the low bits of the sum's mantissa.
    constexpr float magic = 0x1.8p23f;
    for (int x = 0; x < n; ++x) {
        const int window7 = sums7[x - 3] + sums7[x - 2] + sums7[x - 1] + sums7[x] + sums7[x + 1] +
                            sums7[x + 2] + sums7[x + 3];
        const int window3 = sums3[x - 1] + sums3[x] + sums3[x + 1];
        const float mean7 = static_cast<float>(window7) * kOneFortyNinth;
        const float mean3 = static_cast<float>(window3) / 9.0f;
        // 0.5 * src + 0.25 * (max + min) is a multiple of 0.25 below 2^16: exact in float, so
        // it is formed from one exact integer.
        const float halved = static_cast<float>(2 * centre[x] + rangeSum) * 0.25f;
        const float detail = (mean3 - mean7) * detailGain;
        const float value = halved + detail;
        float clamped = value > lo ? value : lo;
        clamped = clamped < hi ? clamped : hi;
        const float shifted = clamped + magic;
        std::uint32_t bits;
        std::memcpy(&bits, &shifted, sizeof bits);
        dst[x] = static_cast<u16>(bits);
    }
}

}  // namespace

int FastDdeScratchInts(int width) {
    const long long ints = (kRingRows + kSumRows) * RowStride(width);
    return width > 0 && ints <= INT_MAX ? static_cast<int>(ints) : 0;
}

void FastDdePass(const u16* src, int srcStep, u16* dst, int dstStep, int rangeSum, float detailGain,
                 int width, int height, int* scratch) {
    const std::ptrdiff_t stride = RowStride(width);
    int* ring = scratch;
    int* sums7 = ring + kRingRows * stride + kBorder;
    int* sums3 = sums7 + stride;
    // Source rows are widened once each, in order, into slot row % kRingRows; the rows a
    // window needs and the one leaving it never share a slot. Rows beyond the frame repeat
    // its first or last row.
    int widened = 0;
    auto row = [&](int sy) -> const int* {
        sy = std::clamp(sy, 0, height - 1);
        for (; widened <= sy; ++widened) {
            WidenRow(RowAt(src, srcStep, widened), ring + (widened % kRingRows) * stride, width);
        }
        return ring + (sy % kRingRows) * stride;
    };
    const int* first[7];
    for (int i = 0; i < 7; ++i) {
        first[i] = row(i - kBorder);
    }
    StartColumnSums(first, sums7, sums3, width);
    for (int y = 0; y < height; ++y) {
        if (y > 0) {
            const int* enter7 = row(y + 3);
            SlideColumnSums(enter7, row(y - 4), row(y + 1), row(y - 2), sums7, sums3, width);
        }
        ReplicateEnds(sums7, width);
        ReplicateEnds(sums3, width);
        FinishRow(row(y), sums7, sums3, RowAt(dst, dstStep, y), width, rangeSum, detailGain, 0.0f,
                  65535.0f);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
