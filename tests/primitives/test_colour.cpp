#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "TestImage.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

namespace {

// The primitives work in float: where the exact value lies next to a rounding boundary the
// byte may differ by one.
void ExpectByte(int got, double exact) {
    const int want = static_cast<int>(std::clamp(std::nearbyint(exact), 0.0, 255.0));
    const bool nearTie =
        std::fabs(exact - std::floor(exact) - 0.5) < 1e-3 && std::fabs(exact - want) < 1;
    EXPECT_LE(std::abs(got - want), nearTie ? 1 : 0) << "exact value " << exact;
}

// Rows of coefficients for Y, U and V.
const double kYuv[3][3] = {{0.299, 0.587, 0.114}, {-0.147, -0.289, 0.436}, {0.615, -0.515, -0.100}};

}  // namespace

// Both directions on random images, per pixel straight from the equations in double. The
// outputs' regions stop before an odd last column, so the guard check proves it is not written.
TEST(Colour, BothDirectionsMatchTheEquationsPerPair) {
    std::mt19937 rng(51);
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height, even = w & ~1;
        Image rgb(3 * w, h), yuv(2 * w, h), rgbOut(3 * even, h), yuvOut(2 * even, h);
        rgb.FillRandom(rng, 0, 255);
        yuv.FillRandom(rng, 0, 255);
        ASSERT_TRUE(
            PP::RGBToYUV422_8u_C3C2R(rgb.Data(), rgb.Pitch(), yuvOut.Data(), yuvOut.Pitch(), w, h));
        ASSERT_TRUE(
            PP::YUV422ToRGB_8u_C2C3R(yuv.Data(), yuv.Pitch(), rgbOut.Data(), rgbOut.Pitch(), w, h));
        EXPECT_TRUE(yuvOut.OutsideUntouched() && rgbOut.OutsideUntouched());
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < even; ++x) {
                const int p = x & ~1;                      // the first pixel of the pair
                auto dot = [&](int px, const double* k) {  // byte 0 is red
                    const unsigned char* q = rgb.Pixel(3 * px, y);
                    return k[0] * q[0] + k[1] * q[1] + k[2] * q[2];
                };
                // U at the pair's first pixel, V at its second: means of the unrounded values.
                const double* k = kYuv[1 + x - p];
                ExpectByte(yuvOut.At(2 * x, y), dot(x, kYuv[0]));
                ExpectByte(yuvOut.At(2 * x + 1, y), (dot(p, k) + dot(p + 1, k)) / 2 + 128);
                // The inverse: both pixels use the pair's U and V.
                const double luma = yuv.At(2 * x, y), u = yuv.At(2 * p + 1, y) - 128.0,
                             v = yuv.At(2 * p + 3, y) - 128.0;
                ExpectByte(rgbOut.At(3 * x, y), luma + 1.140 * v);
                ExpectByte(rgbOut.At(3 * x + 1, y), luma - 0.394 * u - 0.581 * v);
                ExpectByte(rgbOut.At(3 * x + 2, y), luma + 2.032 * u);
            }
        }
    }
}

TEST(Colour, RejectsBadArgumentsWritingNothing) {
    Image src(12, 4), dst(12, 4);
    EXPECT_FALSE(PP::RGBToYUV422_8u_C3C2R(nullptr, 12, dst.Data(), dst.Pitch(), 4, 4));
    EXPECT_FALSE(PP::RGBToYUV422_8u_C3C2R(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 0, 4));
    EXPECT_FALSE(PP::YUV422ToRGB_8u_C2C3R(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 4, -2));
    EXPECT_TRUE(dst.Untouched());
}
