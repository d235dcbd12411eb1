#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::HistogramEqualization;

namespace {

using Frame = TestImage<unsigned short>;

// Straightforward model of the mapping: 4096 even bins between the frame's minimum and
// maximum (the remainder widening the first bins), cumulative fractions in single precision,
// output trunc((maximum - 1) * fraction); the maximum itself passes through.
std::vector<int> Reference(std::vector<int> pixels) {
    const int bins = 4096;
    const int lo = *std::min_element(pixels.begin(), pixels.end());
    const int hi = *std::max_element(pixels.begin(), pixels.end());
    std::vector<int> levels(bins + 1, lo);
    for (int i = 1; i <= bins; ++i) {
        levels[i] = levels[i - 1] + (hi - lo) / bins + (i <= (hi - lo) % bins ? 1 : 0);
    }
    auto binOf = [&](int v) {
        return static_cast<int>(std::upper_bound(levels.begin(), levels.end(), v) -
                                levels.begin()) -
               1;
    };
    std::vector<int> histogram(bins + 1, 0);  // the extra bin takes the maximum
    for (int v : pixels) {
        ++histogram[binOf(v)];
    }
    const float inverse = static_cast<float>(1.0 / static_cast<float>(pixels.size()));
    float cumulative = 0.0f;
    std::vector<int> values(bins + 1, hi);
    for (int k = 0; k < bins; ++k) {
        cumulative = static_cast<float>(histogram[k]) * inverse + cumulative;
        values[k] = static_cast<int>(static_cast<float>(hi - 1) * cumulative);
    }
    for (int& v : pixels) {
        v = values[binOf(v)];
    }
    return pixels;
}

}  // namespace

TEST(HistogramEqualization, MatchesReferenceOnRandomFrames) {
    struct Case {
        int width, height, lo, hi;
    };
    // Spans below, near and far above the bin count, including the full 16-bit range.
    for (Case c : {Case{97, 41, 7000, 7690}, Case{64, 64, 0, 65535}, Case{33, 17, 100, 4200},
                   Case{1, 9, 5, 20000}, Case{50, 1, 30000, 30001}}) {
        Frame src = RandomFrame(c.width, c.height, c.lo, c.hi, 17u + c.width);
        Frame dst(c.width, c.height);
        HistogramEqualization equalization;
        equalization.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), c.width, c.height);
        EXPECT_EQ(Pixels(dst), Reference(Pixels(src))) << c.width << "x" << c.height;
        EXPECT_TRUE(dst.OutsideUntouched());
        EXPECT_TRUE(src.Untouched());
    }
}

TEST(HistogramEqualization, ConstantAndTwoValueFrames) {
    Frame constant(31, 7);
    constant.Fill([](int, int) { return 12345; });
    HistogramEqualization equalization;
    equalization.Create(constant.Data(), constant.Pitch(), 31, 7);
    EXPECT_TRUE(constant.Untouched());

    // Half the pixels in the first bin become trunc((b - 1) * 0.5); the maximum b stays.
    const int a = 1000, b = 3002;
    Frame twoValues(20, 10);
    twoValues.Fill([&](int x, int) { return x % 2 ? a : b; });
    equalization.Create(twoValues.Data(), twoValues.Pitch(), 20, 10);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(twoValues.At(x, 9), x % 2 ? (b - 1) / 2 : b);
    }
}

TEST(HistogramEqualization, InPlaceEqualsOutOfPlaceAndFramesAreIndependent) {
    Frame first = RandomFrame(70, 12, 2000, 2600, 1);  // another size and range
    Frame second = RandomFrame(45, 30, 8000, 15000, 2);
    HistogramEqualization fresh;
    Frame expected(45, 30);
    fresh.Create(second.Data(), second.Pitch(), expected.Data(), expected.Pitch(), 45, 30);

    HistogramEqualization used;
    used.Create(first.Data(), first.Pitch(), 70, 12);
    used.Create(second.Data(), second.Pitch(), 45, 30);
    EXPECT_EQ(Pixels(second), Pixels(expected));
    EXPECT_TRUE(second.OutsideUntouched());
}

TEST(HistogramEqualization, EmptyRegionLeavesImageAlone) {
    Frame frame = RandomFrame(8, 8, 0, 65535, 3);
    Frame dst(8, 8);
    HistogramEqualization equalization;
    equalization.Create(frame.Data(), frame.Pitch(), 0, 8);
    equalization.Create(frame.Data(), frame.Pitch(), dst.Data(), dst.Pitch(), 8, -1);
    EXPECT_TRUE(frame.Untouched());
    EXPECT_TRUE(dst.Untouched());
}

TEST(HistogramEqualization, SteadyStateAllocatesNothing) {
    Frame src = RandomFrame(64, 48, 100, 9000, 4);
    HistogramEqualization equalization;
    long long start = PixelPrimitivesAllocationCount();
    equalization.Create(src.Data(), src.Pitch(), 64, 48);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 4);  // the four tables
    start = PixelPrimitivesAllocationCount();
    equalization.Create(src.Data(), src.Pitch(), 64, 48);
    equalization.Create(src.Data(), src.Pitch(), 32, 16);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 0);
}

TEST(HistogramEqualization, CopiesWorkIndependently) {
    Frame src = RandomFrame(40, 20, 500, 5000, 5);
    const std::vector<int> expected = Reference(Pixels(src));
    auto original = std::make_unique<HistogramEqualization>();
    Frame dst(40, 20);
    original->Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 40, 20);
    HistogramEqualization copy(*original);
    HistogramEqualization assigned;
    assigned = *original;
    assigned = assigned;
    original.reset();  // the copies must not depend on their source
    for (HistogramEqualization* processor : {&copy, &assigned}) {
        Frame out(40, 20);
        processor->Create(src.Data(), src.Pitch(), out.Data(), out.Pitch(), 40, 20);
        EXPECT_EQ(Pixels(out), expected);
    }
}
