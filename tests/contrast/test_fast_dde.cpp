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
    for (int dy = -size / 2; dy <= size / 2; ++dy) {
        for (int dx = -size / 2; dx <= size / 2; ++dx) {
            sum +=
                f.At(std::clamp(x + dx, 0, f.Width() - 1), std::clamp(y + dy, 0, f.Height() - 1));
        }
    }
    return sum / (size * size);
}

// The frame's minimum plus maximum.
int RangeSum(const Frame& f) {
    int lo = 65535, hi = 0;
    for (int i = 0; i < f.Width() * f.Height(); ++i) {
        lo = std::min<int>(lo, f.At(i % f.Width(), i / f.Width()));
        hi = std::max<int>(hi, f.At(i % f.Width(), i / f.Width()));
    }
    return lo + hi;
}

}  // namespace

// The 7x7 mean lands a few ulp off the value; rounding to nearest must undo that. Gain 0
// leaves 0.5 * v + 0.25 * (min + max), exact in float, with halves rounded to even.
TEST(FastDDE, UniformFrameAndZeroGain) {
    FastDDE dde;
    for (int value : {0, 4097, 65535}) {
        for (RegionSize size : {RegionSize{1, 1}, RegionSize{5, 2}, RegionSize{40, 23}}) {
            Frame src(size.width, size.height);
            src.Fill([&](int, int) { return value; });
            const Frame dst = Enhance(dde, src, 4.0f);
            EXPECT_TRUE(std::equal(src.Pixel(0, 0), src.Pixel(0, size.height), dst.Pixel(0, 0)))
                << value;
        }
    }
    Frame src = RandomFrame(37, 19, 1000, 21000, 7);
    src.At(3, 4) = 1000;    // the minimum
    src.At(30, 9) = 21000;  // the maximum
    const Frame dst = Enhance(dde, src, 0.0f);
    for (int y = 0; y < 19; ++y) {
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(dst.At(x, y), std::nearbyint(0.5 * src.At(x, y) + 0.25 * 22000.0));
        }
    }
}

TEST(FastDDE, SingleBrightPixel) {
    const double b = 3000, h = 2000;
    Frame src(30, 30);
    src.Fill([&](int x, int y) { return x == 15 && y == 14 ? b + h : b; });
    FastDDE dde;
    Frame dst = Enhance(dde, src, 1.0f);
    const double expected = 0.5 * (b + h) + 0.25 * (b + (b + h)) + h * (1.0 / 9 - 1.0 / 49);
    EXPECT_NEAR(dst.At(15, 14), expected, 0.5 + 1e-3);
}

// Whole outputs against the formula with replicated borders, on regions down to a single
// pixel (smaller than either window), in guarded images: nothing outside is read into the
// result (margins hold random values) or written, and saturation at both ends. One object
// goes through every size change.
TEST(FastDDE, MatchesReplicatedBorderReference) {
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.insert(sizes.end(), {{2, 2}, {9, 1}, {3, 3}, {7, 7}});
    FastDDE dde;
    unsigned seed = 11;
    for (RegionSize size : sizes) {
        for (float gain : {0.75f, 3.0f}) {
            std::mt19937 rng(++seed);
            Frame src(size.width, size.height, 4);
            src.FillRandom(rng, 0, 65535, true);
            Frame dst = Enhance(dde, src, gain);
            const double middle = 0.25 * RangeSum(src);
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    // The whole enhancement in one formula, in double.
                    const double detail = BoxMean(src, x, y, 3) - BoxMean(src, x, y, 7);
                    const double want =
                        std::clamp(0.5 * src.At(x, y) + middle + gain * detail, 0.0, 65535.0);
                    ASSERT_NEAR(dst.At(x, y), want, 1.0)
                        << size.width << "x" << size.height << " at " << x << ", " << y;
                }
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
    const Frame expected = Enhance(*original, src, 1.5f);
    start = PixelPrimitivesAllocationCount();
    Enhance(*original, src, 1.5f);
    EXPECT_EQ(PixelPrimitivesAllocationCount(), start);
    FastDDE copy(*original), assigned;
    assigned = *original;
    original.reset();  // the copies must not depend on their source
    for (FastDDE* dde : {&copy, &assigned}) {
        Frame got = Enhance(*dde, src, 1.5f);
        EXPECT_TRUE(std::equal(expected.Pixel(0, 0), expected.Pixel(0, 20), got.Pixel(0, 0)));
    }
}
