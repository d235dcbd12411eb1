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

// The 7x7 window reaches three pixels beyond the frame on every side; widened rows keep those
// columns, repeating the edge pixel.
constexpr int kHalo = 3;
// Rows of each kind kept, row sy in slot sy % rows. A pair of output rows y, y + 1 needs the
// pixels of rows y to y + 4, the sums of three of rows y - 1 to y + 4 and the sums of seven of
// rows y - 4 to y + 4, and writes those of rows y + 3 and y + 4: with these sizes no row
// written shares a slot with one still read.
constexpr int kPixelRows = 8;
constexpr int kSums3Rows = 8;
constexpr int kSums7Rows = 9;
// Scratch rows: the three rings; the sums of three and of seven of the two rows that enter
// from below the frame (repeats of its last row, thrown away); the running 7x7 column sums;
// the output row below a frame of odd height (thrown away).
constexpr int kScratchRows = kPixelRows + kSums3Rows + kSums7Rows + 2 + 2 + 1 + 1;
// Column 0 of every row lies on a 64-byte boundary, with room for the halo before it.
constexpr int kRowAlignment = 16;

// The weight of the 7x7 mean, as the general filter applies it.
constexpr float kOneFortyNinth = 1.0f / 49.0f;
static_assert(kOneFortyNinth == 0x1.4e5e0ap-6f, "1/49 must be the float 0x3CA72F05");
// A 7x7 sum of 16-bit values is exact in float.
static_assert(49LL * 65535 < (1LL << 24), "window sums must stay exact in float");

