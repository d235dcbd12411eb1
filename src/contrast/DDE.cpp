#include <Varnik/Soloma/ImageProcessing/DDE.h>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The largest kernel side whose table size, side², still fits an int.
constexpr int kMaxKernelSize = 46340;

// The passes work on tiles of up to kTile output columns of one row: all pixels of a tile go
// through the window together, vectorised across pixels, and within a tile blocks of pixels
// keep their sums in registers over the window's taps. Every pixel's sums still take the taps
// in the window's order, dy outer and dx inner. The window rows are float segments of the
// image, read in place where possible and otherwise converted, border columns repeated, into
// a fixed scratch block on the stack, so that nothing is allocated per row. A window too
// large for the scratch block goes in parts (runs of rows, or pieces of one row), its sums
// kept in the tile's arrays between parts.
constexpr int kBilateralBlock = 16;
constexpr int kBlurBlock = 32;
constexpr int kTile = 128;                             // a multiple of both blocks
constexpr int kScratch = 2048;                         // floats
constexpr int kMaxRows = 64;                           // window rows in one part
constexpr int kOffsetsPerPart = kScratch - kTile + 1;  // column offsets one segment serves

inline int RoundUp(int n, int multiple) {
    return (n + multiple - 1) / multiple * multiple;
}

// Columns first .. first + count - 1 of a row as floats; columns outside the row repeat its
// nearest end pixel. Returns the row itself when it can be read in place.
template <typename T>
inline const float* Segment(const T* row, int width, int first, int count, float* line) {
    if constexpr (std::is_same_v<T, float>) {
        if (first >= 0 && first + count <= width) {
            return row + first;
        }
    }
    // Three plain loops rather than one with clamped indices, so that each one vectorises.
    const int left = std::clamp(-first, 0, count);                         // before the row
    const int right = std::clamp(first + count - width, 0, count - left);  // after it
    const float leftValue = static_cast<float>(row[0]);
    const float rightValue = static_cast<float>(row[width - 1]);
    for (int j = 0; j < left; ++j) {
        line[j] = leftValue;
    }
    for (int j = left; j < count - right; ++j) {
        line[j] = static_cast<float>(row[first + j]);
    }
    for (int j = count - right; j < count; ++j) {
        line[j] = rightValue;
    }
    return line;
}

// Part of the window for one tile of a row: rowCount consecutive window rows, each with taps
// consecutive column offsets.
struct WindowPart {
    const float* rows[kMaxRows];  // rows[j][i + t]: tap t of row j for the tile's pixel i
    const float* weights;         // weights[j * side + t]: the spatial weight of that tap
    int side;
    int rowCount;
    int taps;
};

// Calls addTaps(part) for every part of the window around row y for the tile of `blocks`
// columns from x0, in the window's order.
template <typename T, typename AddTaps>
[[gnu::always_inline]] inline void ForEachWindowPart(const T* image, int step, int width,
                                                     int height, int y, int x0, int blocks,
                                                     const float* kernel, int radius,
                                                     float* scratch, AddTaps addTaps) {
    WindowPart part;
    part.side = 2 * radius + 1;
    // Whole window rows when one fits the scratch block, otherwise one row in pieces.
    const bool wholeRows = part.side <= kOffsetsPerPart;
    const int pieceTaps = wholeRows ? part.side : kOffsetsPerPart;
    const int length = blocks + pieceTaps - 1;
    const int rowsPerPart = wholeRows ? std::min(kMaxRows, kScratch / length) : 1;
    for (int dyFirst = -radius; dyFirst <= radius; dyFirst += rowsPerPart) {
        part.rowCount = std::min(rowsPerPart, radius + 1 - dyFirst);
        for (int dxFirst = -radius; dxFirst <= radius; dxFirst += pieceTaps) {
            part.taps = std::min(pieceTaps, radius + 1 - dxFirst);
            for (int j = 0; j < part.rowCount; ++j) {
                const T* row = RowAt(image, step, std::clamp(y + dyFirst + j, 0, height - 1));
                part.rows[j] =
                    Segment(row, width, x0 + dxFirst, blocks + part.taps - 1, scratch + j * length);
            }
            part.weights = kernel + (dyFirst + radius) * part.side + (dxFirst + radius);
            addTaps(part);
        }
    }
}

