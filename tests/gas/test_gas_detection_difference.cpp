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

Bytes Detect(GasDetectionDifference& detector, const Frame& src, const Frame& ref, int width,
             int height, const Bytes& colour) {
    Bytes colourCopy = colour;
    Bytes out(colour.size(), 0);
    detector.Run(src.data(), width * 2, ref.data(), width * 2, colourCopy.data(), width * 4,
                 out.data(), width * 4, width, height);
    return out;
}

// A smooth frame (a gentle ramp, so that it has a little edge everywhere) with a square of
// `delta` counts in its middle; `span` sets one corner pixel to widen the frame's range.
Frame SquareFrame(int width, int height, int delta, int span = 0) {
    Frame frame(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool inSquare =
                x >= width / 4 && x < width * 3 / 4 && y >= height / 4 && y < height * 3 / 4;
            frame[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint16_t>(2000 + x + y + (inSquare ? delta : 0));
        }
    }
    if (span > 0) {
        frame[0] = 0;
        frame[1] = static_cast<std::uint16_t>(span);
    }
    return frame;
}

std::size_t CountTinted(const Bytes& overlay, const Bytes& colour) {
    std::size_t n = 0;
    for (bool t : TintedPixels(overlay, ZeroDetection(colour, 0))) {
        n += t;
    }
    return n;
}

TEST(GasDetectionDifference, IdenticalFramesAndTinyFramesRenderNoDetection) {
    const int width = 64, height = 48;
    SyntheticPlume scene(width, height);
    const Frame frame = scene.Frame(0, 0, 0, true);
    const Bytes colour = ColourImage(width, height);
    for (int method : {0, 1, 2, 9}) {
        GasDetectionDifference detector;
        detector.SetUseImageStabilisation(false);
        detector.SetColorizationMethod(method);
        EXPECT_EQ(Detect(detector, frame, frame, width, height, colour),
                  ZeroDetection(colour, method));
    }
    // Nothing fits inside the 7x7 filter's reach of a frame 7 pixels across or down.
    for (int size : {1, 7}) {
        const Frame small(static_cast<std::size_t>(size) * 20, 100);
        const Frame other(static_cast<std::size_t>(size) * 20, 300);
        const Bytes smallColour = ColourImage(size, 20);
        GasDetectionDifference detector;
        EXPECT_EQ(Detect(detector, other, small, size, 20, smallColour),
                  ZeroDetection(smallColour, 0));
    }
}

// With the edge weighting the sign of the difference reverses: a warm square in the current
// frame tints only without it, a cold one only with it.
TEST(GasDetectionDifference, EdgeFactorDecidesWhichSignTints) {
    const int width = 96, height = 80;
    const Frame ref = SquareFrame(width, height, 0);
    const Frame warm = SquareFrame(width, height, 60);
    const Frame cold = SquareFrame(width, height, -60);
    const Bytes colour = ColourImage(width, height);
    GasDetectionDifference detector;
    detector.SetUseImageStabilisation(false);
    detector.SetEdgeFactor(0);
    EXPECT_GT(CountTinted(Detect(detector, warm, ref, width, height, colour), colour), 500u);
    EXPECT_EQ(CountTinted(Detect(detector, cold, ref, width, height, colour), colour), 0u);
    detector.SetEdgeFactor(8);
    EXPECT_EQ(CountTinted(Detect(detector, warm, ref, width, height, colour), colour), 0u);
    EXPECT_GT(CountTinted(Detect(detector, cold, ref, width, height, colour), colour), 500u);
}

// The threshold is the sensitivity plus a thousandth of the current frame's range: 20 + 10 for
// a frame spanning 0..10000.
TEST(GasDetectionDifference, ThresholdGrowsWithTheFrameRange) {
    const int width = 96, height = 80;
    const Frame ref = SquareFrame(width, height, 0, 10000);
    const Bytes colour = ColourImage(width, height);
    GasDetectionDifference detector;
    detector.SetUseImageStabilisation(false);
    detector.SetEdgeFactor(0);
    EXPECT_EQ(CountTinted(Detect(detector, SquareFrame(width, height, 29, 10000), ref, width,
                                 height, colour),
                          colour),
              0u);
    EXPECT_GT(CountTinted(Detect(detector, SquareFrame(width, height, 31, 10000), ref, width,
                                 height, colour),
                          colour),
              500u);
    // Without the range the same square clears the bare sensitivity.
    EXPECT_GT(CountTinted(Detect(detector, SquareFrame(width, height, 29),
                                 SquareFrame(width, height, 0), width, height, colour),
                          colour),
              500u);
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
        const TintQuality q = Quality(TintedPixels(Detect(detector, scene.Frame(t, shift, 1, true),
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
    const Bytes expected = Detect(detector, next, ref, width, height, colour);
    EXPECT_EQ(Detect(copy, next, ref, width, height, colour), expected);
    EXPECT_EQ(Detect(assigned, next, ref, width, height, colour), expected);
}

// The aligned reference's edges are kept while the reference and its shift repeat.
TEST(GasDetectionDifference, KeptReferenceChangesNoOverlay) {
    ExpectStreamMatchesFreshDetectors<GasDetectionDifference>();
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
