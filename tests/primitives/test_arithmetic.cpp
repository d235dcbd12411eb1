#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "RegionChecks.h"

using PP = PixelPrimitives;

TEST(Arithmetic, FloatOperationsFollowIppOperandOrder) {
    std::mt19937 rng(1);
    const float c = 2.75f;
    for (RegionSize size : TestRegionSizes()) {
        int w = size.width, h = size.height;
        TestImage<float> a(w, h), b(w, h), d(w, h), e(w, h);
        a.FillRandom(rng, -100, 100);
        b.FillRandom(rng, -100, 100);
        a.At(0, 0) = b.At(0, 0) = -0.0f;  // -0 - |-0| is -0 only if Abs clears the sign bit
        a.Snapshot();
        b.Snapshot();
        const TestImage<float> b0 = b;
        const int p = a.Pitch();
        float *A = a.Data(), *B = b.Data();
        auto s = [&](int x, int y) { return a.At(x, y); };
        auto v = [&](int x, int y) { return b0.At(x, y); };
        EXPECT_FALSE(PP::Sub_32f_C1(A, p, nullptr, p, e.Data(), p, w, h) ||
                     PP::Mul_32f_C1I(A, p, B, p, 0, h) ||
                     PP::MulC_32f_C1(A, p, c, e.Data(), p, w, -1));
        ASSERT_TRUE(PP::Abs_32f_C1(A, p, e.Data(), p, w, h) &&
                    PP::Sub_32f_C1(e.Data(), p, B, p, d.Data(), p, w, h) &&
                    PP::MulC_32f_C1(d.Data(), p, c, e.Data(), p, w, h));
        ExpectRegion(e, [&](int x, int y) { return (v(x, y) - std::fabs(s(x, y))) * c; });
        // The in-place forms chained, so that swapping two operations or operands shows.
        ASSERT_TRUE(PP::Add_32f_C1I(A, p, B, p, w, h) && PP::Mul_32f_C1I(A, p, B, p, w, h) &&
                    PP::Sub_32f_C1I(A, p, B, p, w, h) && PP::AddC_32f_C1I(c, B, p, w, h) &&
                    PP::MulC_32f_C1I(c, B, p, w, h) && PP::SubC_32f_C1I(c, B, p, w, h) &&
                    PP::Abs_32f_C1I(B, p, w, h));
        ExpectRegion(b, [&](int x, int y) {
            return std::fabs(((v(x, y) + s(x, y)) * s(x, y) - s(x, y) + c) * c - c);
        });
        EXPECT_TRUE(a.Untouched() && d.OutsideUntouched());
    }
}

// Every product of two bytes and every word, against exact references: the products scaled
// and rounded in double, the quotients in integers. DivC by 16 with sf 0 gives 2 for 24 and
// for 40: it is not a truncating division. Division by zero fails and must write nothing.
TEST(Arithmetic, ScaledIntegerOperationsRoundHalfEvenAndSaturate) {
    TestImage<unsigned char> a(256, 256), b(256, 256), d(256, 256);
    a.Fill([](int x, int) { return x; });
    b.Fill([](int, int y) { return y; });
    for (int sf : {INT_MIN, -9, -8, -1, 0, 1, 2, 7, 8, 15, 16, 17, 18, INT_MAX}) {
        ASSERT_TRUE(PP::Mul_8u_C1(a.Data(), a.Pitch(), b.Data(), b.Pitch(), d.Data(), d.Pitch(),
                                  256, 256, sf));
        ExpectRegion(d, [&](int x, int y) {
            return std::min(std::nearbyint(std::ldexp(x * y, -std::clamp(sf, -1000, 1000))), 255.0);
        });
    }
    TestImage<unsigned short> src(256, 256), dst(256, 256);
    src.Fill([](int x, int y) { return x + 256 * y; });
    const int cases[][2] = {{16, 0}, {3, 0},       {7, 2},   {65535, 0},   {1, 17},     {2, 16},
                            {3, -5}, {65535, -16}, {5, -40}, {1, INT_MAX}, {2, INT_MIN}};
    for (auto [value, sf] : cases) {
        SCOPED_TRACE(testing::Message() << value << " sf " << sf);
        ASSERT_TRUE(
            PP::DivC_16u_C1(src.Data(), src.Pitch(), value, dst.Data(), dst.Pitch(), 256, 256, sf));
        EXPECT_FALSE(
            PP::DivC_16u_C1(src.Data(), src.Pitch(), 0, dst.Data(), dst.Pitch(), 256, 256, sf));
        int shift = std::clamp(sf, -40, 40);  // beyond, every result is 0 or saturated
        ExpectRegion(dst, [&](int x, int y) {
            unsigned long long n = (x + 256ULL * y) << std::max(-shift, 0);
            unsigned long long d = static_cast<unsigned long long>(value) << std::max(shift, 0);
            unsigned long long q = n / d, r = n % d;
            return std::min(q + (2 * r > d || (2 * r == d && (q & 1))), 65535ULL);
        });
    }
}
