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

// Spans below, near and far above the bin count, including the full 16-bit range, two values
// (the lower becomes trunc((max - 1) * its share), the maximum stays) and a constant frame,
// which is left alone. Out of place and in place agree.
TEST(HistogramEqualization, MatchesReferenceOnRandomFrames) {
    struct Case {
        int width, height, lo, hi;
    };
    for (Case c : {Case{97, 41, 7000, 7690}, Case{64, 64, 0, 65535}, Case{33, 17, 100, 4200},
                   Case{1, 9, 5, 20000}, Case{50, 1, 30000, 30001}, Case{31, 7, 12345, 12345}}) {
        Frame src = RandomFrame(c.width, c.height, c.lo, c.hi, 17u + c.width);
        Frame dst(c.width, c.height);
        HistogramEqualization equalization;
        equalization.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), c.width, c.height);
        EXPECT_EQ(Pixels(dst), Reference(Pixels(src))) << c.width << "x" << c.height;
        EXPECT_TRUE(dst.OutsideUntouched());
        EXPECT_TRUE(src.Untouched());
        equalization.Create(src.Data(), src.Pitch(), c.width, c.height);
        EXPECT_EQ(Pixels(src), Pixels(dst));
        EXPECT_TRUE(src.OutsideUntouched());
    }
}

// One object goes through frames of other sizes and ranges without any trace of the earlier ones
// and, after the first frame, without allocating; copies own their tables.
TEST(HistogramEqualization, SteadyStateAndCopies) {
    Frame first = RandomFrame(70, 12, 2000, 2600, 1), src = RandomFrame(40, 20, 500, 5000, 5);
    Frame dst(40, 20);
    auto original = std::make_unique<HistogramEqualization>();
    long long start = PixelPrimitivesAllocationCount();
    original->Create(first.Data(), first.Pitch(), 70, 12);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 4);  // the four tables
    start = PixelPrimitivesAllocationCount();
    original->Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 40, 20);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 0);
    const std::vector<int> expected = Reference(Pixels(src));
    EXPECT_EQ(Pixels(dst), expected);
    HistogramEqualization copy(*original), assigned;
    assigned = *original;
    assigned = assigned;
    original.reset();  // the copies must not depend on their source
    for (HistogramEqualization* processor : {&copy, &assigned}) {
        Frame out(40, 20);
        processor->Create(src.Data(), src.Pitch(), out.Data(), out.Pitch(), 40, 20);
        EXPECT_EQ(Pixels(out), expected);
    }
}
