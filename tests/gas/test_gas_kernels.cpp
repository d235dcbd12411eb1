#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "TestImage.h"
#include "gas/GasKernels.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using Image = TestImage<float>;

bool SameBits(const Image& x, const Image& y) {
    for (int r = 0; r < x.Height(); ++r) {
        if (std::memcmp(x.Pixel(0, r), y.Pixel(0, r), sizeof(float) * x.Width()) != 0) {
            return false;
        }
    }
    return true;
}

// Random values with a sprinkling of exact zeros, ones and values near the thresholds used.
Image Random(int width, int height, std::mt19937& rng, float lo, float hi) {
    Image image(width, height);
    image.FillRandom(rng, lo, hi);
    std::uniform_int_distribution<int> pick(0, 15);
    image.Fill([&](int x, int y) {
        const int p = pick(rng);
        return p == 0 ? 0.0f : p == 1 ? 1.0f : image.At(x, y);
    });
    return image;
}

// Each fused pass gives what the primitives it replaces give, to the bit, on strided images
// of odd widths.
TEST(GasKernels, FusedPassesEqualThePrimitiveChains) {
    std::mt19937 rng(11);
    for (int width : {1, 7, 33, 70}) {
        const int height = 9;
        SCOPED_TRACE(width);
        const Image a = Random(width, height, rng, -3.0f, 40.0f);
        const Image b = Random(width, height, rng, -3.0f, 40.0f);

        Image fused(width, height), chain(width, height);
        FrameDifference(a.Data(), a.Pitch(), b.Data(), b.Pitch(), fused.Data(), fused.Pitch(),
                        width, height, width / 3, 2, width - width / 3 - width / 4, 5);
        PixelPrimitives::Set_32f_C1(0.0f, chain.Data(), chain.Pitch(), width, height);
        if (width - width / 3 - width / 4 > 0) {
            PixelPrimitives::Sub_32f_C1(b.Pixel(width / 3, 2), b.Pitch(), a.Pixel(width / 3, 2),
                                        a.Pitch(), chain.Pixel(width / 3, 2), chain.Pitch(),
                                        width - width / 3 - width / 4, 5);
        }
        EXPECT_TRUE(SameBits(fused, chain));
        EXPECT_TRUE(fused.OutsideUntouched());

        fused = b;
        chain = b;
        AbsoluteDifference(a.Data(), a.Pitch(), fused.Data(), fused.Pitch(), width, height);
        PixelPrimitives::Sub_32f_C1I(a.Data(), a.Pitch(), chain.Data(), chain.Pitch(), width,
                                     height);
        PixelPrimitives::Abs_32f_C1I(chain.Data(), chain.Pitch(), width, height);
        EXPECT_TRUE(SameBits(fused, chain));

        fused = a;
        chain = a;
        const float sumMax =
            AddAndFindMax(b.Data(), b.Pitch(), fused.Data(), fused.Pitch(), width, height);
        PixelPrimitives::Add_32f_C1I(b.Data(), b.Pitch(), chain.Data(), chain.Pitch(), width,
                                     height);
        float expectedMax = 0.0f;
        PixelPrimitives::Max_32f_C1(chain.Data(), chain.Pitch(), width, height, &expectedMax);
        EXPECT_TRUE(SameBits(fused, chain));
        EXPECT_EQ(sumMax, expectedMax);

        // The weighting: a x factor, cut at 1, less one, into D.
        const float factor = 8.0f / 70.0f;
        fused = b;
        chain = b;
        Image weight = a;
        Image ones(width, height);
        ones.Fill([](int, int) { return 1.0f; });
        WeightDifference(a.Data(), a.Pitch(), fused.Data(), fused.Pitch(), factor, width, height);
        PixelPrimitives::MulC_32f_C1I(factor, weight.Data(), weight.Pitch(), width, height);
        PixelPrimitives::Threshold_GTVal_32f_C1I(weight.Data(), weight.Pitch(), width, height, 1.0f,
                                                 1.0f);
        PixelPrimitives::Sub_32f_C1I(ones.Data(), ones.Pitch(), weight.Data(), weight.Pitch(),
                                     width, height);
        PixelPrimitives::Mul_32f_C1I(weight.Data(), weight.Pitch(), chain.Data(), chain.Pitch(),
                                     width, height);
        EXPECT_TRUE(SameBits(fused, chain));

        // The threshold of the measures and their product with D.
        const float threshold = 12.5f;
        fused = b;
        chain = b;
        Image measures = a;
        Image magnitudes(width, height);
        float p = 0.0f, q = 0.0f, expectedP = 0.0f, expectedQ = 0.0f;
        ThresholdAndWeight(a.Data(), a.Pitch(), fused.Data(), fused.Pitch(), threshold, width,
                           height, &p, &q);
        PixelPrimitives::SubC_32f_C1I(threshold, measures.Data(), measures.Pitch(), width, height);
        PixelPrimitives::Threshold_LT_32f_C1I(measures.Data(), measures.Pitch(), width, height,
                                              0.0f);
        PixelPrimitives::Max_32f_C1(measures.Data(), measures.Pitch(), width, height, &expectedP);
        PixelPrimitives::Abs_32f_C1(chain.Data(), chain.Pitch(), magnitudes.Data(),
                                    magnitudes.Pitch(), width, height);
        PixelPrimitives::Max_32f_C1(magnitudes.Data(), magnitudes.Pitch(), width, height,
                                    &expectedQ);
        PixelPrimitives::Mul_32f_C1I(measures.Data(), measures.Pitch(), chain.Data(), chain.Pitch(),
                                     width, height);
        EXPECT_TRUE(SameBits(fused, chain));
        EXPECT_EQ(p, expectedP);
        EXPECT_EQ(q, expectedQ);
        EXPECT_EQ(LargestMagnitude(b.Data(), b.Pitch(), width, height), expectedQ);
    }
}

