#include <PixelPrimitives/VectorPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "RegionChecks.h"

using VP = VectorPrimitives;
using Vec = TestImage<float>;  // a vector with guard elements around it

namespace {
const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
}  // namespace

TEST(Vector, FloatOperationsMatchScalarReference) {
    std::mt19937 rng(10);
    const float c = 3.0f;  // x / 3 often differs from x * (1/3)
    for (int n : {1, 7, 8, 9, 1000}) {
        Vec a(n, 1), b(n, 1), d(n, 1);
        a.FillRandom(rng, -100, 100);
        b.FillRandom(rng, -100, 100);
        const Vec original = b;
        auto was = [&](int i) { return original.At(i, 0); };
        ASSERT_TRUE(VP::Sub_32f(a.Data(), b.Data(), d.Data(), n));
        ExpectRegion(d, [&](int i, int) { return b.At(i, 0) - a.At(i, 0); });
        ASSERT_TRUE(VP::DivC_32f_I(b.Data(), c, n));
        ExpectRegion(b, [&](int i, int) { return was(i) / c; });
        b = original;
        ASSERT_TRUE(VP::AddProductC_32f(a.Data(), c, b.Data(), n));
        ExpectRegion(b, [&](int i, int) { return was(i) + static_cast<float>(a.At(i, 0) * c); });
        b = original;
        ASSERT_TRUE(VP::Add_32f_I(a.Data(), b.Data(), n) && VP::MulC_32f_I(b.Data(), c, n) &&
                    VP::AddC_32f_I(b.Data(), c, n) && VP::Abs_32f_I(b.Data(), n));
        ExpectRegion(b, [&](int i, int) { return std::fabs((was(i) + a.At(i, 0)) * c + c); });
        ASSERT_TRUE(VP::Copy_32f(a.Data(), d.Data(), n));
        ExpectRegion(d, [&](int i, int) { return a.At(i, 0); });
        ASSERT_TRUE(VP::Set_32f(-1.5f, d.Data(), n));
        ExpectRegion(d, [](int, int) { return -1.5f; });
        ASSERT_TRUE(VP::Zero_32f(b.Data(), n));
        ExpectRegion(b, [](int, int) { return 0.0f; });
        TestImage<int> s(n, 1);
        ASSERT_TRUE(VP::Set_32s(-7, s.Data(), n));
        ExpectRegion(s, [](int, int) { return -7; });
        EXPECT_TRUE(a.Untouched());
    }
}

TEST(Vector, MulC32sScalesRoundsHalfEvenAndSaturates) {
    // Reference in 128 bits: floor division by 2^sf, then the tie rule.
    auto reference = [](int v, int value, int sf) {
        __int128 p = static_cast<__int128>(v) * value;
        if (sf < 0) {
            p *= static_cast<__int128>(1) << std::min(-static_cast<long long>(sf), 40LL);
        } else if (sf > 0) {
            __int128 d = static_cast<__int128>(1) << std::min(sf, 100);
            __int128 q = p >= 0 ? p / d : -((-p + d - 1) / d), r = p - q * d;
            p = q + (2 * r > d || (2 * r == d && (q & 1)));
        }
        return static_cast<int>(std::clamp<__int128>(p, INT_MIN, INT_MAX));
    };
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX), small(-1000, 1000);
    std::vector<int> data{3, 5, -3, -5, 1, -1, INT_MIN, INT_MAX, 0};  // with 1: ties at sf 1
    for (int i = 0; i < 200; ++i) {
        data.push_back(i % 2 ? any(rng) : small(rng));
    }
    for (int sf : {INT_MIN, -40, -31, -5, -1, 0, 1, 2, 7, 31, 32, 62, 63, 64, INT_MAX}) {
        for (int value : {1, -1, 3, INT_MIN, INT_MAX, any(rng)}) {
            std::vector<int> out = data;
            ASSERT_TRUE(VP::MulC_32s_I(out.data(), value, static_cast<int>(out.size()), sf));
            for (size_t i = 0; i < data.size(); ++i) {
                ASSERT_EQ(out[i], reference(data[i], value, sf))
                    << data[i] << "*" << value << " sf " << sf;
            }
        }
    }
}

