#include <PixelPrimitives/VectorPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <numeric>
#include <vector>

#include "RegionChecks.h"

using VP = VectorPrimitives;
using Vec = TestImage<float>;  // a vector with guard elements around it

// Lengths around the vector width. The in-place arithmetic is chained so that swapping two
// operations or operands shows; x / 3 often differs from x * (1/3), and a double sum rounded
// once from a float sum.
TEST(Vector, FloatOperationsMatchScalarReference) {
    std::mt19937 rng(10);
    const float c = 3.0f;
    for (int n : {1, 7, 8, 9, 1000}) {
        Vec a(n, 1), b(n, 1), d(n, 1);
        a.FillRandom(rng, -100, 100);
        b.FillRandom(rng, -100, 100);
        float *A = a.Data(), *D = d.Data(), sum = 0, max = 0;
        ASSERT_TRUE(VP::Sub_32f(A, b.Data(), D, n));
        EXPECT_FALSE(VP::DivC_32f_I(D, 0.0f, n) || VP::DivC_32f_I(D, -0.0f, n));  // must not write
        ExpectRegion(d, [&](int i, int) { return b.At(i, 0) - a.At(i, 0); });
        ASSERT_TRUE(VP::Copy_32f(b.Data(), D, n) && VP::Add_32f_I(A, D, n) &&
                    VP::MulC_32f_I(D, c, n) && VP::AddC_32f_I(D, c, n) && VP::DivC_32f_I(D, c, n) &&
                    VP::AddProductC_32f(A, c, D, n) && VP::Abs_32f_I(D, n));
        ExpectRegion(d, [&](int i, int) {
            float s = a.At(i, 0), v = b.At(i, 0);
            return std::fabs(((v + s) * c + c) / c + s * c);
        });
        ASSERT_TRUE(VP::Sum_32f(A, n, &sum, true) && VP::Max_32f(A, n, &max));
        EXPECT_EQ(sum, static_cast<float>(std::accumulate(A, A + n, 0.0L)));
        EXPECT_EQ(max, *std::max_element(A, A + n));
        EXPECT_TRUE(a.Untouched() && b.Untouched());
    }
    // NaN entries are skipped (all NaN gives NaN at index 0) and ties go to the lowest index.
    auto check = [](std::vector<float> v, float max, float min, int index) {
        float m = 0, mi = 0;
        int at = -1;
        ASSERT_TRUE(VP::Max_32f(v.data(), int(v.size()), &m) &&
                    VP::MinIndex_32f(v.data(), int(v.size()), &mi, &at));
        EXPECT_TRUE(m == max || (std::isnan(m) && std::isnan(max))) << m;
        EXPECT_TRUE(mi == min || (std::isnan(mi) && std::isnan(min))) << mi;
        EXPECT_EQ(at, index);
    };
    check({1, 2, NAN, 9, 4, NAN, 9, 0, 3, 0}, 9, 0, 7);
    check({NAN, NAN, NAN}, NAN, NAN, 0);
    check({-INFINITY, NAN, -INFINITY}, -INFINITY, -INFINITY, 0);
}

// MulC_32s is checked against long double, which holds every 64-bit product exactly.
// Convert modes 0, 1, 2 truncate, round half to even and round half away from zero.
TEST(Vector, IntegerResultsRoundAndSaturate) {
    std::mt19937 rng(11);
    std::vector<int> data{3, 5, -3, -5, 1, -1, INT_MIN, INT_MAX, 0};  // with 1: ties at sf 1
    std::generate_n(std::back_inserter(data), 200,
                    [&] { return static_cast<int>(rng()) >> rng() % 31; });
    for (int sf : {INT_MIN, -40, -31, -5, -1, 0, 1, 2, 7, 31, 32, 62, 63, 64, INT_MAX}) {
        for (int value : {1, -1, 3, INT_MIN, INT_MAX, static_cast<int>(rng())}) {
            std::vector<int> out = data;
            ASSERT_TRUE(VP::MulC_32s_I(out.data(), value, static_cast<int>(out.size()), sf));
            for (size_t i = 0; i < data.size(); ++i) {
                long double p =
                    std::ldexp(static_cast<long double>(data[i]) * value, -std::clamp(sf, -99, 99));
                ASSERT_EQ(out[i], std::clamp<long double>(std::nearbyint(p), INT_MIN, INT_MAX))
                    << data[i] << "*" << value << " sf " << sf;
            }
        }
    }
    const float belowHalf = 0x1.fffffep-2f;  // adding 0.5 in float would round it up to 1
    const std::vector<float> src{
        0.5f,          1.5f,           2.5f,     -0.5f,     -1.5f,      -2.5f,
        belowHalf,     -belowHalf,     1.7f,     -1.7f,     8388609.0f, 2147483520.0f,
        2147483648.0f, -2147483904.0f, INFINITY, -INFINITY, NAN};
    double (*const rounders[])(double) = {std::trunc, std::nearbyint, std::round};
    std::vector<int> dst(src.size(), 42);
    EXPECT_TRUE(!VP::Convert_32f32s(src.data(), dst.data(), 1, 3) &&
                !VP::Convert_32f32s(src.data(), dst.data(), 1, -1) &&
                dst[0] == 42);  // no such mode
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(VP::Convert_32f32s(src.data(), dst.data(), static_cast<int>(src.size()), mode));
        for (size_t i = 0; i < src.size(); ++i) {
            double r = std::isnan(src[i]) ? 0 : rounders[mode](src[i]);
            EXPECT_EQ(dst[i], std::clamp(r, double(INT_MIN), double(INT_MAX))) << src[i];
        }
    }
}

// Slopes are evaluated in double and rounded once; the 16-bit one rounds half to even and
// saturates. The Hamming window is symmetric to the bit.
TEST(Vector, GeneratedValues) {
    Vec ramp(1000, 1);
    ASSERT_TRUE(VP::VectorRamp_32f(ramp.Data(), 1000, -2.5f, 0.1f));
    ExpectRegion(ramp, [](int i, int) { return static_cast<float>(-2.5 + double(0.1f) * i); });
    const double args[][2] = {{0.5, 1}, {-1.5, 1}, {65534, 0.75}, {NAN, 1}};
    const int expected[][4] = {
        {0, 2, 2, 4}, {0, 0, 0, 2}, {65534, 65535, 65535, 65535}, {0, 0, 0, 0}};
    for (int k = 0; k < 4; ++k) {
        TestImage<unsigned short> words(4, 1);
        ASSERT_TRUE(VP::VectorSlope_16u(words.Data(), 4, args[k][0], args[k][1]));
        ExpectRegion(words, [&](int i, int) { return expected[k][i]; });
    }
    // 771.884155 times the factors of elements 2 and 4 of a 7-long window rounds differently
    // unless both factors are bit-equal.
    const float c = 771.884155f;
    for (int n : {3, 7, 64, 65}) {
        Vec w(n, 1);
        w.Fill([c](int, int) { return c; });
        EXPECT_FALSE(VP::WinHamming_32f_I(w.Data(), 2));  // too short; must leave the data
        ASSERT_TRUE(VP::WinHamming_32f_I(w.Data(), n));
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(w.At(i, 0), w.At(n - 1 - i, 0)) << i;
            ASSERT_NEAR(w.At(i, 0) / c, 0.54 - 0.46 * std::cos(2 * std::acos(-1.0) * i / (n - 1)),
                        1e-7);
        }
        EXPECT_TRUE(w.OutsideUntouched());
    }
}
