#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

// Linear filters. Every output row is built by one kernel, WeightedSum, that adds weighted
// input rows one tap at a time across the whole row: each pixel gets its taps in the same
// fixed order, and the loop over pixels vectorises.
namespace {

// out[x] = sum over t of weights[t] * inputs[t][x], accumulated in float in order of t.
// Taps are added four per pass over the row, each pixel still adding them one after the
// other, so the result is that of the plain tap-by-tap sum with a quarter of the traffic.
PP_MULTIVERSION void WeightedSum(const float* const* inputs, const float* weights, int taps,
                                 float* __restrict out, int width) {
    {
        const float* a = inputs[0];
        const float wa = weights[0];
        for (int x = 0; x < width; ++x) {
            out[x] = wa * a[x];
        }
    }
    int t = 1;
    for (; t + 4 <= taps; t += 4) {
        const float* a = inputs[t];
        const float* b = inputs[t + 1];
        const float* c = inputs[t + 2];
        const float* d = inputs[t + 3];
        const float wa = weights[t], wb = weights[t + 1], wc = weights[t + 2], wd = weights[t + 3];
        for (int x = 0; x < width; ++x) {
            float sum = out[x];
            sum += wa * a[x];
            sum += wb * b[x];
            sum += wc * c[x];
            sum += wd * d[x];
            out[x] = sum;
        }
    }
    for (; t < taps; ++t) {
        const float* a = inputs[t];
        const float wa = weights[t];
        for (int x = 0; x < width; ++x) {
            out[x] += wa * a[x];
        }
    }
}

PP_MULTIVERSION void DivideRow(float* row, float divisor, int width) {
    for (int x = 0; x < width; ++x) {
        row[x] /= divisor;
    }
}

template <typename T>
std::unique_ptr<T[]> TryAllocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// Scratch of the separable filters, carved from the caller's buffer: one padded source row,
// a ring of row-pass results (one row per tap, indexed by source row modulo taps), the
// row-pass result of a constant row, the tap weights and two arrays of row pointers.
constexpr std::size_t kScratchAlignment = 64;

std::size_t AlignUp(std::size_t bytes) {
    return (bytes + kScratchAlignment - 1) / kScratchAlignment * kScratchAlignment;
}

struct Scratch {
    float* padded;
    float* ring;
    std::size_t ringStride;  // floats
    float* constantRow;
    float* weights;
    const float** rowInputs;
    const float** columnInputs;
};

// Byte offsets of the scratch parts; `total` includes slack for aligning the buffer.
struct ScratchLayout {
    std::size_t ringStride;
    std::size_t ring;
    std::size_t constantRow;
    std::size_t weights;
    std::size_t pointers;
    std::size_t total;
};

ScratchLayout LayoutFor(int width, int taps) {
    std::size_t w = static_cast<std::size_t>(width);
    std::size_t k = static_cast<std::size_t>(taps);
    ScratchLayout l{};
    l.ringStride = AlignUp(w * sizeof(float));
    l.ring = AlignUp((w + k) * sizeof(float));
    l.constantRow = l.ring + k * l.ringStride;
    l.weights = l.constantRow + l.ringStride;
    l.pointers = l.weights + AlignUp(k * sizeof(float));
    l.total = l.pointers + 2 * k * sizeof(const float*) + kScratchAlignment;
    return l;
}

Scratch CarveScratch(unsigned char* buffer, int width, int taps) {
    auto address = reinterpret_cast<std::uintptr_t>(buffer);
    unsigned char* base = buffer + (AlignUp(address) - address);
    ScratchLayout l = LayoutFor(width, taps);
    Scratch s{};
    s.padded = reinterpret_cast<float*>(base);
    s.ring = reinterpret_cast<float*>(base + l.ring);
    s.ringStride = l.ringStride / sizeof(float);
    s.constantRow = reinterpret_cast<float*>(base + l.constantRow);
    s.weights = reinterpret_cast<float*>(base + l.weights);
    s.rowInputs = reinterpret_cast<const float**>(base + l.pointers);
    s.columnInputs = s.rowInputs + taps;
    return s;
}

bool ScratchSize(int width, int height, int taps, int* bufferSize) {
    if (bufferSize == nullptr || !pp::ValidSize(width, height)) {
        return false;
    }
    std::size_t total = LayoutFor(width, taps).total;
    if (total > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    *bufferSize = static_cast<int>(total);
    return true;
}

// How pixels beyond the image edge are made up.
struct Border {
    bool replicate;
    float value;  // of every outside pixel when not replicating
};

// Row pass of one row into out. The row is copied into the padded scratch row with its
// border, so that every tap reads a plain shifted row.
void RowPass(const float* row, int width, int taps, Border border, const Scratch& s, float* out) {
    int radius = taps / 2;
    float left = border.replicate ? row[0] : border.value;
    float right = border.replicate ? row[width - 1] : border.value;
    std::fill(s.padded, s.padded + radius, left);
    std::memcpy(s.padded + radius, row, static_cast<std::size_t>(width) * sizeof(float));
    std::fill(s.padded + radius + width, s.padded + 2 * radius + width, right);
    for (int t = 0; t < taps; ++t) {
        s.rowInputs[t] = s.padded + t;
    }
    WeightedSum(s.rowInputs, s.weights, taps, out, width);
}

// Separable filter with one symmetric odd-length kernel for rows and columns: a row pass into
// a ring of rows, then a column pass over the ring, then a division by `divisor` unless it
// is 1. Reads only the width x height region.
void SeparableFilter(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
                     const float* weights, int taps, Border border, float divisor,
                     unsigned char* buffer) {
    Scratch s = CarveScratch(buffer, width, taps);
    std::copy(weights, weights + taps, s.weights);
    if (!border.replicate) {
        // The row pass of an all-border row, made the same way as any other.
        std::fill(s.constantRow, s.constantRow + width, border.value);
        RowPass(s.constantRow, width, taps, border, s, s.constantRow);
    }
    // Source rows are row-passed once each, in increasing order, into slot row % taps; a
    // window of `taps` consecutive rows never needs two rows of one slot.
    int radius = taps / 2;
    int nextRow = 0;
    for (int y = 0; y < height; ++y) {
        for (int t = 0; t < taps; ++t) {
            int sy = y - radius + t;
            if (!border.replicate && (sy < 0 || sy >= height)) {
                s.columnInputs[t] = s.constantRow;
                continue;
            }
            sy = std::clamp(sy, 0, height - 1);
            float* slot = s.ring + static_cast<std::size_t>(sy % taps) * s.ringStride;
            if (sy == nextRow) {
                RowPass(pp::RowAt(src, srcStep, sy), width, taps, border, s, slot);
                ++nextRow;
            }
            s.columnInputs[t] = slot;
        }
        float* out = pp::RowAt(dst, dstStep, y);
        WeightedSum(s.columnInputs, s.weights, taps, out, width);
        if (divisor != 1.0f) {
            DivideRow(out, divisor, width);
        }
    }
}

bool LowpassBox(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
                int size, Border border, unsigned char* buffer) {
    if (!pp::NonNull(src, dst, buffer) || !pp::ValidSize(width, height)) {
        return false;
    }
    // Weights of 1 keep the sums exact; the mean is a true division.
    const float ones[5] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    SeparableFilter(src, srcStep, dst, dstStep, width, height, ones, size, border,
                    static_cast<float>(size * size), buffer);
    return true;
}

bool ValidGaussSize(int kernelSize) {
    return kernelSize >= 3 && kernelSize % 2 == 1;
}

}  // namespace

bool PixelPrimitives::Filter_32f_C1(const float* src, int srcStep, float* dst, int dstStep,
                                    int width, int height, const float* kernel, int kernelWidth,
                                    int kernelHeight, int anchorX, int anchorY) {
    if (!pp::NonNull(src, dst, kernel) || !pp::ValidSize(width, height) ||
        !pp::ValidSize(kernelWidth, kernelHeight)) {
        return false;
    }
    if (anchorX < 0 || anchorX >= kernelWidth || anchorY < 0 || anchorY >= kernelHeight) {
        return false;
    }
    long long taps = static_cast<long long>(kernelWidth) * kernelHeight;
    if (taps > std::numeric_limits<int>::max()) {
        return false;
    }
    auto inputs = std::unique_ptr<const float*[]>(new (std::nothrow) const float*[taps]);
    if (!inputs) {
        return false;
    }
    // Convolution: tap (i, j) reads the source pixel at (x + anchorX - j, y + anchorY - i).
    for (int y = 0; y < height; ++y) {
        for (int i = 0; i < kernelHeight; ++i) {
            const float* row = pp::RowAt(src, srcStep, y + anchorY - i);
            for (int j = 0; j < kernelWidth; ++j) {
                inputs[i * kernelWidth + j] = row + (anchorX - j);
            }
        }
        WeightedSum(inputs.get(), kernel, static_cast<int>(taps), pp::RowAt(dst, dstStep, y),
                    width);
    }
    return true;
}

bool PixelPrimitives::FilterLowpassGetBufferSize3x3_32f_C1R(int width, int height,
                                                            int* bufferSize) {
    return ScratchSize(width, height, 3, bufferSize);
}

bool PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(int width, int height,
                                                            int* bufferSize) {
    return ScratchSize(width, height, 5, bufferSize);
}

bool PixelPrimitives::FilterLowpassBorder3x3_32f_C1R(const float* src, int srcStep, float* dst,
                                                     int dstStep, int width, int height,
                                                     unsigned char* buffer) {
    return LowpassBox(src, srcStep, dst, dstStep, width, height, 3, Border{true, 0.0f}, buffer);
}

bool PixelPrimitives::FilterLowpassBorder5x5_32f_C1R(const float* src, int srcStep, float* dst,
                                                     int dstStep, int width, int height,
                                                     unsigned char* buffer) {
    return LowpassBox(src, srcStep, dst, dstStep, width, height, 5, Border{true, 0.0f}, buffer);
}

bool PixelPrimitives::FilterLowpassBorderConst5x5_32f_C1R(const float* src, int srcStep, float* dst,
                                                          int dstStep, int width, int height,
                                                          float borderValue,
                                                          unsigned char* buffer) {
    return LowpassBox(src, srcStep, dst, dstStep, width, height, 5, Border{false, borderValue},
                      buffer);
}

bool PixelPrimitives::FilterGaussGetBufferSize_32f_C1(int width, int height, int kernelSize,
                                                      int* bufferSize) {
    if (!ValidGaussSize(kernelSize)) {
        return false;
    }
    return ScratchSize(width, height, kernelSize, bufferSize);
}

bool PixelPrimitives::FilterGaussBorder_32f_C1R(const float* src, int srcStep, float* dst,
                                                int dstStep, int width, int height, int kernelSize,
                                                float sigma, unsigned char* buffer) {
    if (!pp::NonNull(src, dst, buffer) || !pp::ValidSize(width, height) ||
        !ValidGaussSize(kernelSize) || !(sigma > 0.0f)) {
        return false;
    }
    auto weights = TryAllocate<float>(static_cast<std::size_t>(kernelSize));
    auto exact = TryAllocate<double>(static_cast<std::size_t>(kernelSize));
    if (!weights || !exact) {
        return false;
    }
    // Sampled Gaussian normalised to unit sum, formed in double and rounded once to float.
    double centre = (kernelSize - 1) / 2.0;
    double twoSigmaSquared = 2.0 * static_cast<double>(sigma) * static_cast<double>(sigma);
    double sum = 0.0;
    for (int i = 0; i < kernelSize; ++i) {
        double d = i - centre;
        exact[i] = std::exp(-d * d / twoSigmaSquared);
        sum += exact[i];
    }
    for (int i = 0; i < kernelSize; ++i) {
        weights[i] = static_cast<float>(exact[i] / sum);
    }
    SeparableFilter(src, srcStep, dst, dstStep, width, height, weights.get(), kernelSize,
                    Border{true, 0.0f}, 1.0f, buffer);
    return true;
}