// The bits of a float, and back. Non-negative floats order as their bits do as signed ints.
inline std::int32_t Bits(float f) {
    std::int32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
inline float FromBits(std::int32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

// The bilateral taps of a window part for the block of pixels from i0, whose own values are
// centre[i0 ...]. The range weight is a triangle, 1 at equal values and 0 from threshold on.
// Without kTestThreshold every difference is known to lie below the threshold, and the test,
// which would keep every triangle, is left out.
template <bool kTestThreshold>
[[gnu::always_inline]] inline void AddBilateralTaps(const WindowPart& part, int i0,
                                                    const float* __restrict centre,
                                                    float* __restrict sumW, float* __restrict sumWV,
                                                    std::int32_t thresholdBits,
                                                    float invThreshold) {
    float c[kBilateralBlock];
    float blockW[kBilateralBlock];
    float blockWV[kBilateralBlock];
    for (int i = 0; i < kBilateralBlock; ++i) {
        c[i] = centre[i0 + i];
        blockW[i] = sumW[i0 + i];
        blockWV[i] = sumWV[i0 + i];
    }
    for (int j = 0; j < part.rowCount; ++j) {
        const float* __restrict v = part.rows[j] + i0;
        const float* spatial = part.weights + j * part.side;
        for (int t = 0; t < part.taps; ++t) {
            for (int i = 0; i < kBilateralBlock; ++i) {
                const float difference = std::fabs(c[i] - v[t + i]);
                // "difference >= threshold ? 0 : triangle" as a mask on the bits: a float
                // comparison could raise an exception, which keeps GCC from computing the
                // triangle ahead of the choice and so from vectorising the loop.
                const float triangle = 1.0f - difference * invThreshold;
                float range = triangle;
                if constexpr (kTestThreshold) {
                    const std::int32_t keep = Bits(difference) < thresholdBits ? -1 : 0;
                    range = FromBits(Bits(triangle) & keep);
                }
                const float w = range * spatial[t];
                blockW[i] += w;
                blockWV[i] += w * v[t + i];
            }
        }
    }
    for (int i = 0; i < kBilateralBlock; ++i) {
        sumW[i0 + i] = blockW[i];
        sumWV[i0 + i] = blockWV[i];
    }
}

// The Gaussian taps of a window part for the block of pixels from i0.
[[gnu::always_inline]] inline void AddBlurTaps(const WindowPart& part, int i0,
                                               float* __restrict sum) {
    float block[kBlurBlock];
    for (int i = 0; i < kBlurBlock; ++i) {
        block[i] = sum[i0 + i];
    }
    for (int j = 0; j < part.rowCount; ++j) {
        const float* __restrict v = part.rows[j] + i0;
        const float* spatial = part.weights + j * part.side;
        for (int t = 0; t < part.taps; ++t) {
            for (int i = 0; i < kBlurBlock; ++i) {
                block[i] += spatial[t] * v[t + i];
            }
        }
    }
    for (int i = 0; i < kBlurBlock; ++i) {
        sum[i0 + i] = block[i];
    }
}

// The largest value less the smallest over the window of a tile of `blocks` columns from x0
// of row y: rows y - radius to y + radius and columns x0 - radius to x0 + blocks - 1 + radius,
// clamped to the image (the repeated border pixels add no new values).
[[gnu::always_inline]] inline int WindowSpan(const unsigned short* src, int srcStep, int width,
                                             int height, int y, int x0, int blocks, int radius) {
    const int first = std::max(x0 - radius, 0);
    const int last = std::min(x0 + blocks - 1 + radius, width - 1);
    int low = 65535;
    int high = 0;
    for (int sy = std::max(y - radius, 0); sy <= std::min(y + radius, height - 1); ++sy) {
        const unsigned short* row = RowAt(src, srcStep, sy);
        for (int x = first; x <= last; ++x) {
            low = std::min(low, static_cast<int>(row[x]));
            high = std::max(high, static_cast<int>(row[x]));
        }
    }
    return high - low;
}

// Pass 1 for row y.
SOLOMA_MULTIVERSION void BilateralRow(const unsigned short* src, int srcStep, float* baseRow,
                                      float* detailRow, const float* kernel, int radius,
                                      float invThreshold, float threshold, float detailGain,
                                      int width, int height, int y) {
    alignas(32) float centre[kTile];
    alignas(32) float sumW[kTile];
    alignas(32) float sumWV[kTile];
    alignas(32) float scratch[kScratch];
    const std::int32_t thresholdBits = Bits(threshold);  // threshold > 0
    for (int x0 = 0; x0 < width; x0 += kTile) {
        const int n = std::min(kTile, width - x0);
        // Whole blocks: the pixels past the row's end are computed from its repeated last
        // pixel, and dropped.
        const int blocks = RoundUp(n, kBilateralBlock);
        Segment(RowAt(src, srcStep, y), width, x0, blocks, centre);
        std::fill_n(sumW, blocks, 0.0f);
        std::fill_n(sumWV, blocks, 0.0f);
        // Inlined, as the lambda inside: the taps must be compiled for the clone's instruction set.
        auto addTaps = [&](auto testThreshold) __attribute__((always_inline)) {
            ForEachWindowPart(
                src, srcStep, width, height, y, x0, blocks, kernel, radius,
                scratch, [&](const WindowPart& part) __attribute__((always_inline)) {
                    for (int i = 0; i < blocks; i += kBilateralBlock) {
                        AddBilateralTaps<decltype(testThreshold)::value>(
                            part, i, centre, sumW, sumWV, thresholdBits, invThreshold);
                    }
                });
        };
        // Pixel values are integers, so their differences are exact: when the tile's window
        // spans less than the threshold, no tap reaches it.
        if (static_cast<float>(WindowSpan(src, srcStep, width, height, y, x0, blocks, radius)) <
            threshold) {
            addTaps(std::false_type{});
        } else {
            addTaps(std::true_type{});
        }
        for (int i = 0; i < n; ++i) {
            const float base = sumWV[i] / sumW[i];
            baseRow[x0 + i] = base;
            detailRow[x0 + i] = (centre[i] - base) * detailGain;
        }
    }
}

// Pass 2 for row y.
SOLOMA_MULTIVERSION void RecombineRow(const float* base, int baseStep, const float* detailRow,
                                      unsigned short* dstRow, const float* kernel, int radius,
                                      float baseSharpen, int width, int height, int y) {
    alignas(32) float blur[kTile];
    alignas(32) float scratch[kScratch];
    const float* baseRow = RowAt(base, baseStep, y);
    for (int x0 = 0; x0 < width; x0 += kTile) {
        const int n = std::min(kTile, width - x0);
        const int blocks = RoundUp(n, kBlurBlock);
        std::fill_n(blur, blocks, 0.0f);
        ForEachWindowPart(base, baseStep, width, height, y, x0, blocks, kernel, radius, scratch,
                          [&](const WindowPart& part) {
                              for (int i = 0; i < blocks; i += kBlurBlock) {
                                  AddBlurTaps(part, i, blur);
                              }
                          });
        for (int i = 0; i < n; ++i) {
            const float b = baseRow[x0 + i];
            const float value = ((b - blur[i]) * baseSharpen + b) + (detailRow[x0 + i] + 0.5f);
            // Written as "at least 0" so that a NaN, which no frame should produce, gives 0.
            const float clamped = value >= 0.0f ? std::min(value, 65535.0f) : 0.0f;
            dstRow[x0 + i] = static_cast<unsigned short>(static_cast<int>(clamped));
        }
    }
}

// The normalised Gaussian weights of a (2r + 1)² window, row by row.
void BuildWeights(float* kernel, int kernelSize, float sigma) {
    const int r = (kernelSize - 1) / 2;
    const int used = (2 * r + 1) * (2 * r + 1);
    const float s2 = sigma * sigma;
    const float inverseTwoS2 = 1.0f / (s2 * 2.0f);
    const float norm = 1.0f / (s2 * 6.2831855f);
    float sum = 0.0f;
    int k = 0;
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
            const float w = expf(-((static_cast<float>(dx * dx) + static_cast<float>(dy * dy)) *
                                   inverseTwoS2)) *
                            norm;
            kernel[k++] = w;
            sum += w;
        }
    }
    // An even size leaves entries past the window; keep them defined.
    std::fill(kernel + used, kernel + kernelSize * kernelSize, 0.0f);
    // A sigma too small for single precision (0 among them) makes the weights NaN or infinite,
    // one too large makes them all 0. Take the Gaussian's limits instead: all weight on the
    // centre, or the same weight everywhere.
    if (std::isnan(sum) || std::isinf(sum)) {
        std::fill(kernel, kernel + used, 0.0f);
        kernel[used / 2] = 1.0f;
        sum = 1.0f;
    } else if (sum <= 0.0f) {
        std::fill(kernel, kernel + used, 1.0f);
        sum = static_cast<float>(used);
    }
    VectorPrimitives::DivC_32f_I(kernel, sum, kernelSize * kernelSize);
}

}  // namespace

