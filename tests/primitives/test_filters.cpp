#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "TestImage.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
using Image = TestImage<float>;

// Float accumulation against a double reference: the tolerance scales with the sum of the
// magnitudes of the terms, so cancellation cannot make it fail spuriously.
void ExpectClose(double expected, double magnitude, float actual, int x, int y) {
    ASSERT_NEAR(actual, expected, 1e-6 * magnitude + 1e-30) << "at (" << x << ", " << y << ")";
}

// A random region whose margin is NaN, so that any read outside the region shows up.
Image PoisonedRandom(std::mt19937& rng, int width, int height) {
    Image image(width, height);
    image.FillRandom(rng, 0.0, 1000.0);
    for (int y = -3; y < height + 3; ++y) {
        for (int x = -3; x < width + 3; ++x) {
            if (x < 0 || y < 0 || x >= width || y >= height) {
                image.At(x, y) = kNaN;
            }
        }
    }
    image.Snapshot();
    return image;
}

// Direct 2-D sum of weight(dx) * weight(dy) * pixel, pixels beyond the edge replicated or
// `outside`, divided by `divisor`.
void ExpectSeparable(const Image& src, const Image& dst, int radius,
                     const std::function<double(int)>& weight, bool replicate, double outside,
                     double divisor) {
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            double sum = 0.0, magnitude = 0.0;
            for (int dy = -radius; dy <= radius; ++dy) {
                for (int dx = -radius; dx <= radius; ++dx) {
                    int sx = x + dx, sy = y + dy;
                    bool inside = sx >= 0 && sy >= 0 && sx < src.Width() && sy < src.Height();
                    double v = !inside && !replicate ? outside
                                                     : src.At(std::clamp(sx, 0, src.Width() - 1),
                                                              std::clamp(sy, 0, src.Height() - 1));
                    sum += weight(dx) * weight(dy) * v;
                    magnitude += std::fabs(weight(dx) * weight(dy) * v);
                }
            }
            ExpectClose(sum / divisor, magnitude / divisor, dst.At(x, y), x, y);
        }
    }
}

std::vector<unsigned char> LowpassScratch(int width, int height, int size) {
    int bytes = 0;
    EXPECT_TRUE(
        size == 3 ? PixelPrimitives::FilterLowpassGetBufferSize3x3_32f_C1R(width, height, &bytes)
                  : PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(width, height, &bytes));
    EXPECT_GT(bytes, 0);
    return std::vector<unsigned char>(bytes);
}

}  // namespace

TEST(FilterGeneral, MatchesDirectConvolutionReadingAroundTheRegion) {
    struct Kernel {
        int width, height, anchorX, anchorY;
    };
    // The asymmetric shapes and anchors tell convolution from correlation.
    const Kernel kernels[] = {{3, 3, 1, 1}, {7, 7, 3, 3}, {4, 2, 0, 1}, {1, 5, 0, 4}};
    std::mt19937 rng(11);
    for (const Kernel& k : kernels) {
        std::vector<float> kernel(k.width * k.height);
        for (float& v : kernel) {
            v = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
        }
        for (const RegionSize& size : TestRegionSizes()) {
            Image src(size.width, size.height, 7), dst(size.width, size.height);
            src.FillRandom(rng, -100.0, 100.0, true);
            ASSERT_TRUE(PixelPrimitives::Filter_32f_C1(
                src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), size.width, size.height,
                kernel.data(), k.width, k.height, k.anchorX, k.anchorY));
            EXPECT_TRUE(dst.OutsideUntouched());
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    double sum = 0.0, magnitude = 0.0;
                    for (int i = 0; i < k.height; ++i) {
                        for (int j = 0; j < k.width; ++j) {
                            double term = static_cast<double>(kernel[i * k.width + j]) *
                                          src.At(x + k.anchorX - j, y + k.anchorY - i);
                            sum += term;
                            magnitude += std::fabs(term);
                        }
                    }
                    ExpectClose(sum, magnitude, dst.At(x, y), x, y);
                }
            }
        }
    }
}

TEST(FilterLowpass, BoxMeansWithReplicatedOrConstantBorderReadOnlyTheRegion) {
    std::mt19937 rng(5);
    auto ones = [](int) { return 1.0; };
    for (const RegionSize& r : TestRegionSizes()) {
        Image src = PoisonedRandom(rng, r.width, r.height);
        Image dst3(r.width, r.height), dst5(r.width, r.height), dstC(r.width, r.height);
        auto s3 = LowpassScratch(r.width, r.height, 3);
        auto s5 = LowpassScratch(r.width, r.height, 5);
        ASSERT_TRUE(PixelPrimitives::FilterLowpassBorder3x3_32f_C1R(
            src.Data(), src.Pitch(), dst3.Data(), dst3.Pitch(), r.width, r.height, s3.data()));
        ASSERT_TRUE(PixelPrimitives::FilterLowpassBorder5x5_32f_C1R(
            src.Data(), src.Pitch(), dst5.Data(), dst5.Pitch(), r.width, r.height, s5.data()));
        ASSERT_TRUE(PixelPrimitives::FilterLowpassBorderConst5x5_32f_C1R(
            src.Data(), src.Pitch(), dstC.Data(), dstC.Pitch(), r.width, r.height, 7.5f,
            s5.data()));
        for (const Image* dst : {&dst3, &dst5, &dstC}) {
            EXPECT_TRUE(dst->OutsideUntouched());
        }
        ExpectSeparable(src, dst3, 1, ones, true, 0.0, 9.0);
        ExpectSeparable(src, dst5, 2, ones, true, 0.0, 25.0);
        ExpectSeparable(src, dstC, 2, ones, false, 7.5, 25.0);
    }
}

