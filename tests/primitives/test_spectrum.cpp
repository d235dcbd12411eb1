#include <PixelPrimitives/SpectrumPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <random>
#include <vector>

// Odd and even lengths (two transform paths), with and without a window, against a direct DFT
// in double: power[k] = |sum_j x[j] w[j] e^{-2 pi i jk/n}|^2 / n for every k.
TEST(Spectrum, MatchesDirectDftForAnyLength) {
    const double pi = 3.14159265358979323846;
    std::mt19937 rng(61);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    for (int n : {1, 2, 3, 4, 5, 8, 12, 17, 64, 100, 127, 256}) {
        SpectrumPrimitives spectrum(n);
        std::vector<float> input(n), window(n);
        for (int j = 0; j < n; ++j) {
            input[j] = dist(rng) + 300.0f;  // a DC component as the detector's data has
            window[j] = 0.54f - 0.46f * std::cos(2.0f * 3.14159265f * j / std::max(n - 1, 1));
        }
        for (const float* w : std::initializer_list<const float*>{nullptr, window.data()}) {
            std::vector<double> expected(n);
            for (int k = 0; k < n; ++k) {
                double re = 0.0, im = 0.0;
                for (int j = 0; j < n; ++j) {
                    double v = input[j] * (w ? w[j] : 1.0), angle = -2 * pi * (1LL * j * k % n) / n;
                    re += v * std::cos(angle);
                    im += v * std::sin(angle);
                }
                expected[k] = (re * re + im * im) / n;
            }
            const double tolerance = 1e-4 * *std::max_element(expected.begin(), expected.end());
            std::vector<float> power(n + 1, -7.0f);  // one guard element past the end
            ASSERT_TRUE(spectrum.PsdFFT(input.data(), w, power.data(), n)) << n;
            EXPECT_EQ(power[n], -7.0f);
            for (int k = 0; k < n; ++k) {
                EXPECT_NEAR(power[k], expected[k], tolerance) << "n " << n << " k " << k;
            }
        }
    }
}

TEST(Spectrum, RejectsBadArgumentsWritingNothing) {
    std::vector<float> input(8, 1.0f), power(8, -1.0f);
    SpectrumPrimitives spectrum(8), empty(0);
    EXPECT_FALSE(spectrum.PsdFFT(input.data(), nullptr, power.data(), 7));
    EXPECT_FALSE(spectrum.PsdFFT(nullptr, nullptr, power.data(), 8));
    EXPECT_FALSE(spectrum.PsdFFT(input.data(), nullptr, nullptr, 8));
    EXPECT_FALSE(empty.PsdFFT(input.data(), nullptr, power.data(), 0));
    EXPECT_TRUE(std::all_of(power.begin(), power.end(), [](float v) { return v == -1.0f; }));
}
