#include <PixelPrimitives/PixelPrimitives.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestImage.h"

namespace {

using u16 = unsigned short;

// The level rule step by step: each bin is `step` wide, plus one for the first `extra` bins.
std::vector<int> ReferenceLevels(int numLevels, int lower, int upper) {
    const long long bins = numLevels - 1, span = static_cast<long long>(upper) - lower;
    const long long step = span / bins, extra = span % bins;
    std::vector<int> levels(numLevels, lower);
    for (long long i = 1; i <= bins; ++i) {
        levels[i] = static_cast<int>(levels[i - 1] + step + (i <= extra ? 1 : 0));
    }
    return levels;
}

// Counts by the definition: bin k holds levels[k] <= v < levels[k+1].
std::vector<int> ReferenceHistogram(const TestImage<u16>& img, const std::vector<int>& levels) {
    std::vector<int> hist(levels.size() - 1, 0);
    for (int y = 0; y < img.Height(); ++y) {
        for (int x = 0; x < img.Width(); ++x) {
            for (std::size_t k = 0; k + 1 < levels.size(); ++k) {
                hist[k] += levels[k] <= img.At(x, y) && img.At(x, y) < levels[k + 1];
            }
        }
    }
    return hist;
}

// Runs the primitive into buffers pre-filled with junk (the histogram is overwritten, not
// accumulated) and compares with the reference.
void ExpectMatchesReference(const TestImage<u16>& img, int numLevels, int lower, int upper) {
    std::vector<int> hist(numLevels - 1, 12345), levels(numLevels, -7);
    ASSERT_TRUE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), img.Pitch(), img.Width(),
                                                      img.Height(), hist.data(), levels.data(),
                                                      numLevels, lower, upper));
    const std::vector<int> expectedLevels = ReferenceLevels(numLevels, lower, upper);
    EXPECT_EQ(levels, expectedLevels)
        << numLevels << " levels over [" << lower << ", " << upper << ")";
    EXPECT_EQ(hist, ReferenceHistogram(img, expectedLevels));
    EXPECT_TRUE(img.Untouched());
}

}  // namespace

TEST(HistogramEven, LevelsFollowTheIntegerRule) {
    TestImage<u16> img(1, 1);
    std::vector<int> hist(12), levels(13);
    ASSERT_TRUE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), img.Pitch(), 1, 1, hist.data(),
                                                      levels.data(), 13, 0, 255));
    EXPECT_EQ(levels,
              (std::vector<int>{0, 22, 44, 66, 87, 108, 129, 150, 171, 192, 213, 234, 255}));
}

TEST(HistogramEven, MatchesReferenceOnRandomImages) {
    std::mt19937 rng(21);
    for (const RegionSize& s : TestRegionSizes()) {
        TestImage<u16> img(s.width, s.height);
        img.FillRandom(rng, 7990, 8030);
        // Even split, remainder, span below the bin count, pixels at and beyond upper.
        ExpectMatchesReference(img, 5, 8000, 8020);
        ExpectMatchesReference(img, 13, 7990, 8030);
        ExpectMatchesReference(img, 64, 7995, 8010);
        // The full 16-bit range, and limits beyond it.
        img.FillRandom(rng, 0, 65535);
        ExpectMatchesReference(img, 17, 0, 65535);
        ExpectMatchesReference(img, 7, -1000, 70000);
    }
}

TEST(HistogramEven, ManyBinsOverFrameRange) {
    // As the equalization calls it: 4097 levels over [min, max] of the frame.
    std::mt19937 rng(22);
    TestImage<u16> img(97, 41);
    img.FillRandom(rng, 6000, 9000);
    img.At(3, 3) = 6000;
    img.At(5, 7) = 9000;
    img.Snapshot();
    ExpectMatchesReference(img, 4097, 6000, 9000);
}

TEST(HistogramEven, PixelsAtUpperAndDegenerateRanges) {
    TestImage<u16> img(4, 2);
    img.Fill([](int x, int y) { return 100 + x + 4 * y; });  // 100 .. 107
    std::vector<int> hist(4), levels(5);
    ASSERT_TRUE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), img.Pitch(), 4, 2, hist.data(),
                                                      levels.data(), 5, 100, 107));
    EXPECT_EQ(levels, (std::vector<int>{100, 102, 104, 106, 107}));
    EXPECT_EQ(hist, (std::vector<int>{2, 2, 2, 1}));  // 107 is at upper: in no bin

    // upper == lower: every level is lower and every bin empty.
    ASSERT_TRUE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), img.Pitch(), 4, 2, hist.data(),
                                                      levels.data(), 5, 103, 103));
    EXPECT_EQ(levels, (std::vector<int>(5, 103)));
    EXPECT_EQ(hist, (std::vector<int>(4, 0)));

    // upper < lower: truncating division gives descending levels and empty bins.
    ASSERT_TRUE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), img.Pitch(), 4, 2, hist.data(),
                                                      levels.data(), 5, 107, 100));
    EXPECT_EQ(levels, (std::vector<int>{107, 106, 105, 104, 103}));
    EXPECT_EQ(hist, (std::vector<int>(4, 0)));
}

TEST(HistogramEven, ErrorsWriteNothing) {
    TestImage<u16> img(4, 4);
    std::vector<int> hist(4, 9), levels(5, 9);
    const std::vector<int> untouched(4, 9);
    const int p = img.Pitch();
    EXPECT_FALSE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), p, 4, 4, hist.data(),
                                                       levels.data(), 1, 0, 10));
    EXPECT_FALSE(PixelPrimitives::HistogramEven_16u_C1(nullptr, p, 4, 4, hist.data(), levels.data(),
                                                       5, 0, 10));
    EXPECT_FALSE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), p, 4, 4, nullptr, levels.data(),
                                                       5, 0, 10));
    EXPECT_FALSE(
        PixelPrimitives::HistogramEven_16u_C1(img.Data(), p, 4, 4, hist.data(), nullptr, 5, 0, 10));
    EXPECT_FALSE(PixelPrimitives::HistogramEven_16u_C1(img.Data(), p, 0, 4, hist.data(),
                                                       levels.data(), 5, 0, 10));
    EXPECT_EQ(hist, untouched);
    EXPECT_EQ(levels, std::vector<int>(5, 9));
}
