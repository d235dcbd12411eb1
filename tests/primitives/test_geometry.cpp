#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <type_traits>
#include <utility>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using namespace std::placeholders;

namespace {

// Runs run(src, srcPitch, dst, dstPitch) on a random C-channel source and destination and checks
// every destination value against the sampling rules at the point map(x, y), reading only the
// area columns [ax, ax + aw), rows [ay, ay + ah): unmapped pixels keep their value, integers round
// to nearest even. The double sums are those of the rules, so the result must match exactly.
template <typename T, typename Run, typename Map>
void CheckWarp(std::mt19937& rng, int C, RegionSize s, int ax, int ay, int aw, int ah, RegionSize d,
               bool linear, Run run, Map map) {
    TestImage<T> src(s.width * C, s.height), dst(d.width * C, d.height);
    src.FillRandom(rng, 0.0, std::is_floating_point_v<T> ? 1000.0 : std::numeric_limits<T>::max());
    dst.Fill([](int x, int y) { return (x ^ y) & 63; });
    ASSERT_TRUE(run(src.Data(), src.Pitch(), dst.Data(), dst.Pitch()));
    ExpectRegion(dst, [&](int xc, int y) {
        const auto [mx, my] = map(xc / C, y);
        const double X = linear ? mx : std::floor(mx + 0.5), Y = linear ? my : std::floor(my + 0.5);
        if (!(X >= ax && X < ax + aw && Y >= ay && Y < ay + ah)) {  // false for NaN
            return static_cast<T>((xc ^ y) & 63);
        }
        const int x0 = static_cast<int>(std::floor(X)), y0 = static_cast<int>(std::floor(Y));
        const int x1 = std::min(x0 + 1, ax + aw - 1), y1 = std::min(y0 + 1, ay + ah - 1);
        auto at = [&](int px, int py) { return static_cast<double>(src.At(px * C + xc % C, py)); };
        const double fx = X - x0, fy = Y - y0;
        const double v = (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x1, y0)) +
                         fy * ((1 - fx) * at(x0, y1) + fx * at(x1, y1));
        return static_cast<T>(std::is_floating_point_v<T> ? v : std::nearbyint(v));
    });
}

// Resize and rotation of one pixel type from a source of size r. {scale, offsetX, offsetY}: scale 1
// with whole offsets is an exact shift; scale 0.5 samples midpoints, so integers meet rounding
// ties. Quarter turns must use exact cosine and sine.
template <typename T, typename Resize, typename Rotate>
void CheckResizeAndRotate(Resize resize, Rotate rotate, int C, RegionSize r, std::mt19937& rng) {
    const float cases[][3] = {{1.0f, 3, -2}, {2.0f, 0, 0}, {0.5f, 1, 2}, {1.7f, -4, 5}};
    const RegionSize d{r.width + 5, r.height + 2};
    for (int i = 0; i < 8; ++i) {
        const float* k = cases[i / 2];
        const bool linear = i % 2;
        auto run = std::bind(resize, _1, _2, r.width, r.height, _3, _4, d.width, d.height, k[0],
                             k[1], k[2], linear);
        CheckWarp<T>(rng, C, r, 0, 0, r.width, r.height, d, linear, run, [&](int x, int y) {
            return std::pair{(x + 0.5 - k[1]) / k[0] - 0.5, (y + 0.5 - k[2]) / k[0] - 0.5};
        });
    }
    const double cx = (r.width - 1) / 2.0, cy = (r.height - 1) / 2.0;
    for (float angle : {0.0f, 90.0f, -90.0f, 180.0f, 450.0f, 30.0f, -123.4f}) {
        const double a = angle * 3.14159265358979323846 / 180.0;
        auto exact = [&](double v) { return std::fmod(angle, 90.0f) == 0 ? std::round(v) : v; };
        const double c = exact(std::cos(a)), s = exact(std::sin(a));
        auto run = std::bind(rotate, _1, _2, _3, _4, r.width, r.height, angle);
        CheckWarp<T>(rng, C, r, 0, 0, r.width, r.height, r, true, run, [&](int x, int y) {
            return std::pair{cx + (x - cx) * c - (y - cy) * s, cy + (x - cx) * s + (y - cy) * c};
        });
    }
}

}  // namespace

// All types go through the one sampler; Remap's own parts are the map, NaN included, and the ROI
// (3, 2, 15, 11) of a 23 x 17 source, which the maps reach past on every side.
TEST(Geometry, ResizeRotationAndRemapFollowTheSamplingRules) {
    std::mt19937 rng(41);
    for (const RegionSize& r : TestRegionSizes()) {
        CheckResizeAndRotate<float>(PP::Resize_32f_C1, PP::RotateCenter_32f_C1, 1, r, rng);
        CheckResizeAndRotate<unsigned short>(PP::Resize_16u_C1, PP::RotateCenter_16u_C1, 1, r, rng);
        CheckResizeAndRotate<unsigned char>(PP::Resize_8u_C3, PP::RotateCenter_8u_C3, 3, r, rng);
        CheckResizeAndRotate<unsigned char>(PP::Resize_8u_C4, PP::RotateCenter_8u_C4, 4, r, rng);
        for (bool linear : {false, true}) {
            TestImage<float> xMap(r.width, r.height), yMap(r.width, r.height);
            xMap.FillRandom(rng, 1.0, 19.0);
            yMap.FillRandom(rng, 0.0, 14.0);
            xMap.At(r.width - 1, r.height - 1) = std::nanf("");
            auto run = std::bind(PP::Remap_32f_C1R, _1, 23, 17, _2, 3, 2, 15, 11, xMap.Data(),
                                 xMap.Pitch(), yMap.Data(), yMap.Pitch(), _3, _4, r.width, r.height,
                                 linear);
            auto map = [&](int x, int y) { return std::pair{xMap.At(x, y), yMap.At(x, y)}; };
            CheckWarp<float>(rng, 1, {23, 17}, 3, 2, 15, 11, r, linear, run, map);
        }
    }
}

TEST(Geometry, ZeroWeightNeighboursAreNotReadAndBadArgumentsRejected) {
    // Integer positions next to an Inf column and row: 0 * Inf must not make them NaN.
    TestImage<float> src(3, 3), dst(3, 3);
    src.Fill([](int x, int y) { return (x == 2 || y == 2) ? INFINITY : 10.0f * y + x; });
    float* s = src.Data();
    const int p = src.Pitch();
    ASSERT_TRUE(PP::Resize_32f_C1(s, p, 3, 3, dst.Data(), p, 3, 3, 1.0f, 0, 0, true));
    EXPECT_TRUE(dst.At(1, 0) == 1.0f && dst.At(0, 1) == 10.0f && dst.At(1, 1) == 11.0f);
    // A ROI off the image is rejected with nothing written.
    EXPECT_FALSE(PP::Remap_32f_C1R(s, 3, 3, p, 3, 0, 2, 3, s, p, s, p, s, p, 3, 3, true));
    EXPECT_TRUE(src.Untouched());
}
