#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "RegionChecks.h"

namespace {

using PP = PixelPrimitives;
using u16 = unsigned short;

// What v maps to by the definition: the first bin k holding v; pass-through outside
// [levels[0], levels[n-1]) or when no bin holds v. A step is a line that does not rise.
double Mapped(u16 v, const int* values, const int* L, int n, bool linear) {
    if (v < L[0] || v >= L[n - 1]) {
        return v;
    }
    for (int k = 0; k + 1 < n; ++k) {
        if (L[k] <= v && v < L[k + 1]) {
            double rise = linear ? double(values[k + 1]) - values[k] : 0;
            double r = values[k] + (double(v) - L[k]) * rise / (double(L[k + 1]) - L[k]);
            return std::clamp(std::nearbyint(r), 0.0, 65535.0);
        }
    }
    return v;
}

// Both maps out of place and then in place on every region shape, on random pixels in
// [lo, hi]; all must match the definition and keep the guard bytes.
void ExpectMatchesReference(const std::vector<int>& values, const std::vector<int>& levels,
                            double lo, double hi) {
    std::mt19937 rng(31);
    const int *V = values.data(), *L = levels.data(), n = int(levels.size());
    for (bool linear : {false, true}) {
        auto map = linear ? PP::LUT_Linear_16u_C1R : PP::LUT_16u_C1;
        auto mapInPlace = linear ? PP::LUT_Linear_16u_C1IR : PP::LUT_16u_C1I;
        for (auto [w, h] : TestRegionSizes()) {
            TestImage<u16> src(w, h), dst(w, h, 2, 6);
            src.FillRandom(rng, lo, hi);
            ASSERT_TRUE(map(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w, h, V, L, n));
            ExpectRegion(dst, [&](int x, int y) { return Mapped(src.At(x, y), V, L, n, linear); });
            EXPECT_TRUE(src.Untouched());
            ASSERT_TRUE(mapInPlace(src.Data(), src.Pitch(), w, h, V, L, n));
            ExpectRegion(src, [&](int x, int y) { return dst.At(x, y); });
        }
    }
}

}  // namespace

TEST(LookUpTable, StepAndLinearMatchReference) {
    // Ascending with a zero-width bin, and values that must saturate.
    ExpectMatchesReference({-9, 7, 200, 70000, 65535, 4}, {100, 110, 110, 150, 300, 900}, 90, 910);
    // Bins that overlap: the first, [10, 50), wins over [5, 40) on [10, 40). Pixels in [5, 10)
    // lie below the first level and [40, 50) beyond the last: both pass through.
    ExpectMatchesReference({500, 600, 700, 800}, {10, 50, 5, 40}, 0, 60);
    // Levels beyond the 16-bit range.
    ExpectMatchesReference({0, 65535, 100}, {-20000, 30000, 80000}, 0, 65535);
}

// 9 is below the first level, 14 the last level and 20 beyond it: all unchanged. The map
// meets ties at 11 (0.5 becomes 0) and 13 (1.5 becomes 2). Failed calls write nothing.
TEST(LookUpTable, PassThroughAtLastLevelAndTiesToEven) {
    const u16 src[7] = {9, 10, 11, 12, 13, 14, 20};
    const int levels[3] = {10, 12, 14}, line[3] = {0, 1, 2};
    u16 dst[7];
    ASSERT_TRUE(PP::LUT_Linear_16u_C1R(src, 14, dst, 14, 7, 1, line, levels, 3));
    EXPECT_FALSE(PP::LUT_16u_C1(src, 14, dst, 14, 7, 1, line, levels, 1) ||  // too few levels
                 PP::LUT_Linear_16u_C1R(src, 14, dst, 14, 7, 1, line, nullptr, 3));
    EXPECT_EQ(std::vector<int>(dst, dst + 7), (std::vector<int>{9, 0, 0, 1, 2, 14, 20}));
}

