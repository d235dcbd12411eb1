#include <Varnik/Soloma/ImageProcessing/DDE.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::DDE;

namespace {

using Frame = TestImage<unsigned short>;

// The spatial table as Init describes it: Gaussian weights of the (2r + 1)² window row by
// row, each divided by their single-precision sum.
std::vector<float> GaussianTable(int kernelSize, float sigma) {
    const int n = (kernelSize - 1) / 2 * 2 + 1;
    const float s2 = sigma * sigma, inverseTwoS2 = 1.0f / (s2 * 2.0f),
                norm = 1.0f / (s2 * 6.2831855f);
    std::vector<float> table;
    float sum = 0.0f;
    for (int k = 0; k < n * n; ++k) {
        const int dx = k % n - n / 2, dy = k / n - n / 2;
        table.push_back(expf(-((float)(dx * dx) + (float)(dy * dy)) * inverseTwoS2) * norm);
        sum += table.back();
    }
    for (float& w : table) {
        w /= sum;
    }
    return table;
}

// Both passes pixel by pixel, straight from their description: clamped neighbours, window
// order dy then dx, single precision.
std::vector<int> Reference(const Frame& src, const std::vector<float>& table, float baseSharpen,
                           float detailGain) {
    const int w = src.Width(), h = src.Height();
    const int n = static_cast<int>(std::lround(std::sqrt(table.size())));
    const std::vector<int> pixels = Pixels(src);
    const auto [lo, hi] = std::minmax_element(pixels.begin(), pixels.end());
    if (*lo == *hi) {  // a flat frame comes back as it is
        return pixels;
    }
    const float threshold = (float)(*hi - *lo) * 0.75f, invThreshold = 1.0f / threshold;
    auto at = [&](const std::vector<float>& image, int p, int k) {
        const int x = p % w + k % n - n / 2, y = p / w + k / n - n / 2;
        return image[std::clamp(y, 0, h - 1) * w + std::clamp(x, 0, w - 1)];
    };
    const std::vector<float> source(pixels.begin(), pixels.end());
    std::vector<float> base(w * h), detail(w * h);
    for (int p = 0; p < w * h; ++p) {
        float sumW = 0.0f, sumWV = 0.0f;
        for (int k = 0; k < n * n; ++k) {
            const float v = at(source, p, k), d = std::fabs(source[p] - v);
            const float weight = (d >= threshold ? 0.0f : 1.0f - d * invThreshold) * table[k];
            sumW += weight;
            sumWV += weight * v;
        }
        base[p] = sumWV / sumW;
        detail[p] = (source[p] - base[p]) * detailGain;
    }
    std::vector<int> out;
    for (int p = 0; p < w * h; ++p) {
        float g = 0.0f;
        for (int k = 0; k < n * n; ++k) {
            g += table[k] * at(base, p, k);
        }
        const float value = ((base[p] - g) * baseSharpen + base[p]) + (detail[p] + 0.5f);
        out.push_back(value < 0.0f ? 0 : value >= 65535.0f ? 65535 : (int)value);
    }
    return out;
}

std::vector<int> Enhance(DDE& dde, const Frame& src, float baseSharpen, float detailGain) {
    Frame dst(src.Width(), src.Height());
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), baseSharpen, detailGain,
               src.Width(), src.Height());
    EXPECT_TRUE(dst.OutsideUntouched());
    return Pixels(dst);
}

}  // namespace

