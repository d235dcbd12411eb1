#include <PixelPrimitives/PixelPrimitives.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "TestImage.h"

namespace {

using u16 = unsigned short;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The first pixel in row-major order holding the extreme value.
struct Found {
    u16 value;
    int x, y;
};
Found ReferenceExtreme(const TestImage<u16>& img, bool max) {
    Found f{img.At(0, 0), 0, 0};
    for (int y = 0; y < img.Height(); ++y) {
        for (int x = 0; x < img.Width(); ++x) {
            u16 v = img.At(x, y);
            if (max ? v > f.value : v < f.value) {
                f = {v, x, y};
            }
        }
    }
    return f;
}

}  // namespace

TEST(Statistics, Integer16uMatchesReference) {
    std::mt19937 rng(11);
    for (const RegionSize& s : TestRegionSizes()) {
        // A narrow range gives many ties, so the first-pixel rule is exercised.
        for (double hi : {3.0, 65535.0}) {
            TestImage<u16> img(s.width, s.height);
            img.FillRandom(rng, 0, hi);
            const Found mn = ReferenceExtreme(img, false);
            const Found mx = ReferenceExtreme(img, true);
            double sum = 0.0;
            for (int y = 0; y < s.height; ++y) {
                for (int x = 0; x < s.width; ++x) {
                    sum += img.At(x, y);
                }
            }
            const double n = static_cast<double>(s.width) * s.height;
            double squares = 0.0;
            for (int y = 0; y < s.height; ++y) {
                for (int x = 0; x < s.width; ++x) {
                    squares += (img.At(x, y) - sum / n) * (img.At(x, y) - sum / n);
                }
            }

            u16 lo = 1, hi16 = 1, value = 0;
            int ix = -1, iy = -1;
            ASSERT_TRUE(PixelPrimitives::MinMax_16u_C1(img.Data(), img.Pitch(), s.width, s.height,
                                                       &lo, &hi16));
            EXPECT_EQ(lo, mn.value);
            EXPECT_EQ(hi16, mx.value);
            ASSERT_TRUE(PixelPrimitives::MinIndx_16u_C1R(img.Data(), img.Pitch(), s.width, s.height,
                                                         &value, &ix, &iy));
            EXPECT_EQ(value, mn.value);
            EXPECT_EQ(ix, mn.x);
            EXPECT_EQ(iy, mn.y);
            ASSERT_TRUE(PixelPrimitives::MaxIndx_16u_C1R(img.Data(), img.Pitch(), s.width, s.height,
                                                         &value, &ix, &iy));
            EXPECT_EQ(value, mx.value);
            EXPECT_EQ(ix, mx.x);
            EXPECT_EQ(iy, mx.y);

            double total = -1.0, mean = -1.0, dev = -1.0;
            ASSERT_TRUE(
                PixelPrimitives::Sum_16u_C1R(img.Data(), img.Pitch(), s.width, s.height, &total));
            EXPECT_EQ(total, sum);
            ASSERT_TRUE(PixelPrimitives::Mean_StdDev_16u_C1R(img.Data(), img.Pitch(), s.width,
                                                             s.height, &mean, &dev));
            EXPECT_DOUBLE_EQ(mean, sum / n);
            EXPECT_NEAR(dev, std::sqrt(squares / n), 1e-9 * (1.0 + dev));
            EXPECT_TRUE(img.Untouched());
        }
    }
}

TEST(Statistics, StdDevIsPopulationAndExactFarFromZero) {
    // Values 60000 and 60001 alternate: the population deviation is exactly 0.5.
    TestImage<u16> img(33, 7);
    img.Fill([](int x, int y) { return 60000 + (x + y * 33) % 2; });
    double mean = 0.0, dev = 0.0;
    ASSERT_TRUE(PixelPrimitives::Mean_StdDev_16u_C1R(img.Data(), img.Pitch(), 32, 7, &mean, &dev));
    EXPECT_EQ(mean, 60000.5);
    EXPECT_EQ(dev, 0.5);
}

