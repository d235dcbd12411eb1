#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <cmath>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<float>;

namespace {

constexpr float kLow = -10, kHigh = 20, kLowValue = -99, kHighValue = 77;

// Random pixels with NaNs and pixels exactly on the thresholds sprinkled in: the cases a
// comparison gets wrong.
Image SpecialImage(int w, int h, std::mt19937& rng) {
    Image image(w, h);
    image.FillRandom(rng, -50, 50);
    const float special[] = {kLow, kHigh, std::nanf(""), -std::nanf("")};
    for (int i = 0; i < w * h; i += 3) {
        image.At(i % w, i / w) = special[i % 4];
    }
    image.Snapshot();
    return image;
}

}  // namespace

TEST(Threshold, ComparisonsAndThresholdsAreStrictAndKeepNaN) {
    std::mt19937 rng(3);
    for (RegionSize size : TestRegionSizes()) {
        int w = size.width, h = size.height;
        Image src = SpecialImage(w, h, rng);
        const int p = src.Pitch();
        auto v = [&](int x, int y) { return src.At(x, y); };
        TestImage<unsigned char> mask(w, h);
        ASSERT_TRUE(
            PP::CompareCGreater_32f_C1R(src.Data(), p, kLow, mask.Data(), mask.Pitch(), w, h));
        ExpectRegion(mask, [&](int x, int y) { return v(x, y) > kLow ? 255 : 0; });
        ASSERT_TRUE(PP::CompareCLess_32f_C1R(src.Data(), p, kLow, mask.Data(), mask.Pitch(), w, h));
        ExpectRegion(mask, [&](int x, int y) { return v(x, y) < kLow ? 255 : 0; });

        Image t = src;
        ASSERT_TRUE(PP::Threshold_LT_32f_C1I(t.Data(), p, w, h, kLow));
        ExpectRegion(t, [&](int x, int y) { return v(x, y) < kLow ? kLow : v(x, y); });
        t = src;
        ASSERT_TRUE(PP::Threshold_LTVal_32f_C1I(t.Data(), p, w, h, kLow, kLowValue));
        ExpectRegion(t, [&](int x, int y) { return v(x, y) < kLow ? kLowValue : v(x, y); });
        t = src;
        ASSERT_TRUE(PP::Threshold_GTVal_32f_C1I(t.Data(), p, w, h, kHigh, kHighValue));
        ExpectRegion(t, [&](int x, int y) { return v(x, y) > kHigh ? kHighValue : v(x, y); });
        t = src;
        ASSERT_TRUE(PP::Threshold_LTValGTVal_32f_C1IR(t.Data(), p, w, h, kLow, kLowValue, kHigh,
                                                      kHighValue));
        ExpectRegion(t, [&](int x, int y) {
            return v(x, y) < kLow ? kLowValue : v(x, y) > kHigh ? kHighValue : v(x, y);
        });
        EXPECT_TRUE(src.Untouched());

        TestImage<unsigned char> bytes(w, h);
        bytes.FillRandom(rng, 0, 255);
        TestImage<unsigned char> original = bytes;
        ASSERT_TRUE(PP::ThresholdGreater_Val_8u_C1IR(bytes.Data(), bytes.Pitch(), w, h, 128, 7));
        ExpectRegion(bytes,
                     [&](int x, int y) { return original.At(x, y) > 128 ? 7 : original.At(x, y); });
    }
}

TEST(Threshold, ErrorsWriteNothing) {
    Image f(4, 3);
    TestImage<unsigned char> b(4, 3);
    const int p = f.Pitch();
    EXPECT_FALSE(PP::CompareCGreater_32f_C1R(nullptr, p, 0, b.Data(), b.Pitch(), 4, 3));
    EXPECT_FALSE(PP::CompareCLess_32f_C1R(f.Data(), p, 0, b.Data(), b.Pitch(), 0, 3));
    EXPECT_FALSE(PP::Threshold_LT_32f_C1I(nullptr, p, 4, 3, 0));
    EXPECT_FALSE(PP::Threshold_LTVal_32f_C1I(f.Data(), p, 4, -3, 0, 1));
    EXPECT_FALSE(PP::Threshold_GTVal_32f_C1I(f.Data(), p, 0, 0, 0, 1));
    EXPECT_FALSE(PP::Threshold_LTValGTVal_32f_C1IR(f.Data(), p, 4, 3, 2, 0, 1, 0));  // lt > gt
    EXPECT_FALSE(PP::Threshold_LTValGTVal_32f_C1IR(nullptr, p, 4, 3, 0, 0, 1, 0));
    EXPECT_FALSE(PP::ThresholdGreater_Val_8u_C1IR(b.Data(), b.Pitch(), 4, 0, 1, 2));
    EXPECT_TRUE(f.Untouched() && b.Untouched());
    EXPECT_TRUE(PP::Threshold_LTValGTVal_32f_C1IR(f.Data(), p, 4, 3, 1, 0, 1, 0));  // lt == gt
}
