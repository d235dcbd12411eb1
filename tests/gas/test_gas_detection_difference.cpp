#include <PixelPrimitives/AllocationCounter.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "GasOverlayChecks.h"
#include "StreamChecks.h"
#include "SyntheticPlume.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using Frame = std::vector<std::uint16_t>;
using Bytes = std::vector<unsigned char>;

// A smooth 96 x 80 frame (a gentle ramp, so that it has a little edge everywhere) with a square
// of `delta` counts in its middle; `span` sets one corner pixel to widen the frame's range.
Frame SquareFrame(int delta, int span = 0) {
    Frame frame(96 * 80);
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 96; ++x) {
            const bool inSquare = x >= 24 && x < 72 && y >= 20 && y < 60;
            frame[y * 96 + x] = static_cast<std::uint16_t>(2000 + x + y + (inSquare ? delta : 0));
        }
    }
    if (span > 0) {
        frame[0] = 0;
        frame[1] = static_cast<std::uint16_t>(span);
    }
    return frame;
}

// How many pixels of a 96 x 80 frame the detector tints, without stabilisation.
std::size_t Tinted(GasDetectionDifference& detector, const Frame& src, const Frame& ref) {
    const Bytes colour = ColourImage(96, 80);
    detector.SetUseImageStabilisation(false);
    std::size_t n = 0;
    for (bool t :
         TintedPixels(Overlay(detector, src, ref, 96, 80, colour), ZeroDetection(colour, 0))) {
        n += t;
    }
    return n;
}

TEST(GasDetectionDifference, IdenticalFramesAndTinyFramesRenderNoDetection) {
    ExpectEqualFramesShowNothing<GasDetectionDifference>(64, 48);
    // Nothing fits inside the 7x7 filter's reach of a frame 7 pixels across or down.
    for (int size : {1, 7}) {
        const Frame small(static_cast<std::size_t>(size) * 20, 100);
        const Frame other(static_cast<std::size_t>(size) * 20, 300);
        const Bytes smallColour = ColourImage(size, 20);
        GasDetectionDifference detector;
        EXPECT_EQ(Overlay(detector, other, small, size, 20, smallColour),
                  ZeroDetection(smallColour, 0));
    }
}

// With the edge weighting the sign of the difference reverses: a warm square in the current
// frame tints only without it, a cold one only with it.
TEST(GasDetectionDifference, EdgeFactorDecidesWhichSignTints) {
    const Frame ref = SquareFrame(0), warm = SquareFrame(60);
    const Frame cold = SquareFrame(-60);
    GasDetectionDifference detector;
    detector.SetEdgeFactor(0);
    EXPECT_GT(Tinted(detector, warm, ref), 500u);
    EXPECT_EQ(Tinted(detector, cold, ref), 0u);
    detector.SetEdgeFactor(8);
    EXPECT_EQ(Tinted(detector, warm, ref), 0u);
    EXPECT_GT(Tinted(detector, cold, ref), 500u);
}

// The threshold is the sensitivity plus a thousandth of the current frame's range: 20 + 10 for
// a frame spanning 0..10000; without the range the same square clears the bare sensitivity.
TEST(GasDetectionDifference, ThresholdGrowsWithTheFrameRange) {
    const Frame ref = SquareFrame(0, 10000);
    GasDetectionDifference detector;
    detector.SetEdgeFactor(0);
    EXPECT_EQ(Tinted(detector, SquareFrame(29, 10000), ref), 0u);
    EXPECT_GT(Tinted(detector, SquareFrame(31, 10000), ref), 500u);
    EXPECT_GT(Tinted(detector, SquareFrame(29), SquareFrame(0)), 500u);
}

TEST(GasDetectionDifference, FindsAPlumeWithAndWithoutJitter) {
    const int width = 320, height = 256;
    SyntheticPlume scene(width, height);
    const Frame ref = scene.Frame(0, 0, 0, false);
    const Bytes colour = ColourImage(width, height);
    const Bytes untinted = ZeroDetection(colour, 0);
    GasDetectionDifference detector;
    long long before = PixelPrimitivesAllocationCount();
    for (int t = 1; t <= 4; ++t) {
        const int shift = t % 2 == 0 ? 0 : -2;
        SCOPED_TRACE(testing::Message() << "frame " << t << " shift " << shift);
        const TintQuality q = Quality(TintedPixels(Overlay(detector, scene.Frame(t, shift, 1, true),
                                                           ref, width, height, colour),
                                                   untinted),
                                      scene, 8.0);
        EXPECT_GT(q.recall, 0.5);
        EXPECT_LT(q.strayShare, 0.02);
        if (t == 1) {  // the first frame allocates, the stream after it nothing
            EXPECT_GT(PixelPrimitivesAllocationCount(), before);
            before = PixelPrimitivesAllocationCount();
        }
    }
    EXPECT_EQ(PixelPrimitivesAllocationCount(), before);
    // Copies carry the stabiliser and the parameters.
    detector.SetSensitivityThreshold(15);
    GasDetectionDifference copy(detector);
    GasDetectionDifference assigned;
    assigned = detector;
    const Frame next = scene.Frame(5, 1, 1, true);
    const Bytes expected = Overlay(detector, next, ref, width, height, colour);
    EXPECT_EQ(Overlay(copy, next, ref, width, height, colour), expected);
    EXPECT_EQ(Overlay(assigned, next, ref, width, height, colour), expected);
}

// The aligned reference's edges are kept while the reference and its shift repeat.
TEST(GasDetectionDifference, KeptReferenceChangesNoOverlay) {
    ExpectStreamMatchesFreshDetectors<GasDetectionDifference>();
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
