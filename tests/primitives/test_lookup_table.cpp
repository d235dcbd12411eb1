#include <PixelPrimitives/PixelPrimitives.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "TestImage.h"

namespace {

using u16 = unsigned short;

u16 Saturate(double v) {
    return static_cast<u16>(std::min(65535.0, std::max(0.0, v)));
}

// The mapping by its definition: the first bin k holding v, pass-through outside
// [levels[0], levels[n-1]) or when no bin holds v.
u16 ReferenceMap(u16 v, const std::vector<int>& values, const std::vector<int>& levels,
                 bool linear) {
    if (v < levels.front() || v >= levels.back()) {
        return v;
    }
    for (std::size_t k = 0; k + 1 < levels.size(); ++k) {
        if (levels[k] <= v && v < levels[k + 1]) {
            if (!linear) {
                return Saturate(values[k]);
            }
            double r = values[k] + (static_cast<double>(v) - levels[k]) *
                                       (static_cast<double>(values[k + 1]) - values[k]) /
                                       (static_cast<double>(levels[k + 1]) - levels[k]);
            return Saturate(std::nearbyint(r));
        }
    }
    return v;
}

using OutOfPlace = bool (*)(const u16*, int, u16*, int, int, int, const int*, const int*, int);
using InPlace = bool (*)(u16*, int, int, int, const int*, const int*, int);

// Out-of-place and in-place on every region shape; both must match the reference and keep
// the guard bytes.
void ExpectMatchesReference(OutOfPlace outOfPlace, InPlace inPlace, bool linear,
                            const std::vector<int>& values, const std::vector<int>& levels,
                            std::mt19937& rng, double lo, double hi) {
    const int n = static_cast<int>(levels.size());
    for (const RegionSize& s : TestRegionSizes()) {
        TestImage<u16> src(s.width, s.height), dst(s.width, s.height, 2, 6), io(s.width, s.height);
        src.FillRandom(rng, lo, hi);
        dst.FillRandom(rng, 0, 65535);
        ASSERT_TRUE(outOfPlace(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), s.width, s.height,
                               values.data(), levels.data(), n));
        io.Fill([&](int x, int y) { return src.At(x, y); });
        ASSERT_TRUE(
            inPlace(io.Data(), io.Pitch(), s.width, s.height, values.data(), levels.data(), n));
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                const u16 expected = ReferenceMap(src.At(x, y), values, levels, linear);
                ASSERT_EQ(dst.At(x, y), expected) << "pixel " << src.At(x, y);
                ASSERT_EQ(io.At(x, y), expected);
            }
        }
        EXPECT_TRUE(src.Untouched());
        EXPECT_TRUE(dst.OutsideUntouched());
        EXPECT_TRUE(io.OutsideUntouched());
    }
}

}  // namespace

TEST(LookUpTable, StepAndLinearMatchReference) {
    std::mt19937 rng(31);
    // Ascending with a zero-width bin; values out of range must saturate.
    const std::vector<int> levels{1000, 1100, 1100, 1500, 3000, 3001, 9000};
    const std::vector<int> values{-50, 7, 200, 70000, 65535, 12, 400};
    // Non-ascending: [10, 30) and [20, 40) overlap, so the first bin wins on [20, 30).
    const std::vector<int> crossed{10, 30, 20, 40};
    const std::vector<int> crossedValues{500, 600, 700, 800};
    for (bool linear : {false, true}) {
        OutOfPlace f = linear ? &PixelPrimitives::LUT_Linear_16u_C1R : &PixelPrimitives::LUT_16u_C1;
        InPlace g = linear ? &PixelPrimitives::LUT_Linear_16u_C1IR : &PixelPrimitives::LUT_16u_C1I;
        ExpectMatchesReference(f, g, linear, values, levels, rng, 900, 9100);
        ExpectMatchesReference(f, g, linear, crossedValues, crossed, rng, 0, 50);
        // Levels beyond the 16-bit range, and a wide random image.
        ExpectMatchesReference(f, g, linear, {0, 65535, 100}, {-20000, 30000, 80000}, rng, 0,
                               65535);
    }
}

