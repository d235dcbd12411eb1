#include <PixelPrimitives/AllocationCounter.h>
#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "RegionChecks.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using Frame = TestImage<unsigned short>;
using Mask = TestImage<unsigned char>;

constexpr int kInside = 1000;   // the value of band pixels; tolerance 10 takes 991..1009
constexpr int kOutside = 5000;  // far outside every band of the tests

// A frame of kOutside with kInside where inBand(x, y) holds.
template <typename F>
Frame BandFrame(int width, int height, F inBand) {
    Frame frame(width, height);
    frame.Fill([&](int x, int y) { return inBand(x, y) ? kInside : kOutside; });
    return frame;
}

void Add(MagicWand& wand, const Frame& frame, Mask& mask, float tolerance, int seedX, int seedY) {
    wand.Add(frame.Data(), frame.Pitch(), mask.Data(), mask.Pitch(), tolerance, seedX, seedY,
             frame.Width(), frame.Height());
}

void Remove(MagicWand& wand, const Frame& frame, Mask& mask, float tolerance, int seedX,
            int seedY) {
    wand.Remove(frame.Data(), frame.Pitch(), mask.Data(), mask.Pitch(), tolerance, seedX, seedY,
                frame.Width(), frame.Height());
}

// The mask after Add on an empty mask: the smoothed region.
Mask Region(const Frame& frame, float tolerance, int seedX, int seedY) {
    Mask mask(frame.Width(), frame.Height());
    mask.Fill([](int, int) { return 0; });
    MagicWand wand;
    Add(wand, frame, mask, tolerance, seedX, seedY);
    EXPECT_TRUE(mask.OutsideUntouched());
    return mask;
}

bool InRect(int x, int y, int x0, int y0, int x1, int y1) {
    return x >= x0 && x <= x1 && y >= y0 && y <= y1;
}

// Values 985 + x in columns, from row 2 to row 9 of 14; the band of 1000 +- t is a rectangle
// away from the edges, which the closing leaves as it is.
TEST(MagicWand, BandExcludesBothBounds) {
    Frame frame(31, 14);
    frame.Fill([](int x, int y) { return y >= 2 && y <= 9 ? 985 + x : kOutside; });
    const int seedX = 15;  // the value 1000
    ExpectRegion(Region(frame, 10.0f, seedX, 5), [](int x, int y) {
        return InRect(x, y, 6, 2, 24, 9) ? 255 : 0;  // 991 .. 1009
    });
    ExpectRegion(Region(frame, 10.5f, seedX, 5), [](int x, int y) {
        return InRect(x, y, 5, 2, 25, 9) ? 255 : 0;  // 990 .. 1010
    });
    // An empty band does not hold even the seed: the mask stays as it was.
    for (float tolerance : {0.0f, -3.0f, std::nanf("")}) {
        Mask mask(31, 14);
        mask.Fill([](int x, int y) { return x * 7 + y; });
        MagicWand wand;
        Add(wand, frame, mask, tolerance, seedX, 5);
        Remove(wand, frame, mask, tolerance, seedX, 5);
        EXPECT_TRUE(mask.Untouched());
    }
}

// Square B touches square A only at a corner; square C lies eight columns off. The closing may
// fill the corners at the junction, nothing else.
TEST(MagicWand, FollowsDiagonalNeighboursOnly) {
    auto a = [](int x, int y) { return InRect(x, y, 5, 5, 12, 12); };
    auto b = [](int x, int y) { return InRect(x, y, 13, 13, 20, 20); };
    auto c = [](int x, int y) { return InRect(x, y, 29, 5, 36, 12); };
    const Frame frame =
        BandFrame(42, 26, [&](int x, int y) { return a(x, y) || b(x, y) || c(x, y); });
    const Mask mask = Region(frame, 10.0f, 6, 6);
    for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < 42; ++x) {
            const bool junction = InRect(x, y, 10, 10, 15, 15);
            if (a(x, y) || b(x, y)) {
                EXPECT_EQ(mask.At(x, y), 255) << x << ", " << y;
            } else if (!junction) {
                EXPECT_EQ(mask.At(x, y), 0) << x << ", " << y;
            }
        }
    }
}

// A frame of band pixels, six thick, round a hole, with a gap of `gap` columns through its top
// side and a one-pixel hole in its bottom side. The closing fills the hole, and the gap up to
// four columns; otherwise the region is the raw one.
TEST(MagicWand, ClosingFillsHolesAndGapsUpToFourPixels) {
    for (int gap = 1; gap <= 5; ++gap) {
        SCOPED_TRACE(testing::Message() << "gap " << gap);
        auto ring = [](int x, int y) {
            return InRect(x, y, 7, 7, 58, 28) && !InRect(x, y, 13, 13, 52, 22);
        };
        auto inGap = [gap](int x, int y) { return InRect(x, y, 30, 7, 29 + gap, 12); };
        auto hole = [](int x, int y) { return x == 33 && y == 25; };
        const Frame frame = BandFrame(
            66, 36, [&](int x, int y) { return ring(x, y) && !inGap(x, y) && !hole(x, y); });
        ExpectRegion(Region(frame, 10.0f, 8, 8), [&](int x, int y) {
            return ring(x, y) && (!inGap(x, y) || gap <= 4) ? 255 : 0;
        });
    }
}

