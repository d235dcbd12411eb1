#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <type_traits>
#include <utility>

#include "TestImage.h"

using PP = PixelPrimitives;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The readable source area: columns [x, x + w), rows [y, y + h).
struct Roi {
    int x, y, w, h;
    bool Contains(double px, double py) const {  // false for NaN
        return px >= x && px < x + w && py >= y && py < y + h;
    }
};

// Runs run(src, srcPitch, dst, dstPitch) on a random C-channel source (a TestImage C times as wide)
// and destination, and checks each destination value against the sampling rules over `roi` at the
// point map(x, y) gives: unmapped pixels keep their value, integers round to nearest even.
template <typename T, typename Run, typename Map>
void CheckWarp(std::mt19937& rng, int C, RegionSize s, Roi roi, RegionSize d, bool linear, Run run,
               Map map) {
    const double hi = std::is_floating_point_v<T> ? 1000.0 : std::numeric_limits<T>::max();
    TestImage<T> src(s.width * C, s.height), dst(d.width * C, d.height);
    src.FillRandom(rng, 0.0, hi);
    dst.FillRandom(rng, 0.0, hi);
    if constexpr (std::is_floating_point_v<T>) {  // any read outside the area poisons the result
        src.Fill([&](int x, int y) { return roi.Contains(x, y) ? src.At(x, y) : kNaN; });
    }
    const TestImage<T> before = dst;
    ASSERT_TRUE(run(src.Data(), src.Pitch(), dst.Data(), dst.Pitch()));
    EXPECT_TRUE(dst.OutsideUntouched());
    for (int i = 0; i < d.width * d.height * C; ++i) {
        const int x = i / C % d.width, y = i / C / d.width, c = i % C;
        auto [mx, my] = map(x, y);
        const double X = linear ? mx : std::floor(mx + 0.5), Y = linear ? my : std::floor(my + 0.5);
        const T got = dst.At(x * C + c, y);
        // Inside when the integer part names an area pixel.
        if (!roi.Contains(X, Y)) {
            ASSERT_EQ(got, before.At(x * C + c, y))
                << "unmapped pixel changed at " << x << ", " << y;
            continue;
        }
        int x0 = static_cast<int>(std::floor(X)), y0 = static_cast<int>(std::floor(Y));
        int x1 = std::min(x0 + 1, roi.x + roi.w - 1), y1 = std::min(y0 + 1, roi.y + roi.h - 1);
        double fx = X - x0, fy = Y - y0;
        auto at = [&](int px, int py) { return static_cast<double>(src.At(px * C + c, py)); };
        double want = (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x1, y0)) +
                      fy * ((1 - fx) * at(x0, y1) + fx * at(x1, y1));
        // Integers are rounded (interpolation cannot leave their range); a point on a pixel centre
        // gives that pixel exactly.
        const bool integer = !std::is_floating_point_v<T>, exact = integer || (fx == 0 && fy == 0);
        want = integer ? std::nearbyint(want) : want;
        ASSERT_NEAR(got, want, exact ? 0.0 : 1e-5 * std::fabs(want) + 1e-6)
            << x << ", " << y << " channel " << c;
    }
}

// Resize is one sampler over all types: this checks rounding and channels.
template <typename T>
void CheckResize(bool (*resize)(const T*, int, int, int, T*, int, int, int, float, int, int, bool),
                 int C) {
    std::mt19937 rng(41);
    // {scale, offsetX, offsetY}: scale 1 with whole offsets is an exact shift; scale 0.5
    // samples midpoints, so integer results meet rounding ties.
    const float cases[][3] = {{1.0f, 3, -2}, {2.0f, 0, 0}, {0.5f, 1, 2}, {1.7f, -4, 5}};
    for (const RegionSize& s : TestRegionSizes()) {
        const RegionSize d{s.width + 5, s.height + 2};
        for (const auto& k : cases) {
            for (bool linear : {false, true}) {
                CheckWarp<T>(
                    rng, C, s, {0, 0, s.width, s.height}, d, linear,
                    [&](const T* in, int inPitch, T* out, int outPitch) {
                        return resize(in, inPitch, s.width, s.height, out, outPitch, d.width,
                                      d.height, k[0], k[1], k[2], linear);
                    },
                    [&](int x, int y) {
                        return std::pair{(x + 0.5 - k[1]) / k[0] - 0.5,
                                         (y + 0.5 - k[2]) / k[0] - 0.5};
                    });
            }
        }
    }
}

}  // namespace