// The linear map by exact rational arithmetic: values[k] + (v - L[k]) * rise / run with the
// fraction kept as a 128-bit numerator over run, rounded to nearest even, saturated.
int ExactLinear(int v, const int* values, const int* L, int n, bool ascending) {
    if (v < L[0] || v >= L[n - 1]) {
        return v;
    }
    // The first bin holding v; with ascending levels, the last level at or below v opens it.
    const int first = ascending ? int(std::upper_bound(L, L + n, v) - L) - 1 : 0;
    for (int k = first; k + 1 < n; ++k) {
        if (L[k] <= v && v < L[k + 1]) {
            using i128 = __int128;
            const i128 run = i128(L[k + 1]) - L[k], rise = i128(values[k + 1]) - values[k];
            const i128 num = values[k] * run + (v - i128(L[k])) * rise;
            i128 q = num / run, r = num % run;
            if (r < 0) {  // C++ division truncates; make it the floor
                q -= 1;
                r += run;
            }
            q += 2 * r > run || (2 * r == run && (q & 1));
            return int(std::clamp<i128>(q, 0, 65535));
        }
    }
    return v;
}

// Every 16-bit value through the linear map, against the exact reference: narrow and wide
// bins, powers of two and not, rising and falling lines, exact halves, saturation both
// ways, and levels and values out to the int range.
TEST(LookUpTable, LinearMapIsExactForEveryValue) {
    std::vector<u16> src(65536), dst(65536);
    for (int v = 0; v < 65536; ++v) {
        src[v] = static_cast<u16>(v);
    }
    auto expectExact = [&](const std::vector<int>& values, const std::vector<int>& levels) {
        const int n = int(levels.size());
        const bool ascending = std::is_sorted(levels.begin(), levels.end());
        ASSERT_TRUE(PP::LUT_Linear_16u_C1R(src.data(), 0, dst.data(), 0, 65536, 1, values.data(),
                                           levels.data(), n));
        for (int v = 0; v < 65536; ++v) {
            ASSERT_EQ(dst[v], ExactLinear(v, values.data(), levels.data(), n, ascending))
                << "at " << v;
        }
    };
    std::mt19937 rng(35);
    for (int width : {1, 2, 3, 7, 16, 17, 256, 4096, 65536, 100000}) {
        for (int magnitude : {3, 1000, 70000, 1 << 24, INT_MAX}) {
            std::uniform_int_distribution<int> any(-magnitude, magnitude);
            std::vector<int> levels, values;
            for (long long level = -width / 2; level <= 65536 + width; level += width) {
                levels.push_back(int(level));
                values.push_back(any(rng));
            }
            expectExact(values, levels);
        }
    }
    // Halves of both parities on even runs, and a 16-wide ramp like the equalization's.
    expectExact({1, 4, 7, 10, 13}, {0, 2, 4, 6, 65536});
    std::vector<int> ramp(4097), at(4097);
    for (int k = 0; k <= 4096; ++k) {
        at[k] = 16 * k;
        ramp[k] = 16 * (k * 3 / 2) - 8;
    }
    expectExact(ramp, at);
    // The extremes of int, and overlapping bins where the first one wins.
    expectExact({INT_MIN, INT_MAX, INT_MIN, 0}, {INT_MIN, 40000, INT_MAX, INT_MAX});
    expectExact({INT_MAX, INT_MIN + 1, 70000, -5}, {-1, INT_MAX, 100, 30000});
    expectExact({0, 65535, 5, 65535 * 2}, {1000, 60000, 500, 50000});
}

TEST(LookUpTable, PaletteCopiesBitsOfMaskedIndex) {
    std::mt19937 rng(33);
    std::vector<int> palette(65536);  // a smaller bit size reads only the first entries
    std::generate(palette.begin(), palette.end(), [&] { return static_cast<int>(rng()); });
    for (int bits : {1, 5, 16}) {
        for (auto [w, h] : TestRegionSizes()) {
            TestImage<u16> src(w, h);
            TestImage<int> dst(w, h);
            src.FillRandom(rng, 0, 65535);
            ASSERT_TRUE(PP::LUTPalette_16u32u_C1R(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                                  w, h, palette.data(), bits));
            ExpectRegion(dst, [&](int x, int y) { return palette[src.At(x, y) % (1 << bits)]; });
        }
    }
}
