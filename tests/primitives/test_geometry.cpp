#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <type_traits>
#include <vector>

#include "TestImage.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A C-channel image of T as a TestImage of T that is C times as wide.
template <typename T>
struct Multi {
    int width, height, channels;
    TestImage<T> image;
    Multi(int w, int h, int c) : width(w), height(h), channels(c), image(w * c, h) {}
    T At(int x, int y, int c) const { return image.At(x * channels + c, y); }
};

// Reference sampling straight from the rules, per channel, over [0, w) x [0, h) offset by the
// area origin; empty when the point is outside.
template <typename T>
std::optional<double> RefSample(const Multi<T>& src, int c, double X, double Y, bool linear, int ax,
                                int ay, int aw, int ah) {
    if (!linear) {
        double nx = std::floor(X + 0.5), ny = std::floor(Y + 0.5);
        if (std::isnan(X) || std::isnan(Y) || nx < ax || nx >= ax + aw || ny < ay ||
            ny >= ay + ah) {
            return std::nullopt;
        }
        return src.At(static_cast<int>(nx), static_cast<int>(ny), c);
    }
    if (std::isnan(X) || std::isnan(Y) || X < ax || X >= ax + aw || Y < ay || Y >= ay + ah) {
        return std::nullopt;
    }
    int x0 = static_cast<int>(std::floor(X)), y0 = static_cast<int>(std::floor(Y));
    int x1 = std::min(x0 + 1, ax + aw - 1), y1 = std::min(y0 + 1, ay + ah - 1);
    double fx = X - x0, fy = Y - y0;
    auto s = [&](int x, int y, double weight) { return weight == 0 ? 0.0 : src.At(x, y, c); };
    return (1 - fy) * ((1 - fx) * s(x0, y0, 1) + fx * s(x1, y0, fx)) +
           fy * ((1 - fx) * s(x0, y1, fy) + fx * s(x1, y1, fx * fy));
}

template <typename T>
void ExpectSampled(const Multi<T>& before, const Multi<T>& after, int x, int y,
                   std::optional<double> expected, int c) {
    T got = after.At(x, y, c);
    if (!expected) {
        ASSERT_EQ(got, before.At(x, y, c))
            << "unmapped pixel changed at (" << x << ", " << y << ")";
    } else if constexpr (std::is_floating_point_v<T>) {
        ASSERT_NEAR(got, *expected, 1e-5 * std::fabs(*expected) + 1e-6) << x << ", " << y;
    } else {
        double r = std::nearbyint(*expected);
        r = std::min<double>(std::max(r, 0.0), std::numeric_limits<T>::max());
        ASSERT_EQ(got, static_cast<T>(r)) << x << ", " << y << " channel " << c;
    }
}

// Runs `run(src, dst)` on random images and checks every destination pixel against the
// reference sampler at the point `map(x, y, X, Y)` gives.
template <typename T, typename Run, typename Map>
void CheckWarp(std::mt19937& rng, int channels, RegionSize src, RegionSize dst, bool linear,
               Run run, Map map) {
    double hi = std::is_floating_point_v<T> ? 1000.0 : std::numeric_limits<T>::max();
    Multi<T> in(src.width, src.height, channels), out(dst.width, dst.height, channels);
    in.image.FillRandom(rng, 0.0, hi);
    out.image.FillRandom(rng, 0.0, hi);
    Multi<T> before = out;
    ASSERT_TRUE(run(in.image, out.image));
    EXPECT_TRUE(out.image.OutsideUntouched());
    for (int y = 0; y < dst.height; ++y) {
        for (int x = 0; x < dst.width; ++x) {
            double X, Y;
            map(x, y, X, Y);
            for (int c = 0; c < channels; ++c) {
                ExpectSampled(before, out, x, y,
                              RefSample(in, c, X, Y, linear, 0, 0, src.width, src.height), c);
            }
        }
    }
}

template <typename T>
void CheckResize(bool (*resize)(const T*, int, int, int, T*, int, int, int, float, int, int, bool),
                 int channels) {
    std::mt19937 rng(41);
    struct Case {
        float scale;
        int offsetX, offsetY;
    };
    const Case cases[] = {{1.0f, 3, -2}, {2.0f, 0, 0}, {0.5f, 1, 2}, {1.7f, -4, 5}};
    for (const Case& k : cases) {
        for (bool linear : {false, true}) {
            for (const RegionSize& s : TestRegionSizes()) {
                RegionSize d{s.width + 5, s.height + 2};
                CheckWarp<T>(
                    rng, channels, s, d, linear,
                    [&](TestImage<T>& in, TestImage<T>& out) {
                        return resize(in.Data(), in.Pitch(), s.width, s.height, out.Data(),
                                      out.Pitch(), d.width, d.height, k.scale, k.offsetX, k.offsetY,
                                      linear);
                    },
                    [&](int x, int y, double& X, double& Y) {
                        X = (x + 0.5 - k.offsetX) / static_cast<double>(k.scale) - 0.5;
                        Y = (y + 0.5 - k.offsetY) / static_cast<double>(k.scale) - 0.5;
                    });
            }
        }
    }
}

