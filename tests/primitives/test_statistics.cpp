#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "TestImage.h"

using PP = PixelPrimitives;
using u16 = unsigned short;

namespace {

// The region's pixels in row-major order, the order that decides ties.
template <typename T>
std::vector<T> Pixels(const TestImage<T>& image) {
    std::vector<T> pixels;
    for (int y = 0; y < image.Height(); ++y) {
        pixels.insert(pixels.end(), image.Pixel(0, y), image.Pixel(image.Width(), y));
    }
    return pixels;
}

}  // namespace

// Words in a narrow range give many ties, so the first-extreme rule is exercised. Float sums
// accumulate in double in their own order and agree with a long double sum to about 1e-12;
// the float extremes skip NaN.
TEST(Statistics, MatchReferenceOnRandomImages) {
    std::mt19937 rng(11);
    for (const RegionSize& s : TestRegionSizes()) {
        const int w = s.width, h = s.height;
        for (double top : {3.0, 65535.0}) {
            TestImage<u16> img(w, h);
            img.FillRandom(rng, 0, top);
            const std::vector<u16> v = Pixels(img);
            const int minAt = std::min_element(v.begin(), v.end()) - v.begin();
            const int maxAt = std::max_element(v.begin(), v.end()) - v.begin();
            const double n = v.size(), sum = std::accumulate(v.begin(), v.end(), 0.0);
            const double squares = std::accumulate(v.begin(), v.end(), 0.0, [&](double a, u16 x) {
                return a + (x - sum / n) * (x - sum / n);
            });
            u16 lo = 0, hi = 0, at[2] = {};
            int ix[2] = {-1, -1}, iy[2] = {-1, -1};
            double total = 0, mean = 0, dev = 0;
            const int p = img.Pitch();
            ASSERT_TRUE(PP::MinMax_16u_C1(img.Data(), p, w, h, &lo, &hi) &&
                        PP::MinIndx_16u_C1R(img.Data(), p, w, h, &at[0], &ix[0], &iy[0]) &&
                        PP::MaxIndx_16u_C1R(img.Data(), p, w, h, &at[1], &ix[1], &iy[1]) &&
                        PP::Sum_16u_C1R(img.Data(), p, w, h, &total) &&
                        PP::Mean_StdDev_16u_C1R(img.Data(), p, w, h, &mean, &dev));
            EXPECT_TRUE(lo == v[minAt] && hi == v[maxAt] && at[0] == lo && at[1] == hi);
            EXPECT_TRUE(ix[0] == minAt % w && iy[0] == minAt / w && ix[1] == maxAt % w &&
                        iy[1] == maxAt / w);
            EXPECT_TRUE(total == sum && mean == sum / n);
            EXPECT_NEAR(dev, std::sqrt(squares / n), 1e-9 * (1.0 + dev));
            EXPECT_TRUE(img.Untouched());
        }
        TestImage<float> img(w, h);
        img.FillRandom(rng, -1000.0, 1000.0);
        std::vector<float> v = Pixels(img);
        const long double sum = std::accumulate(v.begin(), v.end(), 0.0L);
        double total = 0, mean = 0;
        ASSERT_TRUE(PP::Sum_32f_C1R(img.Data(), img.Pitch(), w, h, &total, false) &&
                    PP::Mean_32f_C1R(img.Data(), img.Pitch(), w, h, &mean, true));
        EXPECT_TRUE(std::abs(total - sum) < 1e-9 && std::abs(mean - sum / v.size()) < 1e-12);
        for (int i = 1; i < w * h; i += 3) {
            img.At(i % w, i / w) = v[i] = NAN;
        }
        img.Snapshot();
        v.erase(std::remove_if(v.begin(), v.end(), [](float x) { return std::isnan(x); }), v.end());
        float lo = 0, hi = 0, top = 0;
        ASSERT_TRUE(PP::MinMax_32f_C1(img.Data(), img.Pitch(), w, h, &lo, &hi) &&
                    PP::Max_32f_C1(img.Data(), img.Pitch(), w, h, &top));
        EXPECT_TRUE(lo == *std::min_element(v.begin(), v.end()) &&
                    hi == *std::max_element(v.begin(), v.end()) && top == hi);
        EXPECT_TRUE(img.Untouched());
    }
}

TEST(Statistics, DocumentedCornerCases) {
    // The population deviation of alternating 60000 and 60001 is exactly 0.5; subtracting
    // the squared mean from the mean square loses it.
    TestImage<u16> img(32, 7);
    img.Fill([](int x, int) { return 60000 + x % 2; });
    double mean = 0, dev = 0;
    ASSERT_TRUE(PP::Mean_StdDev_16u_C1R(img.Data(), img.Pitch(), 32, 7, &mean, &dev));
    EXPECT_TRUE(mean == 60000.5 && dev == 0.5) << mean << " " << dev;
    // All NaN has no extreme; an infinity is one.
    float nans[15] = {NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN};
    float lo = 0, hi = 0, top = 0;
    ASSERT_TRUE(PP::MinMax_32f_C1(nans, 20, 5, 3, &lo, &hi) &&
                PP::Max_32f_C1(nans, 20, 5, 3, &top));
    EXPECT_TRUE(std::isnan(lo) && std::isnan(hi) && std::isnan(top));
    nans[14] = -INFINITY;
    ASSERT_TRUE(PP::MinMax_32f_C1(nans, 20, 5, 3, &lo, &hi));
    EXPECT_TRUE(lo == -INFINITY && hi == -INFINITY);
    // Errors: a null output among others must not leave the others half written.
    u16 v = 7;
    int i = 7;
    float f = 7;
    EXPECT_FALSE(PP::MinMax_16u_C1(img.Data(), img.Pitch(), 32, 7, &v, nullptr) ||
                 PP::MaxIndx_16u_C1R(img.Data(), img.Pitch(), 32, 7, &v, &i, nullptr) ||
                 PP::Mean_StdDev_16u_C1R(img.Data(), img.Pitch(), 32, 7, &mean, nullptr) ||
                 PP::MinMax_32f_C1(nans, 20, 5, 3, nullptr, &f) ||
                 PP::Sum_16u_C1R(img.Data(), img.Pitch(), 0, 7, &mean) ||
                 PP::Mean_32f_C1R(nans, 20, 5, -1, &mean, true));
    EXPECT_TRUE(v == 7 && i == 7 && f == 7 && mean == 60000.5);
}
