#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/SpectrumPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "GasOverlayChecks.h"
#include "StreamChecks.h"
#include "SyntheticPlume.h"

namespace Varnik::Soloma::ImageProcessing {

// Reaches the detector's block grid, maps and carried level.
struct GasDetectionProbe {
    static bool Init(GasDetection& d, int width, int height) { return d.Init(width, height); }
    static void MaxFFT2(GasDetection& d, const float* src, int srcStep, float* dst, int dstStep,
                        int width, int height) {
        d.MaxFFT2(src, srcStep, dst, dstStep, width, height);
    }
    // Drops the kept row spectra, so that every block's rows are transformed on their own.
    static void SumBlocksAlone(GasDetection& d) { d._rowSpectra.Release(); }
    static float UpdateLevel(GasDetection& d, double mean) { return d.UpdateLevel(mean); }
    static float Level(const GasDetection& d) { return d._smoothedLevel; }
    static float PreviousMean(const GasDetection& d) { return d._previousMean; }
    static int GridWidth(const GasDetection& d) { return d._gridWidth; }
    static int GridHeight(const GasDetection& d) { return d._gridHeight; }
    static const float* Window(const GasDetection& d) { return d._window.Get(); }
    static const ImageStabilization* Stabilizer(const GasDetection& d) {
        return d._stabilizer.Get();
    }
    static const detail::ImageBuffer<float>& Grid(const GasDetection& d) { return d._grid; }
};

namespace {

using Probe = GasDetectionProbe;
using Frame = std::vector<std::uint16_t>;
using Bytes = std::vector<unsigned char>;

float At(const float* image, int step, int x, int y) {
    return reinterpret_cast<const float*>(reinterpret_cast<const unsigned char*>(image) +
                                          static_cast<std::ptrdiff_t>(step) * y)[x];
}

// The block measures summed one block at a time, each block transposed for its columns.
std::vector<float> ReferenceMeasures(const float* src, int srcStep, int width, int height, int n,
                                     int step, int mode, const float* window, int gridWidth,
                                     int gridHeight) {
    SpectrumPrimitives spectrum(n);
    std::vector<float> power(n, 0.0f), sums(n), transposed(static_cast<std::size_t>(n) * n);
    std::vector<float> grid(static_cast<std::size_t>(gridWidth) * gridHeight, 0.0f);
    const int hw = static_cast<int>(static_cast<float>(n) * 0.5f);
    auto maximum = [&](const float* rows, int rowsStep) {
        VectorPrimitives::Zero_32f(sums.data(), n);
        for (int r = 0; r < n; ++r) {
            spectrum.PsdFFT(rows + static_cast<std::ptrdiff_t>(rowsStep / 4) * r, window,
                            power.data(), n);
            VectorPrimitives::Add_32f_I(power.data(), sums.data(), n);
        }
        float m = 0.0f;
        VectorPrimitives::Max_32f(sums.data(), n, &m);
        return m;
    };
    int row = 0;
    for (int y = hw - 1; y < height - hw; y += step) {
        if (y - hw + n >= height) {
            continue;
        }
        int column = 0;
        for (int x = hw - 1; x < width - hw; x += step) {
            if (x - hw + n >= width) {
                continue;
            }
            const float* block =
                src + static_cast<std::ptrdiff_t>(srcStep / 4) * (y - hw + 1) + (x - hw + 1);
            float rows = 0.0f, columns = 0.0f;
            if (mode != 1) {
                rows = maximum(block, srcStep);
            }
            if (mode != 0) {
                PixelPrimitives::Transpose_32f_C1R(block, srcStep, transposed.data(), n * 4, n, n);
                columns = maximum(transposed.data(), n * 4);
            }
            grid[static_cast<std::size_t>(row) * gridWidth + column] =
                mode == 0   ? rows
                : mode == 1 ? columns
                            : (rows < columns ? rows : columns);
            ++column;
        }
        ++row;
    }
    return grid;
}

std::vector<float> RandomImage(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    std::vector<float> image(static_cast<std::size_t>(width) * height);
    for (float& v : image) {
        v = value(rng);
    }
    return image;
}

// The 29 x 39 blocks of a 640 x 480 frame, the last covering rows 448..479 and columns
// 608..639, all get a measure.
TEST(GasDetection, BlockGridCoversTheFrame) {
    const int width = 640, height = 480;
    SyntheticPlume scene(width, height);
    GasDetection detector;
    Overlay(detector, scene.Frame(1, 0, 0, true), scene.Frame(0, 0, 0, false), width, height,
            ColourImage(width, height));
    ASSERT_EQ(Probe::GridWidth(detector), 39);
    ASSERT_EQ(Probe::GridHeight(detector), 29);
    const auto& grid = Probe::Grid(detector);
    for (int y = 0; y < 29; ++y) {
        for (int x = 0; x < 39; ++x) {
            ASSERT_GT(At(grid.Get(), grid.Pitch(), x, y), 0.0f) << x << "," << y;
        }
    }
}

// Block measures equal those of summing every block alone, to the bit, whatever the block
// size, distance (overlapping, abutting, with gaps) and spectral direction.
TEST(GasDetection, SharedSegmentSpectraGiveTheBlockByBlockMeasures) {
    struct Case {
        int width, height, window, step;
    };
    for (Case c :
         {Case{96, 80, 32, 16}, Case{97, 71, 31, 16}, Case{64, 50, 16, 5}, Case{60, 44, 8, 8},
          Case{70, 61, 8, 12}, Case{45, 40, 33, 1}, Case{40, 36, 2, 3}}) {
        std::vector<float> image = RandomImage(c.width, c.height, c.window * 100 + c.step);
        // Zero rows and columns, as the border band of a difference has them: their segments
        // add nothing (nor do -0 values).
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                if (y < c.window / 2 || (x >= 3 && x < 3 + c.window)) {
                    image[static_cast<std::size_t>(y) * c.width + x] = (x + y) % 2 ? 0.0f : -0.0f;
                }
            }
        }
        for (int mode : {0, 1, 2, 7}) {
            for (bool alone : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << c.width << "x" << c.height << " window " << c.window << " step "
                             << c.step << " mode " << mode << (alone ? " alone" : ""));
                GasDetection detector(mode, c.window, c.step, 8, 3.5f, 0.0f);
                ASSERT_TRUE(Probe::Init(detector, c.width, c.height));
                if (alone) {
                    Probe::SumBlocksAlone(detector);
                }
                const int gw = Probe::GridWidth(detector), gh = Probe::GridHeight(detector);
                std::vector<float> grid(static_cast<std::size_t>(gw) * gh, 0.0f);
                Probe::MaxFFT2(detector, image.data(), c.width * 4, grid.data(), gw * 4, c.width,
                               c.height);
                EXPECT_EQ(grid,
                          ReferenceMeasures(image.data(), c.width * 4, c.width, c.height, c.window,
                                            c.step, mode, Probe::Window(detector), gw, gh));
            }
        }
    }
}

