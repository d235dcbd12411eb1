#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <cmath>

#include "RegionChecks.h"

using PP = PixelPrimitives;

// Random pixels with pixels on the thresholds and NaNs mixed in: the cases a comparison gets
// wrong.
TEST(Threshold, ComparisonsAreStrictAndKeepNaN) {
    const float lo = -10, hi = 20, nan = std::nanf(""), special[] = {lo, hi, nan, -nan};
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> any(-50, 50);
    for (auto [w, h] : TestRegionSizes()) {
        TestImage<float> src(w, h);
        src.Fill([&](int x, int y) { return (x + y) % 3 ? any(rng) : special[(x + 2 * y) % 4]; });
        auto lt = src, ltVal = src, gtVal = src, both = src;
        TestImage<unsigned char> greater(w, h), less(w, h), bytes(w, h);
        const int p = src.Pitch(), q = greater.Pitch();
        // A low threshold above the high one fails and must write nothing.
        EXPECT_FALSE(PP::Threshold_LTValGTVal_32f_C1IR(both.Data(), p, w, h, hi, -99, lo, 77) ||
                     PP::Threshold_LT_32f_C1I(lt.Data(), p, 0, h, lo));
        ASSERT_TRUE(PP::CompareCGreater_32f_C1R(src.Data(), p, lo, greater.Data(), q, w, h) &&
                    PP::CompareCLess_32f_C1R(src.Data(), p, lo, less.Data(), q, w, h) &&
                    PP::Threshold_LT_32f_C1I(lt.Data(), p, w, h, lo) &&
                    PP::Threshold_LTVal_32f_C1I(ltVal.Data(), p, w, h, lo, -99) &&
                    PP::Threshold_GTVal_32f_C1I(gtVal.Data(), p, w, h, hi, 77) &&
                    PP::Threshold_LTValGTVal_32f_C1IR(both.Data(), p, w, h, lo, -99, hi, 77));
        auto v = [&](int x, int y) { return src.At(x, y); };
        ExpectRegion(greater, [&](int x, int y) { return v(x, y) > lo ? 255 : 0; });
        ExpectRegion(less, [&](int x, int y) { return v(x, y) < lo ? 255 : 0; });
        ExpectRegion(lt, [&](int x, int y) { return v(x, y) < lo ? lo : v(x, y); });
        ExpectRegion(ltVal, [&](int x, int y) { return v(x, y) < lo ? -99 : v(x, y); });
        ExpectRegion(gtVal, [&](int x, int y) { return v(x, y) > hi ? 77 : v(x, y); });
        ExpectRegion(both, [&](int x, int y) { return v(x, y) < lo ? -99 : gtVal.At(x, y); });
        bytes.FillRandom(rng, 0, 255);
        const auto old = bytes;
        ASSERT_TRUE(PP::ThresholdGreater_Val_8u_C1IR(bytes.Data(), q, w, h, 128, 7));
        ExpectRegion(bytes, [&](int x, int y) { return old.At(x, y) > 128 ? 7 : old.At(x, y); });
    }
    float one = 5;  // equal thresholds are accepted
    EXPECT_TRUE(PP::Threshold_LTValGTVal_32f_C1IR(&one, 4, 1, 1, 5, 0, 5, 0) && one == 5);
}