// The ring round the frame is the raw region's edge, made once: in 16 rows of 10 columns the
// raw rectangle of rows 4 to 11 and columns 0 to 3 loses its pixels in rows 4, 5, 10 and 11
// of columns 0 and 1; a lone pixel on the edge disappears.
TEST(MagicWand, UnrefreshedRingTrimsTheEdge) {
    const Frame frame = BandFrame(10, 16, [](int x, int y) { return InRect(x, y, 0, 4, 3, 11); });
    ExpectRegion(Region(frame, 10.0f, 2, 7), [](int x, int y) {
        const bool trimmed = x <= 1 && (y == 4 || y == 5 || y == 10 || y == 11);
        return InRect(x, y, 0, 4, 3, 11) && !trimmed ? 255 : 0;
    });
    const Frame lone = BandFrame(10, 16, [](int x, int y) { return x == 0 && y == 7; });
    ExpectRegion(Region(lone, 10.0f, 0, 7), [](int, int) { return 0; });
}

// Add ORs 255 or 0 into every bit of the mask, Remove ANDs the complement.
TEST(MagicWand, MergesBitByBit) {
    auto square = [](int x, int y) { return InRect(x, y, 6, 6, 13, 13); };
    const Frame frame = BandFrame(24, 20, square);
    auto pattern = [](int x, int y) { return (x * 37 + y * 11) & 0xFF; };
    MagicWand wand;
    Mask mask(24, 20);
    mask.Fill(pattern);
    Add(wand, frame, mask, 10.0f, 9, 9);
    ExpectRegion(mask, [&](int x, int y) { return square(x, y) ? 255 : pattern(x, y); });
    mask.Fill(pattern);
    Remove(wand, frame, mask, 10.0f, 9, 9);
    ExpectRegion(mask, [&](int x, int y) { return square(x, y) ? 0 : pattern(x, y); });
    // A region that does not overlap the mask takes nothing away.
    mask.Fill([&](int x, int y) { return square(x, y) ? 0 : pattern(x, y) | 1; });
    Remove(wand, frame, mask, 10.0f, 9, 9);
    EXPECT_TRUE(mask.Untouched());
}

// A seed outside the region, or a region of no pixels, changes nothing, allocates nothing and
// reads nothing: the frame is exactly width x height, so that the sanitizer build catches a
// read past it.
TEST(MagicWand, SeedOutsideOrEmptyRegionLeavesTheMaskAlone) {
    const int width = 12, height = 9;
    std::vector<unsigned short> frame(width * height, kInside);
    Mask mask(width, height);
    mask.Fill([](int x, int y) { return x + 16 * y; });
    const int calls[][4] = {{-1, 0, width, height},    {0, -1, width, height},
                            {width, 0, width, height}, {0, height, width, height},
                            {INT_MIN, INT_MAX, 12, 9}, {0, 0, 0, height},
                            {0, 0, width, 0},          {0, 0, -4, -1}};
    MagicWand wand;
    const long long before = PixelPrimitivesAllocationCount();
    for (const auto& c : calls) {
        wand.Add(frame.data(), width * 2, mask.Data(), mask.Pitch(), 10.0f, c[0], c[1], c[2], c[3]);
        wand.Remove(frame.data(), width * 2, mask.Data(), mask.Pitch(), 10.0f, c[0], c[1], c[2],
                    c[3]);
        EXPECT_TRUE(mask.Untouched()) << c[0] << ", " << c[1] << " in " << c[2] << " x " << c[3];
    }
    EXPECT_EQ(PixelPrimitivesAllocationCount(), before);
    // The last pixel is a seed like any other.
    wand.Add(frame.data(), width * 2, mask.Data(), mask.Pitch(), 10.0f, width - 1, height - 1,
             width, height);
    ExpectRegion(mask, [](int, int) { return 255; });
}

// Buffers are made once per size: more calls at that size allocate nothing, another size
// reallocates and gives what a fresh object gives. Copies share no buffer: each works after the
// other is gone, and gives the same result.
TEST(MagicWand, KeepsItsBuffersForTheFrameSizeAndCopiesWorkOnTheirOwn) {
    const Frame small = RandomFrame(40, 30, 990, 1010, 3);
    const Frame large = RandomFrame(64, 48, 980, 1020, 4);
    MagicWand wand;
    long long count = PixelPrimitivesAllocationCount();
    wand.Init(0, 0);
    EXPECT_EQ(PixelPrimitivesAllocationCount(), count);
    Mask mask(40, 30);
    Add(wand, small, mask, 8.0f, 20, 15);
    EXPECT_GT(PixelPrimitivesAllocationCount(), count);
    count = PixelPrimitivesAllocationCount();
    Remove(wand, small, mask, 8.0f, 3, 4);
    Add(wand, small, mask, 6.0f, 30, 20);
    wand.Init(40, 30);
    EXPECT_EQ(PixelPrimitivesAllocationCount(), count);

    Mask resized(64, 48);
    resized.Fill([](int, int) { return 0; });
    Add(wand, large, resized, 12.0f, 10, 40);
    EXPECT_GT(PixelPrimitivesAllocationCount(), count);
    EXPECT_EQ(Pixels(resized), Pixels(Region(large, 12.0f, 10, 40)));
    // After Cleanup the next call allocates again.
    wand.Cleanup();
    count = PixelPrimitivesAllocationCount();
    Add(wand, large, resized, 12.0f, 10, 40);
    EXPECT_GT(PixelPrimitivesAllocationCount(), count);

    const std::vector<int> expected = Pixels(Region(small, 7.0f, 25, 20));
    auto original = std::make_unique<MagicWand>(wand);
    MagicWand copy(*original), assigned;
    assigned = *original;
    assigned = assigned;
    original.reset();
    for (MagicWand* w : {&copy, &assigned}) {
        mask.Fill([](int, int) { return 0; });
        Add(*w, small, mask, 7.0f, 25, 20);
        EXPECT_EQ(Pixels(mask), expected);
    }
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