// Maps built as the spectral detector builds them: one slope vector copied into every row of
// the x map and every column of the y map.
void BuildMaps(int width, int height, int gridWidth, int gridHeight, Image& xMap, Image& yMap) {
    std::vector<float> xs(width), ys(height);
    VectorPrimitives::VectorSlope_32f(xs.data(), width, 0.0f,
                                      static_cast<float>(gridWidth) / static_cast<float>(width));
    VectorPrimitives::VectorSlope_32f(ys.data(), height, 0.0f,
                                      static_cast<float>(gridHeight) / static_cast<float>(height));
    xMap.Fill([&](int x, int) { return xs[x]; });
    yMap.Fill([&](int, int y) { return ys[y]; });
}

TEST(GasKernels, SeparableInterpolationEqualsTheBilinearRemap) {
    struct Case {
        int width, height, gridWidth, gridHeight;
    };
    std::mt19937 rng(3);
    for (Case c : {Case{608, 448, 39, 29}, Case{64, 48, 5, 4}, Case{7, 3, 2, 1}, Case{1, 1, 1, 1},
                   Case{101, 37, 13, 9}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        Image xMap(c.width, c.height), yMap(c.width, c.height);
        BuildMaps(c.width, c.height, c.gridWidth, c.gridHeight, xMap, yMap);
        Image grid(c.gridWidth, c.gridHeight);
        grid.FillRandom(rng, 0.0, 1e6);
        Image expected(c.width, c.height), actual(c.width, c.height);
        PixelPrimitives::Remap_32f_C1R(grid.Data(), c.gridWidth, c.gridHeight, grid.Pitch(), 0, 0,
                                       c.gridWidth, c.gridHeight, xMap.Data(), xMap.Pitch(),
                                       yMap.Data(), yMap.Pitch(), expected.Data(), expected.Pitch(),
                                       c.width, c.height, true);
        SeparableInterpolation interpolation;
        ASSERT_TRUE(interpolation.Init(xMap.Data(), xMap.Pitch(), yMap.Data(), yMap.Pitch(),
                                       c.width, c.height, c.gridWidth, c.gridHeight));
        interpolation.Run(grid.Data(), grid.Pitch(), actual.Data(), actual.Pitch());
        EXPECT_TRUE(SameBits(actual, expected));
        EXPECT_TRUE(actual.OutsideUntouched());
    }
    // A coordinate outside the grid is refused.
    Image xMap(4, 2), yMap(4, 2);
    BuildMaps(4, 2, 3, 2, xMap, yMap);
    xMap.At(3, 0) = 3.0f;
    SeparableInterpolation interpolation;
    EXPECT_FALSE(
        interpolation.Init(xMap.Data(), xMap.Pitch(), yMap.Data(), yMap.Pitch(), 4, 2, 3, 2));
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
