#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestImage.h"

namespace {

using Image = TestImage<unsigned char>;

struct Operation {
    const char* name;
    bool dilate;
    bool (*outOfPlace)(const unsigned char*, int, unsigned char*, int, int, int);
    bool (*inPlace)(unsigned char*, int, int, int);
};

const Operation kOperations[] = {
    {"dilate", true, PixelPrimitives::Dilate3x3_8u_C1, PixelPrimitives::Dilate3x3_8u_C1I},
    {"erode", false, PixelPrimitives::Erode3x3_8u_C1, PixelPrimitives::Erode3x3_8u_C1I},
};

// Max or min over the 3x3 neighbourhood, ring included.
unsigned char Reference(const Image& src, int x, int y, bool dilate) {
    unsigned char v = src.At(x, y);
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            unsigned char s = src.At(x + dx, y + dy);
            v = dilate ? std::max(v, s) : std::min(v, s);
        }
    }
    return v;
}

}  // namespace

TEST(Morphology, OutOfPlaceAndInPlaceMatchTheNeighbourhoodIncludingTheRing) {
    std::mt19937 rng(21);
    for (const Operation& op : kOperations) {
        for (double hi : {1.0, 255.0}) {
            for (const RegionSize& size : TestRegionSizes()) {
                Image src(size.width, size.height, 2);
                src.FillRandom(rng, 0.0, hi, true);
                Image inPlace = src;  // same pixels, ring and guards
                Image dst(size.width, size.height);
                ASSERT_TRUE(op.outOfPlace(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                          size.width, size.height));
                ASSERT_TRUE(op.inPlace(inPlace.Data(), inPlace.Pitch(), size.width, size.height));
                EXPECT_TRUE(src.Untouched());
                EXPECT_TRUE(dst.OutsideUntouched());
                EXPECT_TRUE(inPlace.OutsideUntouched()) << "the ring must never be written";
                for (int y = 0; y < size.height; ++y) {
                    for (int x = 0; x < size.width; ++x) {
                        ASSERT_EQ(dst.At(x, y), Reference(src, x, y, op.dilate))
                            << op.name << " at (" << x << ", " << y << ")";
                        ASSERT_EQ(inPlace.At(x, y), dst.At(x, y))
                            << op.name << " in place at (" << x << ", " << y << ")";
                    }
                }
            }
        }
    }
}

TEST(Morphology, ClosingFillsAOnePixelHole) {
    Image mask(9, 9, 1);
    mask.Fill([](int x, int y) { return (x == 4 && y == 4) ? 0 : 255; });
    for (int i = -1; i <= 9; ++i) {  // replicated ring
        mask.At(i, -1) = mask.At(i, 9) = mask.At(-1, i) = mask.At(9, i) = 255;
    }
    ASSERT_TRUE(PixelPrimitives::Dilate3x3_8u_C1I(mask.Data(), mask.Pitch(), 9, 9));
    ASSERT_TRUE(PixelPrimitives::Erode3x3_8u_C1I(mask.Data(), mask.Pitch(), 9, 9));
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(mask.At(x, y), 255);
        }
    }
}

TEST(Morphology, RejectsBadArguments) {
    Image src(4, 4, 1), dst(4, 4);
    for (const Operation& op : kOperations) {
        EXPECT_FALSE(op.outOfPlace(nullptr, src.Pitch(), dst.Data(), dst.Pitch(), 4, 4));
        EXPECT_FALSE(op.outOfPlace(src.Data(), src.Pitch(), nullptr, dst.Pitch(), 4, 4));
        EXPECT_FALSE(op.outOfPlace(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 0, 4));
        EXPECT_FALSE(op.inPlace(nullptr, src.Pitch(), 4, 4));
        EXPECT_FALSE(op.inPlace(src.Data(), src.Pitch(), 4, -1));
    }
    EXPECT_TRUE(src.Untouched());
    EXPECT_TRUE(dst.Untouched());
}
