#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <functional>

#include "RegionChecks.h"

using PP = PixelPrimitives;

// One operation in all four forms: two images, in place (srcDst = src op srcDst), with a
// constant, and with a constant in place. The in-place forms run last, on the sources, and
// must give what the others gave.
template <typename I, typename II, typename C, typename CI, typename F>
void CheckForms(I images, II inPlace, C constant, CI constantInPlace, F f) {
    std::mt19937 rng(2);
    for (auto [w, h] : TestRegionSizes()) {
        TestImage<unsigned char> a(w, h), b(w, h), d(w, h), e(w, h);
        a.FillRandom(rng, 0, 255);
        b.FillRandom(rng, 0, 255);
        const int p = a.Pitch();
        ASSERT_TRUE(images(a.Data(), p, b.Data(), p, d.Data(), p, w, h) &&
                    constant(a.Data(), p, 0x5A, e.Data(), p, w, h));
        ExpectRegion(d, [&](int x, int y) { return f(a.At(x, y), b.At(x, y)); });
        ExpectRegion(e, [&](int x, int y) { return f(a.At(x, y), 0x5A); });
        // Failed calls write nothing.
        EXPECT_TRUE(!images(a.Data(), p, nullptr, p, b.Data(), p, w, h) &&
                    !constantInPlace(b.Data(), p, 0x5A, w, -1) && b.Untouched());
        ASSERT_TRUE(inPlace(a.Data(), p, b.Data(), p, w, h) &&
                    constantInPlace(a.Data(), p, 0x5A, w, h));
        ExpectRegion(b, [&](int x, int y) { return d.At(x, y); });
        ExpectRegion(a, [&](int x, int y) { return e.At(x, y); });
    }
}

TEST(Logic, AllFormsMatchBitwiseReference) {
    CheckForms(PP::And_8u_C1, PP::And_8u_C1I, PP::AndC_8u_C1, PP::AndC_8u_C1I, std::bit_and<>());
    CheckForms(PP::Or_8u_C1, PP::Or_8u_C1I, PP::OrC_8u_C1, PP::OrC_8u_C1I, std::bit_or<>());
    CheckForms(PP::Xor_8u_C1, PP::Xor_8u_C1I, PP::XorC_8u_C1, PP::XorC_8u_C1I, std::bit_xor<>());
}
