#include <PixelPrimitives/SpectrumPrimitives.h>

#include "Common.h"
#include "SpectrumKernels.h"

#include <kiss_fft.h>

#include <PixelPrimitives/VectorPrimitives.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
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

// Sequences are taken in groups: all of a group are transformed before any is turned into
// power values, so that the transform's last stores have retired by the time they are read
// back as vectors.
struct SpectrumPrimitives::Plan {
    int group = 1;                   // sequences per group
    kiss_fft_cfg half = nullptr;     // even lengths: n/2 points
    kiss_fft_cfg complex = nullptr;  // odd lengths: n points
    Scratch<float> windowed;         // each sequence of a group windowed; even lengths read
                                     // it as n/2 pairs
    Scratch<kiss_fft_cpx> input;     // odd lengths' complex input
    Scratch<kiss_fft_cpx> spectrum;  // each sequence's bins, from either transform
    Scratch<float> twiddles;         // even lengths: n/4 real parts, then n/4 imaginary ones
    Scratch<float> power;            // even lengths: each sequence's bins 0..n/2 when fewer
                                     // are asked for

    ~Plan() {
        kiss_fft_free(half);
        kiss_fft_free(complex);
    }
};

namespace {

// A group's scratch stays within a few kilobytes.
constexpr int kGroupFloats = 2048;
constexpr int kMaxGroup = 8;

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
    plan->group = std::clamp(kGroupFloats / length, 1, kMaxGroup);
    plan->windowed = AllocateScratch<float>(plan->group * length);
    if (UsesRealTransform(length)) {
        const int m = length / 2;
        plan->half = kiss_fft_alloc(m, 0, nullptr, nullptr);
        plan->spectrum = AllocateScratch<kiss_fft_cpx>(plan->group * m);
        plan->twiddles = SplitTwiddles(m);
        plan->power = AllocateScratch<float>(plan->group * (m + 1));
        ready = plan->half != nullptr && plan->windowed && plan->spectrum && plan->twiddles &&
                plan->power;
    } else {
        plan->complex = kiss_fft_alloc(length, 0, nullptr, nullptr);
        plan->input = AllocateScratch<kiss_fft_cpx>(length);
        plan->spectrum = AllocateScratch<kiss_fft_cpx>(length);
        ready = plan->complex != nullptr && plan->windowed && plan->input && plan->spectrum;
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

// out = input * window (or input itself without a window); true when every value of out is
// +0 or -0. The transform of such a sequence is exactly zero, and is not computed.
PP_MULTIVERSION bool WindowedIsZero(const float* input, const float* window, float* out, int n) {
    std::uint32_t bits = 0;
    if (window != nullptr) {
        for (int j = 0; j < n; ++j) {
            out[j] = input[j] * window[j];
            std::uint32_t v;
            std::memcpy(&v, out + j, sizeof(v));
            bits |= v & 0x7FFFFFFFu;
        }
    } else {
        for (int j = 0; j < n; ++j) {
            out[j] = input[j];
            std::uint32_t v;
            std::memcpy(&v, out + j, sizeof(v));
            bits |= v & 0x7FFFFFFFu;
        }
    }
    return bits == 0;
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
    return PsdFFT(input, 0, 1, window, power, 0, length, bins);
}

bool SpectrumPrimitives::PsdFFT(const float* input, std::ptrdiff_t inputStride, int count,
                                const float* window, float* power, std::ptrdiff_t powerStride,
                                int length, int bins) {
    if (plan_ == nullptr || length != length_ || input == nullptr || power == nullptr || bins < 1 ||
        bins > length || count < 0) {
        return false;
    }
    for (int first = 0; first < count; first += plan_->group) {
        const int size = std::min(plan_->group, count - first);
        TransformGroup(input + first * inputStride, inputStride, size, window,
                       power + first * powerStride, powerStride, bins);
    }
    return true;
}

void SpectrumPrimitives::TransformGroup(const float* input, std::ptrdiff_t inputStride, int count,
                                        const float* window, float* power,
                                        std::ptrdiff_t powerStride, int bins) {
    static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "bins are pairs of floats");
    const int n = length_;
    Plan& p = *plan_;
    if (p.half != nullptr) {
        // A sequence of zeros has a spectrum of zeros, which needs no transform.
        const int m = n / 2;
        for (int g = 0; g < count; ++g) {
            float* windowed = p.windowed.get() + g * n;
            kiss_fft_cpx* spectrum = p.spectrum.get() + g * m;
            if (WindowedIsZero(input + g * inputStride, window, windowed, n)) {
                std::fill_n(spectrum, m, kiss_fft_cpx{0.0f, 0.0f});
            } else {
                kiss_fft(p.half, reinterpret_cast<const kiss_fft_cpx*>(windowed), spectrum);
            }
        }
        const bool direct = bins > m;
        float* lower = direct ? power : p.power.get();
        const std::ptrdiff_t lowerStride = direct ? powerStride : m + 1;
        pp::RealPowerFromHalf(reinterpret_cast<const float*>(p.spectrum.get()), count,
                              p.twiddles.get(), p.twiddles.get() + m / 2, n, lower, lowerStride);
        for (int g = 0; g < count; ++g) {
            float* out = power + g * powerStride;
            if (!direct) {
                std::copy_n(lower + g * lowerStride, bins, out);
            }
            // Real input: the upper half mirrors the lower one.
            for (int k = m + 1; k < bins; ++k) {
                out[k] = out[n - k];
            }
        }
        return;
    }
    for (int g = 0; g < count; ++g) {
        float* out = power + g * powerStride;
        if (WindowedIsZero(input + g * inputStride, window, p.windowed.get(), n)) {
            std::fill_n(out, bins, 0.0f);
            continue;
        }
        for (int j = 0; j < n; ++j) {
            p.input[j].r = p.windowed[j];
            p.input[j].i = 0.0f;
        }
        kiss_fft(p.complex, p.input.get(), p.spectrum.get());
        PowerOf(reinterpret_cast<const float*>(p.spectrum.get()), bins, n, out);
    }
}
