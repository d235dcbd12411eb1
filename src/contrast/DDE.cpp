#include <Varnik/Soloma/ImageProcessing/DDE.h>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The largest kernel side whose table size, side², still fits an int.
constexpr int kMaxKernelSize = 46340;

// Both float images hold each row with `radius` repeated border columns on the left, and on
// the right enough of them to cover the window of every block that reaches past the row's end,
// so that the taps read them in place. Column x of the frame is at index radius + x.
// The passes go through a row in blocks of pixels that keep their sums in registers over the
// window's taps; every pixel's sums still take the taps in the window's order, dy outer and
// dx inner. The blur's blocks are wider, so that their eight sums hide the latency of the
// additions. The bilateral pass decides once per tile of columns whether it needs the
// threshold test.
constexpr int kBilateralBlock = 16;
constexpr int kBlurBlock = 64;
constexpr int kTile = 128;  // a multiple of the bilateral block
// Rows padded for the blur's blocks also hold the bilateral blocks past the row's end.
static_assert(kBlurBlock % kBilateralBlock == 0 && kTile % kBilateralBlock == 0);

inline int RoundUp(int n, int multiple) {
    return (n + multiple - 1) / multiple * multiple;
}

// Floats per padded row for a frame `width` wide, or -1 when that does not fit an int.
inline int PaddedWidth(int width, int radius) {
    const long long padded =
        (static_cast<long long>(width) + kBlurBlock - 1) / kBlurBlock * kBlurBlock + 2LL * radius;
    return padded <= INT_MAX ? static_cast<int>(padded) : -1;
}

// Eight floats (or their bits) that the blocks keep in registers. Written as vectors (with
// scalars standing for all lanes), because as arrays GCC set their sums to 0 through memory,
// with a string instruction, for every block.
typedef float Lanes8 __attribute__((vector_size(32)));
typedef std::int32_t IntLanes8 __attribute__((vector_size(32)));

