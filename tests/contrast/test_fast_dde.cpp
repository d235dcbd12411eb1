#include <Varnik/Soloma/ImageProcessing/FastDDE.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::FastDDE;

namespace {

using Frame = TestImage<unsigned short>;

Frame Enhance(FastDDE& dde, Frame& src, float gain) {
    Frame dst(src.Width(), src.Height());
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), gain, src.Width(), src.Height());
    return dst;
}

// Mean of the size x size window centred on (x, y), outside pixels taken from the nearest edge.
double BoxMean(const Frame& f, int x, int y, int size) {
    double sum = 0.0;
    for (int k = 0; k < size * size; ++k) {
        const int sx = x + k % size - size / 2, sy = y + k / size - size / 2;
        sum += f.At(std::clamp(sx, 0, f.Width() - 1), std::clamp(sy, 0, f.Height() - 1));
    }
    return sum / (size * size);
}

}  // namespace

// The 7x7 mean lands a few ulp off the value; rounding to nearest must undo that.
TEST(FastDDE, UniformFrameComesBack) {
    FastDDE dde;
    for (int value : {0, 4097, 65535}) {
        for (RegionSize size : {RegionSize{1, 1}, RegionSize{5, 2}, RegionSize{40, 23}}) {
            Frame src(size.width, size.height);
            src.Fill([&](int, int) { return value; });
            EXPECT_EQ(Pixels(Enhance(dde, src, 4.0f)), Pixels(src)) << value;
        }
    }
}

TEST(FastDDE, SingleBrightPixel) {
    const double b = 3000, h = 2000;
    Frame src(30, 30);
    src.Fill([&](int x, int y) { return x == 15 && y == 14 ? b + h : b; });
    FastDDE dde;
    const double expected = 0.5 * (b + h) + 0.25 * (b + (b + h)) + h * (1.0 / 9 - 1.0 / 49);
    EXPECT_NEAR(Enhance(dde, src, 1.0f).At(15, 14), expected, 0.5 + 1e-3);
}

// Whole outputs against the formula with replicated borders, on regions down to a single
// pixel (smaller than either window), in guarded images: nothing outside is read into the
// result (margins hold random values) or written, and saturation at both ends. One object
// goes through every size change. Gain 0 leaves 0.5 * v + 0.25 * (min + max), exact in float,
// with halves rounded to even.
TEST(FastDDE, MatchesReplicatedBorderReference) {
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.insert(sizes.end(), {{2, 2}, {9, 1}, {3, 3}, {7, 7}});
    FastDDE dde;
    unsigned seed = 11;
    for (RegionSize size : sizes) {
        for (float gain : {0.0f, 0.75f, 3.0f}) {
            std::mt19937 rng(++seed);
            Frame src(size.width, size.height, 4);
            src.FillRandom(rng, 0, 65535, true);
            const Frame dst = Enhance(dde, src, gain);
            const std::vector<int> pixels = Pixels(src);
            const auto [lo, hi] = std::minmax_element(pixels.begin(), pixels.end());
            for (int p = 0; p < size.width * size.height; ++p) {
                const int x = p % size.width, y = p / size.width;
                const double detail = BoxMean(src, x, y, 3) - BoxMean(src, x, y, 7);
                double want = 0.5 * src.At(x, y) + 0.25 * (*lo + *hi) + gain * detail;
                want = std::clamp(gain == 0.0f ? std::nearbyint(want) : want, 0.0, 65535.0);
                ASSERT_NEAR(dst.At(x, y), want, gain == 0.0f ? 0.0 : 1.0)
                    << size.width << "x" << size.height << " at " << x << ", " << y;
            }
            EXPECT_TRUE(dst.OutsideUntouched());
            EXPECT_TRUE(src.Untouched());
        }
    }
}

// An empty region writes and allocates nothing; a stream of one size allocates nothing after
// the first frame; copies own their buffers.
TEST(FastDDE, EmptyRegionSteadyStateAndCopies) {
    Frame src = RandomFrame(40, 20, 500, 5000, 6), dst(40, 20);
    auto original = std::make_unique<FastDDE>();
    long long start = PixelPrimitivesAllocationCount();
    original->Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 0, 8);
    original->Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 8, -2);
    EXPECT_TRUE(dst.Untouched());
    EXPECT_EQ(PixelPrimitivesAllocationCount(), start);
    const std::vector<int> expected = Pixels(Enhance(*original, src, 1.5f));
    start = PixelPrimitivesAllocationCount();
    EXPECT_EQ(Pixels(Enhance(*original, src, 1.5f)), expected);
    EXPECT_EQ(PixelPrimitivesAllocationCount(), start);
    FastDDE copy(*original), assigned;
    assigned = *original;
    original.reset();  // the copies must not depend on their source
    for (FastDDE* dde : {&copy, &assigned}) {
        EXPECT_EQ(Pixels(Enhance(*dde, src, 1.5f)), expected);
    }
}