DDE::DDE() = default;

DDE::DDE(int kernelSize, float sigma) {
    Init(kernelSize, sigma);
}

DDE::DDE(const DDE& other) = default;
DDE& DDE::operator=(const DDE& other) = default;

DDE::~DDE() {
    Cleanup();
    DeAllocate();
}

void DDE::Init(int kernelSize, float sigma) {
    Cleanup();
    _kernelSize = kernelSize;
    _sigma = sigma;
    _radius = 0;
    // Without a table Create does nothing: a size below 1 has no window, and a larger one than
    // this would overflow the table's int length.
    if (kernelSize < 1 || kernelSize > kMaxKernelSize) {
        return;
    }
    _radius = (kernelSize - 1) / 2;
    _kernel.Allocate(kernelSize * kernelSize);
    if (_kernel) {
        BuildWeights(_kernel.Get(), kernelSize, sigma);
    }
}

void DDE::Create(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                 float baseSharpen, float detailGain, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    // A table lost to a failed allocation (in Init or in a copy) is built again here.
    if (!_kernel) {
        Init(_kernelSize, _sigma);
    }
    if (!_kernel) {
        return;
    }
    Allocate(width, height);
    if (!_base || !_detail) {
        return;
    }
    unsigned short minValue = 0;
    unsigned short maxValue = 0;
    PixelPrimitives::MinMax_16u_C1(src, srcStep, width, height, &minValue, &maxValue);
    // A flat frame has a zero-width range triangle. Its limit weighs every neighbour 1, and
    // every neighbour has the frame's one value, so base, blur and output all equal it.
    if (minValue == maxValue) {
        for (int y = 0; y < height; ++y) {
            std::fill(RowAt(dst, dstStep, y), RowAt(dst, dstStep, y) + width, minValue);
        }
        return;
    }
    const float threshold = static_cast<float>(maxValue - minValue) * 0.75f;
    const float invThreshold = 1.0f / threshold;
    BilateralFilter(src, srcStep, _base.Get(), _pitch, _detail.Get(), _pitch, _kernel.Get(),
                    _radius, invThreshold, threshold, detailGain, width, height);
    MiddleFilter(_base.Get(), _pitch, _detail.Get(), _pitch, dst, dstStep, _kernel.Get(), _radius,
                 baseSharpen, width, height);
}

