#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "TestImage.h"

namespace {

using Image = TestImage<unsigned char>;

int Round(double v) {
    return static_cast<int>(std::min(std::max(std::nearbyint(v), 0.0), 255.0));
}

// The conversions written out per pixel, in double: the primitives work in float, so a
// result may differ by one where the exact value lies next to a rounding boundary.
void ExpectByte(int got, double exact, const char* what, int x, int y) {
    int want = Round(exact);
    double frac = exact - std::floor(exact);
    bool nearTie = std::fabs(frac - 0.5) < 1e-3 && exact > -0.5 && exact < 255.5;
    if (nearTie) {
        EXPECT_LE(std::abs(got - want), 1) << what << " at (" << x << ", " << y << ")";
    } else {
        EXPECT_EQ(got, want) << what << " at (" << x << ", " << y << ")";
    }
}

double U(double r, double g, double b) {
    return -0.147 * r - 0.289 * g + 0.436 * b + 128;
}
double V(double r, double g, double b) {
    return 0.615 * r - 0.515 * g - 0.100 * b + 128;
}

}  // namespace

TEST(Colour, RgbToYuv422MatchesTheEquationsPerPair) {
    std::mt19937 rng(51);
    for (const RegionSize& size : TestRegionSizes()) {
        Image src(3 * size.width, size.height), dst(2 * size.width, size.height);
        src.FillRandom(rng, 0.0, 255.0);
        dst.FillRandom(rng, 0.0, 255.0);
        Image before = dst;
        ASSERT_TRUE(PixelPrimitives::RGBToYUV422_8u_C3C2R(src.Data(), src.Pitch(), dst.Data(),
                                                          dst.Pitch(), size.width, size.height));
        EXPECT_TRUE(dst.OutsideUntouched());
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x + 1 < size.width; x += 2) {
                double r0 = src.At(3 * x, y), g0 = src.At(3 * x + 1, y), b0 = src.At(3 * x + 2, y);
                double r1 = src.At(3 * x + 3, y), g1 = src.At(3 * x + 4, y),
                       b1 = src.At(3 * x + 5, y);
                ExpectByte(dst.At(2 * x, y), 0.299 * r0 + 0.587 * g0 + 0.114 * b0, "Y0", x, y);
                ExpectByte(dst.At(2 * x + 1, y), (U(r0, g0, b0) + U(r1, g1, b1)) / 2, "U", x, y);
                ExpectByte(dst.At(2 * x + 2, y), 0.299 * r1 + 0.587 * g1 + 0.114 * b1, "Y1", x, y);
                ExpectByte(dst.At(2 * x + 3, y), (V(r0, g0, b0) + V(r1, g1, b1)) / 2, "V", x, y);
            }
            if (size.width % 2 == 1) {  // the odd last column is not written
                EXPECT_EQ(dst.At(2 * size.width - 2, y), before.At(2 * size.width - 2, y));
                EXPECT_EQ(dst.At(2 * size.width - 1, y), before.At(2 * size.width - 1, y));
            }
        }
    }
}

TEST(Colour, Yuv422ToRgbMatchesTheEquationsPerPair) {
    std::mt19937 rng(52);
    for (const RegionSize& size : TestRegionSizes()) {
        Image src(2 * size.width, size.height), dst(3 * size.width, size.height);
        src.FillRandom(rng, 0.0, 255.0);
        dst.FillRandom(rng, 0.0, 255.0);
        Image before = dst;
        ASSERT_TRUE(PixelPrimitives::YUV422ToRGB_8u_C2C3R(src.Data(), src.Pitch(), dst.Data(),
                                                          dst.Pitch(), size.width, size.height));
        EXPECT_TRUE(dst.OutsideUntouched());
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x + 1 < size.width; x += 2) {
                double u = src.At(2 * x + 1, y) - 128.0, v = src.At(2 * x + 3, y) - 128.0;
                for (int k = 0; k < 2; ++k) {
                    double luma = src.At(2 * x + 2 * k, y);
                    int px = x + k;
                    ExpectByte(dst.At(3 * px, y), luma + 1.140 * v, "R", px, y);
                    ExpectByte(dst.At(3 * px + 1, y), luma - 0.394 * u - 0.581 * v, "G", px, y);
                    ExpectByte(dst.At(3 * px + 2, y), luma + 2.032 * u, "B", px, y);
                }
            }
            if (size.width % 2 == 1) {
                for (int b = 3 * size.width - 3; b < 3 * size.width; ++b) {
                    EXPECT_EQ(dst.At(b, y), before.At(b, y));
                }
            }
        }
    }
}

TEST(Colour, KnownColoursAndSaturation) {
    // Red then white: byte 0 is red; V of red saturates; chroma is the pair's mean.
    const unsigned char rgb[6] = {255, 0, 0, 255, 255, 255};
    unsigned char yuv[4] = {};
    ASSERT_TRUE(PixelPrimitives::RGBToYUV422_8u_C3C2R(rgb, 6, yuv, 4, 2, 1));
    EXPECT_EQ(yuv[0], 76);   // 76.245
    EXPECT_EQ(yuv[1], 109);  // (90.515 + 128) / 2 = 109.2575
    EXPECT_EQ(yuv[2], 255);
    EXPECT_EQ(yuv[3], 206);  // (284.825 + 128) / 2 = 206.4125

    // Grey round trip is exact: the chroma is 128.
    const unsigned char grey[6] = {90, 90, 90, 200, 200, 200};
    unsigned char back[6] = {};
    ASSERT_TRUE(PixelPrimitives::RGBToYUV422_8u_C3C2R(grey, 6, yuv, 4, 2, 1));
    ASSERT_TRUE(PixelPrimitives::YUV422ToRGB_8u_C2C3R(yuv, 4, back, 6, 2, 1));
    EXPECT_TRUE(std::equal(grey, grey + 6, back));

    // Large chroma drives R and B past both ends.
    const unsigned char extreme[4] = {128, 255, 128, 0};
    ASSERT_TRUE(PixelPrimitives::YUV422ToRGB_8u_C2C3R(extreme, 4, back, 6, 2, 1));
    EXPECT_EQ(back[0], 0);    // 128 + 1.14 * -128
    EXPECT_EQ(back[2], 255);  // 128 + 2.032 * 127
}

TEST(Colour, RejectsBadArguments) {
    Image src(12, 4), dst(12, 4);
    EXPECT_FALSE(PixelPrimitives::RGBToYUV422_8u_C3C2R(nullptr, 12, dst.Data(), dst.Pitch(), 4, 4));
    EXPECT_FALSE(PixelPrimitives::RGBToYUV422_8u_C3C2R(src.Data(), src.Pitch(), dst.Data(),
                                                       dst.Pitch(), 0, 4));
    EXPECT_FALSE(PixelPrimitives::YUV422ToRGB_8u_C2C3R(src.Data(), src.Pitch(), nullptr, 12, 4, 4));
    EXPECT_FALSE(PixelPrimitives::YUV422ToRGB_8u_C2C3R(src.Data(), src.Pitch(), dst.Data(),
                                                       dst.Pitch(), 4, -2));
    EXPECT_TRUE(dst.Untouched());
}
