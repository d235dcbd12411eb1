#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "GasOverlayChecks.h"
#include "TestImage.h"
#include "gas/ColorizeGasImage.h"
#include "gas/EdgeWeighting.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

struct Pixel {
    unsigned char b, g, r, a;
    bool operator==(const Pixel& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
};

std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << int(p.b) << "," << int(p.g) << "," << int(p.r) << "," << int(p.a);
}

// One pixel with red R and green G tinted by detection value s (gain 1).
Pixel Tint(int method, unsigned char red, unsigned char green, float s) {
    unsigned char in[4] = {99, green, red, 7};
    unsigned char out[4] = {};
    ColorizeGasImage(in, 4, &s, 4, method, 1, out, 4, 1, 1);
    return {out[0], out[1], out[2], out[3]};
}

TEST(ColorizeGasImage, MethodsAndClamping) {
    // No detection: grey by method 0, the input's red and green otherwise; blue is replaced.
    EXPECT_EQ(Tint(0, 120, 30, 0.0f), (Pixel{120, 120, 120, 255}));
    EXPECT_EQ(Tint(1, 120, 30, 0.0f), (Pixel{120, 30, 120, 255}));
    EXPECT_EQ(Tint(2, 120, 30, 0.0f), (Pixel{120, 30, 120, 255}));
    // Saturation at both ends, truncation rather than rounding.
    EXPECT_EQ(Tint(2, 200, 100, 300.0f), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(Tint(1, 100, 100, -40.0f), (Pixel{20, 80, 20, 255}));
    EXPECT_EQ(Tint(1, 100, 100, 40.0f), (Pixel{100, 160, 100, 255}));
    EXPECT_EQ(Tint(0, 100, 0, 10.9f), (Pixel{110, 110, 110, 255}));
    EXPECT_EQ(Tint(0, 100, 0, -10.9f), (Pixel{89, 89, 89, 255}));
    EXPECT_EQ(Tint(0, 250, 0, 1e30f), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(Tint(0, 250, 0, -std::numeric_limits<float>::infinity()), (Pixel{0, 0, 0, 255}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int method : {0, 1, 2}) {
        EXPECT_EQ(Tint(method, 100, 100, nan), (Pixel{0, 0, 0, 255})) << method;
    }
    // Every method other than 0 and 1 tints alike.
    for (float s : {-70.0f, -3.5f, 12.25f, 400.0f}) {
        EXPECT_EQ(Tint(7, 90, 140, s), Tint(2, 90, 140, s));
        EXPECT_EQ(Tint(-1, 90, 140, s), Tint(2, 90, 140, s));
    }
}

// Strided images, the gain, and a destination that is the colour image itself.
TEST(ColorizeGasImage, GainStridesAndInPlace) {
    const int width = 37, height = 9;
    TestImage<float> detection(width, height);
    detection.Fill([](int x, int y) { return static_cast<float>((x * 13 + y * 7) % 60) - 30.0f; });
    std::vector<unsigned char> colour = ColourImage(width, height);
    for (int method : {0, 1, 2}) {
        TestImage<unsigned char> out(width * 4, height);
        ColorizeGasImage(colour.data(), width * 4, detection.Data(), detection.Pitch(), method, 2,
                         out.Data(), out.Pitch(), width, height);
        EXPECT_TRUE(out.OutsideUntouched());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const unsigned char* in = &colour[(y * width + x) * 4];
                const Pixel expected = Tint(method, in[2], in[1], 2.0f * detection.At(x, y));
                const unsigned char* o = out.Pixel(4 * x, y);
                ASSERT_EQ((Pixel{o[0], o[1], o[2], o[3]}), expected) << x << "," << y;
            }
        }
        std::vector<unsigned char> inPlace = colour;
        ColorizeGasImage(inPlace.data(), width * 4, detection.Data(), detection.Pitch(), method, 2,
                         inPlace.data(), width * 4, width, height);
        for (int y = 0; y < height; ++y) {
            ASSERT_EQ(std::memcmp(&inPlace[y * width * 4], out.Pixel(0, y), width * 4), 0);
        }
    }
}

// Whole rows (tinted several pixels at a time) agree with single pixels on the awkward values:
// NaN, infinities, signed zeros, saturation, and values on either side of the threshold.
TEST(ColorizeGasImage, RowsAgreeWithSinglePixels) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values = {std::numeric_limits<float>::quiet_NaN(),
                                       inf,
                                       -inf,
                                       -0.0f,
                                       0.0f,
                                       4.99f,
                                       5.0f,
                                       5.01f,
                                       1e30f,
                                       -1e30f,
                                       -300.0f,
                                       255.9f,
                                       -17.25f,
                                       63.5f,
                                       1e-40f,
                                       100.0f,
                                       -5.0f,
                                       7.0f,
                                       2.5f};
    const int width = static_cast<int>(values.size());
    std::vector<unsigned char> colour = ColourImage(width, 1);
    const DetectionScaling scaling{5.0f, 0.5f};
    for (int method : {0, 1, 2}) {
        std::vector<unsigned char> row(colour.size());
        ColorizeGasImage(colour.data(), width * 4, values.data(), width * 4, method, 3, row.data(),
                         width * 4, width, 1, scaling);
        for (int x = 0; x < width; ++x) {
            unsigned char one[4] = {};
            ColorizeGasImage(&colour[4 * x], 4, &values[x], 4, method, 3, one, 4, 1, 1, scaling);
            EXPECT_EQ(std::memcmp(one, &row[4 * x], 4), 0) << "method " << method << " x " << x;
        }
    }
}