TEST(GasDetection, IdenticalFramesRenderNoDetection) {
    ExpectEqualFramesShowNothing<GasDetection>(160, 120);
}

// Frames whose overlay is made in the colour image itself give the same overlay.
TEST(GasDetection, OverlayInPlaceAndBorderBandUntinted) {
    const int width = 160, height = 128;
    SyntheticPlume scene(width, height);
    const Frame src = scene.Frame(2, 0, 0, true), ref = scene.Frame(0, 0, 0, false);
    const Bytes colour = ColourImage(width, height);
    GasDetection separate, inPlace;
    const Bytes overlay = Overlay(separate, src, ref, width, height, colour);
    Bytes image = colour;
    inPlace.Run(src.data(), width * 2, ref.data(), width * 2, image.data(), width * 4, image.data(),
                width * 4, width, height);
    EXPECT_EQ(image, overlay);

    const std::vector<bool> tinted = TintedPixels(overlay, ZeroDetection(colour, 0));
    std::size_t inside = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool band = x < 16 || y < 16 || x >= width - 16 || y >= height - 16;
            const bool t = tinted[static_cast<std::size_t>(y) * width + x];
            ASSERT_FALSE(band && t) << x << "," << y;
            inside += t;
        }
    }
    EXPECT_GT(inside, 0u);
}

