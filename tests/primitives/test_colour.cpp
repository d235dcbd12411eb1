#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "TestImage.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// Rows of coefficients for Y, U and V.
const double kYuv[3][3] = {{0.299, 0.587, 0.114}, {-0.147, -0.289, 0.436}, {0.615, -0.515, -0.100}};

// Both directions per pixel straight from the equations in double, on one random image read as
// RGB and as YUV. The outputs' regions stop before an odd last column, so the guard check proves
// it is not written. A null destination must be rejected, not written.
TEST(Colour, BothDirectionsMatchTheEquationsPerPair) {
    // The byte must be as near the exact value as the rounded and saturated one, give or take
    // the primitives' float arithmetic: only next to a tie may it round the other way.
    auto expectByte = [](int got, double exact) {
        const double want = std::clamp(std::nearbyint(exact), 0.0, 255.0);
        EXPECT_LE(std::fabs(got - exact), std::fabs(want - exact) + 1e-3) << "exact " << exact;
    };
    std::mt19937 rng(51);
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height, even = w & ~1;
        Image in(3 * w, h), rgb(3 * even, h), yuv(2 * even, h);
        in.FillRandom(rng, 0, 255);
        ASSERT_TRUE(PP::RGBToYUV422_8u_C3C2R(in.Data(), in.Pitch(), yuv.Data(), yuv.Pitch(), w, h));
        ASSERT_TRUE(PP::YUV422ToRGB_8u_C2C3R(in.Data(), in.Pitch(), rgb.Data(), rgb.Pitch(), w, h));
        EXPECT_TRUE(yuv.OutsideUntouched() && rgb.OutsideUntouched());
        EXPECT_FALSE(PP::YUV422ToRGB_8u_C2C3R(in.Data(), in.Pitch(), nullptr, 12, w, h));
        for (int i = 0; i < even * h; ++i) {
            const int x = i % even, y = i / even, p = x & ~1;  // p: the pair's first pixel
            auto dot = [&](int px, int row) {                  // byte 0 is red
                const unsigned char* q = in.Pixel(3 * px, y);
                return kYuv[row][0] * q[0] + kYuv[row][1] * q[1] + kYuv[row][2] * q[2];
            };
            // Chroma is the mean of the pair's unrounded values, U at its first pixel and V at its
            // second; the inverse uses the pair's U and V for both pixels.
            expectByte(yuv.At(2 * x, y), dot(x, 0));
            expectByte(yuv.At(2 * x + 1, y), (dot(p, 1 + x - p) + dot(p + 1, 1 + x - p)) / 2 + 128);
            const double luma = in.At(2 * x, y), u = in.At(2 * p + 1, y) - 128.0,
                         v = in.At(2 * p + 3, y) - 128.0;
            expectByte(rgb.At(3 * x, y), luma + 1.140 * v);
            expectByte(rgb.At(3 * x + 1, y), luma - 0.394 * u - 0.581 * v);
            expectByte(rgb.At(3 * x + 2, y), luma + 2.032 * u);
        }
    }
}

// The module's float arithmetic in its documented order, pixel by pixel: whichever path a row
// takes (whole vectors, the pairs left over, or no vectors at all), the bytes must be these,
// exactly.
namespace {

unsigned char RoundToByte(float v) {
    return static_cast<unsigned char>(std::clamp(std::nearbyint(v), 0.0f, 255.0f));
}

void RgbToYuvReference(const unsigned char* p, unsigned char* q) {
    const float r0 = p[0], g0 = p[1], b0 = p[2], r1 = p[3], g1 = p[4], b1 = p[5];
    const auto luma = [](float r, float g, float b) {
        return 0.299f * r + 0.587f * g + 0.114f * b;
    };
    const auto u = [](float r, float g, float b) {
        return -0.147f * r - 0.289f * g + 0.436f * b + 128.0f;
    };
    const auto v = [](float r, float g, float b) {
        return 0.615f * r - 0.515f * g - 0.100f * b + 128.0f;
    };
    q[0] = RoundToByte(luma(r0, g0, b0));
    q[1] = RoundToByte((u(r0, g0, b0) + u(r1, g1, b1)) * 0.5f);
    q[2] = RoundToByte(luma(r1, g1, b1));
    q[3] = RoundToByte((v(r0, g0, b0) + v(r1, g1, b1)) * 0.5f);
}

void YuvToRgbReference(const unsigned char* p, unsigned char* q) {
    const float u = p[1] - 128.0f, v = p[3] - 128.0f;
    for (int k = 0; k < 2; ++k) {
        const float y = p[2 * k];
        q[3 * k] = RoundToByte(y + 1.140f * v);
        q[3 * k + 1] = RoundToByte(y - 0.394f * u - 0.581f * v);
        q[3 * k + 2] = RoundToByte(y + 2.032f * u);
    }
}

}  // namespace

// Every width up to a few vectors of pairs, then a frame's rows, of random bytes with runs of
// extremes (0 and 255 make the saturating ends); strided, through the guard check.
TEST(Colour, EveryPathGivesTheSameBytes) {
    std::mt19937 rng(71);
    std::vector<RegionSize> sizes;
    for (int w = 2; w <= 100; ++w) {
        sizes.push_back({w, 3});
    }
    sizes.push_back({640, 64});
    for (const RegionSize& size : sizes) {
        const int w = size.width, h = size.height, pairs = w / 2;
        Image in(3 * w, h), yuv(2 * w, h), rgb(3 * w, h);
        in.Fill([&](int, int) {
            const unsigned pick = rng() % 8;
            return pick == 0 ? 0 : pick == 1 ? 255 : static_cast<int>((rng() >> 8) % 256);
        });
        ASSERT_TRUE(PP::RGBToYUV422_8u_C3C2R(in.Data(), in.Pitch(), yuv.Data(), yuv.Pitch(), w, h));
        ASSERT_TRUE(PP::YUV422ToRGB_8u_C2C3R(in.Data(), in.Pitch(), rgb.Data(), rgb.Pitch(), w, h));
        EXPECT_TRUE(yuv.OutsideUntouched() && rgb.OutsideUntouched());
        for (int y = 0; y < h; ++y) {
            for (int i = 0; i < pairs; ++i) {
                unsigned char toYuv[4], toRgb[6];
                RgbToYuvReference(in.Pixel(6 * i, y), toYuv);
                YuvToRgbReference(in.Pixel(4 * i, y), toRgb);
                for (int k = 0; k < 4; ++k) {
                    ASSERT_EQ(yuv.At(4 * i + k, y), toYuv[k]) << "width " << w << " pair " << i;
                }
                for (int k = 0; k < 6; ++k) {
                    ASSERT_EQ(rgb.At(6 * i + k, y), toRgb[k]) << "width " << w << " pair " << i;
                }
            }
        }
    }
}
