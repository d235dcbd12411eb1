#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "RegionChecks.h"

using PP = PixelPrimitives;

TEST(Arithmetic, FloatOperationsFollowIppOperandOrder) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> any(-100, 100);
    const float c = 2.75f;
    for (auto [w, h] : TestRegionSizes()) {
        TestImage<float> a(w, h), b(w, h), d(w, h), e(w, h);
        // -0 - |-0| is -0 only if Abs clears the sign bit.
        a.Fill([&](int x, int y) { return x + y ? any(rng) : -0.0f; });
        b.Fill([&](int x, int y) { return x + y ? any(rng) : -0.0f; });
        const TestImage<float> b0 = b;
        const int p = a.Pitch();
        float *A = a.Data(), *B = b.Data(), *D = d.Data(), *E = e.Data();
        EXPECT_FALSE(PP::Sub_32f_C1(A, p, nullptr, p, E, p, w, h) ||
                     PP::Mul_32f_C1I(A, p, B, p, 0, h) || PP::MulC_32f_C1(A, p, c, E, p, w, -1));
        ASSERT_TRUE(PP::Abs_32f_C1(A, p, E, p, w, h) && PP::Sub_32f_C1(E, p, B, p, D, p, w, h) &&
                    PP::MulC_32f_C1(D, p, c, E, p, w, h));
        ExpectRegion(e, [&](int x, int y) { return (b0.At(x, y) - std::fabs(a.At(x, y))) * c; });
        // The in-place forms chained, so that swapping two operations or operands shows.
        ASSERT_TRUE(PP::Add_32f_C1I(A, p, B, p, w, h) && PP::Mul_32f_C1I(A, p, B, p, w, h) &&
                    PP::Sub_32f_C1I(A, p, B, p, w, h) && PP::AddC_32f_C1I(c, B, p, w, h) &&
                    PP::MulC_32f_C1I(c, B, p, w, h) && PP::SubC_32f_C1I(c, B, p, w, h) &&
                    PP::Abs_32f_C1I(B, p, w, h));
        ExpectRegion(b, [&](int x, int y) {
            float s = a.At(x, y), v = b0.At(x, y);
            return std::fabs(((v + s) * s - s + c) * c - c);
        });
    }
}

// Every product of two bytes and every word, against exact references: the products scaled
// and rounded in double, the quotients in integers. DivC by 16 with sf 0 gives 2 for 24 and
// for 40: it is not a truncating division. Division by zero fails and must write nothing.
TEST(Arithmetic, ScaledIntegerOperationsRoundHalfEvenAndSaturate) {
    TestImage<unsigned char> a(256, 256), b(256, 256), d(256, 256);
    a.Fill([](int x, int) { return x; });
    b.Fill([](int, int y) { return y; });
    for (int sf : {INT_MIN, -9, -1, 0, 1, 7, 8, 15, 16, 17, INT_MAX}) {
        const int p = a.Pitch();
        ASSERT_TRUE(PP::Mul_8u_C1(a.Data(), p, b.Data(), p, d.Data(), p, 256, 256, sf));
        const double scale = std::ldexp(1.0, -std::clamp(sf, -99, 99));
        ExpectRegion(d, [&](int x, int y) { return std::min(std::rint(x * y * scale), 255.0); });
    }
    // Odd widths and a region that starts at an odd column: pixels are multiplied in pairs.
    for (int first : {0, 1}) {
        TestImage<unsigned char> odd(255, 3);
        const int p = a.Pitch();
        ASSERT_TRUE(PP::Mul_8u_C1(a.Pixel(first, 200), p, b.Pixel(first, 200), p, odd.Data(),
                                  odd.Pitch(), 255, 3, 0));
        ExpectRegion(odd, [&](int x, int y) { return std::min((x + first) * (y + 200), 255); });
    }
    TestImage<unsigned short> src(256, 256), dst(256, 256);
    src.Fill([](int x, int y) { return x + 256 * y; });
    unsigned short *S = src.Data(), *D = dst.Data();
    const int p = src.Pitch();
    // Divisors that are powers of two, odd, even and not, next to powers of two and at the ends
    // of the range; scale factors up, none, past 2^16 (every quotient 0 or 1) and extreme.
    for (int value : {1, 2, 3, 5, 7, 12, 16, 255, 256, 257, 4095, 32767, 32768, 65535}) {
        for (int sf : {INT_MIN, -40, -16, -5, 0, 1, 4, 15, 16, 17, INT_MAX}) {
            ASSERT_TRUE(PP::DivC_16u_C1(S, p, value, D, p, 256, 256, sf));
            const int s = std::clamp(sf, -40, 40);  // beyond, every result is 0 or saturated
            ExpectRegion(dst, [&](int x, int y) {
                auto n = (x + 256ULL * y) << std::max(-s, 0), d = (0ULL + value) << std::max(s, 0);
                auto q = n / d, r = n % d;
                return std::min(q + (2 * r > d || (2 * r == d && (q & 1))), 65535ULL);
            });
        }
    }
    dst.Snapshot();
    EXPECT_FALSE(PP::DivC_16u_C1(S, p, 0, D, p, 256, 256, 0));
    EXPECT_TRUE(dst.Untouched());
}