// The level is damped towards each frame's mean (not at all by a dampening of 0 or less), or
// is the previous frame's mean (0 for the first frame); a mean that is not a number leaves the
// level and the previous mean as they were.
TEST(GasDetection, LevelSmoothingAndPreviousMean) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    GasDetection damped(2, 32, 16, 8, 3.5f, 0.5f), plain(2, 32, 16, 8, 3.5f, -0.5f), previous;
    previous.SetUseMeanFromPreviousImage(true);
    const std::vector<std::tuple<GasDetection*, double, float>> steps = {
        {&damped, 4.0, 2.0f},   {&damped, 4.0, 3.0f},
        {&damped, 4.0, 3.5f},   {&damped, nan, 3.5f},
        {&plain, 4.0, 4.0f},    {&plain, 9.0, 9.0f},
        {&previous, 6.0, 0.0f}, {&previous, 8.0, 6.0f},
        {&previous, nan, 6.0f}, {&previous, std::numeric_limits<double>::infinity(), 6.0f}};
    for (const auto& [detector, mean, level] : steps) {
        EXPECT_EQ(Probe::UpdateLevel(*detector, mean), level) << mean;
        EXPECT_EQ(Probe::Level(*detector), level) << mean;
    }
    EXPECT_EQ(Probe::PreviousMean(previous), 8.0f);
}

TEST(GasDetection, SettersKeepOrRebuildTheBlockGrid) {
    const int width = 160, height = 128;
    SyntheticPlume scene(width, height);
    const Frame src = scene.Frame(3, 0, 0, true), ref = scene.Frame(0, 0, 0, false);
    const Bytes colour = ColourImage(width, height);

    GasDetection detector;
    Overlay(detector, src, ref, width, height, colour);
    const float* grid = Probe::Grid(detector).Get();
    detector.SetPsdStep(16);
    detector.SetWindowSize(32);
    EXPECT_EQ(Probe::Grid(detector).Get(), grid);

    detector.SetPsdStep(8);
    EXPECT_FALSE(Probe::Grid(detector));
    detector.SetWindowSize(24);
    GasDetection fresh(2, 24, 8, 8, 3.5f, 0.0f);
    EXPECT_EQ(Overlay(detector, src, ref, width, height, colour),
              Overlay(fresh, src, ref, width, height, colour));
    EXPECT_EQ(Probe::GridWidth(detector), (160 - 24) / 8 + 1);
}

// The aligned reference's edges are kept while the reference and its shift repeat.
TEST(GasDetection, KeptReferenceChangesNoOverlay) {
    ExpectStreamMatchesFreshDetectors<GasDetection>();
}