// Bit for bit, on frames smaller and larger than the window and wider than one block of
// columns, for each family of window: one tap, whole rows in one part, rows in several runs
// (in place, saturating at both ends), and one row in pieces. Neighbours past the border
// repeat it. Teams of 1 to 3 threads take the rows.
TEST(DDE, MatchesReferenceBitExactly) {
    const int threads = omp_get_max_threads();
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.insert(sizes.end(), {{2, 3}, {300, 4}});
    const std::pair<float, float> gains[] = {{0.5f, 2.0f}, {3.0f, 0.25f}, {-1.0f, 7.0f}};
    unsigned seed = 1;
    for (int kernelSize : {1, 3, 9}) {
        DDE dde(kernelSize, 2.0f);
        const std::vector<float> table = GaussianTable(kernelSize, 2.0f);
        for (RegionSize size : sizes) {
            const Frame src = RandomFrame(size.width, size.height, 900, 1300 + seed * 97, seed);
            for (auto [baseSharpen, detailGain] : gains) {
                omp_set_num_threads(1 + seed++ % 3);
                EXPECT_EQ(Enhance(dde, src, baseSharpen, detailGain),
                          Reference(src, table, baseSharpen, detailGain))
                    << kernelSize << " " << size.width << "x" << size.height;
            }
            EXPECT_TRUE(src.Untouched());
        }
    }
    omp_set_num_threads(threads);
    Frame src = RandomFrame(150, 5, 0, 65535, 99);
    const std::vector<int> expected = Reference(src, GaussianTable(31, 20.0f), 1.5f, 3.0f);
    DDE large(31, 20.0f);
    large.Create(src.Data(), src.Pitch(), src.Data(), src.Pitch(), 1.5f, 3.0f, 150, 5);
    EXPECT_EQ(Pixels(src), expected);
    EXPECT_TRUE(std::count(expected.begin(), expected.end(), 0) > 20 &&
                std::count(expected.begin(), expected.end(), 65535) > 20);
    // Gains 0 leave the rounded base, which moves by several counts for every column of taps
    // lost. A window this wide goes through the row in pieces.
    Frame three(3, 1);
    three.Fill([](int x, int) { return 2000 + 30000 * x; });
    DDE huge(1923, 1000.0f);
    EXPECT_EQ(Enhance(huge, three, 0.0f, 0.0f),
              Reference(three, GaussianTable(1923, 1000.0f), 0.0f, 0.0f));
}

// Left half 0, right half 3006, and one pixel of 4008 far away: the step is exactly the
// threshold, 0.75 * 4008, where the triangle formula alone would still give 2^-24. Any weight
// from the right would lift the left pixels' base above 0, which the huge negative gain turns
// into a visible output.
TEST(DDE, StepEdgeOfThresholdTakesNoWeightAcross) {
    Frame src(24, 12);
    src.Fill([](int x, int y) { return x == 23 && y == 11 ? 4008 : x < 12 ? 0 : 3006; });
    DDE dde(5, 2.0f);
    const std::vector<int> out = Enhance(dde, src, 0.0f, -1.0e6f);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(out[y * 24 + 11], 0) << y;
    }
}

// Kernel 1 or sigma 0 keep only the centre; gains 0 and 1 give the source back; an even size is
// the odd one below it; a sigma too large for single precision weighs the window evenly; a flat
// frame comes back as it is whatever the gains. Without a table, or for an empty region,
// nothing is written.
TEST(DDE, NeutralSettingsAndUnsafeInputs) {
    const Frame src = RandomFrame(37, 21, 3000, 9000, 7);
    DDE single(1, 1.5f), sharp(5, 0.0f), three(3, 1.2f), four(4, 1.2f), even(5, 1.0e30f);
    EXPECT_EQ(Enhance(single, src, 4.0f, 9.0f), Pixels(src));
    EXPECT_EQ(Enhance(sharp, src, 2.0f, 3.0f), Pixels(src));
    EXPECT_EQ(Enhance(three, src, 0.0f, 1.0f), Pixels(src));
    EXPECT_EQ(Enhance(four, src, 2.0f, 3.0f), Enhance(three, src, 2.0f, 3.0f));
    EXPECT_EQ(Enhance(even, src, 2.0f, 3.0f),
              Reference(src, std::vector<float>(25, 1.0f / 25.0f), 2.0f, 3.0f));
    Frame flat(17, 6), dst(37, 21);
    flat.Fill([](int, int) { return 4321; });
    EXPECT_EQ(Enhance(three, flat, 5.0f, -3.0f), Pixels(flat));
    DDE none, zero(0, 1.0f), huge(50000, 1.0f), lowest(INT_MIN, 1.0f);
    for (DDE* dde : {&none, &zero, &huge, &lowest}) {
        dde->Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 37, 21);
    }
    three.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 0, 21);
    three.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 37, -1);
    EXPECT_TRUE(dst.Untouched());
}

