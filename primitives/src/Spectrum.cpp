#include <PixelPrimitives/SpectrumPrimitives.h>

#include "Common.h"

#include <kiss_fft.h>
#include <kiss_fftr.h>

#include <PixelPrimitives/VectorPrimitives.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

// Two-sided power spectrum through KissFFT. Even lengths use the real-input transform, which
// yields bins 0..n/2; odd lengths (which it does not support) use the complex transform.
// Tables and scratch are made once in the constructor; the scratch comes from the module's
// own allocator, like every other buffer, so that a failure there can be simulated in tests.
namespace {

struct FreeVector {
    void operator()(void* p) const { VectorPrimitives::Free(p); }
};
template <typename T>
using Scratch = std::unique_ptr<T[], FreeVector>;

// count elements of T (float or pairs of floats), or null.
template <typename T>
Scratch<T> AllocateScratch(int count) {
    static_assert(sizeof(T) % sizeof(float) == 0, "made of floats");
    constexpr int floats = static_cast<int>(sizeof(T) / sizeof(float));
    return Scratch<T>(reinterpret_cast<T*>(VectorPrimitives::Malloc_32f(count * floats)));
}

}  // namespace

struct SpectrumPrimitives::Plan {
    kiss_fftr_cfg real = nullptr;
    kiss_fft_cfg complex = nullptr;
    Scratch<float> windowed;         // real transform input
    Scratch<kiss_fft_cpx> input;     // complex transform input
    Scratch<kiss_fft_cpx> spectrum;  // bins produced by either transform

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
    // The complex scratch holds 2 * length floats, which must fit an int.
    if (length > INT_MAX / 2) {
        delete plan;
        return;
    }
    bool ready = false;
    if (UsesRealTransform(length)) {
        plan->real = kiss_fftr_alloc(length, 0, nullptr, nullptr);
        plan->windowed = AllocateScratch<float>(length);
        plan->spectrum = AllocateScratch<kiss_fft_cpx>(length / 2 + 1);
        ready = plan->real != nullptr && plan->windowed && plan->spectrum;
    } else {
        plan->complex = kiss_fft_alloc(length, 0, nullptr, nullptr);
        plan->input = AllocateScratch<kiss_fft_cpx>(length);
        plan->spectrum = AllocateScratch<kiss_fft_cpx>(length);
        ready = plan->complex != nullptr && plan->input && plan->spectrum;
    }
    if (!ready) {
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

// power[k] = |bins[k]|^2 / n for `count` bins stored as (real, imaginary) pairs, written where
// k < limit; with `mirrored`, power[n - k] takes the same value where n - k < limit (a real
// input's upper half). Division by a power of two is multiplication by its exact reciprocal.
// The transform has only just stored the bins one float at a time, and loading them (or
// values made from them) back as vectors would stall until those stores retire: the loop
// stays scalar and never reads `power`.
__attribute__((noinline, optimize("no-tree-vectorize"))) void PowerOf(const float* bins, int count,
                                                                      int n, bool mirrored,
                                                                      int limit, float* power) {
    const float length = static_cast<float>(n);
    const bool powerOfTwo = (n & (n - 1)) == 0;
    const float reciprocal = 1.0f / length;
    const int stored = std::min(count, limit);
    if (powerOfTwo && (!mirrored || limit <= count)) {
        // The common case, a power-of-two length without the mirrored half, kept lean.
        for (int k = 0; k < stored; ++k) {
            const float re = bins[2 * k];
            const float im = bins[2 * k + 1];
            power[k] = (re * re + im * im) * reciprocal;
        }
        return;
    }
    for (int k = 0; k < stored; ++k) {
        const float re = bins[2 * k];
        const float im = bins[2 * k + 1];
        const float squared = re * re + im * im;
        const float value = powerOfTwo ? squared * reciprocal : squared / length;
        power[k] = value;
        if (mirrored && k > 0 && n - k >= count && n - k < limit) {
            power[n - k] = value;
        }
    }
}

}  // namespace

bool SpectrumPrimitives::PsdFFT(const float* input, const float* window, float* power, int length) {
    return PsdFFT(input, window, power, length, length);
}

bool SpectrumPrimitives::PsdFFT(const float* input, const float* window, float* power, int length,
                                int bins) {
    if (plan_ == nullptr || length != length_ || input == nullptr || power == nullptr || bins < 1 ||
        bins > length) {
        return false;
    }
    const int n = length_;
    Plan& p = *plan_;
    static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "bins are pairs of floats");
    const float* spectrum = reinterpret_cast<const float*>(p.spectrum.get());
    if (p.real != nullptr) {
        if (window != nullptr) {
            Windowed(input, window, p.windowed.get(), n);
        } else {
            std::copy_n(input, n, p.windowed.get());
        }
        kiss_fftr(p.real, p.windowed.get(), p.spectrum.get());
        // Real input: the upper half mirrors the lower one.
        PowerOf(spectrum, n / 2 + 1, n, true, bins, power);
    } else {
        for (int j = 0; j < n; ++j) {
            p.input[j].r = window != nullptr ? input[j] * window[j] : input[j];
            p.input[j].i = 0.0f;
        }
        kiss_fft(p.complex, p.input.get(), p.spectrum.get());
        PowerOf(spectrum, n, n, false, bins, power);
    }
    return true;
}