long long RowStride(int width) {
    const long long ints = static_cast<long long>(width) + kRowAlignment + kHalo;
    return (ints + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

// The source row as integers, with the three columns beyond either edge repeating the edge
// pixel (`pixels` points at column 0).
SOLOMA_MULTIVERSION void WidenRow(const u16* __restrict src, int* __restrict pixels, int n) {
    for (int x = 0; x < n; ++x) {
        pixels[x] = src[x];
    }
    for (int i = 1; i <= kHalo; ++i) {
        pixels[-i] = pixels[0];
        pixels[n - 1 + i] = pixels[n - 1];
    }
}

// Sums of three and of seven neighbouring pixels of a widened row, centred on column x; the
// seven are the three and the two pairs either side of them.
__attribute__((always_inline)) inline int SumOfThree(const int* __restrict pixels, int x) {
    return pixels[x - 1] + pixels[x] + pixels[x + 1];
}
__attribute__((always_inline)) inline int SumOfSeven(const int* __restrict pixels, int sum3,
                                                     int x) {
    return pixels[x - 3] + pixels[x - 2] + sum3 + pixels[x + 2] + pixels[x + 3];
}

// Both sums for every column of one widened row.
SOLOMA_MULTIVERSION void RowSums(const int* __restrict pixels, int* __restrict sums3,
                                 int* __restrict sums7, int n) {
    for (int x = 0; x < n; ++x) {
        const int sum3 = SumOfThree(pixels, x);
        sums3[x] = sum3;
        sums7[x] = SumOfSeven(pixels, sum3, x);
    }
}

// The running 7x7 column sums before the first output row: the rows from 4 above it to 2
// below, so that the first slide (adding the row 3 below, taking off the row 4 above) lands
// on its window.
SOLOMA_MULTIVERSION void StartColumnSums(const int* const* r, int* __restrict columns7, int n) {
    for (int x = 0; x < n; ++x) {
        columns7[x] = r[0][x] + r[1][x] + r[2][x] + r[3][x] + r[4][x] + r[5][x] + r[6][x];
    }
}

// One output pixel from its window sums, both exact in float: the means, the halved frame
// plus the offset, the detail band times the gain, their sum, and the conversion to 16 bits,
// clamped to [lo, hi] = [0, 65535] (NaN becomes 0) and rounded to nearest, ties to even. The
// bounds come in as arguments so that the selects stay vector minima and maxima. Inlined into
// the multiversioned row loop, so that it is compiled for each of its targets.
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

// Output rows y and y + 1 together: they share six of their seven 7x7 rows and two of their
// three 3x3 rows. The rows entering the 7x7 windows, y + 3 and y + 4 (widened in enter0 and
// enter1), get both their sums here, kept in enterSums3 and enterSums7 for the rows below and
// for when they leave. The running column sums slide down twice (adding an entering row,
// taking off leave7, the row seven above it) and keep row y + 1's window; sums3 holds the sums of
// three of rows y - 1 to y + 2 and centre the widened rows y and y + 1.
SOLOMA_MULTIVERSION void FinishRowPair(const int* __restrict enter0, int* __restrict enterSums3_0,
                                       int* __restrict enterSums7_0, const int* __restrict enter1,
                                       int* __restrict enterSums3_1, int* __restrict enterSums7_1,
                                       const int* __restrict leave7_0,
                                       const int* __restrict leave7_1, int* __restrict columns7,
                                       const int* __restrict sums3_0, const int* __restrict sums3_1,
                                       const int* __restrict sums3_2, const int* __restrict sums3_3,
                                       const int* __restrict centre0, const int* __restrict centre1,
                                       u16* __restrict dst0, u16* __restrict dst1, int n,
                                       float offset, float detailGain, float lo, float hi) {
    for (int x = 0; x < n; ++x) {
        const int entering3_0 = SumOfThree(enter0, x);
        const int entering3_1 = SumOfThree(enter1, x);
        const int entering7_0 = SumOfSeven(enter0, entering3_0, x);
        const int entering7_1 = SumOfSeven(enter1, entering3_1, x);
        enterSums3_0[x] = entering3_0;
        enterSums3_1[x] = entering3_1;
        enterSums7_0[x] = entering7_0;
        enterSums7_1[x] = entering7_1;
        const int window7_0 = columns7[x] + (entering7_0 - leave7_0[x]);
        const int window7_1 = window7_0 + (entering7_1 - leave7_1[x]);
        columns7[x] = window7_1;
        const int middle3 = sums3_1[x] + sums3_2[x];
        const int window3_0 = sums3_0[x] + middle3;
        const int window3_1 = middle3 + sums3_3[x];
        dst0[x] = FinishPixel(window7_0, window3_0, centre0[x], offset, detailGain, lo, hi);
        dst1[x] = FinishPixel(window7_1, window3_1, centre1[x], offset, detailGain, lo, hi);
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
    int* pixelRing = scratch + kRowAlignment;
    int* ring3 = pixelRing + kPixelRows * stride;
    int* ring7 = ring3 + kSums3Rows * stride;
    int* spare3 = ring7 + kSums7Rows * stride;
    int* spare7 = spare3 + 2 * stride;
    int* columns7 = spare7 + 2 * stride;
    u16* spareDst = reinterpret_cast<u16*>(columns7 + stride);
    // Rows beyond the frame repeat its first or last row.
    auto slot = [&](int* ring, int rows, int sy) {
        return ring + std::clamp(sy, 0, height - 1) % rows * stride;
    };
    auto pixels = [&](int sy) { return slot(pixelRing, kPixelRows, sy); };
    auto sums3 = [&](int sy) { return slot(ring3, kSums3Rows, sy); };
    auto sums7 = [&](int sy) { return slot(ring7, kSums7Rows, sy); };
    // The rows of the first 7x7 window above the one entering with the first output row.
    for (int sy = 0; sy < std::min(kHalo, height); ++sy) {
        WidenRow(RowAt(src, srcStep, sy), pixels(sy), width);
        RowSums(pixels(sy), sums3(sy), sums7(sy), width);
    }
    const int* before[7];
    for (int i = 0; i < 7; ++i) {
        before[i] = sums7(i - kHalo - 1);
    }
    StartColumnSums(before, columns7, width);
    for (int y = 0; y < height; y += 2) {
        // A row entering from below the frame repeats its last row, whose sums exist: they are
        // made again and thrown away.
        int* enterSums3[2];
        int* enterSums7[2];
        for (int i = 0; i < 2; ++i) {
            const int entering = y + kHalo + i;
            const bool inside = entering < height;
            if (inside) {
                WidenRow(RowAt(src, srcStep, entering), pixels(entering), width);
            }
            enterSums3[i] = inside ? sums3(entering) : spare3 + i * stride;
            enterSums7[i] = inside ? sums7(entering) : spare7 + i * stride;
        }
        // Below a frame of odd height, the second row is worked out and thrown away.
        u16* out1 = y + 1 < height ? RowAt(dst, dstStep, y + 1) : spareDst;
        const int enter = y + kHalo;
        FinishRowPair(pixels(enter), enterSums3[0], enterSums7[0], pixels(enter + 1), enterSums3[1],
                      enterSums7[1], sums7(y - kHalo - 1), sums7(y - kHalo), columns7, sums3(y - 1),
                      sums3(y), sums3(y + 1), sums3(y + 2), pixels(y), pixels(y + 1),
                      RowAt(dst, dstStep, y), out1, width, centreOffset, detailGain, 0.0f,
                      65535.0f);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