// A stream of frames of one size allocates nothing; copies own their buffers.
TEST(DDE, SteadyStateAndCopies) {
    const Frame src = RandomFrame(40, 20, 500, 5000, 15);
    const std::vector<int> expected = Reference(src, GaussianTable(5, 1.5f), 1.0f, 2.0f);
    auto original = std::make_unique<DDE>(5, 1.5f);
    Enhance(*original, src, 1.0f, 2.0f);
    const long long start = PixelPrimitivesAllocationCount();
    EXPECT_EQ(Enhance(*original, src, 1.0f, 2.0f), expected);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 0);
    DDE copy(*original), assigned(3, 1.0f), unused(5, 1.5f);
    assigned = *original;
    DDE copyOfUnused(unused);
    original.reset();  // the copies must not depend on their source
    for (DDE* dde : {&copy, &assigned, &copyOfUnused}) {
        EXPECT_EQ(Enhance(*dde, src, 1.0f, 2.0f), expected);
    }
}

// Frames whose tiles mostly span less than the threshold (a gentle slope with noise) but hold
// a few spikes that do, so that both the tiles that skip the threshold test and those that
// need it, and spans just either side of it, are compared with the reference bit for bit.
TEST(DDE, SmoothTilesAndSpikesMatchReference) {
    std::mt19937 rng(3);
    for (int kernelSize : {3, 5, 9}) {
        DDE dde(kernelSize, 1.5f);
        const std::vector<float> table = GaussianTable(kernelSize, 1.5f);
        for (RegionSize size : {RegionSize{300, 9}, RegionSize{129, 14}, RegionSize{17, 5}}) {
            Frame src(size.width, size.height);
            src.Fill([&](int x, int y) { return 10000 + 3 * x + 5 * y + rng() % 40; });
            // Frame range about 1000: spikes of 700 to 800 sit at the threshold of 0.75 * range.
            for (int i = 0; i < 6; ++i) {
                src.At(rng() % size.width, rng() % size.height) += 700 + rng() % 100;
            }
            EXPECT_EQ(Enhance(dde, src, 1.5f, 2.5f), Reference(src, table, 1.5f, 2.5f))
                << kernelSize << " " << size.width << "x" << size.height;
        }
    }
}

// Windows of 5 to 13 (and an even 6) on strips one pixel wide or high, frames narrower than the
// window, and frames wider than a strip of columns, by teams of 1 to 3 threads: each frame is
// smooth on the left (no pair reaches the threshold) and steps sharply on the right (many do).
TEST(DDE, SmoothAndSteppedFramesMatchReferenceForEveryWindow) {
    const int threads = omp_get_max_threads();
    const RegionSize sizes[] = {{1, 30}, {30, 1}, {3, 2}, {5, 11}, {130, 9}, {201, 6}};
    std::mt19937 rng(11);
    int run = 0;
    for (int kernelSize : {5, 6, 7, 11, 13}) {
        DDE dde(kernelSize, 1.7f);
        const std::vector<float> table = GaussianTable(kernelSize, 1.7f);
        for (RegionSize size : sizes) {
            Frame src(size.width, size.height);
            src.Fill([&](int x, int y) {
                const int noise = static_cast<int>(rng() % 30);
                if (x < size.width / 2) {
                    return 20000 + 7 * x - 3 * y + noise;
                }
                return ((x / 3 + y / 2) % 3) * 9000 + 11000 + noise;
            });
            omp_set_num_threads(1 + run++ % 3);
            EXPECT_EQ(Enhance(dde, src, 1.25f, 3.5f), Reference(src, table, 1.25f, 3.5f))
                << kernelSize << " " << size.width << "x" << size.height;
        }
    }
    omp_set_num_threads(threads);
}

// Init on an object that already holds images of the frame's size: the images' border columns
// follow the new window, widening for a larger one (widths on both sides of a block of columns).
TEST(DDE, NewWindowOnTheSameFrameSize) {
    DDE dde(3, 1.5f);
    for (int width : {63, 64, 65}) {
        const Frame src = RandomFrame(width, 12, 100, 60000, width);
        for (int kernelSize : {3, 31, 5}) {
            dde.Init(kernelSize, 1.5f);
            EXPECT_EQ(Enhance(dde, src, 0.75f, 1.5f),
                      Reference(src, GaussianTable(kernelSize, 1.5f), 0.75f, 1.5f))
                << kernelSize << " " << width;
        }
    }
}
