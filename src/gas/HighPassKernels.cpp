#include "gas/HighPassKernels.h"

#include <algorithm>
#include <cmath>

#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// Columns of 0 either side of a row of column sums: the window reaches two columns out.
constexpr int kPad = 2;
// Scratch rows start on 64-byte boundaries.
constexpr int kRowAlignment = 16;
// The filter's rows reach this far above and below the output row.
constexpr int kRadius = 2;
// Double lanes of a row's sum; enough of them to hide the latency of the additions.
constexpr int kLanes = 16;

long long ScratchStride(int width) {
    const long long padded = static_cast<long long>(width) + 2 * kPad;
    return (padded + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

// Column sums of two consecutive output rows from their six source rows r[0..5]: with
// shared = r1 + r2 + r3 + r4, upper = r0 + shared and lower = shared + r5, the low-pass
// primitive's order.
SOLOMA_MULTIVERSION void ColumnSumsOfPair(const float* r0, const float* r1, const float* r2,
                                          const float* r3, const float* r4, const float* r5,
                                          float* __restrict upper, float* __restrict lower,
                                          int width) {
    for (int x = 0; x < width; ++x) {
        const float shared = ((r1[x] + r2[x]) + r3[x]) + r4[x];
        upper[x] = r0[x] + shared;
        lower[x] = shared + r5[x];
    }
}

// Column sums of an output row without a partner below (the last of an odd height): its
// five source rows added from the top.
SOLOMA_MULTIVERSION void ColumnSumsOfRow(const float* r0, const float* r1, const float* r2,
                                         const float* r3, const float* r4, float* __restrict out,
                                         int width) {
    for (int x = 0; x < width; ++x) {
        out[x] = (((r0[x] + r1[x]) + r2[x]) + r3[x]) + r4[x];
    }
}

// The box mean at x from the padded column sums c[x .. x + 4], added from the left.
inline float BoxMean(const float* c) {
    return ((((c[0] + c[1]) + c[2]) + c[3]) + c[4]) / 25.0f;
}

// edges = |box mean - image| for one row, from its padded column sums; returns the row's sum,
// lane j adding the columns x with x % 16 == j in order, the lanes then folded in halves.
SOLOMA_MULTIVERSION double HighPassRow(const float* sums, const float* image,
                                       float* __restrict edges, int width) {
    double lanes[kLanes] = {};
    int x = 0;
    for (; x + kLanes <= width; x += kLanes) {
        for (int j = 0; j < kLanes; ++j) {
            const float magnitude = std::fabs(BoxMean(sums + x + j) - image[x + j]);
            edges[x + j] = magnitude;
            lanes[j] += static_cast<double>(magnitude);
        }
    }
    for (int j = 0; x < width; ++x, ++j) {
        const float magnitude = std::fabs(BoxMean(sums + x) - image[x]);
        edges[x] = magnitude;
        lanes[j] += static_cast<double>(magnitude);
    }
    for (int half = kLanes / 2; half > 0; half /= 2) {
        for (int j = 0; j < half; ++j) {
            lanes[j] += lanes[j + half];
        }
    }
    return lanes[0];
}

}  // namespace

long long HighPassScratchLength(int width) {
    return 3 * ScratchStride(width);
}

double HighPassMagnitude(const float* frame, int step, int width, int height, int y0, int y1,
                         float* edges, int edgesStep, float* scratch) {
    const long long stride = ScratchStride(width);
    float* upper = scratch;
    float* lower = scratch + stride;
    float* zeros = scratch + 2 * stride;
    std::fill(upper, upper + kPad, 0.0f);
    std::fill(upper + kPad + width, upper + 2 * kPad + width, 0.0f);
    std::fill(lower, lower + kPad, 0.0f);
    std::fill(lower + kPad + width, lower + 2 * kPad + width, 0.0f);
    std::fill(zeros, zeros + width, 0.0f);
    auto row = [&](int y) { return y >= 0 && y < height ? RowAt(frame, step, y) : zeros; };
    double sum = 0.0;
    auto finishRow = [&](const float* sums, int y) {
        if (y >= y0 && y < y1) {
            sum += HighPassRow(sums, RowAt(frame, step, y), RowAt(edges, edgesStep, y), width);
        }
    };
    // Output rows go in pairs from an even row, as the whole frame's filter pairs them.
    for (int y = y0 - y0 % 2; y < y1; y += 2) {
        const int top = y - kRadius;
        if (y + 1 < height) {
            ColumnSumsOfPair(row(top), row(top + 1), row(top + 2), row(top + 3), row(top + 4),
                             row(top + 5), upper + kPad, lower + kPad, width);
            finishRow(upper, y);
            finishRow(lower, y + 1);
        } else {
            ColumnSumsOfRow(row(top), row(top + 1), row(top + 2), row(top + 3), row(top + 4),
                            upper + kPad, width);
            finishRow(upper, y);
        }
    }
    return sum;
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
