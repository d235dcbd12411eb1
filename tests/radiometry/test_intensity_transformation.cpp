#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::IntensityTransformation;

namespace {

using Signal = TestImage<unsigned short>;
using Floats = TestImage<float>;

std::vector<float> RandomTable(std::mt19937& rng) {
    std::uniform_real_distribution<float> value(-5000.0f, 5000.0f);
    std::vector<float> lut(65536);
    for (float& v : lut) {
        v = value(rng);
    }
    return lut;
}

// Expects dst(x, y) == want(dst0(x, y), src(x, y)) bit for bit, and nothing written outside.
template <typename F>
void ExpectUpdate(const Floats& before, const Floats& after, const Signal& src, F want) {
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            ASSERT_EQ(after.At(x, y), want(before.At(x, y), src.At(x, y))) << x << ", " << y;
        }
    }
    EXPECT_TRUE(after.OutsideUntouched());
    EXPECT_TRUE(src.Untouched());
}

}  // namespace

// Every update against the plain per-pixel rule, products rounded to float before the add or
// subtract, on pitched regions of every test shape with guard margins; factor 1 must give the
// plain form's result, and the subtraction of the same product undoes the add.
TEST(IntensityTransformation, AccumulatesThroughTheTable) {
    std::mt19937 rng(3);
    const std::vector<float> lut = RandomTable(rng);
    const float* t = lut.data();
    for (const RegionSize& r : TestRegionSizes()) {
        const int w = r.width, h = r.height;
        Signal src(w, h, 2, 6);
        src.FillRandom(rng, 0, 65535);
        Floats dst(w, h, 2, 40);
        dst.FillRandom(rng, -1000.0, 1000.0);
        const Floats start = dst;
        // The plain form twice adds the entry twice.
        IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), t, w,
                                            h);
        IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), t, w,
                                            h);
        ExpectUpdate(start, dst, src, [&](float d, int s) { return (d + t[s]) + t[s]; });
        for (float factor : {0.3f, 1.0f}) {  // 0.3 is not a power of two: the product rounds
            Floats weighted = start;
            IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), weighted.Data(),
                                                weighted.Pitch(), t, factor, w, h);
            ExpectUpdate(start, weighted, src, [&](float d, int s) {
                const float product = factor * t[s];
                return product + d;
            });
            const Floats added = weighted;
            IntensityTransformation::SubFromLUT(src.Data(), src.Pitch(), weighted.Data(),
                                                weighted.Pitch(), t, factor, w, h);
            ExpectUpdate(added, weighted, src, [&](float d, int s) {
                const float product = factor * t[s];
                return d - product;
            });
        }
        // An empty region leaves the destination alone.
        dst.Snapshot();
        for (auto [ew, eh] : {std::pair{0, h}, std::pair{w, -1}}) {
            IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), t,
                                                ew, eh);
            IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), t,
                                                2.0f, ew, eh);
            IntensityTransformation::SubFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), t,
                                                2.0f, ew, eh);
        }
        EXPECT_TRUE(dst.Untouched());
    }
}

namespace {

// The table after CalculateLUT, with sentinels on both sides to catch stray writes.
std::vector<int> Calculate(const std::vector<int>& src, int dstCount, int first, int last) {
    std::vector<int> table(dstCount + 2, -7);
    IntensityTransformation::CalculateLUT(src.data(), static_cast<int>(src.size()), &table[1],
                                          dstCount, first, last);
    EXPECT_EQ(table.front(), -7);
    EXPECT_EQ(table.back(), -7);
    return std::vector<int>(table.begin() + 1, table.end() - 1);
}

std::vector<int> Ramp(int count) {
    std::vector<int> values(count);
    for (int i = 0; i < count; ++i) {
        values[i] = 1000 + 3 * i * i;
    }
    return values;
}

}  // namespace

// Ratios of a power of two make the float step exact, so the source index is the exact
// floor((i - first) * srcCount / length), in integers here. The ends are filled with the
// first and last source entries, and nothing is written outside the table.
TEST(IntensityTransformation, CalculateLUTCopiesStretchesAndShrinks) {
    struct Case {
        int srcCount, dstCount, first, last;
    };
    for (Case c : {Case{100, 300, 40, 139}, Case{64, 1000, 300, 555}, Case{256, 70, 5, 68},
                   Case{50, 50, 0, 49}, Case{1, 9, 2, 5}}) {
        const std::vector<int> src = Ramp(c.srcCount);
        const std::vector<int> dst = Calculate(src, c.dstCount, c.first, c.last);
        const long long length = c.last - c.first + 1;
        for (int i = 0; i < c.dstCount; ++i) {
            const int want = i < c.first  ? src.front()
                             : i > c.last ? src.back()
                                          : src[(i - c.first) * c.srcCount / length];
            ASSERT_EQ(dst[i], want) << c.srcCount << " over " << length << ", entry " << i;
        }
    }
    // Three entries over seven: shares of 7/3 entries, each sampled at its share's start; the
    // range covering the whole table leaves no room for fills.
    const std::vector<int> src{10, 20, 30};
    EXPECT_EQ(Calculate(src, 9, 1, 7), (std::vector<int>{10, 10, 10, 10, 20, 20, 30, 30, 30}));
    EXPECT_EQ(Calculate(src, 7, 0, 6), (std::vector<int>{10, 10, 10, 20, 20, 30, 30}));
}
