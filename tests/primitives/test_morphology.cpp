#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// Max or min over the 3x3 neighbourhood, the ring round the region included; the in-place
// form must give exactly the out-of-place result and never write the ring; a null source is
// rejected. Random images of two values give long runs and ties. Then rows of every phase
// against the vector size (the pitch and the first pixel vary), and rows wider than the
// stack's scratch (worked in strips out of place, with heap scratch in place).
TEST(Morphology, OutOfPlaceAndInPlaceMatchTheNeighbourhood) {
    struct Shape {
        int w, h, margin, extraPitch, hi;
    };
    std::vector<Shape> shapes;
    for (int hi : {1, 255}) {
        for (const RegionSize& size : TestRegionSizes()) {
            shapes.push_back({size.width, size.height, 2, 24, hi});
        }
    }
    for (Shape wide : {Shape{100, 6, 1, 1, 255},
                       {100, 6, 2, 7, 255},
                       {257, 5, 3, 33, 255},
                       {64, 4, 5, 0, 255},
                       {4095, 3, 1, 5, 255},
                       {4096, 3, 2, 64, 255},
                       {4097, 3, 1, 3, 255},
                       {8200, 3, 1, 0, 255}}) {
        shapes.push_back(wide);
    }
    std::mt19937 rng(21);
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.w << " x " << s.h << " pitch +" << s.extraPitch);
        for (bool dilate : {true, false}) {
            auto outOfPlace = dilate ? PP::Dilate3x3_8u_C1 : PP::Erode3x3_8u_C1;
            auto inPlace = dilate ? PP::Dilate3x3_8u_C1I : PP::Erode3x3_8u_C1I;
            Image src(s.w, s.h, s.margin, s.extraPitch), dst(s.w, s.h, s.margin, s.extraPitch);
            src.FillRandom(rng, 0, s.hi, true);
            Image srcDst = src;
            EXPECT_FALSE(outOfPlace(nullptr, src.Pitch(), dst.Data(), dst.Pitch(), s.w, s.h));
            ASSERT_TRUE(outOfPlace(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), s.w, s.h));
            ASSERT_TRUE(inPlace(srcDst.Data(), srcDst.Pitch(), s.w, s.h));
            auto reference = [&](int x, int y) {
                unsigned char v = src.At(x, y);
                for (int n = 0; n < 9; ++n) {
                    unsigned char p = src.At(x + n % 3 - 1, y + n / 3 - 1);
                    v = dilate ? std::max(v, p) : std::min(v, p);
                }
                return v;
            };
            ExpectRegion(dst, reference);
            ExpectRegion(srcDst, reference);
            EXPECT_TRUE(src.Untouched());
        }
    }
}