TEST(Statistics, Float32MatchesReferenceAndSkipsNaN) {
    std::mt19937 rng(12);
    for (const RegionSize& s : TestRegionSizes()) {
        TestImage<float> img(s.width, s.height);
        img.FillRandom(rng, -1000.0, 1000.0);
        // Sprinkle NaNs (but not everywhere) to prove they are skipped by Max/MinMax.
        for (int i = 0; i < s.width * s.height / 3; ++i) {
            img.At(static_cast<int>(rng() % s.width), static_cast<int>(rng() % s.height)) = kNaN;
        }
        img.At(0, 0) = 0.5f;
        img.Snapshot();
        float mn = std::numeric_limits<float>::infinity(), mx = -mn;
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                if (!std::isnan(img.At(x, y))) {
                    mn = std::min(mn, img.At(x, y));
                    mx = std::max(mx, img.At(x, y));
                }
            }
        }
        float lo = 0.0f, hi = 0.0f, top = 0.0f;
        ASSERT_TRUE(
            PixelPrimitives::MinMax_32f_C1(img.Data(), img.Pitch(), s.width, s.height, &lo, &hi));
        ASSERT_TRUE(PixelPrimitives::Max_32f_C1(img.Data(), img.Pitch(), s.width, s.height, &top));
        EXPECT_EQ(lo, mn);
        EXPECT_EQ(hi, mx);
        EXPECT_EQ(top, mx);

        // Sums take the NaN-free image; doubles summed in another order agree to ~1e-12.
        img.FillRandom(rng, -1000.0, 1000.0);
        double sum = 0.0;
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                sum += img.At(x, y);
            }
        }
        double total = 0.0, mean = 0.0;
        ASSERT_TRUE(PixelPrimitives::Sum_32f_C1R(img.Data(), img.Pitch(), s.width, s.height, &total,
                                                 false));
        ASSERT_TRUE(
            PixelPrimitives::Mean_32f_C1R(img.Data(), img.Pitch(), s.width, s.height, &mean, true));
        EXPECT_NEAR(total, sum, 1e-9);
        EXPECT_NEAR(mean, sum / (s.width * s.height), 1e-12);
        EXPECT_TRUE(img.Untouched());
    }
}

TEST(Statistics, AllNaNGivesNaNAndInfinitiesCount) {
    TestImage<float> img(5, 3);
    img.Fill([](int, int) { return kNaN; });
    float lo = 0.0f, hi = 0.0f;
    ASSERT_TRUE(PixelPrimitives::MinMax_32f_C1(img.Data(), img.Pitch(), 5, 3, &lo, &hi));
    EXPECT_TRUE(std::isnan(lo) && std::isnan(hi));
    ASSERT_TRUE(PixelPrimitives::Max_32f_C1(img.Data(), img.Pitch(), 5, 3, &hi));
    EXPECT_TRUE(std::isnan(hi));

    img.At(4, 2) = -std::numeric_limits<float>::infinity();
    ASSERT_TRUE(PixelPrimitives::MinMax_32f_C1(img.Data(), img.Pitch(), 5, 3, &lo, &hi));
    EXPECT_EQ(lo, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(hi, -std::numeric_limits<float>::infinity());
}

TEST(Statistics, ErrorsLeaveOutputsUntouched) {
    TestImage<u16> img(4, 4);
    TestImage<float> imgf(4, 4);
    u16 v = 7, w = 7;
    int ix = 7, iy = 7;
    float f = 7.0f, g = 7.0f;
    double d = 7.0, e = 7.0;
    const int p = img.Pitch(), pf = imgf.Pitch();
    EXPECT_FALSE(PixelPrimitives::MinMax_16u_C1(nullptr, p, 4, 4, &v, &w));
    EXPECT_FALSE(PixelPrimitives::MinMax_16u_C1(img.Data(), p, 4, 4, &v, nullptr));
    EXPECT_FALSE(PixelPrimitives::MinMax_16u_C1(img.Data(), p, 0, 4, &v, &w));
    EXPECT_FALSE(PixelPrimitives::MinIndx_16u_C1R(img.Data(), p, 4, 0, &v, &ix, &iy));
    EXPECT_FALSE(PixelPrimitives::MaxIndx_16u_C1R(img.Data(), p, 4, 4, &v, &ix, nullptr));
    EXPECT_FALSE(PixelPrimitives::Max_32f_C1(imgf.Data(), pf, -1, 4, &f));
    EXPECT_FALSE(PixelPrimitives::MinMax_32f_C1(imgf.Data(), pf, 4, 4, nullptr, &g));
    EXPECT_FALSE(PixelPrimitives::Mean_32f_C1R(imgf.Data(), pf, 4, 0, &d, false));
    EXPECT_FALSE(PixelPrimitives::Sum_32f_C1R(nullptr, pf, 4, 4, &d, false));
    EXPECT_FALSE(PixelPrimitives::Sum_16u_C1R(img.Data(), p, 0, 0, &d));
    EXPECT_FALSE(PixelPrimitives::Mean_StdDev_16u_C1R(img.Data(), p, 4, 4, &d, nullptr));
    EXPECT_FALSE(PixelPrimitives::Mean_StdDev_16u_C1R(img.Data(), p, 4, -2, &d, &e));
    EXPECT_TRUE(v == 7 && w == 7 && ix == 7 && iy == 7 && f == 7.0f && g == 7.0f && d == 7.0 &&
                e == 7.0);
}
