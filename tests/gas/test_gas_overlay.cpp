#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "GasOverlayChecks.h"
#include "RegionChecks.h"
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

// Strided images, the gain, a scaling and a destination that is the colour image itself: whole
// rows (tinted several pixels at a time) agree with single pixels, also on the awkward values
// of the first row: NaN, infinities, signed zeros, saturation, and values on either side of the
// threshold.
TEST(ColorizeGasImage, RowsAgreeWithSinglePixels) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const std::vector<float> awkward = {nan,    inf,    -inf,   -0.0f,   0.0f,   4.99f,   5.0f,
                                        5.01f,  1e30f,  -1e30f, -300.0f, 255.9f, -17.25f, 63.5f,
                                        1e-40f, 100.0f, -5.0f,  7.0f,    2.5f};
    const int width = 37, height = 9;
    TestImage<float> detection(width, height);
    detection.Fill([&](int x, int y) {
        return y == 0 && x < 19 ? awkward[x] : static_cast<float>((x * 13 + y * 7) % 60) - 30.0f;
    });
    const std::vector<unsigned char> colour = ColourImage(width, height);
    const DetectionScaling scaling{5.0f, 0.5f};
    for (bool scaled : {false, true}) {
        for (int method : {0, 1, 2}) {
            auto colorize = [&](const unsigned char* in, int inStep, const float* d, int dStep,
                                unsigned char* out, int outStep, int w, int h) {
                if (scaled) {
                    ColorizeGasImage(in, inStep, d, dStep, method, 2, out, outStep, w, h, scaling);
                } else {
                    ColorizeGasImage(in, inStep, d, dStep, method, 2, out, outStep, w, h);
                }
            };
            TestImage<unsigned char> out(width * 4, height);
            colorize(colour.data(), width * 4, detection.Data(), detection.Pitch(), out.Data(),
                     out.Pitch(), width, height);
            EXPECT_TRUE(out.OutsideUntouched());
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const unsigned char* in = &colour[(y * width + x) * 4];
                    unsigned char one[4] = {};
                    colorize(in, 4, detection.Pixel(x, y), 4, one, 4, 1, 1);
                    ASSERT_EQ(std::memcmp(one, out.Pixel(4 * x, y), 4), 0)
                        << "method " << method << " at " << x << "," << y;
                    // The gain: the plain form as gain 1 on twice the value.
                    const Pixel doubled = Tint(method, in[2], in[1], 2.0f * detection.At(x, y));
                    ASSERT_TRUE(scaled || (Pixel{one[0], one[1], one[2], one[3]}) == doubled);
                }
            }
            std::vector<unsigned char> inPlace = colour;
            colorize(inPlace.data(), width * 4, detection.Data(), detection.Pitch(), inPlace.data(),
                     width * 4, width, height);
            for (int y = 0; y < height; ++y) {
                ASSERT_EQ(std::memcmp(&inPlace[y * width * 4], out.Pixel(0, y), width * 4), 0);
            }
        }
    }
}

// Constant images have no edges; with no edge in either frame every weight is -1, so D only
// changes sign (no 0/0). Weights are 0 on the strongest edges, -1 far from edges, and between
// near them.
TEST(EdgeWeighting, WeightsFollowTheEdges) {
    const int width = 40, height = 30;
    int bytes = 0;
    PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(width, height, &bytes);
    std::vector<unsigned char> scratch(bytes);
    TestImage<float> a(width, height), b(width, height), d(width, height), work(width, height);
    auto weigh = [&] {
        WeightByEdges({a.Data(), a.Pitch(), b.Data(), b.Pitch(), d.Data(), d.Pitch(), work.Data(),
                       work.Pitch(), scratch.data(), width, height},
                      8);
    };
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
    weigh();
    ExpectRegion(d, [](int x, int y) { return -static_cast<float>(x - y); });

    a.Fill([](int x, int) { return x < 20 ? 100.0f : 900.0f; });
    b.Fill([](int x, int) { return x < 20 ? 100.0f : 900.0f; });
    d.Fill([](int, int) { return 5.0f; });
    weigh();
    EXPECT_EQ(d.At(19, 15), 0.0f);
    EXPECT_EQ(d.At(20, 15), 0.0f);
    EXPECT_EQ(d.At(2, 15), -5.0f);
    EXPECT_EQ(d.At(35, 15), -5.0f);
    for (int x = 0; x < width; ++x) {
        EXPECT_TRUE(d.At(x, 10) >= -5.0f && d.At(x, 10) <= 0.0f) << x;
    }
}

TEST(EdgeWeighting, DebugImageClearsOnlyTheRegion) {
    TestImage<unsigned char> out(4 * 6, 3);
    TestImage<float> src(6, 3);
    src.Fill([](int x, int y) { return static_cast<float>(x * y); });
    ClearDebugImage(src.Data(), src.Pitch(), out.Data(), out.Pitch(), 6, 3);
    ExpectRegion(out, [](int, int) { return 0; });
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
