#include <PixelPrimitives/SpectrumPrimitives.h>

#include "Common.h"

#include <kiss_fft.h>
#include <kiss_fftr.h>

#include <algorithm>
#include <new>
#include <vector>

// Two-sided power spectrum through KissFFT. Even lengths use the real-input transform, which
// yields bins 0..n/2; odd lengths (which it does not support) use the complex transform.
// Tables and scratch are made once in the constructor.
struct SpectrumPrimitives::Plan {
    kiss_fftr_cfg real = nullptr;
    kiss_fft_cfg complex = nullptr;
    std::vector<float> windowed;         // real transform input
    std::vector<kiss_fft_cpx> input;     // complex transform input
    std::vector<kiss_fft_cpx> spectrum;  // bins produced by either transform

    ~Plan() {
        kiss_fft_free(real);
        kiss_fft_free(complex);
    }
};

namespace {

bool UsesRealTransform(int length) {
    return length % 2 == 0;
}

}  // namespace

SpectrumPrimitives::SpectrumPrimitives(int length) : length_(length), plan_(nullptr) {
    if (length < 1) {
        return;
    }
    auto* plan = new (std::nothrow) Plan;
    if (plan == nullptr) {
        return;
    }
    try {
        std::size_t n = static_cast<std::size_t>(length);
        if (UsesRealTransform(length)) {
            plan->real = kiss_fftr_alloc(length, 0, nullptr, nullptr);
            plan->windowed.resize(n);
            plan->spectrum.resize(n / 2 + 1);
        } else {
            plan->complex = kiss_fft_alloc(length, 0, nullptr, nullptr);
            plan->input.resize(n);
            plan->spectrum.resize(n);
        }
    } catch (const std::bad_alloc&) {
        delete plan;
        return;
    }
    if (plan->real == nullptr && plan->complex == nullptr) {
        delete plan;
        return;
    }
    plan_ = plan;
}

SpectrumPrimitives::~SpectrumPrimitives() {
    delete plan_;
}

namespace {

PP_MULTIVERSION void Windowed(const float* input, const float* window, float* out, int n) {
    for (int j = 0; j < n; ++j) {
        out[j] = input[j] * window[j];
    }
}

// power[k] = |bins[k]|^2 / n for `count` bins stored as (real, imaginary) pairs; with
// `mirrored`, power[n - k] takes the same value (a real input's upper half). Division by a
// power of two is multiplication by its exact reciprocal. The transform has only just stored
// the bins one float at a time, and loading them (or values made from them) back as vectors
// would stall until those stores retire: the loop stays scalar and never reads `power`.
__attribute__((noinline, optimize("no-tree-vectorize"))) void PowerOf(const float* bins, int count,
                                                                      int n, bool mirrored,
                                                                      float* power) {
    const float length = static_cast<float>(n);
    const bool powerOfTwo = (n & (n - 1)) == 0;
    const float reciprocal = 1.0f / length;
    for (int k = 0; k < count; ++k) {
        const float re = bins[2 * k];
        const float im = bins[2 * k + 1];
        const float squared = re * re + im * im;
        const float value = powerOfTwo ? squared * reciprocal : squared / length;
        power[k] = value;
        if (mirrored && k > 0 && n - k >= count) {
            power[n - k] = value;
        }
    }
}

}  // namespace

bool SpectrumPrimitives::PsdFFT(const float* input, const float* window, float* power, int length) {
    if (plan_ == nullptr || length != length_ || input == nullptr || power == nullptr) {
        return false;
    }
    const int n = length_;
    Plan& p = *plan_;
    static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "bins are pairs of floats");
    const float* bins = reinterpret_cast<const float*>(p.spectrum.data());
    if (p.real != nullptr) {
        if (window != nullptr) {
            Windowed(input, window, p.windowed.data(), n);
        } else {
            std::copy_n(input, n, p.windowed.data());
        }
        kiss_fftr(p.real, p.windowed.data(), p.spectrum.data());
        // Real input: the upper half mirrors the lower one.
        PowerOf(bins, n / 2 + 1, n, true, power);
    } else {
        for (int j = 0; j < n; ++j) {
            p.input[j].r = window != nullptr ? input[j] * window[j] : input[j];
            p.input[j].i = 0.0f;
        }
        kiss_fft(p.complex, p.input.data(), p.spectrum.data());
        PowerOf(bins, n, n, false, power);
    }
    return true;
}
