#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "RegionChecks.h"

namespace {

using PP = PixelPrimitives;
using u16 = unsigned short;

// The mapping by its definition: the first bin k holding v; pass-through outside
// [levels[0], levels[n-1]) or when no bin holds v. A step is a line that does not rise.
double ReferenceMap(u16 v, const std::vector<int>& values, const std::vector<int>& levels,
                    bool linear) {
    if (v < levels.front() || v >= levels.back()) {
        return v;
    }
    for (std::size_t k = 0; k + 1 < levels.size(); ++k) {
        if (levels[k] <= v && v < levels[k + 1]) {
            double rise = linear ? double(values[k + 1]) - values[k] : 0;
            double r =
                values[k] + (double(v) - levels[k]) * rise / (double(levels[k + 1]) - levels[k]);
            return std::clamp(std::nearbyint(r), 0.0, 65535.0);
        }
    }
    return v;
}

}  // namespace

// Out of place and in place on every region shape; both must match the reference and keep
// the guard bytes. The successive tables also prove that no call leaves a trace in the next.
TEST(LookUpTable, StepAndLinearMatchReference) {
    std::mt19937 rng(31);
    for (bool linear : {false, true}) {
        auto outOfPlace = linear ? PP::LUT_Linear_16u_C1R : PP::LUT_16u_C1;
        auto inPlace = linear ? PP::LUT_Linear_16u_C1IR : PP::LUT_16u_C1I;
        auto check = [&](const std::vector<int>& values, const std::vector<int>& levels, double lo,
                         double hi) {
            const int *V = values.data(), *L = levels.data(), n = static_cast<int>(levels.size());
            for (const RegionSize& s : TestRegionSizes()) {
                const int w = s.width, h = s.height;
                TestImage<u16> src(w, h), dst(w, h, 2, 6);
                src.FillRandom(rng, lo, hi);
                TestImage<u16> io = src;
                ASSERT_TRUE(
                    outOfPlace(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w, h, V, L, n) &&
                    inPlace(io.Data(), io.Pitch(), w, h, V, L, n));
                ExpectRegion(dst, [&](int x, int y) {
                    return ReferenceMap(src.At(x, y), values, levels, linear);
                });
                ExpectRegion(io, [&](int x, int y) { return dst.At(x, y); });
                EXPECT_TRUE(src.Untouched());
            }
        };
        // Ascending with a zero-width bin; values out of range must saturate.
        check({-50, 7, 200, 70000, 65535, 12, 400}, {1000, 1100, 1100, 1500, 3000, 3001, 9000}, 900,
              9100);
        // [10, 30) and [20, 40) overlap, so the first bin wins on [20, 30).
        check({500, 600, 700, 800}, {10, 30, 20, 40}, 0, 50);
        // Levels beyond the 16-bit range, and a wide random image.
        check({0, 65535, 100}, {-20000, 30000, 80000}, 0, 65535);
    }
}

// 9 is below the first level, 14 the last level and 20 beyond it: all unchanged. The linear
// map meets ties at 11 (0.5 becomes 0) and 13 (1.5 becomes 2). Failed calls write nothing.
TEST(LookUpTable, PassThroughAtLastLevelAndTiesToEven) {
    const u16 src[7] = {9, 10, 11, 12, 13, 14, 20};
    const int levels[3] = {10, 12, 14}, steps[3] = {1, 2, 99}, line[3] = {0, 1, 2};
    u16 dst[7];
    ASSERT_TRUE(PP::LUT_16u_C1(src, 14, dst, 14, 7, 1, steps, levels, 3));
    EXPECT_FALSE(PP::LUT_16u_C1(src, 14, dst, 14, 7, 1, steps, levels, 1) ||  // too few levels
                 PP::LUT_Linear_16u_C1R(src, 14, dst, 14, 7, 1, line, nullptr, 3));
    EXPECT_EQ(std::vector<int>(dst, dst + 7), (std::vector<int>{9, 1, 1, 2, 2, 14, 20}));
    ASSERT_TRUE(PP::LUT_Linear_16u_C1R(src, 14, dst, 14, 7, 1, line, levels, 3));
    EXPECT_EQ(std::vector<int>(dst, dst + 7), (std::vector<int>{9, 0, 0, 1, 2, 14, 20}));
}

// Bit sizes outside 1..16 fail and write nothing.
TEST(LookUpTable, PaletteCopiesBitsOfMaskedIndex) {
    std::mt19937 rng(33);
    std::vector<int> palette(65536);  // a smaller bit size reads only the first entries
    std::generate(palette.begin(), palette.end(), [&] { return static_cast<int>(rng()); });
    for (int bits : {1, 5, 16}) {
        for (const RegionSize& s : TestRegionSizes()) {
            TestImage<u16> src(s.width, s.height);
            TestImage<int> dst(s.width, s.height);
            src.FillRandom(rng, 0, 65535);
            ASSERT_TRUE(PP::LUTPalette_16u32u_C1R(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                                  s.width, s.height, palette.data(), bits));
            EXPECT_FALSE(PP::LUTPalette_16u32u_C1R(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                                   s.width, s.height, palette.data(),
                                                   bits == 1 ? 0 : 17));
            ExpectRegion(dst,
                         [&](int x, int y) { return palette[src.At(x, y) & ((1 << bits) - 1)]; });
        }
    }
}
