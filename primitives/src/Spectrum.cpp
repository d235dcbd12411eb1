#include <PixelPrimitives/SpectrumPrimitives.h>

#include <kiss_fft.h>
#include <kiss_fftr.h>

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

bool SpectrumPrimitives::PsdFFT(const float* input, const float* window, float* power, int length) {
    if (plan_ == nullptr || length != length_ || input == nullptr || power == nullptr) {
        return false;
    }
    const int n = length_;
    const float scale = static_cast<float>(n);
    auto windowAt = [window](int j) { return window != nullptr ? window[j] : 1.0f; };
    auto powerOf = [scale](const kiss_fft_cpx& c) { return (c.r * c.r + c.i * c.i) / scale; };
    Plan& p = *plan_;
    if (p.real != nullptr) {
        for (int j = 0; j < n; ++j) {
            p.windowed[j] = input[j] * windowAt(j);
        }
        kiss_fftr(p.real, p.windowed.data(), p.spectrum.data());
        // Real input: the upper half mirrors the lower one.
        for (int k = 0; k <= n / 2; ++k) {
            power[k] = powerOf(p.spectrum[k]);
        }
        for (int k = n / 2 + 1; k < n; ++k) {
            power[k] = power[n - k];
        }
    } else {
        for (int j = 0; j < n; ++j) {
            p.input[j].r = input[j] * windowAt(j);
            p.input[j].i = 0.0f;
        }
        kiss_fft(p.complex, p.input.data(), p.spectrum.data());
        for (int k = 0; k < n; ++k) {
            power[k] = powerOf(p.spectrum[k]);
        }
    }
    return true;
}
