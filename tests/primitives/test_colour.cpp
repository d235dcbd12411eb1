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
