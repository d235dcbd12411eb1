#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <functional>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// One operation in all four forms: two images, in place (srcDst = src op srcDst), with a
// constant, and with a constant in place.
template <typename F>
void ExpectAllForms(decltype(&PP::And_8u_C1) images, decltype(&PP::And_8u_C1I) inPlace,
                    decltype(&PP::AndC_8u_C1) constant, decltype(&PP::AndC_8u_C1I) constantInPlace,
                    F f) {
    std::mt19937 rng(2);
    const int k = 0x5A;
    for (RegionSize size : TestRegionSizes()) {
        int w = size.width, h = size.height;
        Image a(w, h), b(w, h), d(w, h), e(w, h);
        a.FillRandom(rng, 0, 255);
        b.FillRandom(rng, 0, 255);
        Image b1 = b, a1 = a;
        const int p = a.Pitch();
        ASSERT_TRUE(images(a.Data(), p, b.Data(), p, d.Data(), p, w, h) &&
                    inPlace(a.Data(), p, b1.Data(), p, w, h) &&
                    constant(a.Data(), p, k, e.Data(), p, w, h) &&
                    constantInPlace(a1.Data(), p, k, w, h));
        ExpectRegion(d, [&](int x, int y) { return f(a.At(x, y), b.At(x, y)); });
        ExpectRegion(b1, [&](int x, int y) { return d.At(x, y); });
        ExpectRegion(e, [&](int x, int y) { return f(a.At(x, y), k); });
        ExpectRegion(a1, [&](int x, int y) { return e.At(x, y); });
        EXPECT_FALSE(images(a.Data(), p, nullptr, p, b.Data(), p, w, h) ||
                     constantInPlace(b.Data(), p, k, w, -1));
        EXPECT_TRUE(a.Untouched() && b.Untouched());
    }
}

TEST(Logic, AllFormsMatchBitwiseReference) {
    ExpectAllForms(PP::And_8u_C1, PP::And_8u_C1I, PP::AndC_8u_C1, PP::AndC_8u_C1I,
                   std::bit_and<>());
    ExpectAllForms(PP::Or_8u_C1, PP::Or_8u_C1I, PP::OrC_8u_C1, PP::OrC_8u_C1I, std::bit_or<>());
    ExpectAllForms(PP::Xor_8u_C1, PP::Xor_8u_C1I, PP::XorC_8u_C1, PP::XorC_8u_C1I,
                   std::bit_xor<>());
    Image a(256, 1), d(256, 1);
    a.Fill([](int x, int) { return x; });
    ASSERT_TRUE(PP::Not_8u_C1(a.Data(), a.Pitch(), d.Data(), d.Pitch(), 256, 1) &&
                PP::Not_8u_C1I(a.Data(), a.Pitch(), 256, 1));
    ExpectRegion(d, [](int x, int) { return 255 - x; });
    ExpectRegion(a, [](int x, int) { return 255 - x; });
}