// The bits of a float. Non-negative floats order as their bits do as signed ints.
inline std::int32_t Bits(float f) {
    std::int32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Row y of the source as floats into its padded row. Three plain loops rather than one with
// clamped indices, so that each one vectorises.
SOLOMA_MULTIVERSION void ConvertRow(const unsigned short* srcRow, float* paddedRow, int width,
                                    int radius, int paddedWidth) {
    const float left = static_cast<float>(srcRow[0]);
    const float right = static_cast<float>(srcRow[width - 1]);
    for (int i = 0; i < radius; ++i) {
        paddedRow[i] = left;
    }
    for (int x = 0; x < width; ++x) {
        paddedRow[radius + x] = static_cast<float>(srcRow[x]);
    }
    for (int i = radius + width; i < paddedWidth; ++i) {
        paddedRow[i] = right;
    }
}

// Repeats the first and last of the row's `width` values into its border columns.
[[gnu::always_inline]] inline void RepeatEdges(float* paddedRow, int width, int radius,
                                               int paddedWidth) {
    const float left = paddedRow[radius];
    const float right = paddedRow[radius + width - 1];
    for (int i = 0; i < radius; ++i) {
        paddedRow[i] = left;
    }
    for (int i = radius + width; i < paddedWidth; ++i) {
        paddedRow[i] = right;
    }
}

// The bilateral filter of the block of pixels from column x of row y into base[0 ...]. The
// range weight is a triangle, 1 at equal values and 0 from threshold on. Without
// kTestThreshold every difference is known to lie below the threshold, and the test, which
// would keep every triangle, is left out.
template <bool kTestThreshold>
[[gnu::always_inline]] inline void BilateralBlock(const float* source, int step, int height, int y,
                                                  int x, const float* kernel, int radius,
                                                  std::int32_t thresholdBits, float invThreshold,
                                                  float* base) {
    constexpr int kLanes = kBilateralBlock / 8;
    const int side = 2 * radius + 1;
    Lanes8 c[kLanes];
    Lanes8 sumW[kLanes];
    Lanes8 sumWV[kLanes];
    const float* centre = RowAt(source, step, y) + radius + x;
    for (int k = 0; k < kLanes; ++k) {
        std::memcpy(&c[k], centre + 8 * k, sizeof c[k]);
        sumW[k] = Lanes8{};
        sumWV[k] = Lanes8{};
    }
    for (int j = 0; j < side; ++j) {
        const float* v = RowAt(source, step, std::clamp(y - radius + j, 0, height - 1)) + x;
        const float* spatial = kernel + j * side;
        for (int t = 0; t < side; ++t) {
            for (int k = 0; k < kLanes; ++k) {
                Lanes8 value;
                std::memcpy(&value, v + t + 8 * k, sizeof value);
                // |c - v| by clearing the sign bit.
                const IntLanes8 differenceBits = (IntLanes8)(c[k] - value) & 0x7FFFFFFF;
                Lanes8 range = 1.0f - (Lanes8)differenceBits * invThreshold;
                if constexpr (kTestThreshold) {
                    // "difference >= threshold ? 0 : triangle", compared as bits.
                    range = (Lanes8)((IntLanes8)range & (differenceBits < thresholdBits));
                }
                const Lanes8 w = range * spatial[t];
                sumW[k] += w;
                sumWV[k] += w * value;
            }
        }
    }
    for (int k = 0; k < kLanes; ++k) {
        const Lanes8 quotient = sumWV[k] / sumW[k];
        std::memcpy(base + 8 * k, &quotient, sizeof quotient);
    }
}

// Pass 2 for the block of pixels from column x of row y, into out[0 ...]: the Gaussian blur
// of the base image, then the recombination.
[[gnu::always_inline]] inline void RecombineBlock(const float* base, const float* source, int step,
                                                  int height, int y, int x, const float* kernel,
                                                  int radius, float baseSharpen, float detailGain,
                                                  unsigned short* out) {
    typedef std::uint16_t WordLanes8 __attribute__((vector_size(16)));
    constexpr int kLanes = kBlurBlock / 8;
    const int side = 2 * radius + 1;
    Lanes8 blur[kLanes];
    for (int k = 0; k < kLanes; ++k) {
        blur[k] = Lanes8{};
    }
    for (int j = 0; j < side; ++j) {
        const float* v = RowAt(base, step, std::clamp(y - radius + j, 0, height - 1)) + x;
        const float* spatial = kernel + j * side;
        for (int t = 0; t < side; ++t) {
            for (int k = 0; k < kLanes; ++k) {
                Lanes8 value;
                std::memcpy(&value, v + t + 8 * k, sizeof value);
                blur[k] += spatial[t] * value;
            }
        }
    }
    const float* baseRow = RowAt(base, step, y) + radius + x;
    const float* sourceRow = RowAt(source, step, y) + radius + x;
    for (int k = 0; k < kLanes; ++k) {
        Lanes8 b;
        Lanes8 c;
        std::memcpy(&b, baseRow + 8 * k, sizeof b);
        std::memcpy(&c, sourceRow + 8 * k, sizeof c);
        const Lanes8 detail = (c - b) * detailGain;
        const Lanes8 value = ((b - blur[k]) * baseSharpen + b) + (detail + 0.5f);
        // Written as "at least 0" so that a NaN, which no frame should produce, gives 0.
        const Lanes8 capped = value < 65535.0f ? value : 65535.0f;
        const Lanes8 clamped = (Lanes8)((IntLanes8)capped & (value >= 0.0f));
        const WordLanes8 words =
            __builtin_convertvector(__builtin_convertvector(clamped, IntLanes8), WordLanes8);
        std::memcpy(out + 8 * k, &words, sizeof words);
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

// Pass 1 for row y: the base row, border columns included.
SOLOMA_MULTIVERSION void BilateralRow(const unsigned short* src, int srcStep, const float* source,
                                      float* base, int step, const float* kernel, int radius,
                                      float invThreshold, float threshold, int width, int height,
                                      int paddedWidth, int y) {
    const std::int32_t thresholdBits = Bits(threshold);  // threshold > 0
    float* baseRow = RowAt(base, step, y);
    for (int x0 = 0; x0 < width; x0 += kTile) {
        // Whole blocks: the pixels past the row's end are computed from its repeated last
        // pixel into the border columns, which are then overwritten.
        const int blocks = RoundUp(std::min(kTile, width - x0), kBilateralBlock);
        // Pixel values are integers, so their differences are exact: when the tile's window
        // spans less than the threshold, no tap reaches it.
        const bool testThreshold = static_cast<float>(WindowSpan(src, srcStep, width, height, y, x0,
                                                                 blocks, radius)) >= threshold;
        for (int x = x0; x < x0 + blocks; x += kBilateralBlock) {
            if (testThreshold) {
                BilateralBlock<true>(source, step, height, y, x, kernel, radius, thresholdBits,
                                     invThreshold, baseRow + radius + x);
            } else {
                BilateralBlock<false>(source, step, height, y, x, kernel, radius, thresholdBits,
                                      invThreshold, baseRow + radius + x);
            }
        }
    }
    RepeatEdges(baseRow, width, radius, paddedWidth);
}

// Pass 2 for row y.
SOLOMA_MULTIVERSION void RecombineRow(const float* base, const float* source, int step,
                                      unsigned short* dstRow, const float* kernel, int radius,
                                      float baseSharpen, float detailGain, int width, int height,
                                      int y) {
    const int whole = width / kBlurBlock * kBlurBlock;
    for (int x = 0; x < whole; x += kBlurBlock) {
        RecombineBlock(base, source, step, height, y, x, kernel, radius, baseSharpen, detailGain,
                       dstRow + x);
    }
    if (whole < width) {
        unsigned short last[kBlurBlock];
        RecombineBlock(base, source, step, height, y, whole, kernel, radius, baseSharpen,
                       detailGain, last);
        std::copy(last, last + (width - whole), dstRow + whole);
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
    if (!_base || !_source) {
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
    ConvertSource(src, srcStep, _source.Get(), _pitch, _radius, width, height);
    BilateralFilter(src, srcStep, _source.Get(), _base.Get(), _pitch, _kernel.Get(), _radius,
                    invThreshold, threshold, width, height);
    // The source is read from its float copy from here on, so dst may be src.
    MiddleFilter(_base.Get(), _source.Get(), _pitch, dst, dstStep, _kernel.Get(), _radius,
                 baseSharpen, detailGain, width, height);
}

void DDE::Allocate(int width, int height) {
    const int paddedWidth = PaddedWidth(width, _radius);
    if (width == _width && height == _height && _base && _source && _base.Width() == paddedWidth) {
        return;
    }
    DeAllocate();
    if (paddedWidth < 0) {
        return;
    }
    _base.Allocate(paddedWidth, height);
    _source.Allocate(paddedWidth, height);
    // Both passes address the two images with one pitch.
    if (!_base || !_source || _base.Pitch() != _source.Pitch()) {
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
    _source.Release();
    _width = 0;
    _height = 0;
    _pitch = 0;
}

void DDE::ConvertSource(const unsigned short* src, int srcStep, float* source, int step, int radius,
                        int width, int height) {
    const int paddedWidth = PaddedWidth(width, radius);
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        ConvertRow(RowAt(src, srcStep, y), RowAt(source, step, y), width, radius, paddedWidth);
    }
}

void DDE::BilateralFilter(const unsigned short* src, int srcStep, const float* source, float* base,
                          int step, const float* kernel, int radius, float invThreshold,
                          float threshold, int width, int height) {
    const int paddedWidth = PaddedWidth(width, radius);
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        BilateralRow(src, srcStep, source, base, step, kernel, radius, invThreshold, threshold,
                     width, height, paddedWidth, y);
    }
}

void DDE::MiddleFilter(const float* base, const float* source, int step, unsigned short* dst,
                       int dstStep, const float* kernel, int radius, float baseSharpen,
                       float detailGain, int width, int height) {
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        RecombineRow(base, source, step, RowAt(dst, dstStep, y), kernel, radius, baseSharpen,
                     detailGain, width, height, y);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
