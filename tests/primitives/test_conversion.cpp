#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <limits>

#include "RegionChecks.h"

using PP = PixelPrimitives;

TEST(Conversion, WordsToFloatsAndBackRoundHalfEvenAndSaturate) {
    TestImage<unsigned short> words(256, 256);
    TestImage<float> floats(256, 256);
    words.Fill([](int x, int y) { return x + 256 * y; });
    ASSERT_TRUE(PP::Convert_16u32f_C1(words.Data(), words.Pitch(), floats.Data(), floats.Pitch(),
                                      256, 256));
    ExpectRegion(floats, [](int x, int y) { return x + 256 * y; });

    const float inf = std::numeric_limits<float>::infinity();
    const float cases[][2] = {
        {0.5f, 0},
        {1.5f, 2},
        {2.5f, 2},
        {4095.5f, 4096},
        {65534.5f, 65534},
        {65535.5f, 65535},
        {1e10f, 65535},
        {inf, 65535},
        {8388609.0f, 65535},
        {-0.5f, 0},
        {-0.7f, 0},
        {-inf, 0},
        {std::nanf(""), 0},
        {std::nextafter(0.5f, 1.0f), 1},
        {std::nextafter(0.5f, 0.0f), 0},
        {std::nextafter(4096.0f, 0.0f), 4096},  // a uniform frame after a float filter
    };
    TestImage<float> src(std::size(cases), 1);
    TestImage<unsigned short> dst(std::size(cases), 1);
    src.Fill([&](int x, int) { return cases[x][0]; });
    ASSERT_TRUE(
        PP::Convert_32f16u_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(), 1));
    ExpectRegion(dst, [&](int x, int) { return cases[x][1]; });

    std::mt19937 rng(6);
    for (RegionSize size : TestRegionSizes()) {
        TestImage<float> s(size.width, size.height);
        TestImage<unsigned short> d(size.width, size.height);
        s.FillRandom(rng, -100, 66000);
        ASSERT_TRUE(PP::Convert_32f16u_C1(s.Data(), s.Pitch(), d.Data(), d.Pitch(), size.width,
                                          size.height));
        ExpectRegion(d, [&](int x, int y) {
            return std::clamp(std::nearbyint(double(s.At(x, y))), 0.0, 65535.0);
        });
    }
}

TEST(Conversion, CopySetAndTransposeCoverTheRegionOnly) {
    std::mt19937 rng(7);
    for (RegionSize size : TestRegionSizes()) {
        int w = size.width, h = size.height;
        TestImage<unsigned char> s8(w, h), d8(w, h, 2, 5);
        TestImage<unsigned short> s16(w, h), d16(w, h, 2, 6);
        TestImage<float> s32(w, h), d32(w, h, 2, 12), transposed(h, w);
        s8.FillRandom(rng, 0, 255);
        s16.FillRandom(rng, 0, 65535);
        s32.FillRandom(rng, -1e6, 1e6);
        ASSERT_TRUE(PP::Copy_8u_C1(s8.Data(), s8.Pitch(), d8.Data(), d8.Pitch(), w, h));
        ExpectRegion(d8, [&](int x, int y) { return s8.At(x, y); });
        ASSERT_TRUE(PP::Copy_16u_C1(s16.Data(), s16.Pitch(), d16.Data(), d16.Pitch(), w, h));
        ExpectRegion(d16, [&](int x, int y) { return s16.At(x, y); });
        ASSERT_TRUE(PP::Copy_32f_C1(s32.Data(), s32.Pitch(), d32.Data(), d32.Pitch(), w, h));
        ExpectRegion(d32, [&](int x, int y) { return s32.At(x, y); });
        ASSERT_TRUE(PP::Transpose_32f_C1R(s32.Data(), s32.Pitch(), transposed.Data(),
                                          transposed.Pitch(), w, h));
        ExpectRegion(transposed, [&](int x, int y) { return s32.At(y, x); });
        ASSERT_TRUE(PP::Set_32f_C1(-3.25f, d32.Data(), d32.Pitch(), w, h));
        ExpectRegion(d32, [](int, int) { return -3.25f; });
    }
    // The callers copy one column of an image with a 4-byte source pitch.
    TestImage<float> row(5, 1), column(1, 5);
    row.FillRandom(rng, 0, 1);
    ASSERT_TRUE(PP::Copy_32f_C1(row.Data(), 4, column.Data(), column.Pitch(), 1, 5));
    ExpectRegion(column, [&](int, int y) { return row.At(y, 0); });
}