// The types go through the sampler Resize also uses; Remap's own parts are the map and the ROI.
TEST(Remap, MatchesTheRulesReadingOnlyTheRoi) {
    std::mt19937 rng(40);
    const Roi roi{3, 2, 15, 11};
    for (bool linear : {false, true}) {
        for (const RegionSize& d : TestRegionSizes()) {
            // Maps reach past the ROI on every side, beyond the last sample included.
            TestImage<float> xMap(d.width, d.height), yMap(d.width, d.height);
            xMap.FillRandom(rng, roi.x - 2.0, roi.x + roi.w + 1.0);
            yMap.FillRandom(rng, roi.y - 2.0, roi.y + roi.h + 1.0);
            xMap.At(d.width - 1, d.height - 1) = kNaN;
            CheckWarp<float>(
                rng, 1, {23, 17}, roi, d, linear,
                [&](const float* in, int inPitch, float* out, int outPitch) {
                    return PP::Remap_32f_C1R(in, 23, 17, inPitch, roi.x, roi.y, roi.w, roi.h,
                                             xMap.Data(), xMap.Pitch(), yMap.Data(), yMap.Pitch(),
                                             out, outPitch, d.width, d.height, linear);
                },
                [&](int x, int y) {
                    return std::pair{xMap.At(x, y), yMap.At(x, y)};
                });
        }
    }
}

TEST(Remap, ZeroWeightNeighboursAreNotRead) {
    // Integer positions next to an Inf column and row: 0 * Inf must not make them NaN.
    TestImage<float> src(3, 3), xMap(2, 2), yMap(2, 2), dst(2, 2);
    src.Fill([](int x, int y) { return (x == 2 || y == 2) ? INFINITY : 10.0f * y + x; });
    xMap.Fill([](int x, int) { return x; });
    yMap.Fill([](int, int y) { return y; });
    ASSERT_TRUE(PP::Remap_32f_C1R(src.Data(), 3, 3, src.Pitch(), 0, 0, 3, 3, xMap.Data(),
                                  xMap.Pitch(), yMap.Data(), yMap.Pitch(), dst.Data(), dst.Pitch(),
                                  2, 2, true));
    EXPECT_EQ(dst.At(1, 0), 1.0f);
    EXPECT_EQ(dst.At(0, 1), 10.0f);
}

TEST(Resize, AllTypesFollowTheMappingRules) {
    CheckResize<float>(PP::Resize_32f_C1, 1);
    CheckResize<unsigned short>(PP::Resize_16u_C1, 1);
    CheckResize<unsigned char>(PP::Resize_8u_C3, 3);
    CheckResize<unsigned char>(PP::Resize_8u_C4, 4);
}

// Rotation uses the same sampler as Resize; its own parts are the mapping and the exact
// quarter turns.
TEST(RotateCenter, FollowsTheMappingWithExactQuarterTurns) {
    std::mt19937 rng(43);
    for (const RegionSize& s : TestRegionSizes()) {
        const double cx = (s.width - 1) / 2.0, cy = (s.height - 1) / 2.0;
        for (float angle : {0.0f, 90.0f, -90.0f, 180.0f, 450.0f, 30.0f, -123.4f}) {
            // Quarter turns use exact cosine and sine.
            const double a = angle * 3.14159265358979323846 / 180.0;
            const bool quarter = std::fmod(angle, 90.0f) == 0.0f;
            const double cs = quarter ? std::round(std::cos(a)) : std::cos(a);
            const double sn = quarter ? std::round(std::sin(a)) : std::sin(a);
            CheckWarp<float>(
                rng, 1, s, {0, 0, s.width, s.height}, s, true,
                [&](const float* in, int inPitch, float* out, int outPitch) {
                    return PP::RotateCenter_32f_C1(in, inPitch, out, outPitch, s.width, s.height,
                                                   angle);
                },
                [&](int x, int y) {
                    return std::pair{cx + (x - cx) * cs - (y - cy) * sn,
                                     cy + (x - cx) * sn + (y - cy) * cs};
                });
        }
    }
}

TEST(Geometry, RejectsBadArgumentsWritingNothing) {
    TestImage<float> src(4, 4), dst(4, 4);
    const float* s = src.Data();
    float* d = dst.Data();
    const int p = src.Pitch();
    // A ROI entirely off the image (the source doubles as both maps).
    EXPECT_FALSE(PP::Remap_32f_C1R(s, 4, 4, p, 4, 0, 2, 4, s, p, s, p, d, p, 4, 4, true));
    for (float scale : {0.0f, -1.0f, kNaN}) {
        EXPECT_FALSE(PP::Resize_32f_C1(s, p, 4, 4, d, p, 4, 4, scale, 0, 0, true));
    }
    for (float angle : {kNaN, INFINITY}) {
        EXPECT_FALSE(PP::RotateCenter_32f_C1(s, p, d, p, 4, 4, angle));
    }
    EXPECT_TRUE(dst.Untouched());
}
