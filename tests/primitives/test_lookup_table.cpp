#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <numeric>
#include <vector>

#include "RegionChecks.h"

namespace {

using PP = PixelPrimitives;
using u16 = unsigned short;

// What v maps to by the definition: the first bin k holding v gives values[k] + (v - L[k]) *
// rise / run, the fraction kept exactly as a 128-bit numerator over run, rounded to nearest
// even and saturated; a step does not rise. Pass-through below levels[0], from levels[n-1] on,
// or when no bin holds v.
int Mapped(int v, const int* values, const int* L, int n, bool linear, bool ascending) {
    if (v < L[0] || v >= L[n - 1]) {
        return v;
    }
    // With ascending levels, the last level at or below v opens the first bin holding it.
    for (int k = ascending ? int(std::upper_bound(L, L + n, v) - L) - 1 : 0; k + 1 < n; ++k) {
        if (L[k] <= v && v < L[k + 1]) {
            using i128 = __int128;
            const i128 run = i128(L[k + 1]) - L[k];
            const i128 rise = linear ? i128(values[k + 1]) - values[k] : 0;
            const i128 num = values[k] * run + (v - i128(L[k])) * rise;
            const i128 q = num / run - (num % run < 0), r = num - q * run;  // floor division
            return int(std::clamp<i128>(q + (2 * r > run || (2 * r == run && (q & 1))), 0, 65535));
        }
    }
    return v;
}

}  // namespace

// The three maps on every region shape, the level maps also in place, keeping the guard bytes.
// The levels hold a zero-width bin and values that saturate; a smaller palette bit size reads
// only the first entries.
TEST(LookUpTable, MapsEveryRegionShape) {
    std::mt19937 rng(31);
    const int values[6] = {-9, 7, 200, 70000, 65535, 4}, L[6] = {100, 110, 110, 150, 300, 900};
    std::vector<int> palette(65536);
    std::generate(palette.begin(), palette.end(), [&] { return static_cast<int>(rng()); });
    for (auto [w, h] : TestRegionSizes()) {
        TestImage<u16> src(w, h), dst(w, h, 2, 6);
        for (bool linear : {false, true}) {
            auto map = linear ? PP::LUT_Linear_16u_C1R : PP::LUT_16u_C1;
            auto mapInPlace = linear ? PP::LUT_Linear_16u_C1IR : PP::LUT_16u_C1I;
            src.FillRandom(rng, 90, 910);
            ASSERT_TRUE(map(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w, h, values, L, 6));
            ExpectRegion(dst, [&](int x, int y) {
                return Mapped(src.At(x, y), values, L, 6, linear, true);
            });
            EXPECT_TRUE(src.Untouched());
            ASSERT_TRUE(mapInPlace(src.Data(), src.Pitch(), w, h, values, L, 6));
            ExpectRegion(src, [&](int x, int y) { return dst.At(x, y); });
        }
        TestImage<int> colours(w, h);
        for (int bits : {1, 5, 16}) {
            src.FillRandom(rng, 0, 65535);
            ASSERT_TRUE(PP::LUTPalette_16u32u_C1R(src.Data(), src.Pitch(), colours.Data(),
                                                  colours.Pitch(), w, h, palette.data(), bits));
            ExpectRegion(colours,
                         [&](int x, int y) { return palette[src.At(x, y) % (1 << bits)]; });
        }
    }
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

// Every 16-bit value through both maps: narrow and wide bins, powers of two and not, rising
// and falling lines, exact halves, saturation both ways, levels and values out to the int
// range, and overlapping bins where the first one wins.
TEST(LookUpTable, EveryValueMapsExactly) {
    std::vector<u16> src(65536), dst(65536);
    std::iota(src.begin(), src.end(), u16(0));
    auto expectExact = [&](const std::vector<int>& values, const std::vector<int>& levels) {
        const int n = int(levels.size());
        const bool ascending = std::is_sorted(levels.begin(), levels.end());
        for (bool linear : {false, true}) {
            auto map = linear ? PP::LUT_Linear_16u_C1R : PP::LUT_16u_C1;
            ASSERT_TRUE(
                map(src.data(), 0, dst.data(), 0, 65536, 1, values.data(), levels.data(), n));
            for (int v = 0; v < 65536; ++v) {
                ASSERT_EQ(dst[v], Mapped(v, values.data(), levels.data(), n, linear, ascending))
                    << "at " << v << (linear ? " linear" : " step");
            }
        }
    };
    std::mt19937 rng(35);
    for (int width : {1, 2, 3, 7, 16, 17, 256, 4096, 65536, 100000}) {
        for (int magnitude : {3, 1000, 70000, 1 << 24, INT_MAX}) {
            std::vector<int> levels, values;
            for (long long level = -width / 2; level <= 65536 + width; level += width) {
                levels.push_back(int(level));
                values.push_back(std::uniform_int_distribution<int>(-magnitude, magnitude)(rng));
            }
            expectExact(values, levels);
        }
    }
    expectExact({1, 4, 7, 10, 13}, {0, 2, 4, 6, 65536});  // halves of both parities
    expectExact({INT_MIN, INT_MAX, INT_MIN, 0}, {INT_MIN, 40000, INT_MAX, INT_MAX});
    expectExact({INT_MAX, INT_MIN + 1, 70000, -5}, {-1, INT_MAX, 100, 30000});
    expectExact({0, 65535, 5, 65535 * 2}, {1000, 60000, 500, 50000});
    expectExact({500, 600, 700, 800}, {10, 50, 5, 40});
    // Power-of-two bins whose ends the 16-bit range cuts to lengths that are not multiples of
    // eight (the map paints whole runs of eight values and must not spill into a neighbour or
    // past the table), with lines steep enough to saturate inside a run.
    for (int width : {8, 16, 32, 4096}) {
        for (int offset : {-5, -3, 1, 9}) {
            std::vector<int> levels, values;
            for (long long level = offset - width; level <= 65536 + width; level += width) {
                levels.push_back(int(level));
                values.push_back(std::uniform_int_distribution<int>(-20000, 90000)(rng));
            }
            expectExact(values, levels);
        }
    }
}