TEST(Conversion, CopyReplicateBorderRepeatsNearestEdgePixel) {
    std::mt19937 rng(8);
    struct Case {
        int srcW, srcH, dstW, dstH, top, left;
    };
    for (Case c : {Case{1, 1, 4, 3, 1, 2},
                   {17, 5, 17, 5, 0, 0},
                   {13, 7, 20, 12, 3, 2},
                   {5, 4, 9, 4, 0, 4}}) {
        TestImage<float> src(c.srcW, c.srcH), dst(c.dstW, c.dstH);
        TestImage<unsigned char> src8(c.srcW, c.srcH), dst8(c.dstW, c.dstH);
        src.FillRandom(rng, -5, 5);
        src8.FillRandom(rng, 0, 255);
        ASSERT_TRUE(PP::CopyReplicateBorder_32f_C1(src.Data(), src.Pitch(), c.srcW, c.srcH,
                                                   dst.Data(), dst.Pitch(), c.dstW, c.dstH, c.top,
                                                   c.left));
        ASSERT_TRUE(PP::CopyReplicateBorder_8u_C1(src8.Data(), src8.Pitch(), c.srcW, c.srcH,
                                                  dst8.Data(), dst8.Pitch(), c.dstW, c.dstH, c.top,
                                                  c.left));
        auto clampX = [&](int x) { return std::clamp(x - c.left, 0, c.srcW - 1); };
        auto clampY = [&](int y) { return std::clamp(y - c.top, 0, c.srcH - 1); };
        ExpectRegion(dst, [&](int x, int y) { return src.At(clampX(x), clampY(y)); });
        ExpectRegion(dst8, [&](int x, int y) { return src8.At(clampX(x), clampY(y)); });
    }
}

TEST(Conversion, ErrorsWriteNothing) {
    TestImage<float> d(6, 6);
    TestImage<unsigned short> w(6, 6);
    TestImage<unsigned char> b(6, 6);
    float* D = d.Data();
    const int p = d.Pitch();
    for (bool r :
         {PP::Convert_16u32f_C1(nullptr, 12, D, p, 6, 6),
          PP::Convert_32f16u_C1(D, p, w.Data(), w.Pitch(), 0, 6),
          PP::Copy_8u_C1(nullptr, 6, b.Data(), b.Pitch(), 6, 6),
          PP::Copy_16u_C1(w.Data(), 12, w.Data(), 12, 6, -1),
          PP::Copy_32f_C1(D, p, nullptr, p, 6, 6), PP::Set_32f_C1(1, D, p, 0, 6),
          PP::Transpose_32f_C1R(D, p, D, p, 6, 0),
          // source larger than the destination, negative placement, overflow
          PP::CopyReplicateBorder_32f_C1(D, p, 4, 4, D, p, 6, 6, 3, 0),
          PP::CopyReplicateBorder_32f_C1(D, p, 4, 4, D, p, 6, 6, 0, 3),
          PP::CopyReplicateBorder_32f_C1(D, p, 4, 4, D, p, 6, 6, -1, 0),
          PP::CopyReplicateBorder_8u_C1(b.Data(), 6, 4, 4, b.Data(), 6, 6, 6, INT_MAX, 0)}) {
        EXPECT_FALSE(r);
    }
    EXPECT_TRUE(d.Untouched() && w.Untouched() && b.Untouched());
}