template <typename T>
void CheckRotate(bool (*rotate)(const T*, int, T*, int, int, int, float), int channels) {
    std::mt19937 rng(43);
    for (float angle : {0.0f, 90.0f, -90.0f, 180.0f, 450.0f, 30.0f, -123.4f}) {
        double a = angle * 3.14159265358979323846 / 180.0;
        double cs = std::cos(a), sn = std::sin(a);
        bool quarter = std::fmod(angle, 90.0f) == 0.0f;
        for (const RegionSize& s : TestRegionSizes()) {
            double cx = (s.width - 1) / 2.0, cy = (s.height - 1) / 2.0;
            CheckWarp<T>(
                rng, channels, s, s, true,
                [&](TestImage<T>& in, TestImage<T>& out) {
                    return rotate(in.Data(), in.Pitch(), out.Data(), out.Pitch(), s.width, s.height,
                                  angle);
                },
                [&](int x, int y, double& X, double& Y) {
                    X = cx + (x - cx) * cs - (y - cy) * sn;
                    Y = cy + (x - cx) * sn + (y - cy) * cs;
                    if (quarter) {  // exact in the primitive; snap the reference likewise
                        X = std::round(X * 2) / 2;
                        Y = std::round(Y * 2) / 2;
                    }
                });
        }
    }
}

}  // namespace

TEST(Remap, MatchesTheRulesInsideTheRoiOnly) {
    std::mt19937 rng(40);
    const int sw = 23, sh = 17, rx = 3, ry = 2, rw = 15, rh = 11;
    for (bool linear : {false, true}) {
        for (const RegionSize& size : TestRegionSizes()) {
            Multi<float> src(sw, sh, 1);
            src.image.FillRandom(rng, -50.0, 50.0);
            for (int y = 0; y < sh; ++y) {  // anything read outside the ROI poisons the result
                for (int x = 0; x < sw; ++x) {
                    if (x < rx || y < ry || x >= rx + rw || y >= ry + rh) {
                        src.image.At(x, y) = kNaN;
                    }
                }
            }
            TestImage<float> xMap(size.width, size.height), yMap(size.width, size.height);
            xMap.FillRandom(rng, rx - 2.0, rx + rw + 1.0);
            yMap.FillRandom(rng, ry - 2.0, ry + rh + 1.0);
            xMap.At(0, 0) = static_cast<float>(rx + rw) - 0.5f;  // beyond the last sample
            yMap.At(0, 0) = static_cast<float>(ry + rh) - 0.25f;
            xMap.At(size.width - 1, size.height - 1) = kNaN;
            Multi<float> dst(size.width, size.height, 1);
            dst.image.FillRandom(rng, 100.0, 200.0);
            Multi<float> before = dst;
            ASSERT_TRUE(PixelPrimitives::Remap_32f_C1R(
                src.image.Data(), sw, sh, src.image.Pitch(), rx, ry, rw, rh, xMap.Data(),
                xMap.Pitch(), yMap.Data(), yMap.Pitch(), dst.image.Data(), dst.image.Pitch(),
                size.width, size.height, linear));
            EXPECT_TRUE(dst.image.OutsideUntouched());
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    ExpectSampled(
                        before, dst, x, y,
                        RefSample(src, 0, xMap.At(x, y), yMap.At(x, y), linear, rx, ry, rw, rh), 0);
                }
            }
        }
    }
}

TEST(Remap, ZeroWeightNeighboursAreNotRead) {
    // Integer map positions on the right and bottom edges of a 2x2 ROI whose neighbours are Inf.
    TestImage<float> src(3, 3);
    src.Fill([](int x, int y) { return (x == 2 || y == 2) ? INFINITY : 10.0f * y + x; });
    TestImage<float> xMap(2, 2), yMap(2, 2), dst(2, 2);
    xMap.Fill([](int x, int) { return static_cast<float>(x); });
    yMap.Fill([](int, int y) { return static_cast<float>(y); });
    for (bool linear : {false, true}) {
        ASSERT_TRUE(PixelPrimitives::Remap_32f_C1R(
            src.Data(), 3, 3, src.Pitch(), 0, 0, 3, 3, xMap.Data(), xMap.Pitch(), yMap.Data(),
            yMap.Pitch(), dst.Data(), dst.Pitch(), 2, 2, linear));
        EXPECT_EQ(dst.At(0, 0), 0.0f);
        EXPECT_EQ(dst.At(1, 0), 1.0f);
        EXPECT_EQ(dst.At(0, 1), 10.0f);
        EXPECT_EQ(dst.At(1, 1), 11.0f);
    }
}

