#include "contrast/FastDdePass.h"

#include "frame/Rows.h"

#include <algorithm>
#include <climits>
#include <cstddef>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

using u16 = unsigned short;

// The 7x7 window reaches three pixels beyond the frame on every side.
constexpr int kBorder = 3;
// The seven rows of a window and the row below it, which the second row of a pair needs.
constexpr int kRingRows = 8;
// Four rows of column sums: 7x7 and 3x3, for the upper and the lower row of a pair.
constexpr int kSumRows = 4;
// Rows start on 64-byte boundaries.
constexpr int kRowAlignment = 16;

// The weight of the 7x7 mean, as the general filter applies it.
constexpr float kOneFortyNinth = 1.0f / 49.0f;
static_assert(kOneFortyNinth == 0x1.4e5e0ap-6f, "1/49 must be the float 0x3CA72F05");

long long RowStride(int width) {
    const long long floats = static_cast<long long>(width) + 2 * kBorder;
    return (floats + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

SOLOMA_MULTIVERSION void ConvertRow(const u16* __restrict src, float* __restrict dst, int n) {
    for (int x = 0; x < n; ++x) {
        dst[x] = static_cast<float>(src[x]);
    }
}

// Column sums of two output rows y and y + 1 from the rows y - 3 to y + 4, in the order of
// the filters that work in row pairs: the rows both windows share are summed once, top to
// bottom, and the upper row's first row is added to that sum, the lower row's last row
// added after it.
SOLOMA_MULTIVERSION void PairColumnSums(const float* const* rows, float* __restrict upper7,
                                        float* __restrict lower7, float* __restrict upper3,
                                        float* __restrict lower3, int n) {
    const float* __restrict r0 = rows[0];
    const float* __restrict r1 = rows[1];
    const float* __restrict r2 = rows[2];
    const float* __restrict r3 = rows[3];
    const float* __restrict r4 = rows[4];
    const float* __restrict r5 = rows[5];
    const float* __restrict r6 = rows[6];
    const float* __restrict r7 = rows[7];
    for (int x = 0; x < n; ++x) {
        float shared7 = r1[x];
        shared7 += r2[x];
        shared7 += r3[x];
        shared7 += r4[x];
        shared7 += r5[x];
        shared7 += r6[x];
        upper7[x] = r0[x] + shared7;
        lower7[x] = shared7 + r7[x];
        const float shared3 = r3[x] + r4[x];
        upper3[x] = r2[x] + shared3;
        lower3[x] = shared3 + r5[x];
    }
}

// Column sums of a last, unpaired row y from the rows y - 3 to y + 3, top to bottom.
SOLOMA_MULTIVERSION void SingleColumnSums(const float* const* rows, float* __restrict sums7,
                                          float* __restrict sums3, int n) {
    const float* __restrict r0 = rows[0];
    const float* __restrict r1 = rows[1];
    const float* __restrict r2 = rows[2];
    const float* __restrict r3 = rows[3];
    const float* __restrict r4 = rows[4];
    const float* __restrict r5 = rows[5];
    const float* __restrict r6 = rows[6];
    for (int x = 0; x < n; ++x) {
        float sum7 = r0[x];
        sum7 += r1[x];
        sum7 += r2[x];
        sum7 += r3[x];
        sum7 += r4[x];
        sum7 += r5[x];
        sum7 += r6[x];
        sums7[x] = sum7;
        float sum3 = r2[x] + r3[x];
        sum3 += r4[x];
        sums3[x] = sum3;
    }
}

// The column sums of the columns beyond either edge are those of the edge column: the
// replicated columns hold the same values in the same rows.
void ReplicateEnds(float* sums, int n) {
    for (int i = 1; i <= kBorder; ++i) {
        sums[-i] = sums[0];
        sums[n - 1 + i] = sums[n - 1];
    }
}

// One output row from its column sums (padded by kBorder on either side) and its own
// floats. The 7x7 window adds adjacent pairs of column sums, the 3x3 window adds left to
// right; then the halved frame plus the offset, the detail band times the gain, their sum,
// and the conversion to 16 bits: clamped to [lo, hi] = [0, 65535] (NaN becomes 0) and
// rounded to nearest, ties to even, by the two additions of 1.5 * 2^23. The bounds come in as
// arguments so that the selects stay vector minima and maxima.
SOLOMA_MULTIVERSION void FinishRow(const float* __restrict centre, const float* __restrict sums7,
                                   const float* __restrict sums3, u16* __restrict dst, int n,
                                   float offset, float detailGain, float lo, float hi) {
    constexpr float magic = 0x1.8p23f;
    for (int x = 0; x < n; ++x) {
        float window7 = (sums7[x - 3] + sums7[x - 2]) + (sums7[x - 1] + sums7[x]);
        window7 += sums7[x + 1] + sums7[x + 2];
        const float mean7 = (window7 + sums7[x + 3]) * kOneFortyNinth;
        const float window3 = (sums3[x - 1] + sums3[x]) + sums3[x + 1];
        const float mean3 = window3 / 9.0f;
        const float halved = centre[x] * 0.5f + offset;
        const float detail = (mean3 - mean7) * detailGain;
        const float value = halved + detail;
        float clamped = value > lo ? value : lo;
        clamped = clamped < hi ? clamped : hi;
        dst[x] = static_cast<u16>(static_cast<int>((clamped + magic) - magic));
    }
}

}  // namespace

int FastDdeScratchFloats(int width) {
    const long long floats = (kRingRows + kSumRows) * RowStride(width);
    return width > 0 && floats <= INT_MAX ? static_cast<int>(floats) : 0;
}

void FastDdePass(const u16* src, int srcStep, u16* dst, int dstStep, float offset, float detailGain,
                 int width, int height, float* scratch) {
    const std::ptrdiff_t stride = RowStride(width);
    float* ring = scratch;
    float* sums = scratch + kRingRows * stride;
    float* upper7 = sums + kBorder;
    float* lower7 = upper7 + stride;
    float* upper3 = lower7 + stride;
    float* lower3 = upper3 + stride;
    // Source rows are converted once each, in order, into slot row % kRingRows; a window and
    // the row after it never need two rows of one slot. Rows beyond the frame repeat its
    // first or last row.
    int converted = 0;
    auto floatRow = [&](int sy) -> const float* {
        sy = std::clamp(sy, 0, height - 1);
        for (; converted <= sy; ++converted) {
            ConvertRow(RowAt(src, srcStep, converted), ring + (converted % kRingRows) * stride,
                       width);
        }
        return ring + (sy % kRingRows) * stride;
    };
    const float* rows[kRingRows];
    for (int y = 0; y < height; y += 2) {
        const bool pair = y + 1 < height;
        for (int i = 0; i < (pair ? kRingRows : kRingRows - 1); ++i) {
            rows[i] = floatRow(y - kBorder + i);
        }
        const float* centre = rows[kBorder];
        if (!pair) {
            SingleColumnSums(rows, upper7, upper3, width);
            ReplicateEnds(upper7, width);
            ReplicateEnds(upper3, width);
            FinishRow(centre, upper7, upper3, RowAt(dst, dstStep, y), width, offset, detailGain,
                      0.0f, 65535.0f);
            break;
        }
        PairColumnSums(rows, upper7, lower7, upper3, lower3, width);
        for (float* row : {upper7, lower7, upper3, lower3}) {
            ReplicateEnds(row, width);
        }
        FinishRow(centre, upper7, upper3, RowAt(dst, dstStep, y), width, offset, detailGain, 0.0f,
                  65535.0f);
        FinishRow(rows[kBorder + 1], lower7, lower3, RowAt(dst, dstStep, y + 1), width, offset,
                  detailGain, 0.0f, 65535.0f);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
