#include <Varnik/Soloma/ImageProcessing/Blending.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <limits>
#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::Blending;

namespace {

// One pixel of colour (blue, green, red, reserved) blended with palette entry 0.
std::vector<int> BlendOne(RGBQUAD entry, std::vector<int> colour, float paletteWeight,
                          float dstWeight) {
    const unsigned short index = 0;
    unsigned char pixel[4];
    for (int c = 0; c < 4; ++c) {
        pixel[c] = static_cast<unsigned char>(colour.at(c));
    }
    Blending::ColorIRImage(&entry, reinterpret_cast<const unsigned char*>(&index), 2, pixel, 4,
                           paletteWeight, dstWeight, 1, 1);
    return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

// One channel as documented: the float sum, truncated and saturated to 0..255 (NaN 0).
int Expected(int d, float dstWeight, int p, float paletteWeight) {
    const float value = static_cast<float>(d) * dstWeight + static_cast<float>(p) * paletteWeight;
    return !(value > 0.0f) ? 0 : value >= 255.0f ? 255 : static_cast<int>(value);
}

}  // namespace

// The documented pixel, weights 0, palette alone and destination alone; the palette's reserved
// byte never shows. Sums beyond the bytes saturate rather than wrap (200 + 100 gives 255, not
// 44), negative ones give 0.
TEST(Blending, DocumentedPixelsAndSaturation) {
    const RGBQUAD entry{201, 0, 50, 17};
    const std::vector<int> grey{100, 100, 100, 3};
    EXPECT_EQ(BlendOne(entry, grey, 0.5f, 0.5f), (std::vector<int>{150, 50, 75, 255}));
    EXPECT_EQ(BlendOne(entry, grey, 0.0f, 0.0f), (std::vector<int>{0, 0, 0, 255}));
    EXPECT_EQ(BlendOne(entry, grey, 1.0f, 0.0f), (std::vector<int>{201, 0, 50, 255}));
    EXPECT_EQ(BlendOne(entry, grey, 0.0f, 1.0f), (std::vector<int>{100, 100, 100, 255}));
    EXPECT_EQ(BlendOne({100, 255, 0, 0}, {200, 200, 200, 0}, 1.0f, 1.0f),
              (std::vector<int>{255, 255, 200, 255}));
    EXPECT_EQ(BlendOne(entry, grey, -1.0f, 0.5f), (std::vector<int>{0, 50, 0, 255}));
}

// Random strided images of every test shape, indices over the whole 16-bit range, weights in
// and beyond the range (NaN included), one to three threads against the documented sum; a
// frame-wide image gives the same bytes on one thread and on several.
TEST(Blending, EveryPixelOnAnyThreadCount) {
    std::mt19937 rng(5);
    std::vector<RGBQUAD> palette(65536);
    for (RGBQUAD& entry : palette) {
        entry = {static_cast<unsigned char>(rng()), static_cast<unsigned char>(rng()),
                 static_cast<unsigned char>(rng()), static_cast<unsigned char>(rng())};
    }
    const int threads = omp_get_max_threads();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // In range also with a sum just below 256 and with products too small for normal floats.
    const std::pair<float, float> weights[] = {{0.5f, 0.5f},        {0.3f, 0.7f},   {0.25f, 0.6f},
                                               {0.5f, 0.50390625f}, {1e-40f, 0.9f}, {2.5f, -0.5f},
                                               {1.0f, 1.0f},        {nan, 0.5f}};
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.push_back({640, 29});
    int run = 0;
    for (const RegionSize& size : sizes) {
        for (const std::pair<float, float>& weight : weights) {
            const float paletteWeight = weight.first, dstWeight = weight.second;
            TestImage<unsigned short> src(size.width, size.height);
            src.FillRandom(rng, 0, 65535);
            TestImage<unsigned char> dst(4 * size.width, size.height);
            dst.FillRandom(rng, 0, 255);
            const TestImage<unsigned char> before = dst;
            TestImage<unsigned char> serial = dst;
            auto colour = [&](TestImage<unsigned char>& image) {
                Blending::ColorIRImage(
                    palette.data(), reinterpret_cast<const unsigned char*>(src.Data()), src.Pitch(),
                    image.Data(), image.Pitch(), paletteWeight, dstWeight, size.width, size.height);
            };
            omp_set_num_threads(1 + run++ % 3);
            colour(dst);
            omp_set_num_threads(1);
            colour(serial);
            ASSERT_EQ(Pixels(dst), Pixels(serial));
            ASSERT_TRUE(dst.OutsideUntouched());
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    const RGBQUAD& e = palette[src.At(x, y)];
                    const int p[4] = {e.rgbBlue, e.rgbGreen, e.rgbRed, 0};
                    for (int c = 0; c < 4; ++c) {
                        const int expected = c == 3 ? 255
                                                    : Expected(before.At(4 * x + c, y), dstWeight,
                                                               p[c], paletteWeight);
                        ASSERT_EQ(dst.At(4 * x + c, y), expected)
                            << x << "," << y << " weights " << paletteWeight << " " << dstWeight;
                    }
                }
            }
        }
    }
    omp_set_num_threads(threads);
}
