#include <Varnik/Soloma/ImageProcessing/FastDDE.h>

#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/PixelPrimitives.h>

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

// The enhancement as eleven whole-image primitive calls on float images, the form the
// one-pass enhancement must reproduce to the bit.
Frame EnhanceStepByStep(const Frame& src, float gain) {
    const int w = src.Width(), h = src.Height(), pitch = w * 4, paddedPitch = (w + 6) * 4;
    std::vector<float> input(w * h), mean3(w * h), mean7(w * h), output(w * h);
    std::vector<float> padded((w + 6) * (h + 6));
    int bufferSize = 0;
    PixelPrimitives::FilterLowpassGetBufferSize3x3_32f_C1R(w, h, &bufferSize);
    std::vector<unsigned char> buffer(bufferSize);
    const std::vector<float> kernel7(49, 1.0f / 49.0f);
    unsigned short lo = 0, hi = 0;
    PixelPrimitives::MinMax_16u_C1(src.Data(), src.Pitch(), w, h, &lo, &hi);
    PixelPrimitives::Convert_16u32f_C1(src.Data(), src.Pitch(), input.data(), pitch, w, h);
    PixelPrimitives::FilterLowpassBorder3x3_32f_C1R(input.data(), pitch, mean3.data(), pitch, w, h,
                                                    buffer.data());
    PixelPrimitives::CopyReplicateBorder_32f_C1(input.data(), pitch, w, h, padded.data(),
                                                paddedPitch, w + 6, h + 6, 3, 3);
    PixelPrimitives::Filter_32f_C1(padded.data() + 3 * (w + 6) + 3, paddedPitch, mean7.data(),
                                   pitch, w, h, kernel7.data(), 7, 7, 3, 3);
    PixelPrimitives::MulC_32f_C1(input.data(), pitch, 0.5f, output.data(), pitch, w, h);
    PixelPrimitives::AddC_32f_C1I(static_cast<float>(hi + lo) * 0.25f, output.data(), pitch, w, h);
    PixelPrimitives::Sub_32f_C1(mean7.data(), pitch, mean3.data(), pitch, input.data(), pitch, w,
                                h);
    PixelPrimitives::MulC_32f_C1I(gain, input.data(), pitch, w, h);
    PixelPrimitives::Add_32f_C1I(input.data(), pitch, output.data(), pitch, w, h);
    Frame dst(w, h);
    PixelPrimitives::Convert_32f16u_C1(output.data(), pitch, dst.Data(), dst.Pitch(), w, h);
    return dst;
}

}  // namespace

// Bit for bit the step-by-step result: random and smooth frames, gains that cancel, keep,
// boost (saturating) or poison (NaN) the detail band; odd and even heights, so that the last
// row goes alone or in a pair; strips of one pixel; rows longer than the filters' column strips;
// strips of two and three pixels, frames of three and four rows (no row, or one, enters below
// the first window), heights that wrap the rings of row sums more than once, and widths either
// side of the 16 and 32 pixels the row loops take at a time, in strips of two and three rows.
TEST(FastDDE, SameBitsAsStepByStep) {
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.insert(sizes.end(), {{1, 2},
                               {2, 1},
                               {6, 6},
                               {8, 9},
                               {1100, 5},
                               {640, 8},
                               {2, 11},
                               {3, 4},
                               {5, 3},
                               {3, 17},
                               {19, 10},
                               {15, 2},
                               {16, 3},
                               {32, 2},
                               {33, 3},
                               {47, 12},
                               {48, 13}});
    FastDDE dde;
    unsigned seed = 40;
    for (RegionSize size : sizes) {
        for (bool smooth : {false, true}) {
            std::mt19937 rng(++seed);
            Frame src(size.width, size.height);
            src.FillRandom(rng, 0, 65535);
            if (smooth) {
                src.Fill([&](int x, int y) { return 20000 + 37 * x + 101 * y + rng() % 9; });
            }
            for (float gain : {0.0f, 1.0f, 2.7f, 40.0f, -3.3f, NAN}) {
                EXPECT_EQ(Pixels(Enhance(dde, src, gain)), Pixels(EnhanceStepByStep(src, gain)))
                    << size.width << "x" << size.height << " gain " << gain << " smooth " << smooth;
            }
        }
    }
}

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
