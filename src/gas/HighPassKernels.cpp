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
// The column sums of a row start on a 64-byte boundary (their padding just before it), so
// that the vector stores that write them do not straddle cache lines.
constexpr int kRowAlignment = 16;
// The filter's rows reach this far above and below the output row.
constexpr int kRadius = 2;
// Source rows of a pair of output rows.
constexpr int kPairRows = 2 * kRadius + 2;
// Double lanes of a row's sum; enough of them to hide the latency of the additions.
constexpr int kLanes = 16;

long long ScratchStride(int width) {
    const long long padded = static_cast<long long>(width) + kRowAlignment + kPad;
    return (padded + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

// Column sums of two consecutive output rows from their six source rows r[0..5]: with
// shared = r1 + r2 + r3 + r4, upper = r0 + shared and lower = shared + r5, the low-pass
// primitive's order. 16-bit pixels convert to float exactly.
template <typename T>
SOLOMA_MULTIVERSION void ColumnSumsOfPair(const T* r0, const T* r1, const T* r2, const T* r3,
                                          const T* r4, const T* r5, float* __restrict upper,
                                          float* __restrict lower, int width) {
    for (int x = 0; x < width; ++x) {
        const float shared =
            ((static_cast<float>(r1[x]) + static_cast<float>(r2[x])) + static_cast<float>(r3[x])) +
            static_cast<float>(r4[x]);
        upper[x] = static_cast<float>(r0[x]) + shared;
        lower[x] = shared + static_cast<float>(r5[x]);
    }
}

// Column sums of an output row without a partner below (the last of an odd height): its
// five source rows added from the top.
SOLOMA_MULTIVERSION void ColumnSumsOfRow(const float* const* r, float* __restrict out, int width) {
    for (int x = 0; x < width; ++x) {
        out[x] = (((r[0][x] + r[1][x]) + r[2][x]) + r[3][x]) + r[4][x];
    }
}

// The box mean at x from the padded column sums c[x .. x + 4], added from the left.
inline float BoxMean(const float* c) {
    return ((((c[0] + c[1]) + c[2]) + c[3]) + c[4]) / 25.0f;
}

// edges = |box mean - image| for one row, from its padded column sums; returns the row's sum,
// lane j adding the columns x with x % 16 == j in order, the lanes then folded in halves.
template <typename T>
SOLOMA_MULTIVERSION double HighPassRow(const float* sums, const T* image, float* __restrict edges,
                                       int width) {
    double lanes[kLanes] = {};
    int x = 0;
    for (; x + kLanes <= width; x += kLanes) {
        for (int j = 0; j < kLanes; ++j) {
            const float magnitude =
                std::fabs(BoxMean(sums + x + j) - static_cast<float>(image[x + j]));
            edges[x + j] = magnitude;
            lanes[j] += static_cast<double>(magnitude);
        }
    }
    for (int j = 0; x < width; ++x, ++j) {
        const float magnitude = std::fabs(BoxMean(sums + x) - static_cast<float>(image[x]));
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

// Scratch of one call: the two rows of column sums with their padding, and the source rows
// of a pair that reaches beyond the frame, as floats with 0 outside it.
struct Scratch {
    Scratch(float* base, int width) {
        const long long stride = ScratchStride(width);
        upper = base + (kRowAlignment - kPad);
        lower = upper + stride;
        for (int t = 0; t < kPairRows; ++t) {
            staged[t] = base + (2 + t) * stride;
        }
        std::fill(upper, upper + kPad, 0.0f);
        std::fill(upper + kPad + width, upper + 2 * kPad + width, 0.0f);
        std::fill(lower, lower + kPad, 0.0f);
        std::fill(lower + kPad + width, lower + 2 * kPad + width, 0.0f);
    }
    float* upper;
    float* lower;
    float* staged[kPairRows];
};

template <typename T>
double HighPassRows(const T* frame, int step, int width, int height, int y0, int y1, float* edges,
                    int edgesStep, float* scratchBase) {
    Scratch s(scratchBase, width);
    double sum = 0.0;
    auto finishRow = [&](const float* sums, int y) {
        if (y >= y0 && y < y1) {
            sum += HighPassRow(sums, RowAt(frame, step, y), RowAt(edges, edgesStep, y), width);
        }
    };
    // The source rows of the pair at y as floats, 0 outside the frame.
    auto stage = [&](int y) {
        for (int t = 0; t < kPairRows; ++t) {
            const int sy = y - kRadius + t;
            float* row = s.staged[t];
            if (sy >= 0 && sy < height) {
                std::copy(RowAt(frame, step, sy), RowAt(frame, step, sy) + width, row);
            } else {
                std::fill(row, row + width, 0.0f);
            }
        }
    };
    // Output rows go in pairs from an even row, as the whole frame's filter pairs them.
    for (int y = y0 - y0 % 2; y < y1; y += 2) {
        const int top = y - kRadius;
        if (top >= 0 && top + kPairRows <= height) {
            ColumnSumsOfPair(RowAt(frame, step, top), RowAt(frame, step, top + 1),
                             RowAt(frame, step, top + 2), RowAt(frame, step, top + 3),
                             RowAt(frame, step, top + 4), RowAt(frame, step, top + 5),
                             s.upper + kPad, s.lower + kPad, width);
        } else if (y + 1 < height) {
            stage(y);
            const float* const* r = s.staged;
            ColumnSumsOfPair(r[0], r[1], r[2], r[3], r[4], r[5], s.upper + kPad, s.lower + kPad,
                             width);
        } else {
            stage(y);
            ColumnSumsOfRow(s.staged, s.upper + kPad, width);
        }
        finishRow(s.upper, y);
        if (y + 1 < height) {
            finishRow(s.lower, y + 1);
        }
    }
    return sum;
}

}  // namespace

long long HighPassScratchLength(int width) {
    return (2 + kPairRows) * ScratchStride(width);
}

double HighPassMagnitude(const float* frame, int step, int width, int height, int y0, int y1,
                         float* edges, int edgesStep, float* scratch) {
    return HighPassRows(frame, step, width, height, y0, y1, edges, edgesStep, scratch);
}

double HighPassMagnitude(const unsigned short* frame, int step, int width, int height, int y0,
                         int y1, float* edges, int edgesStep, float* scratch) {
    return HighPassRows(frame, step, width, height, y0, y1, edges, edgesStep, scratch);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
