#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "TestImage.h"

using PP = PixelPrimitives;
using Image = TestImage<float>;

namespace {

// Checks dst against the direct double sum of kernel[i * kw + j] * pixel(x + ax - j, y + ay - i).
// Filters accumulate in float, so the tolerance scales with the sum of the terms' magnitudes.
template <typename Pixel>
void ExpectConvolution(const Image& dst, const std::vector<double>& kernel, int kw, int ax, int ay,
                       Pixel pixel) {
    for (int y = 0; y < dst.Height(); ++y) {
        for (int x = 0; x < dst.Width(); ++x) {
            double sum = 0.0, magnitude = 0.0;
            for (int i = 0; i < static_cast<int>(kernel.size()) / kw; ++i) {
                for (int j = 0; j < kw; ++j) {
                    double term = kernel[i * kw + j] * pixel(x + ax - j, y + ay - i);
                    sum += term;
                    magnitude += std::fabs(term);
                }
            }
            ASSERT_NEAR(dst.At(x, y), sum, 1e-6 * magnitude + 1e-30) << x << ", " << y;
        }
    }
}

}  // namespace

TEST(FilterGeneral, MatchesDirectConvolutionReadingAroundTheRegion) {
    // {width, height, anchorX, anchorY}: asymmetric shapes tell convolution from correlation.
    const int kernels[][4] = {{3, 3, 1, 1}, {7, 7, 3, 3}, {4, 2, 0, 1}, {1, 5, 0, 4}};
    std::mt19937 rng(11);
    for (const auto& k : kernels) {
        std::vector<float> kernel(k[0] * k[1]);
        for (float& v : kernel) {
            v = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
        }
        for (const RegionSize& r : TestRegionSizes()) {
            Image src(r.width, r.height, 7), dst(r.width, r.height);
            src.FillRandom(rng, -100.0, 100.0, true);
            ASSERT_TRUE(PP::Filter_32f_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), r.width,
                                          r.height, kernel.data(), k[0], k[1], k[2], k[3]));
            EXPECT_TRUE(dst.OutsideUntouched());
            ExpectConvolution(dst, {kernel.begin(), kernel.end()}, k[0], k[2], k[3],
                              [&](int x, int y) { return src.At(x, y); });
        }
    }
}

// Low-pass 3x3 and 5x5 (replicated), 5x5 with a constant border, and Gaussian filters against
// the direct 2-D sum.
TEST(FilterBorder, MatchesDirectSumReadingOnlyTheRegion) {
    struct Case {
        int taps;
        float sigma;  // 0 for the box filters
        bool constant;
    };
    const Case cases[] = {{3, 0, false},    {5, 0, false},    {5, 0, true},
                          {3, 1.5f, false}, {7, 1.5f, false}, {15, 5.5f, false}};
    const float border = 7.5f;
    std::mt19937 rng(5);
    for (const Case& c : cases) {
        const int n = c.taps;
        std::vector<double> g(n, 1.0), kernel;
        for (int i = 0; c.sigma > 0 && i < n; ++i) {
            g[i] = std::exp(-std::pow(i - n / 2, 2) / (2.0 * c.sigma * c.sigma));
        }
        const double sum = std::accumulate(g.begin(), g.end(), 0.0);
        for (int i = 0; i < n * n; ++i) {
            kernel.push_back(g[i / n] / sum * g[i % n] / sum);
        }
        if (n == 7) {  // IPP's published weight
            EXPECT_NEAR(g[3] / sum, 0.2706821, 1e-7);
        }
        for (const RegionSize& r : TestRegionSizes()) {
            const int w = r.width, h = r.height;
            Image src(w, h, 7), dst(w, h);
            src.FillRandom(rng, 0.0, 1000.0, true);  // a margin value read shows as a wrong sum
            int bytes = 0;
            ASSERT_TRUE(c.sigma > 0 ? PP::FilterGaussGetBufferSize_32f_C1(w, h, n, &bytes)
                        : n == 3    ? PP::FilterLowpassGetBufferSize3x3_32f_C1R(w, h, &bytes)
                                    : PP::FilterLowpassGetBufferSize5x5_32f_C1R(w, h, &bytes));
            std::vector<unsigned char> buffer(bytes);
            const float* s = src.Data();
            float* d = dst.Data();
            const int sp = src.Pitch(), dp = dst.Pitch();
            unsigned char* b = buffer.data();
            ASSERT_TRUE(c.sigma > 0
                            ? PP::FilterGaussBorder_32f_C1R(s, sp, d, dp, w, h, n, c.sigma, b)
                        : c.constant
                            ? PP::FilterLowpassBorderConst5x5_32f_C1R(s, sp, d, dp, w, h, border, b)
                        : n == 3 ? PP::FilterLowpassBorder3x3_32f_C1R(s, sp, d, dp, w, h, b)
                                 : PP::FilterLowpassBorder5x5_32f_C1R(s, sp, d, dp, w, h, b));
            EXPECT_TRUE(dst.OutsideUntouched());
            ExpectConvolution(dst, kernel, n, n / 2, n / 2, [&](int x, int y) {
                bool inside = x >= 0 && y >= 0 && x < w && y < h;
                return c.constant && !inside
                           ? border
                           : src.At(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
            });
        }
    }
}

TEST(FilterLowpass, UniformIntegerRegionComesBackExactly) {
    // Weight-1 sums are exact and the mean is a true division, so a uniform region of integers
    // keeps its value; a 1x1 region with replicated borders is uniform.
    std::vector<unsigned char> buffer(1 << 16);
    for (float v = 0, out3 = -1, out5 = -1; v < 70000; v += 7) {
        ASSERT_TRUE(PP::FilterLowpassBorder3x3_32f_C1R(&v, 4, &out3, 4, 1, 1, buffer.data()));
        ASSERT_TRUE(PP::FilterLowpassBorder5x5_32f_C1R(&v, 4, &out5, 4, 1, 1, buffer.data()));
        ASSERT_TRUE(out3 == v && out5 == v) << v << ": " << out3 << ", " << out5;
    }
}

TEST(Filters, RejectBadArgumentsWritingNothing) {
    const float kernel[9] = {};
    Image src(10, 10, 2), dst(10, 10);
    std::vector<unsigned char> scratch(1 << 16);
    const float* s = src.Data();
    float* d = dst.Data();
    const int p = src.Pitch(), dp = dst.Pitch();
    EXPECT_FALSE(PP::Filter_32f_C1(s, p, d, dp, 10, 10, kernel, 3, 3, 3, 1));  // anchor outside
    EXPECT_FALSE(PP::Filter_32f_C1(s, p, d, dp, 10, 10, nullptr, 3, 3, 1, 1));
    for (auto [k, sigma] :
         {std::pair{2, 1.0f}, {1, 1.0f}, {7, 0.0f}, {7, -1.0f}, {7, std::nanf("")}}) {
        EXPECT_FALSE(PP::FilterGaussBorder_32f_C1R(s, p, d, dp, 10, 10, k, sigma, scratch.data()));
    }
    EXPECT_FALSE(PP::FilterGaussBorder_32f_C1R(s, p, d, dp, 10, 10, 7, 1.0f, nullptr));
    EXPECT_FALSE(PP::FilterLowpassBorder3x3_32f_C1R(s, p, d, dp, 10, 10, nullptr));
    EXPECT_TRUE(dst.Untouched());
    int bytes = -1;
    EXPECT_FALSE(PP::FilterGaussGetBufferSize_32f_C1(10, 10, 4, &bytes));
    EXPECT_EQ(bytes, -1);
}
