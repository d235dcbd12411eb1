#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <random>
#include <vector>

#include "TestImage.h"

using CT = Varnik::Soloma::ImageProcessing::ColorTransformation;
using Bytes = TestImage<unsigned char>;

namespace {

Bytes RandomBytes(int widthBytes, int height, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes image(widthBytes, height);
    image.FillRandom(rng, 0, 255);
    return image;
}

}  // namespace

// RGB -> RGBA gives the channels in their order with alpha 255, and back, whatever alpha
// then holds, the same image. Strided images of every test shape and a wide one on 1 to 3
// threads; nothing outside the regions is written.
TEST(ColorTransformation, RgbRgbaRoundTrip) {
    const int threads = omp_get_max_threads();
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.push_back({643, 9});
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int w = sizes[i].width, h = sizes[i].height;
        omp_set_num_threads(1 + i % 3);
        const Bytes rgb = RandomBytes(3 * w, h, 1 + i);
        Bytes rgba(4 * w, h), back(3 * w, h);
        CT::RGBToRGBA(rgb.Data(), rgb.Pitch(), rgba.Data(), rgba.Pitch(), w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < 4 * w; ++x) {
                ASSERT_EQ(rgba.At(x, y), x % 4 == 3 ? 255 : rgb.At(x / 4 * 3 + x % 4, y));
                rgba.At(x, y) = x % 4 == 3 ? static_cast<unsigned char>(x + y) : rgba.At(x, y);
            }
        }
        CT::RGBAToRGB(rgba.Data(), rgba.Pitch(), back.Data(), back.Pitch(), w, h);
        EXPECT_EQ(Pixels(back), Pixels(rgb)) << w << "x" << h;
        EXPECT_TRUE(rgba.OutsideUntouched() && back.OutsideUntouched());
    }
    omp_set_num_threads(threads);
}

// The chained conversions equal their two steps byte for byte, and the 3-byte forms equal the
// primitives: RGBAToYUV422 is RGBToYUV422 of RGBAToRGB, YUV422ToRGBA is RGBToRGBA of
// YUV422ToRGB with alpha 255. With an odd width the last column is left as it was.
TEST(ColorTransformation, YuvConversionsChainTheirSteps) {
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height, even = w & ~1;
        const Bytes rgba = RandomBytes(4 * w, h, 31);
        Bytes rgb(3 * w, h), yuvChained(2 * w, h), yuvSteps(2 * w, h), yuvDirect(2 * w, h);
        CT::RGBAToYUV422(rgba.Data(), rgba.Pitch(), yuvChained.Data(), yuvChained.Pitch(), w, h);
        CT::RGBAToRGB(rgba.Data(), rgba.Pitch(), rgb.Data(), rgb.Pitch(), w, h);
        CT::RGBToYUV422(rgb.Data(), rgb.Pitch(), yuvSteps.Data(), yuvSteps.Pitch(), w, h);
        PixelPrimitives::RGBToYUV422_8u_C3C2R(rgb.Data(), rgb.Pitch(), yuvDirect.Data(),
                                              yuvDirect.Pitch(), w, h);
        EXPECT_EQ(Pixels(yuvChained), Pixels(yuvSteps)) << w << "x" << h;
        EXPECT_EQ(Pixels(yuvSteps), Pixels(yuvDirect));

        const Bytes yuv = RandomBytes(2 * w, h, 37);
        Bytes rgbaChained(4 * w, h), rgbSteps(3 * w, h), rgbDirect(3 * w, h), rgbaSteps(4 * w, h);
        CT::YUV422ToRGBA(yuv.Data(), yuv.Pitch(), rgbaChained.Data(), rgbaChained.Pitch(), w, h);
        CT::YUV422ToRGB(yuv.Data(), yuv.Pitch(), rgbSteps.Data(), rgbSteps.Pitch(), w, h);
        PixelPrimitives::YUV422ToRGB_8u_C2C3R(yuv.Data(), yuv.Pitch(), rgbDirect.Data(),
                                              rgbDirect.Pitch(), w, h);
        EXPECT_EQ(Pixels(rgbSteps), Pixels(rgbDirect));
        // Only the even columns: the odd last one of rgbaSteps keeps its pattern as it must.
        CT::RGBToRGBA(rgbSteps.Data(), rgbSteps.Pitch(), rgbaSteps.Data(), rgbaSteps.Pitch(), even,
                      h);
        EXPECT_EQ(Pixels(rgbaChained), Pixels(rgbaSteps)) << w << "x" << h;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < even; ++x) {
                ASSERT_EQ(rgbaChained.At(4 * x + 3, y), 255);
            }
        }
        for (const Bytes* image : {&yuvChained, &rgbaChained, &rgbSteps}) {
            EXPECT_TRUE(image->OutsideUntouched());
        }
    }
}
