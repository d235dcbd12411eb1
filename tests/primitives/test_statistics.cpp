#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "TestImage.h"

using PP = PixelPrimitives;
using u16 = unsigned short;

// The region's pixels other than NaN in row-major order, the order that decides ties.
template <typename T>
std::vector<double> Numbers(const TestImage<T>& image) {
    std::vector<double> v;
    for (int i = 0; i < image.Width() * image.Height(); ++i) {
        const double x = image.At(i % image.Width(), i / image.Width());
        if (!std::isnan(x)) {
            v.push_back(x);
        }
    }
    return v;
}

// Words in a narrow range give many ties, so the first-extreme rule is exercised. Float sums
// accumulate in double in their own order and agree with a long double sum to about 1e-12;
// the float extremes skip NaN.
TEST(Statistics, MatchReferenceOnRandomImages) {
    std::mt19937 rng(11);
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height;  // plain names: the lambdas capture them
        double total = 0, mean = 0, dev = 0;
        for (double top : {3.0, 65535.0}) {
            TestImage<u16> img(w, h);
            img.FillRandom(rng, 0, top);
            const std::vector<double> v = Numbers(img);
            const int minAt = std::min_element(v.begin(), v.end()) - v.begin();
            const int maxAt = std::max_element(v.begin(), v.end()) - v.begin();
            const double n = v.size(), sum = std::accumulate(v.begin(), v.end(), 0.0);
            const double squares = std::inner_product(v.begin(), v.end(), v.begin(), 0.0);
            u16 lo = 0, hi = 0, at[2] = {};
            int ix[2] = {-1, -1}, iy[2] = {-1, -1};
            const int p = img.Pitch();
            ASSERT_TRUE(PP::MinMax_16u_C1(img.Data(), p, w, h, &lo, &hi) &&
                        PP::MinIndx_16u_C1R(img.Data(), p, w, h, &at[0], &ix[0], &iy[0]) &&
                        PP::MaxIndx_16u_C1R(img.Data(), p, w, h, &at[1], &ix[1], &iy[1]) &&
                        PP::Sum_16u_C1R(img.Data(), p, w, h, &total) &&
                        PP::Mean_StdDev_16u_C1R(img.Data(), p, w, h, &mean, &dev));
            EXPECT_TRUE(lo == v[minAt] && at[0] == lo && ix[0] == minAt % w && iy[0] == minAt / w);
            EXPECT_TRUE(hi == v[maxAt] && at[1] == hi && ix[1] == maxAt % w && iy[1] == maxAt / w);
            EXPECT_TRUE(total == sum && mean == sum / n);
            EXPECT_NEAR(dev, std::sqrt(squares / n - sum / n * (sum / n)), 1e-9 * (1.0 + dev));
        }
        TestImage<float> img(w, h);
        img.FillRandom(rng, -1000.0, 1000.0);
        std::vector<double> v = Numbers(img);
        const long double sum = std::accumulate(v.begin(), v.end(), 0.0L);
        ASSERT_TRUE(PP::Sum_32f_C1R(img.Data(), img.Pitch(), w, h, &total, false) &&
                    PP::Mean_32f_C1R(img.Data(), img.Pitch(), w, h, &mean, true));
        EXPECT_TRUE(std::abs(total - sum) < 1e-9 && std::abs(mean - sum / v.size()) < 1e-12);
        img.Fill([&](int x, int y) { return (x + y * w) % 3 == 1 ? NAN : img.At(x, y); });
        v = Numbers(img);
        float lo = 0, hi = 0;
        ASSERT_TRUE(PP::MinMax_32f_C1(img.Data(), img.Pitch(), w, h, &lo, &hi));
        EXPECT_TRUE(lo == *std::min_element(v.begin(), v.end()) &&
                    hi == *std::max_element(v.begin(), v.end()));
    }
}

TEST(Statistics, DocumentedCornerCases) {
    // The population deviation of alternating 60000 and 60001 is exactly 0.5; dividing by
    // n - 1, or squares accumulated in float, miss it.
    const u16 alt[4] = {60000, 60001, 60000, 60001};
    double mean = 0, dev = 0, total = 0;
    ASSERT_TRUE(PP::Mean_StdDev_16u_C1R(alt, 8, 4, 1, &mean, &dev));
    EXPECT_TRUE(mean == 60000.5 && dev == 0.5) << mean << " " << dev;
    // Errors: a null output among others must not leave the others half written.
    u16 v = 7;
    int i = 7;
    float f = 7;
    EXPECT_FALSE(PP::MinMax_16u_C1(alt, 8, 4, 1, &v, nullptr) ||
                 PP::MaxIndx_16u_C1R(alt, 8, 4, 1, &v, &i, nullptr) ||
                 PP::Mean_StdDev_16u_C1R(alt, 8, 4, 1, &mean, nullptr) ||
                 PP::MinMax_32f_C1(&f, 4, 1, 1, nullptr, &f) ||
                 PP::Sum_16u_C1R(alt, 8, 0, 1, &mean) ||
                 PP::Mean_32f_C1R(&f, 4, 1, -1, &mean, true));
    EXPECT_TRUE(v == 7 && i == 7 && f == 7 && mean == 60000.5);
    // Rows longer than 32-bit partial sums can hold at full scale: the sums stay exact.
    const int width = 2 * 65536 + 5;
    std::vector<u16> row(width, 65535);
    row[width - 1] = 0;
    ASSERT_TRUE(PP::Sum_16u_C1R(row.data(), 0, width, 2, &total) &&
                PP::Mean_StdDev_16u_C1R(row.data(), 0, width, 2, &mean, &dev));
    const double n = width - 1.0;
    EXPECT_TRUE(total == 2 * n * 65535.0 && mean == total / (2 * width)) << total << " " << mean;
    EXPECT_NEAR(dev, 65535.0 * std::sqrt(n) / width, 1e-9);
}
