#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

#include "RegionChecks.h"

using PP = PixelPrimitives;

// Floats to words and back, then the words (as floats) through Copy, Transpose,
// CopyReplicateBorder and Set. The border widths (some zero) vary with the region shape, and
// the copy lands in an image of another pitch.
TEST(Conversion, ConversionsAndCopiesMatchReference) {
    // Ties, saturation, NaN, values too large for a float rounding trick, just above 0.5, and
    // a uniform frame after a float filter: a few ulp below 4096, which truncation makes 4095.
    const float edge[] = {0.5f,  1.5f,  2.5f,     65534.5f, 65535.5f,       8388609,
                          1e10f, -0.7f, INFINITY, NAN,      0x1.000002p-1f, 0x1.fffffep11f};
    std::mt19937 rng(6);
    std::uniform_real_distribution<float> any(-100, 66000);
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height;  // plain names: the lambdas capture them
        int top = w % 4, left = w % 3, bottom = h % 2, right = h % 3;
        TestImage<float> s(w, h), copy(w, h, 2, 8), transposed(h, w),
            bordered(w + left + right, h + top + bottom);
        TestImage<unsigned short> d(w, h);
        s.Fill([&](int x, int y) { return x % 2 ? any(rng) : edge[(x + y) % std::size(edge)]; });
        ASSERT_TRUE(PP::Convert_32f16u_C1(s.Data(), s.Pitch(), d.Data(), d.Pitch(), w, h));
        ExpectRegion(d, [&](int x, int y) {
            double v = s.At(x, y);
            return std::isnan(v) ? 0 : std::clamp(std::nearbyint(v), 0.0, 65535.0);
        });
        ASSERT_TRUE(PP::Convert_16u32f_C1(d.Data(), d.Pitch(), s.Data(), s.Pitch(), w, h));
        ExpectRegion(s, [&](int x, int y) { return d.At(x, y); });
        ASSERT_TRUE(PP::Copy_32f_C1(s.Data(), s.Pitch(), copy.Data(), copy.Pitch(), w, h) &&
                    PP::Transpose_32f_C1R(s.Data(), s.Pitch(), transposed.Data(),
                                          transposed.Pitch(), w, h) &&
                    PP::CopyReplicateBorder_32f_C1(s.Data(), s.Pitch(), w, h, bordered.Data(),
                                                   bordered.Pitch(), bordered.Width(),
                                                   bordered.Height(), top, left));
        ExpectRegion(copy, [&](int x, int y) { return s.At(x, y); });
        ExpectRegion(transposed, [&](int x, int y) { return s.At(y, x); });
        ExpectRegion(bordered, [&](int x, int y) {
            return s.At(std::clamp(x - left, 0, w - 1), std::clamp(y - top, 0, h - 1));
        });
        ASSERT_TRUE(PP::Set_32f_C1(-3.25f, s.Data(), s.Pitch(), w, h));
        ExpectRegion(s, [](int, int) { return -3.25f; });
    }
}

// Borders of negative width are rejected, including one whose width overflows an int.
TEST(Conversion, ErrorsWriteNothing) {
    TestImage<float> d(6, 6);
    float* D = d.Data();
    const int p = d.Pitch();
    EXPECT_FALSE(PP::Convert_32f16u_C1(D, p, nullptr, p, 6, 6) || PP::Set_32f_C1(1, D, p, 6, -1) ||
                 PP::CopyReplicateBorder_32f_C1(D, p, 4, 4, D, p, 6, 6, 3, 0) ||
                 PP::CopyReplicateBorder_32f_C1(D, p, 4, 4, D, p, 6, 6, 0, 3) ||
                 PP::CopyReplicateBorder_32f_C1(D, p, 4, 4, D, p, 6, 6, -1, 0) ||
                 PP::CopyReplicateBorder_32f_C1(D, p, 4, 4, D, p, 6, INT_MIN, 0, 0));
    EXPECT_TRUE(d.Untouched());
}