TEST(LookUpTable, PassThroughAtLastLevelAndTiesToEven) {
    TestImage<u16> img(6, 1);
    img.Fill([](int x, int) { return std::vector<int>{9, 10, 11, 12, 13, 20}[x]; });
    const std::vector<int> levels{10, 12, 13};
    const std::vector<int> values{1, 2, 99};
    TestImage<u16> dst(6, 1);
    // A previous call that mapped every value here must leave no trace.
    const std::vector<int> wide{0, 30000}, zero{0, 0};
    ASSERT_TRUE(PixelPrimitives::LUT_16u_C1(img.Data(), img.Pitch(), dst.Data(), dst.Pitch(), 6, 1,
                                            zero.data(), wide.data(), 2));
    ASSERT_TRUE(PixelPrimitives::LUT_16u_C1(img.Data(), img.Pitch(), dst.Data(), dst.Pitch(), 6, 1,
                                            values.data(), levels.data(), 3));
    // 9 is below the first level; 13 is the last level and 20 beyond it: all unchanged.
    EXPECT_EQ((std::vector<int>{dst.At(0, 0), dst.At(1, 0), dst.At(2, 0), dst.At(3, 0),
                                dst.At(4, 0), dst.At(5, 0)}),
              (std::vector<int>{9, 1, 1, 2, 13, 20}));

    // Linear midpoints: 0.5 rounds to 0 and 1.5 to 2.
    TestImage<u16> mid(1, 1);
    mid.Fill([](int, int) { return 1; });
    const std::vector<int> two{0, 2};
    for (int base : {0, 1}) {
        const std::vector<int> rise{base, base + 1};
        u16 out = 0;
        ASSERT_TRUE(PixelPrimitives::LUT_Linear_16u_C1R(mid.Data(), mid.Pitch(), &out, 2, 1, 1,
                                                        rise.data(), two.data(), 2));
        EXPECT_EQ(out, base == 0 ? 0 : 2);
    }
}

TEST(LookUpTable, PaletteCopiesBitsOfMaskedIndex) {
    std::mt19937 rng(33);
    for (int bits : {1, 5, 16}) {
        std::vector<int> palette(1u << bits);
        for (int& p : palette) {
            p = static_cast<int>(rng());
        }
        for (const RegionSize& s : TestRegionSizes()) {
            TestImage<u16> src(s.width, s.height);
            TestImage<int> dst(s.width, s.height);
            src.FillRandom(rng, 0, 65535);
            ASSERT_TRUE(PixelPrimitives::LUTPalette_16u32u_C1R(src.Data(), src.Pitch(), dst.Data(),
                                                               dst.Pitch(), s.width, s.height,
                                                               palette.data(), bits));
            for (int y = 0; y < s.height; ++y) {
                for (int x = 0; x < s.width; ++x) {
                    ASSERT_EQ(dst.At(x, y), palette[src.At(x, y) & ((1 << bits) - 1)]);
                }
            }
            EXPECT_TRUE(dst.OutsideUntouched());
        }
    }
}

TEST(LookUpTable, ErrorsWriteNothing) {
    TestImage<u16> src(4, 4), dst(4, 4);
    TestImage<int> dst32(4, 4);
    const int levels[2] = {0, 10}, values[2] = {5, 5}, palette[2] = {1, 2};
    const int p = src.Pitch(), q = dst.Pitch();
    EXPECT_FALSE(
        PixelPrimitives::LUT_16u_C1(src.Data(), p, dst.Data(), q, 4, 4, values, levels, 1));
    EXPECT_FALSE(
        PixelPrimitives::LUT_16u_C1(src.Data(), p, dst.Data(), q, 4, 4, nullptr, levels, 2));
    EXPECT_FALSE(PixelPrimitives::LUT_16u_C1I(dst.Data(), q, 0, 4, values, levels, 2));
    EXPECT_FALSE(
        PixelPrimitives::LUT_Linear_16u_C1R(src.Data(), p, nullptr, q, 4, 4, values, levels, 2));
    EXPECT_FALSE(PixelPrimitives::LUT_Linear_16u_C1IR(dst.Data(), q, 4, 4, values, nullptr, 2));
    EXPECT_FALSE(PixelPrimitives::LUTPalette_16u32u_C1R(src.Data(), p, dst32.Data(), dst32.Pitch(),
                                                        4, 4, palette, 0));
    EXPECT_FALSE(PixelPrimitives::LUTPalette_16u32u_C1R(src.Data(), p, dst32.Data(), dst32.Pitch(),
                                                        4, -1, palette, 1));
    EXPECT_TRUE(dst.Untouched());
    EXPECT_TRUE(dst32.Untouched());
}
