#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// Max or min over the 3x3 neighbourhood, the ring round the region included; the in-place
// form must give exactly the out-of-place result and never write the ring. Images of two values
// give long runs and ties; a null source is rejected.
TEST(Morphology, OutOfPlaceAndInPlaceMatchTheNeighbourhood) {
    std::mt19937 rng(21);
    for (bool dilate : {true, false}) {
        auto outOfPlace = dilate ? PP::Dilate3x3_8u_C1 : PP::Erode3x3_8u_C1;
        auto inPlace = dilate ? PP::Dilate3x3_8u_C1I : PP::Erode3x3_8u_C1I;
        for (int hi : {1, 255}) {
            for (const RegionSize& size : TestRegionSizes()) {
                const int w = size.width, h = size.height;
                Image src(w, h, 2), dst(w, h);
                src.FillRandom(rng, 0, hi, true);
                Image srcDst = src;
                EXPECT_FALSE(outOfPlace(nullptr, src.Pitch(), dst.Data(), dst.Pitch(), w, h));
                ASSERT_TRUE(outOfPlace(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w, h));
                ASSERT_TRUE(inPlace(srcDst.Data(), srcDst.Pitch(), w, h));
                auto reference = [&](int x, int y) {
                    unsigned char v = src.At(x, y);
                    for (int n = 0; n < 9; ++n) {
                        unsigned char s = src.At(x + n % 3 - 1, y + n / 3 - 1);
                        v = dilate ? std::max(v, s) : std::min(v, s);
                    }
                    return v;
                };
                ExpectRegion(dst, reference);
                ExpectRegion(srcDst, reference);
                EXPECT_TRUE(src.Untouched());
            }
        }
    }
}