TEST(Vector, ConvertsRoundPerModeAndSaturate) {
    const float tiny = std::nextafter(0.5f, 0.0f);  // tiny + 0.5 rounds up to 1 in float
    const std::vector<float> src{
        0.5f,          1.5f,           2.5f,           -0.5f, -1.5f,      -2.5f,
        tiny,          -tiny,          1.7f,           -1.7f, 8388609.0f, 2147483520.0f,
        2147483648.0f, -2147483648.0f, -2147483904.0f, kInf,  -kInf,      kNaN};
    double (*const rounders[])(double) = {std::trunc, std::nearbyint, std::round};
    std::vector<int> dst(src.size(), 42);
    EXPECT_FALSE(VP::Convert_32f32s(src.data(), dst.data(), 3, 3));
    EXPECT_FALSE(VP::Convert_32f32s(src.data(), dst.data(), 3, -1));
    EXPECT_EQ(dst, std::vector<int>(src.size(), 42));
    for (int mode = 0; mode < 3; ++mode) {
        ASSERT_TRUE(VP::Convert_32f32s(src.data(), dst.data(), static_cast<int>(src.size()), mode));
        for (size_t i = 0; i < src.size(); ++i) {
            double r = std::isnan(src[i]) ? 0 : rounders[mode](src[i]);
            EXPECT_EQ(dst[i], std::clamp(r, double(INT_MIN), double(INT_MAX)))
                << mode << " " << src[i];
        }
    }
    const int ints[] = {-7, 16777217, INT_MAX, INT_MIN};
    float floats[4];
    ASSERT_TRUE(VP::Convert_32s32f(ints, floats, 4));
    EXPECT_EQ(std::vector<float>(floats, floats + 4),
              (std::vector<float>{-7.0f, 16777216.0f, 2147483648.0f, -2147483648.0f}));
}

TEST(Vector, MaxAndMinIndexSkipNaNAndPreferTheFirstTie) {
    auto check = [](std::vector<float> v, float max, float min, int index) {
        float m = 0, mi = 0;
        int at = -1;
        ASSERT_TRUE(VP::Max_32f(v.data(), static_cast<int>(v.size()), &m));
        ASSERT_TRUE(VP::MinIndex_32f(v.data(), static_cast<int>(v.size()), &mi, &at));
        EXPECT_TRUE(m == max || (std::isnan(m) && std::isnan(max))) << m;
        EXPECT_TRUE(mi == min || (std::isnan(mi) && std::isnan(min))) << mi;
        EXPECT_EQ(at, index);
    };
    check({kNaN, 3, -2, 5, -2, kNaN}, 5, -2, 2);
    check({kNaN, kNaN, kNaN}, kNaN, kNaN, 0);
    check({-kInf, kNaN, -kInf}, -kInf, -kInf, 0);
    std::vector<float> shuffled(37);  // 0..36 spread over every lane and the tail
    for (int i = 0; i < 37; ++i) {
        shuffled[i] = static_cast<float>((i * 17) % 37);
    }
    shuffled[20] = kNaN;
    check(shuffled, 36, 0, 0);
}

TEST(Vector, SumAccumulatesInDoubleAndRoundsOnce) {
    float big[] = {16777216.0f, 1.0f, 1.0f};  // a float accumulator would lose both ones
    float sum = 0;
    ASSERT_TRUE(VP::Sum_32f(big, 3, &sum, false));
    EXPECT_EQ(sum, 16777218.0f);
    std::mt19937 rng(12);
    for (int n : {1, 7, 8, 9, 1000}) {
        Vec v(n, 1);
        v.FillRandom(rng, -100, 100);
        long double reference = 0;
        for (int i = 0; i < n; ++i) {
            reference += v.At(i, 0);
        }
        ASSERT_TRUE(VP::Sum_32f(v.Data(), n, &sum, true));
        EXPECT_EQ(sum, static_cast<float>(reference)) << n;
    }
}