void DDE::Allocate(int width, int height) {
    if (width == _width && height == _height && _base && _detail) {
        return;
    }
    DeAllocate();
    _base.Allocate(width, height);
    _detail.Allocate(width, height);
    // Both passes address the two images with one pitch.
    if (!_base || !_detail || _base.Pitch() != _detail.Pitch()) {
        DeAllocate();
        return;
    }
    _pitch = _base.Pitch();
    _width = width;
    _height = height;
}

void DDE::Cleanup() {
    _kernel.Release();
    _kernelSize = 0;
    _radius = 0;
    _sigma = 0.0f;
}

void DDE::DeAllocate() {
    _base.Release();
    _detail.Release();
    _width = 0;
    _height = 0;
    _pitch = 0;
}

void DDE::BilateralFilter(const unsigned short* src, int srcStep, float* base, int baseStep,
                          float* detail, int detailStep, const float* kernel, int radius,
                          float invThreshold, float threshold, float detailGain, int width,
                          int height) {
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        BilateralRow(src, srcStep, RowAt(base, baseStep, y), RowAt(detail, detailStep, y), kernel,
                     radius, invThreshold, threshold, detailGain, width, height, y);
    }
}

void DDE::MiddleFilter(const float* base, int baseStep, const float* detail, int detailStep,
                       unsigned short* dst, int dstStep, const float* kernel, int radius,
                       float baseSharpen, int width, int height) {
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        RecombineRow(base, baseStep, RowAt(detail, detailStep, y), RowAt(dst, dstStep, y), kernel,
                     radius, baseSharpen, width, height, y);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
