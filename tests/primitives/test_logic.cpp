#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// All four forms of each operation (two images, in place, constant, constant in place).
TEST(Logic, AllFormsMatchBitwiseReference) {
    struct Case {
        decltype(&PP::And_8u_C1) images;
        decltype(&PP::And_8u_C1I) inPlace;
        decltype(&PP::AndC_8u_C1) constant;
        decltype(&PP::AndC_8u_C1I) constantInPlace;
        int (*f)(int, int);
    };
    const Case cases[] = {
        {PP::And_8u_C1, PP::And_8u_C1I, PP::AndC_8u_C1, PP::AndC_8u_C1I,
         [](int a, int b) { return a & b; }},
        {PP::Or_8u_C1, PP::Or_8u_C1I, PP::OrC_8u_C1, PP::OrC_8u_C1I,
         [](int a, int b) { return a | b; }},
        {PP::Xor_8u_C1, PP::Xor_8u_C1I, PP::XorC_8u_C1, PP::XorC_8u_C1I,
         [](int a, int b) { return a ^ b; }},
    };
    std::mt19937 rng(2);
    const unsigned char k = 0x5A;
    for (const Case& c : cases) {
        for (RegionSize size : TestRegionSizes()) {
            int w = size.width, h = size.height;
            Image a(w, h), b(w, h), d(w, h), b2(w, h), a2(w, h);
            a.FillRandom(rng, 0, 255);
            b.FillRandom(rng, 0, 255);
            b2 = b;
            a2 = a;
            const int p = a.Pitch();
            auto withB = [&](int x, int y) { return c.f(a.At(x, y), b.At(x, y)); };
            auto withK = [&](int x, int y) { return c.f(a.At(x, y), k); };
            ASSERT_TRUE(c.images(a.Data(), p, b.Data(), p, d.Data(), p, w, h));
            ExpectRegion(d, withB);
            ASSERT_TRUE(c.inPlace(a.Data(), p, b2.Data(), p, w, h));
            ExpectRegion(b2, withB);
            ASSERT_TRUE(c.constant(a.Data(), p, k, d.Data(), p, w, h));
            ExpectRegion(d, withK);
            ASSERT_TRUE(c.constantInPlace(a2.Data(), p, k, w, h));
            ExpectRegion(a2, withK);
            EXPECT_TRUE(a.Untouched() && b.Untouched());
            EXPECT_FALSE(c.images(a.Data(), p, nullptr, p, d.Data(), p, w, h));
            EXPECT_FALSE(c.inPlace(a.Data(), p, b.Data(), p, 0, h));
            EXPECT_FALSE(c.constant(nullptr, p, k, d.Data(), p, w, h));
            EXPECT_FALSE(c.constantInPlace(b.Data(), p, k, w, -1));
            EXPECT_TRUE(b.Untouched());
        }
    }
}

TEST(Logic, NotInvertsEveryBit) {
    Image a(256, 3), d(256, 3);
    a.Fill([](int x, int) { return x; });
    ASSERT_TRUE(PP::Not_8u_C1(a.Data(), a.Pitch(), d.Data(), d.Pitch(), 256, 3));
    ExpectRegion(d, [](int x, int) { return 255 - x; });
    ASSERT_TRUE(PP::Not_8u_C1I(a.Data(), a.Pitch(), 256, 3));
    ExpectRegion(a, [](int x, int) { return 255 - x; });
    a.Snapshot();
    EXPECT_FALSE(PP::Not_8u_C1(nullptr, a.Pitch(), a.Data(), a.Pitch(), 256, 3));
    EXPECT_FALSE(PP::Not_8u_C1I(a.Data(), a.Pitch(), 0, 3));
    EXPECT_TRUE(a.Untouched());
}