TEST(Vector, SlopesRoundOnceFromDouble) {
    Vec ramp(1000, 1), slope(1000, 1);
    ASSERT_TRUE(VP::VectorRamp_32f(ramp.Data(), 1000, 0.0f, 1.0f));
    ExpectRegion(ramp, [](int i, int) { return i; });
    ASSERT_TRUE(VP::VectorSlope_32f(slope.Data(), 1000, -2.5f, 0.1f));
    ExpectRegion(slope, [](int i, int) { return static_cast<float>(-2.5 + double(0.1f) * i); });
    struct Case {
        double offset, slope;
        int expected[4];
    };
    for (const Case& c :
         {Case{0, 1, {0, 1, 2, 3}}, Case{0.5, 1, {0, 2, 2, 4}},  // ties to even
          Case{-1.5, 1, {0, 0, 0, 2}}, Case{65534, 0.75, {65534, 65535, 65535, 65535}},
          Case{kNaN, 1, {0, 0, 0, 0}}, Case{0, 1e300, {0, 65535, 65535, 65535}}}) {
        TestImage<unsigned short> words(4, 1);
        ASSERT_TRUE(VP::VectorSlope_16u(words.Data(), 4, c.offset, c.slope));
        ExpectRegion(words, [&](int i, int) { return c.expected[i]; });
    }
}

TEST(Vector, HammingWindowIsSymmetricWithEndsAt008) {
    // 771.884155 times the factors of elements 2 and 4 of a 7-long window rounds differently
    // unless both factors are bit-equal.
    for (float c : {1.0f, 771.884155f}) {
        for (int n : {3, 4, 7, 64, 65}) {
            Vec w(n, 1);
            w.Fill([c](int, int) { return c; });
            ASSERT_TRUE(VP::WinHamming_32f_I(w.Data(), n));
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(w.At(i, 0), w.At(n - 1 - i, 0)) << i;
                double factor = 0.54 - 0.46 * std::cos(2 * std::acos(-1.0) * i / (n - 1));
                ASSERT_NEAR(w.At(i, 0) / c, factor, 1e-7);
            }
            EXPECT_TRUE((c != 1.0f || w.At(0, 0) == 0.08f) && w.OutsideUntouched());
        }
    }
}

TEST(Vector, ErrorsWriteNothing) {
    Vec b(4, 1);
    TestImage<int> s(4, 1);
    TestImage<unsigned short> u(4, 1);
    float f = 7, *B = b.Data();
    int i = 7;
    for (bool r : {VP::Abs_32f_I(B, 0), VP::Add_32f_I(nullptr, B, 4), VP::DivC_32f_I(B, 0.0f, 4),
                   VP::DivC_32f_I(B, -0.0f, 4), VP::MulC_32s_I(s.Data(), 2, 0, 0),
                   VP::AddProductC_32f(B, 1, nullptr, 4), VP::Convert_32f32s(B, s.Data(), 0, 0),
                   VP::Convert_32s32f(nullptr, B, 4), VP::Set_32s(1, s.Data(), 0),
                   VP::Max_32f(B, 4, nullptr), VP::MinIndex_32f(nullptr, 4, &f, &i),
                   VP::Sum_32f(B, -1, &f, false), VP::VectorSlope_32f(B, 0, 0, 1),
                   VP::VectorSlope_16u(u.Data(), -1, 0, 1), VP::WinHamming_32f_I(B, 2)}) {
        EXPECT_FALSE(r);
    }
    EXPECT_TRUE(b.Untouched() && s.Untouched() && u.Untouched() && f == 7 && i == 7);
}
