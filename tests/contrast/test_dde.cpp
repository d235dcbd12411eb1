#include <Varnik/Soloma/ImageProcessing/DDE.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
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
    const int r = (kernelSize - 1) / 2;
    const float s2 = sigma * sigma;
    const float inverseTwoS2 = 1.0f / (s2 * 2.0f);
    const float norm = 1.0f / (s2 * 6.2831855f);
    std::vector<float> table;
    float sum = 0.0f;
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
            table.push_back(expf(-((float)(dx * dx) + (float)(dy * dy)) * inverseTwoS2) * norm);
            sum += table.back();
        }
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
    const int r = (static_cast<int>(std::lround(std::sqrt(table.size()))) - 1) / 2;
    int lo = 65535, hi = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            lo = std::min<int>(lo, src.At(x, y));
            hi = std::max<int>(hi, src.At(x, y));
        }
    }
    if (lo == hi) {  // a flat frame comes back as it is
        std::vector<int> same(w * h, lo);
        return same;
    }
    const float threshold = (float)(hi - lo) * 0.75f;
    const float invThreshold = 1.0f / threshold;
    auto at = [&](const std::vector<float>& image, int x, int y) {
        return image[std::clamp(y, 0, h - 1) * w + std::clamp(x, 0, w - 1)];
    };
    std::vector<float> source(w * h), base(w * h), detail(w * h);
    for (int i = 0; i < w * h; ++i) {
        source[i] = src.At(i % w, i / w);
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float c = source[y * w + x];
            float sumW = 0.0f, sumWV = 0.0f;
            for (int dy = -r, k = 0; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx, ++k) {
                    const float v = at(source, x + dx, y + dy);
                    float weight = std::fabs(c - v) >= threshold
                                       ? 0.0f
                                       : 1.0f - std::fabs(c - v) * invThreshold;
                    weight = weight * table[k];
                    sumW += weight;
                    sumWV += weight * v;
                }
            }
            base[y * w + x] = sumWV / sumW;
            detail[y * w + x] = (c - base[y * w + x]) * detailGain;
        }
    }
    std::vector<int> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float g = 0.0f;
            for (int dy = -r, k = 0; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx, ++k) {
                    g += table[k] * at(base, x + dx, y + dy);
                }
            }
            const float b = base[y * w + x];
            const float value = ((b - g) * baseSharpen + b) + (detail[y * w + x] + 0.5f);
            out.push_back(value < 0.0f ? 0 : value >= 65535.0f ? 65535 : (int)value);
        }
    }
    return out;
}

std::vector<int> Pixels(const Frame& image) {
    std::vector<int> pixels;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            pixels.push_back(image.At(x, y));
        }
    }
    return pixels;
}

Frame RandomFrame(int width, int height, int lo, int hi, unsigned seed) {
    std::mt19937 rng(seed);
    Frame frame(width, height);
    frame.FillRandom(rng, lo, hi);
    return frame;
}

std::vector<int> Enhance(DDE& dde, const Frame& src, float baseSharpen, float detailGain) {
    Frame dst(src.Width(), src.Height());
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), baseSharpen, detailGain,
               src.Width(), src.Height());
    EXPECT_TRUE(dst.OutsideUntouched());
    return Pixels(dst);
}

}  // namespace

// Bit for bit, on frames smaller and larger than the window, wider than one block of columns,
// and with a window wider than one source segment.
TEST(DDE, MatchesReferenceBitExactly) {
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.insert(sizes.end(), {{2, 3}, {4, 4}, {300, 4}, {600, 2}});
    const std::pair<float, float> gains[] = {{0.5f, 2.0f}, {3.0f, 0.25f}, {-1.0f, 7.0f}};
    unsigned seed = 1;
    for (int kernelSize : {1, 3, 4, 5, 9}) {
        DDE dde(kernelSize, 2.0f);
        const std::vector<float> table = GaussianTable(kernelSize, 2.0f);
        for (RegionSize size : sizes) {
            const Frame src = RandomFrame(size.width, size.height, 900, 1300 + seed * 97, seed);
            ++seed;
            for (auto [baseSharpen, detailGain] : gains) {
                EXPECT_EQ(Enhance(dde, src, baseSharpen, detailGain),
                          Reference(src, table, baseSharpen, detailGain))
                    << kernelSize << " " << size.width << "x" << size.height;
            }
            EXPECT_TRUE(src.Untouched());
        }
    }
    // A window that goes in runs of rows, on a frame whose output saturates at both ends;
    // in place.
    Frame src = RandomFrame(300, 7, 0, 65535, 99);
    const std::vector<int> expected = Reference(src, GaussianTable(41, 20.0f), 1.5f, 3.0f);
    DDE large(41, 20.0f);
    large.Create(src.Data(), src.Pitch(), src.Data(), src.Pitch(), 1.5f, 3.0f, 300, 7);
    EXPECT_EQ(Pixels(src), expected);
    EXPECT_GT(std::count(expected.begin(), expected.end(), 0), 50);
    EXPECT_GT(std::count(expected.begin(), expected.end(), 65535), 50);
    // One whose rows go in pieces. Gains 0 leave the rounded base, which moves by several
    // counts for every column of taps lost.
    Frame three(3, 1);
    three.Fill([](int x, int) { return 2000 + 30000 * x; });
    DDE huge(1923, 1000.0f);
    EXPECT_EQ(Enhance(huge, three, 0.0f, 0.0f),
              Reference(three, GaussianTable(1923, 1000.0f), 0.0f, 0.0f));
}

