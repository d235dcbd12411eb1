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
        TestImage<float> a(w, h), b0(w, h), b(w, h), d(w, h);
        a.FillRandom(rng, -100, 100);
        b0.FillRandom(rng, -100, 100);
        const int p = a.Pitch();
        const float *A = a.Data(), *B = b.Data();
        // Runs one operation on fresh copies and checks the image it writes against f(a, b).
        auto check = [&](auto run, bool inPlace, auto f) {
            b = b0;
            d = TestImage<float>(w, h);
            ASSERT_TRUE(run());
            ExpectRegion(inPlace ? b : d, [&](int x, int y) { return f(a.At(x, y), b0.At(x, y)); });
            EXPECT_TRUE(a.Untouched() && (inPlace ? d : b).Untouched());
        };
        check([&] { return PP::Abs_32f_C1(A, p, d.Data(), p, w, h); }, false,
              [](float s, float) { return std::fabs(s); });
        check([&] { return PP::Abs_32f_C1I(b.Data(), p, w, h); }, true,
              [](float, float v) { return std::fabs(v); });
        check([&] { return PP::Add_32f_C1I(A, p, b.Data(), p, w, h); }, true,
              [](float s, float v) { return v + s; });
        check([&] { return PP::Sub_32f_C1(A, p, B, p, d.Data(), p, w, h); }, false,
              [](float s1, float s2) { return s2 - s1; });
        check([&] { return PP::Sub_32f_C1I(A, p, b.Data(), p, w, h); }, true,
              [](float s, float v) { return v - s; });
        check([&] { return PP::Mul_32f_C1I(A, p, b.Data(), p, w, h); }, true,
              [](float s, float v) { return v * s; });
        check([&] { return PP::AddC_32f_C1I(c, b.Data(), p, w, h); }, true,
              [&](float, float v) { return v + c; });
        check([&] { return PP::SubC_32f_C1I(c, b.Data(), p, w, h); }, true,
              [&](float, float v) { return v - c; });
        check([&] { return PP::MulC_32f_C1I(c, b.Data(), p, w, h); }, true,
              [&](float, float v) { return v * c; });
        check([&] { return PP::MulC_32f_C1(A, p, c, d.Data(), p, w, h); }, false,
              [&](float s, float) { return s * c; });
    }
}

TEST(Arithmetic, AbsClearsTheSignBit) {
    float v[2] = {-0.0f, -std::nanf("")};
    ASSERT_TRUE(PP::Abs_32f_C1I(v, 8, 2, 1));
    EXPECT_TRUE(!std::signbit(v[0]) && std::isnan(v[1]) && !std::signbit(v[1]));
}

// Every product of two bytes, against the exact value scaled in double and rounded there.
TEST(Arithmetic, Mul8uRoundsHalfEvenAndSaturates) {
    TestImage<unsigned char> a(256, 256), b(256, 256), d(256, 256);
    a.Fill([](int x, int) { return x; });
    b.Fill([](int, int y) { return y; });
    for (int sf : {INT_MIN, -9, -8, -1, 0, 1, 2, 7, 8, 15, 16, 17, 18, INT_MAX}) {
        SCOPED_TRACE(sf);
        ASSERT_TRUE(PP::Mul_8u_C1(a.Data(), a.Pitch(), b.Data(), b.Pitch(), d.Data(), d.Pitch(),
                                  256, 256, sf));
        double scale = std::ldexp(1.0, -std::clamp(sf, -1000, 1000));
        ExpectRegion(d,
                     [&](int x, int y) { return std::min(std::nearbyint(x * y * scale), 255.0); });
    }
}

// Every pixel value, against a reference in exact integer arithmetic.
TEST(Arithmetic, DivC16uRoundsHalfEvenAndSaturates) {
    TestImage<unsigned short> src(256, 256), dst(256, 256);
    src.Fill([](int x, int y) { return x + 256 * y; });
    auto divide = [&](unsigned short value, int sf) {
        return PP::DivC_16u_C1(src.Data(), src.Pitch(), value, dst.Data(), dst.Pitch(), 256, 256,
                               sf);
    };
    // IPP's example: 16 with sf 0 is not a truncating division.
    ASSERT_TRUE(divide(16, 0));
    for (auto [v, q] :
         {std::pair{8, 0}, {24, 2}, {40, 2}, {65527, 4095}, {65528, 4096}, {65535, 4096}}) {
        EXPECT_EQ(dst.At(v % 256, v / 256), q) << v;
    }
    struct Case {
        unsigned short value;
        int sf;
    };
    for (Case c : {Case{16, 0},
                   {3, 0},
                   {7, 2},
                   {65535, 0},
                   {1, 17},
                   {2, 16},
                   {1, -1},
                   {3, -5},
                   {65535, -16},
                   {65535, -20},
                   {5, -40},
                   {1, INT_MAX},
                   {2, INT_MIN}}) {
        SCOPED_TRACE(testing::Message() << c.value << " sf " << c.sf);
        ASSERT_TRUE(divide(c.value, c.sf));
        int shift = std::clamp(c.sf, -40, 40);  // beyond, every result is 0 or saturated
        ExpectRegion(dst, [&](int x, int y) {
            unsigned long long n = (x + 256ULL * y) << std::max(-shift, 0);
            unsigned long long d = static_cast<unsigned long long>(c.value) << std::max(shift, 0);
            unsigned long long q = n / d, r = n % d;
            q += 2 * r > d || (2 * r == d && (q & 1));
            return std::min(q, 65535ULL);
        });
    }
}

TEST(Arithmetic, ErrorsWriteNothing) {
    TestImage<float> d(5, 4);
    TestImage<unsigned char> d8(5, 4);
    TestImage<unsigned short> d16(5, 4);
    float *D = d.Data(), *n = nullptr;
    unsigned char* D8 = d8.Data();
    unsigned short* D16 = d16.Data();
    const int p = d.Pitch();
    for (bool r : {PP::Abs_32f_C1(n, p, D, p, 5, 4), PP::Abs_32f_C1I(D, p, 0, 4),
                   PP::Add_32f_C1I(n, p, D, p, 5, 4), PP::Sub_32f_C1(D, p, D, p, D, p, -5, 4),
                   PP::Sub_32f_C1I(D, p, n, p, 5, 4), PP::Mul_32f_C1I(D, p, D, p, 5, 0),
                   PP::AddC_32f_C1I(1, n, p, 5, 4), PP::MulC_32f_C1(D, p, 2, D, p, 0, 0),
                   PP::Mul_8u_C1(D8, 5, nullptr, 5, D8, 5, 5, 4, 0),
                   PP::DivC_16u_C1(D16, p, 0, D16, p, 5, 4, 0),  // division by zero
                   PP::DivC_16u_C1(D16, p, 3, D16, p, 0, 4, 0)}) {
        EXPECT_FALSE(r);
    }
    EXPECT_TRUE(d.Untouched() && d8.Untouched() && d16.Untouched());
}
