#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::IntensityTransformation;

namespace {

using Signal = TestImage<unsigned short>;
using Floats = TestImage<float>;

// Expects after(x, y) == want(before(x, y), src(x, y)) bit for bit, and nothing written outside.
template <typename F>
void ExpectUpdate(const Floats& before, const Floats& after, const Signal& src, F want) {
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            ASSERT_EQ(after.At(x, y), want(before.At(x, y), src.At(x, y))) << x << ", " << y;
        }
    }
    EXPECT_TRUE(after.OutsideUntouched() && src.Untouched());
}

}  // namespace

// Every update against the plain per-pixel rule, products rounded to float before the add or
// subtract, on every region shape; factor 1 gives the plain form's result, the subtraction
// takes the same product off again.
TEST(IntensityTransformation, AccumulatesThroughTheTable) {
    std::mt19937 rng(3);
    std::vector<float> lut(65536);
    for (float& v : lut) {
        v = std::uniform_real_distribution<float>(-5000.0f, 5000.0f)(rng);
    }
    const float* t = lut.data();
    for (const RegionSize& r : TestRegionSizes()) {
        const int w = r.width, h = r.height;
        Signal src(w, h, 2, 6);
        src.FillRandom(rng, 0, 65535);
        Floats start(w, h, 2, 40);
        start.FillRandom(rng, -1000.0, 1000.0);
        Floats dst = start;
        IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), t, w,
                                            h);
        ExpectUpdate(start, dst, src, [&](float d, int s) { return d + t[s]; });
        for (float factor : {0.3f, 1.0f}) {  // 0.3 is not a power of two: the product rounds
            Floats added = start;
            IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), added.Data(),
                                                added.Pitch(), t, factor, w, h);
            ExpectUpdate(start, added, src, [&](float d, int s) { return factor * t[s] + d; });
            Floats restored = added;
            IntensityTransformation::SubFromLUT(src.Data(), src.Pitch(), restored.Data(),
                                                restored.Pitch(), t, factor, w, h);
            ExpectUpdate(added, restored, src, [&](float d, int s) { return d - factor * t[s]; });
        }
    }
}

// Ratios of a power of two make the float step exact, so the source index is the exact
// floor((i - first) * srcCount / length), in integers here. The ends are filled with the
// first and last source entries; sentinels on both sides catch stray writes. Three entries
// over seven: shares of 7/3 entries, each sampled at its share's start.
TEST(IntensityTransformation, CalculateLUTCopiesStretchesAndShrinks) {
    const int cases[][4] = {{100, 300, 40, 139}, {64, 1000, 300, 555}, {256, 70, 5, 68},
                            {50, 50, 0, 49},     {1, 9, 2, 5},         {3, 9, 1, 7}};
    for (auto [srcCount, dstCount, first, last] : cases) {
        std::vector<int> src(srcCount), table(dstCount + 2, -7);
        for (int i = 0; i < srcCount; ++i) {
            src[i] = 1000 + 3 * i * i;
        }
        IntensityTransformation::CalculateLUT(src.data(), srcCount, &table[1], dstCount, first,
                                              last);
        EXPECT_TRUE(table.front() == -7 && table.back() == -7);
        const long long length = last - first + 1;
        for (int i = 0; i < dstCount; ++i) {
            const int want = i < first  ? src.front()
                             : i > last ? src.back()
                                        : src[(i - first) * srcCount / length];
            ASSERT_EQ(table[i + 1], want) << srcCount << " over " << length << ", entry " << i;
        }
    }
}
