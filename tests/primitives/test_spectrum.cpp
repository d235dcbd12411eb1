#include <PixelPrimitives/SpectrumPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// |sum_j x[j] w[j] e^{-2 pi i jk/n}|^2 / n, directly in double.
std::vector<double> DirectPsd(const std::vector<float>& x, const float* window) {
    const int n = static_cast<int>(x.size());
    const double pi = 3.14159265358979323846;
    std::vector<double> power(n);
    for (int k = 0; k < n; ++k) {
        double re = 0.0, im = 0.0;
        for (int j = 0; j < n; ++j) {
            double v = static_cast<double>(x[j]) * (window ? window[j] : 1.0);
            double angle = -2.0 * pi * static_cast<double>((static_cast<long long>(j) * k) % n) / n;
            re += v * std::cos(angle);
            im += v * std::sin(angle);
        }
        power[k] = (re * re + im * im) / n;
    }
    return power;
}

}  // namespace

TEST(Spectrum, MatchesDirectDftForAnyLength) {
    std::mt19937 rng(61);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    for (int n : {1, 2, 3, 4, 5, 8, 12, 17, 64, 100, 127, 256}) {
        SpectrumPrimitives spectrum(n);
        std::vector<float> input(n), window(n);
        for (int j = 0; j < n; ++j) {
            input[j] = dist(rng) + 300.0f;  // a DC component as the detector's data has
            window[j] = 0.54f - 0.46f * std::cos(2.0f * 3.14159265f * j / std::max(n - 1, 1));
        }
        const float* windows[] = {nullptr, window.data()};
        for (const float* w : windows) {
            std::vector<float> power(n + 1, -7.0f);  // one guard element past the end
            ASSERT_TRUE(spectrum.PsdFFT(input.data(), w, power.data(), n)) << n;
            EXPECT_EQ(power[n], -7.0f);
            auto expected = DirectPsd(input, w);
            double largest = *std::max_element(expected.begin(), expected.end());
            for (int k = 0; k < n; ++k) {
                EXPECT_NEAR(power[k], expected[k], 1e-4 * largest) << "n " << n << " k " << k;
                EXPECT_NEAR(power[k], power[(n - k) % n], 1e-4 * largest) << "n " << n;
            }
        }
    }
}

TEST(Spectrum, ConstantInputHasOnlyDc) {
    for (int n : {6, 7}) {
        SpectrumPrimitives spectrum(n);
        std::vector<float> input(n, 2.0f), power(n);
        ASSERT_TRUE(spectrum.PsdFFT(input.data(), nullptr, power.data(), n));
        EXPECT_NEAR(power[0], 4.0f * n, 1e-4f);  // |2n|^2 / n
        for (int k = 1; k < n; ++k) {
            EXPECT_NEAR(power[k], 0.0f, 1e-4f);
        }
        // The object keeps nothing between calls.
        std::vector<float> again(n);
        ASSERT_TRUE(spectrum.PsdFFT(input.data(), nullptr, again.data(), n));
        EXPECT_EQ(power, again);
    }
}

TEST(Spectrum, RejectsBadArguments) {
    std::vector<float> input(8, 1.0f), power(8, -1.0f);
    SpectrumPrimitives spectrum(8);
    EXPECT_FALSE(spectrum.PsdFFT(input.data(), nullptr, power.data(), 7));
    EXPECT_FALSE(spectrum.PsdFFT(nullptr, nullptr, power.data(), 8));
    EXPECT_FALSE(spectrum.PsdFFT(input.data(), nullptr, nullptr, 8));
    for (int n : {0, -3}) {
        SpectrumPrimitives empty(n);
        EXPECT_FALSE(empty.PsdFFT(input.data(), nullptr, power.data(), n));
    }
    EXPECT_TRUE(std::all_of(power.begin(), power.end(), [](float v) { return v == -1.0f; }));
}
