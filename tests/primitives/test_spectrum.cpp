#include <PixelPrimitives/SpectrumPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

// Odd and even lengths (two transform paths), with and without a window, against a direct DFT
// in double: power[k] = |sum_j x[j] w[j] e^{-2 pi i jk/n}|^2 / n for every k. A length other than
// the object's is rejected first and must write nothing, not even past the end.
TEST(Spectrum, MatchesDirectDftForAnyLength) {
    const double pi = 3.14159265358979323846;
    std::mt19937 rng(61);
    std::uniform_real_distribution<float> dist(-700.0f, 1300.0f);  // with a DC component
    for (int n : {1, 2, 3, 4, 5, 8, 12, 17, 30, 32, 34, 64, 100, 127, 256}) {
        SpectrumPrimitives spectrum(n);
        std::vector<float> input(2 * n);  // the signal, then a window
        std::generate(input.begin(), input.end(), [&] { return dist(rng); });
        for (const float* w : {static_cast<float*>(nullptr), input.data() + n}) {
            std::vector<double> expected(n);
            for (int k = 0; k < n; ++k) {
                std::complex<double> sum = 0.0;
                for (int j = 0; j < n; ++j) {
                    sum += input[j] * (w ? w[j] : 1.0) * std::polar(1.0, -2 * pi * (j * k % n) / n);
                }
                expected[k] = std::norm(sum) / n;
            }
            const double tolerance = 1e-4 * *std::max_element(expected.begin(), expected.end());
            std::vector<float> power(n + 1, -7.0f);  // one guard element past the end
            EXPECT_FALSE(spectrum.PsdFFT(input.data(), w, power.data(), n + 1));
            ASSERT_TRUE(spectrum.PsdFFT(input.data(), w, power.data(), n)) << n;
            EXPECT_EQ(power[n], -7.0f);
            for (int k = 0; k < n; ++k) {
                EXPECT_NEAR(power[k], expected[k], tolerance) << "n " << n << " k " << k;
            }
            // Fewer bins: the same values, and nothing written past them.
            for (int bins : {1, n / 2 + 1, n}) {
                std::vector<float> part(n + 1, -7.0f);
                ASSERT_TRUE(spectrum.PsdFFT(input.data(), w, part.data(), n, bins)) << n;
                for (int k = 0; k <= n; ++k) {
                    EXPECT_EQ(part[k], k < bins ? power[k] : -7.0f) << n << " " << bins << " " << k;
                }
            }
            EXPECT_FALSE(spectrum.PsdFFT(input.data(), w, power.data(), n, 0));
            EXPECT_FALSE(spectrum.PsdFFT(input.data(), w, power.data(), n, n + 1));
        }
    }
}

// Many sequences in one call give, bit for bit, what one call per sequence gives: across
// groups of sequences, with all-zero sequences (of either sign) among them, with fewer bins
// than a sequence has, and with outputs spaced wider than the bins, untouched in between.
TEST(Spectrum, ManySequencesMatchOneCallEach) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dist(-50.0f, 80.0f);
    for (int n : {7, 16, 32, 34, 64}) {
        SpectrumPrimitives spectrum(n);
        std::vector<float> window(n);
        std::generate(window.begin(), window.end(), [&] { return dist(rng); });
        const int count = 21;
        const int inputStride = n + 3;
        std::vector<float> input(static_cast<std::size_t>(count) * inputStride);
        std::generate(input.begin(), input.end(), [&] { return dist(rng); });
        for (int zero : {0, 9, 10, 20}) {
            std::fill_n(input.begin() + zero * inputStride, n, zero % 2 ? -0.0f : 0.0f);
        }
        for (int bins : {1, n / 2, n / 2 + 1, n}) {
            const int powerStride = n + 2;
            std::vector<float> many(static_cast<std::size_t>(count) * powerStride, -7.0f);
            ASSERT_TRUE(spectrum.PsdFFT(input.data(), inputStride, count, window.data(),
                                        many.data(), powerStride, n, bins));
            for (int i = 0; i < count; ++i) {
                std::vector<float> one(bins);
                ASSERT_TRUE(spectrum.PsdFFT(input.data() + i * inputStride, window.data(),
                                            one.data(), n, bins));
                for (int k = 0; k < powerStride; ++k) {
                    const float expected = k < bins ? one[k] : -7.0f;
                    EXPECT_EQ(many[i * powerStride + k], expected)
                        << "n " << n << " bins " << bins << " sequence " << i << " k " << k;
                }
                if (i == 9 || i == 10) {
                    EXPECT_EQ(many[i * powerStride], 0.0f);
                    EXPECT_FALSE(std::signbit(many[i * powerStride]));
                }
            }
        }
        std::vector<float> untouched(4, -7.0f);
        EXPECT_TRUE(spectrum.PsdFFT(input.data(), inputStride, 0, window.data(), untouched.data(),
                                    n, n, n));
        EXPECT_EQ(untouched[0], -7.0f);
        EXPECT_FALSE(spectrum.PsdFFT(input.data(), inputStride, -1, window.data(), untouched.data(),
                                     n, n, n));
    }
}
