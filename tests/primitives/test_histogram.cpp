#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <vector>

#include "TestImage.h"

namespace {

using PP = PixelPrimitives;
using u16 = unsigned short;

// Runs the primitive into buffers holding junk (the histogram is overwritten, not
// accumulated) and checks it against the level rule step by step (each bin `step` wide, one
// wider for the first `extra` bins, in C's truncating division) and against counts by the
// definition (bin k holds levels[k] <= v < levels[k+1]).
void ExpectMatchesReference(const TestImage<u16>& img, int numLevels, int lower, int upper) {
    SCOPED_TRACE(testing::Message() << numLevels << " levels over " << lower << ".." << upper);
    std::vector<int> hist(numLevels - 1, 12345), levels(numLevels, -7);
    ASSERT_TRUE(PP::HistogramEven_16u_C1(img.Data(), img.Pitch(), img.Width(), img.Height(),
                                         hist.data(), levels.data(), numLevels, lower, upper));
    const long long bins = numLevels - 1, span = static_cast<long long>(upper) - lower;
    std::vector<int> expectedLevels(numLevels, lower), expectedHist(bins, 0);
    for (long long i = 1; i <= bins; ++i) {
        expectedLevels[i] = int(expectedLevels[i - 1] + span / bins + (i <= span % bins));
    }
    for (int v : Pixels(img)) {
        for (int k = 0; k < bins; ++k) {
            expectedHist[k] += expectedLevels[k] <= v && v < expectedLevels[k + 1];
        }
    }
    EXPECT_EQ(levels, expectedLevels);
    EXPECT_EQ(hist, expectedHist);
    EXPECT_TRUE(img.Untouched());
}

}  // namespace

TEST(HistogramEven, MatchesReferenceOnRandomImages) {
    std::mt19937 rng(21);
    for (const RegionSize& s : TestRegionSizes()) {
        TestImage<u16> img(s.width, s.height);
        img.FillRandom(rng, 7990, 8030);
        // Even split, remainder, span below the bin count, pixels at and beyond upper, and an
        // empty range.
        ExpectMatchesReference(img, 5, 8000, 8020);
        ExpectMatchesReference(img, 13, 7990, 8030);
        ExpectMatchesReference(img, 64, 7995, 8010);
        ExpectMatchesReference(img, 5, 8010, 8010);
        // The full 16-bit range, and limits beyond it.
        img.FillRandom(rng, 0, 65535);
        ExpectMatchesReference(img, 17, 0, 65535);
        ExpectMatchesReference(img, 7, -1000, 70000);
    }
}

// IPP's example of the level rule; fewer than two levels, or a null output while the other
// is valid, fail and write nothing.
TEST(HistogramEven, IppExampleAndErrors) {
    const u16 img[4] = {1, 2, 3, 4};
    std::vector<int> hist(12, 9), levels(13, 9);
    int *H = hist.data(), *L = levels.data();
    EXPECT_FALSE(PP::HistogramEven_16u_C1(img, 8, 4, 1, H, L, 1, 0, 10) ||
                 PP::HistogramEven_16u_C1(img, 8, 4, 1, nullptr, L, 13, 0, 10) ||
                 PP::HistogramEven_16u_C1(img, 8, 4, 1, H, nullptr, 13, 0, 10) ||
                 PP::HistogramEven_16u_C1(img, 8, 0, 1, H, L, 13, 0, 10));
    EXPECT_TRUE(hist == std::vector<int>(12, 9) && levels == std::vector<int>(13, 9));
    ASSERT_TRUE(PP::HistogramEven_16u_C1(img, 8, 4, 1, H, L, 13, 0, 255));
    EXPECT_EQ(levels,
              (std::vector<int>{0, 22, 44, 66, 87, 108, 129, 150, 171, 192, 213, 234, 255}));
}
