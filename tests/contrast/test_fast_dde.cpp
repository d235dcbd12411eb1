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

Frame RandomFrame(int width, int height, int lo, int hi, unsigned seed) {
    std::mt19937 rng(seed);
    Frame frame(width, height);
    frame.FillRandom(rng, lo, hi);
    return frame;
}

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
    for (int y = 0; y < f.Height(); ++y) {
        for (int x = 0; x < f.Width(); ++x) {
            lo = std::min<int>(lo, f.At(x, y));
            hi = std::max<int>(hi, f.At(x, y));
        }
    }
    return lo + hi;
}

}  // namespace

TEST(FastDDE, UniformFrameComesBackUnchanged) {
    // The 7x7 mean lands a few ulp off the value; rounding to nearest must undo that.
    FastDDE dde;
    for (int value : {0, 1, 4097, 12345, 65534, 65535}) {
        for (RegionSize size : {RegionSize{1, 1}, RegionSize{5, 2}, RegionSize{40, 23}}) {
            Frame src(size.width, size.height);
            src.Fill([&](int, int) { return value; });
            Frame dst = Enhance(dde, src, 4.0f);
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    ASSERT_EQ(dst.At(x, y), value) << x << ", " << y;
                }
            }
        }
    }
}

TEST(FastDDE, ZeroGainMapsTheRangeOntoItsMiddleHalf) {
    Frame src = RandomFrame(37, 19, 1000, 21000, 7);
    src.At(3, 4) = 1000;    // the minimum
    src.At(30, 9) = 21000;  // the maximum
    src.Snapshot();
    FastDDE dde;
    Frame dst = Enhance(dde, src, 0.0f);
    EXPECT_EQ(dst.At(3, 4), 0.75 * 1000 + 0.25 * 21000);
    EXPECT_EQ(dst.At(30, 9), 0.25 * 1000 + 0.75 * 21000);
    // 0.5 * v + 0.25 * (min + max) is exact in float; halves round to even.
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
    // A neighbour inside the 3x3 window sees the same h / 9 but sits at the background.
    EXPECT_NEAR(dst.At(16, 14), 0.5 * b + 0.25 * (2 * b + h) + h * (1.0 / 9 - 1.0 / 49),
                0.5 + 1e-3);
}

// Whole outputs against the formula with replicated borders, on regions down to a single
// pixel (smaller than either window), in guarded images: nothing outside is read into the
// result (margins hold random values) or written, and saturation at both ends.
TEST(FastDDE, MatchesReplicatedBorderReference) {
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.insert(sizes.end(), {{2, 2}, {1, 9}, {9, 1}, {3, 3}, {6, 6}, {7, 7}, {8, 13}});
    FastDDE dde;  // one object across size changes
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

TEST(FastDDE, EmptyRegionWritesNothing) {
    Frame src = RandomFrame(8, 8, 0, 65535, 3);
    Frame dst(8, 8);
    FastDDE dde;
    const long long start = PixelPrimitivesAllocationCount();
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 0, 8);
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 8, -2);
    EXPECT_TRUE(dst.Untouched());
    EXPECT_EQ(PixelPrimitivesAllocationCount(), start);
}

TEST(FastDDE, SteadyStateAllocatesNothing) {
    Frame src = RandomFrame(64, 48, 100, 9000, 4);
    Frame other = RandomFrame(32, 16, 100, 9000, 5);
    FastDDE dde;
    long long start = PixelPrimitivesAllocationCount();
    Enhance(dde, src, 2.0f);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 6);  // five images and the scratch
    start = PixelPrimitivesAllocationCount();
    Enhance(dde, src, 2.0f);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 0);
    // A new size reallocates and gives what a fresh object gives.
    FastDDE fresh;
    Frame expected = Enhance(fresh, other, 2.0f);
    Frame got = Enhance(dde, other, 2.0f);
    EXPECT_TRUE(std::equal(expected.Pixel(0, 0), expected.Pixel(0, 16), got.Pixel(0, 0)));
}

TEST(FastDDE, CopiesWorkIndependently) {
    Frame src = RandomFrame(40, 20, 500, 5000, 6);
    auto original = std::make_unique<FastDDE>();
    const Frame expected = Enhance(*original, src, 1.5f);
    FastDDE copy(*original);
    FastDDE assigned;
    assigned = *original;
    assigned = assigned;
    original.reset();  // the copies must not depend on their source
    for (FastDDE* dde : {&copy, &assigned}) {
        Frame got = Enhance(*dde, src, 1.5f);
        EXPECT_TRUE(std::equal(expected.Pixel(0, 0), expected.Pixel(0, 20), got.Pixel(0, 0)));
    }
}