TEST(FilterLowpass, UniformIntegerRegionComesBackExactly) {
    for (float value : {0.0f, 1.0f, 4095.0f, 12345.0f, 671000.0f}) {
        Image src(31, 23), dst3(31, 23), dst5(31, 23);
        src.Fill([&](int, int) { return value; });
        auto s3 = LowpassScratch(31, 23, 3);
        auto s5 = LowpassScratch(31, 23, 5);
        ASSERT_TRUE(PixelPrimitives::FilterLowpassBorder3x3_32f_C1R(
            src.Data(), src.Pitch(), dst3.Data(), dst3.Pitch(), 31, 23, s3.data()));
        ASSERT_TRUE(PixelPrimitives::FilterLowpassBorder5x5_32f_C1R(
            src.Data(), src.Pitch(), dst5.Data(), dst5.Pitch(), 31, 23, s5.data()));
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 31; ++x) {
                ASSERT_EQ(dst3.At(x, y), value);
                ASSERT_EQ(dst5.At(x, y), value);
            }
        }
    }
}

TEST(FilterGauss, ImpulseResponseIsTheNormalisedKernel) {
    // One row: every column tap reads the same row, so the response is the row kernel.
    const float expected[7] = {0.0366328f, 0.1112808f, 0.2167453f, 0.2706821f,
                               0.2167453f, 0.1112808f, 0.0366328f};
    Image src(15, 1), dst(15, 1);
    src.Fill([](int x, int) { return x == 7 ? 1.0f : 0.0f; });
    int bytes = 0;
    ASSERT_TRUE(PixelPrimitives::FilterGaussGetBufferSize_32f_C1(15, 1, 7, &bytes));
    std::vector<unsigned char> scratch(bytes);
    ASSERT_TRUE(PixelPrimitives::FilterGaussBorder_32f_C1R(
        src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 15, 1, 7, 1.5f, scratch.data()));
    for (int x = 0; x < 15; ++x) {
        EXPECT_NEAR(dst.At(x, 0), (x >= 4 && x <= 10) ? expected[x - 4] : 0.0f, 1e-6) << x;
    }
}

TEST(FilterGauss, MatchesDirectSumWithReplicatedBorder) {
    std::mt19937 rng(8);
    for (int size : {3, 7, 15}) {
        double sigma = size == 15 ? 5.5 : 1.5, sum = 0.0;
        std::vector<double> g(size);
        for (int i = 0; i < size; ++i) {
            sum += g[i] = std::exp(-std::pow(i - size / 2, 2) / (2 * sigma * sigma));
        }
        auto weight = [&](int d) { return g[d + size / 2] / sum; };
        for (const RegionSize& r : TestRegionSizes()) {
            Image src = PoisonedRandom(rng, r.width, r.height), dst(r.width, r.height);
            int bytes = 0;
            ASSERT_TRUE(
                PixelPrimitives::FilterGaussGetBufferSize_32f_C1(r.width, r.height, size, &bytes));
            std::vector<unsigned char> scratch(bytes);
            ASSERT_TRUE(PixelPrimitives::FilterGaussBorder_32f_C1R(
                src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), r.width, r.height, size,
                static_cast<float>(sigma), scratch.data()));
            EXPECT_TRUE(dst.OutsideUntouched());
            ExpectSeparable(src, dst, size / 2, weight, true, 0.0, 1.0);
        }
    }
}

TEST(Filters, RejectBadArgumentsWritingNothing) {
    const float kernel[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    Image src(10, 10, 2), dst(10, 10);
    std::vector<unsigned char> scratch(1 << 16);
    unsigned char* buf = scratch.data();
    auto filter = [&](const float* k, int kw, int kh, int ax, int ay, int w) {
        return PixelPrimitives::Filter_32f_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w,
                                              10, k, kw, kh, ax, ay);
    };
    EXPECT_FALSE(filter(kernel, 3, 3, 3, 1, 10));  // anchor outside the kernel
    EXPECT_FALSE(filter(kernel, 3, 3, 1, -1, 10));
    EXPECT_FALSE(filter(kernel, 0, 3, 0, 0, 10));
    EXPECT_FALSE(filter(nullptr, 3, 3, 1, 1, 10));
    EXPECT_FALSE(filter(kernel, 3, 3, 1, 1, 0));
    auto gauss = [&](int k, float sigma, unsigned char* b) {
        return PixelPrimitives::FilterGaussBorder_32f_C1R(src.Data(), src.Pitch(), dst.Data(),
                                                          dst.Pitch(), 10, 10, k, sigma, b);
    };
    for (int k : {-3, 1, 2, 4}) {
        EXPECT_FALSE(gauss(k, 1.0f, buf));
    }
    for (float sigma : {0.0f, -1.0f, kNaN}) {
        EXPECT_FALSE(gauss(7, sigma, buf));
    }
    EXPECT_FALSE(gauss(7, 1.0f, nullptr));
    EXPECT_FALSE(PixelPrimitives::FilterLowpassBorder3x3_32f_C1R(
        src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 10, 10, nullptr));
    EXPECT_FALSE(PixelPrimitives::FilterLowpassBorderConst5x5_32f_C1R(
        src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 10, 0, 0.0f, buf));
    EXPECT_TRUE(dst.Untouched());

    int bytes = -1;
    EXPECT_FALSE(PixelPrimitives::FilterLowpassGetBufferSize3x3_32f_C1R(0, 5, &bytes));
    EXPECT_FALSE(PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(5, 5, nullptr));
    EXPECT_FALSE(PixelPrimitives::FilterGaussGetBufferSize_32f_C1(10, 10, 4, &bytes));
    EXPECT_FALSE(PixelPrimitives::FilterGaussGetBufferSize_32f_C1(10, 10, 1, &bytes));
    EXPECT_EQ(bytes, -1);
}