TEST(EdgeWeighting, ConstantImagesHaveNoEdgesAndWeighMinusOne) {
    const int width = 30, height = 20;
    int bytes = 0;
    PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(width, height, &bytes);
    std::vector<unsigned char> scratch(bytes);
    TestImage<float> a(width, height), b(width, height), d(width, height), work(width, height);
    a.Fill([](int, int) { return 1234.0f; });
    b.Fill([](int, int) { return 1000.0f; });
    d.Fill([](int x, int y) { return static_cast<float>(x - y); });

    TestImage<float> edges = a;
    DetectEdges(edges.Data(), edges.Pitch(), work.Data(), work.Pitch(), width, height,
                scratch.data());
    for (int y = 4; y < height - 4; ++y) {
        for (int x = 4; x < width - 4; ++x) {
            EXPECT_EQ(edges.At(x, y), 0.0f);
        }
    }

    // No edge in either frame: every weight is -1, so D only changes sign (no 0/0).
    WeightByEdges({a.Data(), a.Pitch(), b.Data(), b.Pitch(), d.Data(), d.Pitch(), work.Data(),
                   work.Pitch(), scratch.data(), width, height},
                  8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(d.At(x, y), static_cast<float>(y - x));
        }
    }
    EXPECT_TRUE(d.OutsideUntouched());
}

// Weights are 0 on the strongest edges, -1 far from edges, and between near them.
TEST(EdgeWeighting, WeightsFollowTheEdges) {
    const int width = 40, height = 30;
    int bytes = 0;
    PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(width, height, &bytes);
    std::vector<unsigned char> scratch(bytes);
    TestImage<float> a(width, height), b(width, height), d(width, height), work(width, height);
    a.Fill([](int x, int) { return x < 20 ? 100.0f : 900.0f; });
    b.Fill([](int x, int) { return x < 20 ? 100.0f : 900.0f; });
    d.Fill([](int, int) { return 5.0f; });
    WeightByEdges({a.Data(), a.Pitch(), b.Data(), b.Pitch(), d.Data(), d.Pitch(), work.Data(),
                   work.Pitch(), scratch.data(), width, height},
                  8);
    EXPECT_EQ(d.At(19, 15), 0.0f);
    EXPECT_EQ(d.At(20, 15), 0.0f);
    EXPECT_EQ(d.At(2, 15), -5.0f);
    EXPECT_EQ(d.At(35, 15), -5.0f);
    for (int x = 0; x < width; ++x) {
        EXPECT_GE(d.At(x, 10), -5.0f);
        EXPECT_LE(d.At(x, 10), 0.0f);
    }
}

TEST(EdgeWeighting, DebugImageClearsOnlyTheRegion) {
    TestImage<unsigned char> out(4 * 6, 3);
    TestImage<float> src(6, 3);
    src.Fill([](int x, int y) { return static_cast<float>(x * y); });
    ClearDebugImage(src.Data(), src.Pitch(), out.Data(), out.Pitch(), 6, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 24; ++x) {
            ASSERT_EQ(out.At(x, y), 0);
        }
    }
    EXPECT_TRUE(out.OutsideUntouched());
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