TEST(DDE, NeutralSettingsReproduceTheSource) {
    const Frame src = RandomFrame(37, 21, 3000, 9000, 7);
    DDE single(1, 1.5f);
    EXPECT_EQ(Enhance(single, src, 4.0f, 9.0f), Pixels(src));
    for (int kernelSize : {3, 5, 9}) {
        DDE dde(kernelSize, 1.5f);
        EXPECT_EQ(Enhance(dde, src, 0.0f, 1.0f), Pixels(src)) << kernelSize;
    }
    DDE four(4, 1.2f), three(3, 1.2f);
    EXPECT_EQ(Enhance(four, src, 2.0f, 3.0f), Enhance(three, src, 2.0f, 3.0f));
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

// Kernel 3: the top-left pixel's window holds it four times, its right and lower neighbours
// twice and its diagonal neighbour once. Gains 0 make the output the rounded base.
TEST(DDE, TopLeftWindowReplicatesTheBorder) {
    const int p00 = 1000, p10 = 1400, p01 = 1800, p11 = 2200;
    Frame src(6, 5);
    src.Fill([&](int x, int y) {
        return x == 0 && y == 0   ? p00
               : x == 1 && y == 0 ? p10
               : x == 0 && y == 1 ? p01
               : x == 1 && y == 1 ? p11
                                  : 3000;
    });
    const std::vector<float> g = GaussianTable(3, 1.0f);  // g[0] corner, g[1] edge, g[4] centre
    auto range = [](int v) { return 1.0 - std::abs(v - p00) / 1500.0; };
    const double parts[][2] = {
        {g[0] + 2 * g[1] + g[4], p00}, {g[2] + g[5], p10}, {g[6] + g[7], p01}, {g[8], p11}};
    double sumW = 0, sumWV = 0;
    for (const auto& [spatial, v] : parts) {
        sumW += spatial * range((int)v);
        sumWV += spatial * range((int)v) * v;
    }
    const double base = sumWV / sumW;
    ASSERT_GT(std::fabs(base - std::floor(base) - 0.5), 0.01);  // no rounding tie to fall on
    DDE dde(3, 1.0f);
    EXPECT_EQ(Enhance(dde, src, 0.0f, 0.0f)[0], std::lround(base));
}

TEST(DDE, UnsafeInputsAreHandled) {
    const Frame src = RandomFrame(13, 9, 100, 5000, 12);
    Frame dst(13, 9);
    DDE none;
    none.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 13, 9);
    DDE zero(0, 1.0f), negative(-3, 1.0f), huge(50000, 1.0f), sized(3, 1.0f);
    for (DDE* dde : {&zero, &negative, &huge}) {
        dde->Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 13, 9);
    }
    sized.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 0, 9);
    sized.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 13, -1);
    EXPECT_TRUE(dst.Untouched());

    // A flat frame comes back as it is, whatever the gains.
    Frame flat(17, 6);
    flat.Fill([](int, int) { return 4321; });
    EXPECT_EQ(Enhance(sized, flat, 5.0f, -3.0f), Pixels(flat));

    // Sigma 0 puts all weight on the centre; a sigma too large for single precision weighs
    // the window evenly.
    DDE sharp(5, 0.0f), flatWeights(5, 1.0e30f);
    EXPECT_EQ(Enhance(sharp, src, 2.0f, 3.0f), Pixels(src));
    EXPECT_EQ(Enhance(flatWeights, src, 2.0f, 3.0f),
              Reference(src, std::vector<float>(25, 1.0f / 25.0f), 2.0f, 3.0f));
}

TEST(DDE, ResultDoesNotDependOnThreadCount) {
    const Frame src = RandomFrame(301, 37, 2000, 30000, 13);
    DDE dde(9, 2.0f);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const std::vector<int> single = Enhance(dde, src, 1.0f, 2.0f);
    omp_set_num_threads(3);
    EXPECT_EQ(Enhance(dde, src, 1.0f, 2.0f), single);
    omp_set_num_threads(threads);
}

TEST(DDE, SteadyStateAllocatesNothing) {
    const Frame src = RandomFrame(64, 48, 100, 9000, 14);
    Frame dst(64, 48);
    long long start = PixelPrimitivesAllocationCount();
    DDE dde(5, 2.0f);
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 64, 48);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 3);  // the table and two images
    start = PixelPrimitivesAllocationCount();
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 64, 48);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 0);
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 1.0f, 1.0f, 32, 48);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 2);
}

TEST(DDE, CopiesWorkIndependently) {
    const Frame src = RandomFrame(40, 20, 500, 5000, 15);
    const std::vector<int> expected = Reference(src, GaussianTable(5, 1.5f), 1.0f, 2.0f);
    auto original = std::make_unique<DDE>(5, 1.5f);
    Enhance(*original, src, 1.0f, 2.0f);
    DDE copy(*original);
    DDE assigned(3, 1.0f);
    assigned = *original;
    assigned = assigned;
    DDE unused(5, 1.5f);
    DDE copyOfUnused(unused);
    original.reset();  // the copies must not depend on their source
    for (DDE* dde : {&copy, &assigned, &copyOfUnused}) {
        EXPECT_EQ(Enhance(*dde, src, 1.0f, 2.0f), expected);
    }
}