TEST(Resize, AllTypesFollowTheMappingRules) {
    CheckResize<float>(PixelPrimitives::Resize_32f_C1, 1);
    CheckResize<unsigned short>(PixelPrimitives::Resize_16u_C1, 1);
    CheckResize<unsigned char>(PixelPrimitives::Resize_8u_C3, 3);
    CheckResize<unsigned char>(PixelPrimitives::Resize_8u_C4, 4);
}

TEST(Resize, IntegerResultsRoundHalfToEven) {
    // Scale 0.5 samples at X = 0.5, 2.5, ...: midpoints between neighbours.
    TestImage<unsigned short> src(4, 1), dst(2, 1);
    src.Fill([](int x, int) { return 2 + x; });  // 2 3 4 5
    ASSERT_TRUE(PixelPrimitives::Resize_16u_C1(src.Data(), src.Pitch(), 4, 1, dst.Data(),
                                               dst.Pitch(), 2, 1, 0.5f, 0, 0, true));
    EXPECT_EQ(dst.At(0, 0), 2);  // 2.5
    EXPECT_EQ(dst.At(1, 0), 4);  // 4.5
}

TEST(RotateCenter, AllTypesFollowTheMappingRules) {
    CheckRotate<float>(PixelPrimitives::RotateCenter_32f_C1, 1);
    CheckRotate<unsigned short>(PixelPrimitives::RotateCenter_16u_C1, 1);
    CheckRotate<unsigned char>(PixelPrimitives::RotateCenter_8u_C3, 3);
    CheckRotate<unsigned char>(PixelPrimitives::RotateCenter_8u_C4, 4);
}

TEST(RotateCenter, QuarterTurnOfASquareIsExactAndCounterClockwise) {
    std::mt19937 rng(45);
    for (int n : {4, 5}) {
        TestImage<float> src(n, n), dst(n, n);
        src.FillRandom(rng, -1000.0, 1000.0);
        ASSERT_TRUE(PixelPrimitives::RotateCenter_32f_C1(src.Data(), src.Pitch(), dst.Data(),
                                                         dst.Pitch(), n, n, 90.0f));
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                EXPECT_EQ(dst.At(x, y), src.At(n - 1 - y, x));  // top right becomes top left
            }
        }
    }
}

TEST(Geometry, RejectsBadArgumentsWritingNothing) {
    TestImage<float> src(4, 4), map(4, 4), dst(4, 4);
    auto remap = [&](const float* s, int roiX, int roiW, int dw) {
        return PixelPrimitives::Remap_32f_C1R(s, 4, 4, src.Pitch(), roiX, 0, roiW, 4, map.Data(),
                                              map.Pitch(), map.Data(), map.Pitch(), dst.Data(),
                                              dst.Pitch(), dw, 4, true);
    };
    EXPECT_FALSE(remap(nullptr, 0, 4, 4));
    EXPECT_FALSE(remap(src.Data(), 0, 0, 4));
    EXPECT_FALSE(remap(src.Data(), 0, 4, 0));
    EXPECT_FALSE(remap(src.Data(), 4, 2, 4));  // ROI entirely off the image
    auto resize = [&](float scale, int sw, float* d) {
        return PixelPrimitives::Resize_32f_C1(src.Data(), src.Pitch(), sw, 4, d, dst.Pitch(), 4, 4,
                                              scale, 0, 0, true);
    };
    for (float scale : {0.0f, -1.0f, kNaN}) {
        EXPECT_FALSE(resize(scale, 4, dst.Data()));
    }
    EXPECT_FALSE(resize(1.0f, 0, dst.Data()));
    EXPECT_FALSE(resize(1.0f, 4, nullptr));
    auto rotate = [&](float angle, int h, float* d) {
        return PixelPrimitives::RotateCenter_32f_C1(src.Data(), src.Pitch(), d, dst.Pitch(), 4, h,
                                                    angle);
    };
    EXPECT_FALSE(rotate(kNaN, 4, dst.Data()));
    EXPECT_FALSE(rotate(INFINITY, 4, dst.Data()));
    EXPECT_FALSE(rotate(10.0f, -4, dst.Data()));
    EXPECT_FALSE(rotate(10.0f, 4, nullptr));
    EXPECT_TRUE(dst.Untouched());
}
