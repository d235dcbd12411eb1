#pragma once

#include <PixelPrimitives/Export.h>

#include <cstddef>

// Two-sided power spectrum of a windowed real sequence of one fixed length:
// power[k] = |sum_j input[j] * window[j] * exp(-2 pi i j k / n)|^2 / n.
class PIXELPRIMITIVES_API SpectrumPrimitives {
public:
    explicit SpectrumPrimitives(int length);
    ~SpectrumPrimitives();
    SpectrumPrimitives(const SpectrumPrimitives&) = delete;
    SpectrumPrimitives& operator=(const SpectrumPrimitives&) = delete;

    // False when the tables or scratch could not be allocated; PsdFFT then does nothing.
    bool Ready() const { return plan_ != nullptr; }

    // window may be null (a flat window). Returns false and writes nothing when length
    // differs from the constructor's, or input or power is null.
    bool PsdFFT(const float* input, const float* window, float* power, int length);
    // The same values, written only to power[0 .. bins). For real input power[k] and
    // power[n - k] agree, so bins = n / 2 + 1 holds the whole spectrum of an even length
    // and spares writing its mirror. Returns false and writes nothing when bins is outside
    // 1..length.
    bool PsdFFT(const float* input, const float* window, float* power, int length, int bins);
    // The same for `count` sequences: the i-th read from input + i * inputStride, its bins
    // written to power + i * powerStride (strides in floats). Faster than one call per
    // sequence. Returns false and writes nothing when an argument is out of range.
    bool PsdFFT(const float* input, std::ptrdiff_t inputStride, int count, const float* window,
                float* power, std::ptrdiff_t powerStride, int length, int bins);

private:
    struct Plan;
    void TransformGroup(const float* input, std::ptrdiff_t inputStride, int count,
                        const float* window, float* power, std::ptrdiff_t powerStride, int bins);
    int length_;
    Plan* plan_;
};
