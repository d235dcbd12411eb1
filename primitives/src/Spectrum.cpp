#include <PixelPrimitives/SpectrumPrimitives.h>

#include "Common.h"
#include "SpectrumKernels.h"

#include <kiss_fft.h>

#include <PixelPrimitives/VectorPrimitives.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>

// Two-sided power spectrum through KissFFT. An even length n is transformed as n/2 complex
// (even, odd) pairs, and bins 0..n/2 of the real sequence are split from that half-length
// transform in vectors, straight into power values; odd lengths use the complex transform.
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
    kiss_fft_cfg half = nullptr;     // even lengths: n/2 points
    kiss_fft_cfg complex = nullptr;  // odd lengths: n points
    Scratch<float> windowed;         // even lengths' input, read as n/2 pairs
    Scratch<kiss_fft_cpx> input;     // odd lengths' complex input
    Scratch<kiss_fft_cpx> spectrum;  // bins produced by either transform
    Scratch<float> twiddles;         // even lengths: n/4 real parts, then n/4 imaginary ones
    Scratch<float> power;            // even lengths: bins 0..n/2 when fewer are asked for

    ~Plan() {
        kiss_fft_free(half);
        kiss_fft_free(complex);
    }
};

namespace {

bool UsesRealTransform(int length) {
    return length % 2 == 0;
}

// e^(-i pi (k / m + 1/2)) for k = 1 .. m/2, which turns bin k of the half-length transform's
// odd part into place; m = n/2. Real parts first, then imaginary ones.
Scratch<float> SplitTwiddles(int m) {
    const int quarter = m / 2;
    Scratch<float> twiddles = AllocateScratch<float>(std::max(2 * quarter, 1));
    if (!twiddles) {
        return twiddles;
    }
    for (int k = 1; k <= quarter; ++k) {
        const double phase = -3.14159265358979323846 * (static_cast<double>(k) / m + 0.5);
        twiddles[k - 1] = static_cast<float>(std::cos(phase));
        twiddles[quarter + k - 1] = static_cast<float>(std::sin(phase));
    }
    return twiddles;
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
        const int m = length / 2;
        plan->half = kiss_fft_alloc(m, 0, nullptr, nullptr);
        plan->windowed = AllocateScratch<float>(length);
        plan->spectrum = AllocateScratch<kiss_fft_cpx>(m);
        plan->twiddles = SplitTwiddles(m);
        plan->power = AllocateScratch<float>(m + 1);
        ready = plan->half != nullptr && plan->windowed && plan->spectrum && plan->twiddles &&
                plan->power;
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

// power[k] = |bins[k]|^2 / n for the first `count` bins, stored as (real, imaginary) pairs
// (odd lengths only). The transform has only just stored the bins one float at a time, and
// loading them back as vectors would stall until those stores retire: the loop stays scalar.
__attribute__((noinline, optimize("no-tree-vectorize"))) void PowerOf(const float* bins, int count,
                                                                      int n, float* power) {
    const float length = static_cast<float>(n);
    for (int k = 0; k < count; ++k) {
        const float re = bins[2 * k];
        const float im = bins[2 * k + 1];
        power[k] = (re * re + im * im) / length;
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
    if (p.half != nullptr) {
        if (window != nullptr) {
            Windowed(input, window, p.windowed.get(), n);
        } else {
            std::copy_n(input, n, p.windowed.get());
        }
        const int m = n / 2;
        kiss_fft(p.half, reinterpret_cast<const kiss_fft_cpx*>(p.windowed.get()), p.spectrum.get());
        float* lower = bins > m ? power : p.power.get();
        pp::RealPowerFromHalf(spectrum, p.twiddles.get(), p.twiddles.get() + m / 2, n, lower);
        if (lower != power) {
            std::copy_n(lower, bins, power);
        }
        // Real input: the upper half mirrors the lower one.
        for (int k = m + 1; k < bins; ++k) {
            power[k] = power[n - k];
        }
    } else {
        for (int j = 0; j < n; ++j) {
            p.input[j].r = window != nullptr ? input[j] * window[j] : input[j];
            p.input[j].i = 0.0f;
        }
        kiss_fft(p.complex, p.input.get(), p.spectrum.get());
        PowerOf(spectrum, bins, n, power);
    }
    return true;
}
