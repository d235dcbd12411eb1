#include <PixelPrimitives/VectorPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>
#include <vector>

#include "RegionChecks.h"

using VP = VectorPrimitives;

// Vectors with guard elements around them, of lengths around the vector width. The in-place
// arithmetic is chained so that swapping two operations or operands shows; x / 3 often
// differs from x * (1/3), and a double sum rounded once from a float sum. 771.884155 times
// the factors of elements 2 and 4 of a 7-long Hamming window rounds differently unless both
// factors are bit-equal.
TEST(Vector, FloatOperationsMatchScalarReference) {
    std::mt19937 rng(10);
    const float c = 3.0f;
    for (int n : {1, 7, 8, 9, 1000}) {
        TestImage<float> a(n, 1), b(n, 1), d(n, 1);
        a.FillRandom(rng, -100, 100);
        b.FillRandom(rng, -100, 100);
        float *A = a.Data(), *B = b.Data(), *D = d.Data(), sum = 0, max = 0;
        ASSERT_TRUE(VP::Sub_32f(A, B, D, n));
        EXPECT_FALSE(VP::DivC_32f_I(D, 0.0f, n) || VP::DivC_32f_I(D, -0.0f, n));  // must not write
        ExpectRegion(d, [&](int i, int) { return B[i] - A[i]; });
        ASSERT_TRUE(VP::Copy_32f(B, D, n) && VP::Add_32f_I(A, D, n) && VP::MulC_32f_I(D, c, n) &&
                    VP::AddC_32f_I(D, c, n) && VP::DivC_32f_I(D, c, n) &&
                    VP::AddProductC_32f(A, c, D, n) && VP::Abs_32f_I(D, n));
        ExpectRegion(d,
                     [&](int i, int) { return std::abs(((B[i] + A[i]) * c + c) / c + A[i] * c); });
        ASSERT_TRUE(VP::Sum_32f(A, n, &sum, true) && VP::Max_32f(A, n, &max));
        EXPECT_EQ(sum, static_cast<float>(std::accumulate(A, A + n, 0.0L)));
        EXPECT_EQ(max, *std::max_element(A, A + n));
    }
    // NaN entries are skipped, -Inf is a number, ties go to the lowest index, and all NaN
    // gives NaN at index 0.
    const float v[] = {NAN, -INFINITY, NAN, -INFINITY, NAN, NAN, NAN};
    float m = 0, mi = 0;
    int at = -1;
    ASSERT_TRUE(VP::Max_32f(v, 4, &m) && VP::MinIndex_32f(v, 4, &mi, &at));
    EXPECT_TRUE(m == -INFINITY && mi == -INFINITY && at == 1);
    ASSERT_TRUE(VP::Max_32f(v + 4, 3, &m) && VP::MinIndex_32f(v + 4, 3, &mi, &at));
    EXPECT_TRUE(std::isnan(m) && std::isnan(mi) && at == 0);
    TestImage<float> w(7, 1);
    ASSERT_TRUE(VP::Set_32f(771.884155f, w.Data(), 7) && VP::WinHamming_32f_I(w.Data(), 7) &&
                !VP::WinHamming_32f_I(w.Data(), 2));              // too short; must leave the data
    ExpectRegion(w, [&](int i, int) { return w.At(6 - i, 0); });  // symmetric to the bit
    EXPECT_TRUE(w.At(0, 0) == float(0.08 * 771.884155f) && w.At(3, 0) == 771.884155f);
}

// MulC_32s is checked against long double, which holds every 64-bit product exactly.
// Convert modes 0, 1, 2 truncate, round half to even and round half away from zero; adding
// 0.5 to 0x1.fffffep-2 in float would round it up to 1. The 16-bit slope rounds half to
// even and saturates.
TEST(Vector, IntegerResultsRoundAndSaturate) {
    std::mt19937 rng(11);
    std::vector<int> data(200);
    std::generate(data.begin(), data.end(), [&] { return static_cast<int>(rng()) >> rng() % 31; });
    data.insert(data.end(), {3, 5, -3, -5, 1, -1, INT_MIN, INT_MAX, 0});  // with 1: ties at sf 1
    for (int sf : {INT_MIN, -40, -31, -5, -1, 0, 1, 2, 7, 31, 32, 62, 63, 64, INT_MAX}) {
        const long double scale = std::ldexp(1.0L, -std::clamp(sf, -99, 99));
        for (int value : {1, -1, 3, INT_MIN, INT_MAX, static_cast<int>(rng())}) {
            std::vector<int> out = data;
            ASSERT_TRUE(VP::MulC_32s_I(out.data(), value, static_cast<int>(out.size()), sf));
            for (size_t i = 0; i < data.size(); ++i) {
                long double p = std::nearbyint(static_cast<long double>(data[i]) * value * scale);
                ASSERT_EQ(out[i], std::clamp<long double>(p, INT_MIN, INT_MAX)) << data[i];
            }
        }
    }
    const std::vector<float> src{
        0.5f,       2.5f,          -0.5f,         -2.5f,          0x1.fffffep-2f, -0x1.fffffep-2f,
        8388609.0f, 2147483520.0f, 2147483648.0f, -2147483904.0f, INFINITY,       NAN};
    double (*const rounders[])(double) = {std::trunc, std::nearbyint, std::round};
    std::vector<int> dst(src.size(), 42);
    EXPECT_FALSE(VP::Convert_32f32s(src.data(), dst.data(), 1, 3) ||  // no such mode
                 VP::Convert_32f32s(src.data(), dst.data(), 1, -1) || dst[0] != 42);
    for (int mode = 0; mode < 3; ++mode) {
        ASSERT_TRUE(VP::Convert_32f32s(src.data(), dst.data(), static_cast<int>(src.size()), mode));
        for (size_t i = 0; i < src.size(); ++i) {
            double r = std::isnan(src[i]) ? 0 : rounders[mode](src[i]);
            EXPECT_EQ(dst[i], std::clamp(r, double(INT_MIN), double(INT_MAX))) << src[i];
        }
    }
    // Offset, slope and the four values expected.
    const double cases[][6] = {
        {-1.5, 1, 0, 0, 0, 2}, {65534, 0.75, 65534, 65535, 65535, 65535}, {NAN, 1, 0, 0, 0, 0}};
    for (const auto& k : cases) {
        TestImage<unsigned short> words(4, 1);
        ASSERT_TRUE(VP::VectorSlope_16u(words.Data(), 4, k[0], k[1]));
        ExpectRegion(words, [&](int i, int) { return k[2 + i]; });
    }
}