TEST(GasDetection, StabilisationSwitchesAndCopiesCarryState) {
    const int width = 200, height = 160;
    SyntheticPlume scene(width, height);
    const Frame ref = scene.Frame(0, 0, 0, false);
    const Frame moved = scene.Frame(1, 3, -2, true);
    const Bytes colour = ColourImage(width, height);

    GasDetection stabilised, unstabilised;
    unstabilised.SetUseImageStabilisation(false);
    // The stabiliser moves the reference onto the current frame, which makes a difference
    // only while it is on.
    const Bytes aligned = Overlay(stabilised, moved, ref, width, height, colour);
    EXPECT_NE(Overlay(unstabilised, moved, ref, width, height, colour), aligned);
    EXPECT_EQ(Probe::Stabilizer(stabilised)->GetDx(), -3);
    EXPECT_EQ(Probe::Stabilizer(stabilised)->GetDy(), 2);
    EXPECT_EQ(Probe::Stabilizer(unstabilised), nullptr);

    // Copies (constructed and assigned) carry the smoothed level and the stabiliser, and
    // produce the source's next overlay.
    GasDetection source(2, 32, 16, 8, 3.5f, 0.7f);
    source.SetUseMeanFromPreviousImage(true);
    Overlay(source, moved, ref, width, height, colour);
    Overlay(source, scene.Frame(2, 3, -2, true), ref, width, height, colour);
    GasDetection constructed(source);
    GasDetection assigned;
    assigned = source;
    assigned = assigned;
    EXPECT_EQ(Probe::Level(constructed), Probe::Level(source));
    EXPECT_EQ(Probe::PreviousMean(assigned), Probe::PreviousMean(source));
    const Frame next = scene.Frame(3, 2, -2, true);
    const Bytes expected = Overlay(source, next, ref, width, height, colour);
    EXPECT_EQ(Overlay(constructed, next, ref, width, height, colour), expected);
    EXPECT_EQ(Overlay(assigned, next, ref, width, height, colour), expected);
}

// Parameters that cannot be processed, and frames without any edge, render the colour image
// as for no detection and leave the carried level alone.
TEST(GasDetection, UnprocessableInputRendersNoDetection) {
    const int width = 96, height = 80;
    SyntheticPlume scene(width, height);
    const Frame src = scene.Frame(1, 0, 0, true), ref = scene.Frame(0, 0, 0, false);
    const Bytes colour = ColourImage(width, height);
    struct Params {
        int window, step;
    };
    for (Params p : {Params{32, 0}, Params{32, -3}, Params{1, 16}, Params{0, 16}, Params{80, 16},
                     Params{200, 16}}) {
        GasDetection detector(2, p.window, p.step, 8, 3.5f, 0.5f);
        detector.SetColorizationMethod(1);
        EXPECT_EQ(Overlay(detector, src, ref, width, height, colour), ZeroDetection(colour, 1))
            << p.window << " " << p.step;
        EXPECT_EQ(Probe::Level(detector), 0.0f);
    }

    // Uniform frames have no edge anywhere: every weight is taken as -1 instead of 0/0, so
    // two equal ones show no detection and differing ones a finite level.
    const Frame low(static_cast<std::size_t>(width) * height, 1000);
    const Frame high(static_cast<std::size_t>(width) * height, 1010);
    GasDetection detector;
    detector.SetUseImageStabilisation(false);
    EXPECT_EQ(Overlay(detector, low, low, width, height, colour), ZeroDetection(colour, 0));
    EXPECT_EQ(Probe::Level(detector), 0.0f);
    Overlay(detector, high, low, width, height, colour);
    EXPECT_TRUE(std::isfinite(Probe::Level(detector)));
    EXPECT_GT(Probe::Level(detector), 0.0f);
}

// After the first frame, the stream of jittering frames allocates nothing.
TEST(GasDetection, FindsAPlumeWithAndWithoutJitter) {
    const int width = 320, height = 256;
    SyntheticPlume scene(width, height);
    const Frame ref = scene.Frame(0, 0, 0, false);
    const Bytes colour = ColourImage(width, height);
    const Bytes untinted = ZeroDetection(colour, 0);
    GasDetection detector;
    long long allocations = 0;
    for (int t = 1; t <= 4; ++t) {
        if (t == 2) {
            allocations = PixelPrimitivesAllocationCount();
        }
        const int shift = t % 2 == 0 ? 0 : 3;
        SCOPED_TRACE(testing::Message() << "frame " << t << " shift " << shift);
        const TintQuality q = Quality(
            TintedPixels(
                Overlay(detector, scene.Frame(t, shift, -shift, true), ref, width, height, colour),
                untinted),
            scene, 24.0);
        EXPECT_GT(q.recall, 0.6);
        EXPECT_LT(q.strayShare, 0.02);
    }
    EXPECT_EQ(PixelPrimitivesAllocationCount(), allocations);
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
