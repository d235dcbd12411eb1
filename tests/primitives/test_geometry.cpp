#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <utility>
#include <vector>

#include "RegionChecks.h"

using PP = PixelPrimitives;

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

namespace {

// The sampling rules, pixel by pixel, as the reference: every destination pixel mapped to a
// source point in double and sampled on its own. Points outside the readable area leave the
// pixel unchanged; a weight of 0 leaves its neighbour unread; integers round to nearest even.
struct RefArea {
    int x0, y0, x1, y1;
};

template <typename T>
T RefFromDouble(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else {
        const double r = std::nearbyint(v);
        return static_cast<T>(std::clamp(r, 0.0, double(std::numeric_limits<T>::max())));
    }
}

double RefBlend(double a, double b, double f) {
    return f == 0.0 ? a : (1.0 - f) * a + f * b;
}

template <typename T>
const T* RefRow(const T* base, int pitch, int y) {
    return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(base) +
                                      static_cast<std::ptrdiff_t>(pitch) * y);
}

template <typename T, typename Map>
void RefWarp(const T* src, int srcPitch, RefArea a, int C, T* dst, int dstPitch, int w, int h,
             bool linear, Map map) {
    for (int y = 0; y < h; ++y) {
        T* row = const_cast<T*>(RefRow(dst, dstPitch, y));
        for (int x = 0; x < w; ++x) {
            const auto [X, Y] = map(x, y);
            T* out = row + x * C;
            if (!linear) {
                const double nx = std::floor(X + 0.5), ny = std::floor(Y + 0.5);
                if (nx >= a.x0 && nx < a.x1 && ny >= a.y0 && ny < a.y1) {
                    const T* p = RefRow(src, srcPitch, int(ny)) + int(nx) * C;
                    std::copy(p, p + C, out);
                }
                continue;
            }
            if (!(X >= a.x0 && X < a.x1 && Y >= a.y0 && Y < a.y1)) {
                continue;
            }
            const int xa = int(std::floor(X)), ya = int(std::floor(Y));
            const int xb = std::min(xa + 1, a.x1 - 1), yb = std::min(ya + 1, a.y1 - 1);
            const double fx = X - xa, fy = Y - ya;
            const T* top = RefRow(src, srcPitch, ya);
            const T* bottom = RefRow(src, srcPitch, yb);
            for (int c = 0; c < C; ++c) {
                double v = RefBlend(top[xa * C + c], top[xb * C + c], fx);
                if (fy != 0.0) {
                    v = (1.0 - fy) * v + fy * RefBlend(bottom[xa * C + c], bottom[xb * C + c], fx);
                }
                out[c] = RefFromDouble<T>(v);
            }
        }
    }
}

// A pitched image of w x h pixels of C channels; float sources get some Inf, NaN and -0.
template <typename T>
struct Buffer {
    Buffer(int w, int h, int C, std::mt19937& rng, bool special = false)
        : pitch((w * C + 3) * int(sizeof(T))), data(size_t(pitch) * h / sizeof(T)) {
        std::uniform_real_distribution<double> value(
            0.0, std::is_floating_point_v<T> ? 1000.0 : std::numeric_limits<T>::max());
        const T odd[] = {T(-0.0), std::numeric_limits<T>::infinity(),
                         std::numeric_limits<T>::quiet_NaN()};
        for (T& v : data) {
            v = T(value(rng));
            if (special && std::is_floating_point_v<T> && rng() % 50 == 0) {
                v = odd[rng() % 3];
            }
        }
    }
    int pitch;
    std::vector<T> data;
};

template <typename T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Resizes and rotations of random images of many sizes, tiles of columns included, against
// the reference, byte for byte over the whole destination (unmapped pixels included).
template <typename T, typename Resize, typename Rotate>
void CompareWithReference(Resize resize, Rotate rotate, int C, std::mt19937& rng) {
    // Two columns: the narrowest source read by pairs; 515: a tile of 512 and a partial group.
    const int sizes[][2] = {{1, 1},   {1, 7},   {9, 1},   {7, 5}, {33, 17},
                            {131, 6}, {600, 4}, {5, 300}, {2, 9}, {515, 3}};
    // 5 and 6.5 give more destination rows per pair of source rows than one pass blends, and
    // 5 zero weights inside the vectorised blocks; at 1 a whole-pixel shift copies rows, leaving
    // the pixels that have no source as they were.
    const float scales[] = {2.0f, 0.5f, 1.7f, 1.0f, 0.3f, 3.1f, 0.999f, 1.25f, 5.0f, 6.5f};
    // Near quarter turns, whole rows of points sit just inside or just outside an edge.
    const float angles[] = {0.0f, 90.0f, 30.0f, -123.4f, 1e-3f, 270.0f, 45.0f, 89.99f, -90.01f};
    for (const auto& s : sizes) {
        Buffer<T> src(s[0], s[1], C, rng, true);
        for (float scale : scales) {
            const int dw = std::max(1, int(s[0] * scale) + int(rng() % 5));
            const int dh = std::max(1, int(s[1] * scale) + int(rng() % 5));
            const int ox = int(rng() % 11) - 5, oy = int(rng() % 11) - 5;
            for (bool linear : {false, true}) {
                Buffer<T> got(dw, dh, C, rng), want = got;
                ASSERT_TRUE(resize(src.data.data(), src.pitch, s[0], s[1], got.data.data(),
                                   got.pitch, dw, dh, scale, ox, oy, linear));
                RefWarp(src.data.data(), src.pitch, {0, 0, s[0], s[1]}, C, want.data.data(),
                        want.pitch, dw, dh, linear, [&](int x, int y) {
                            return std::pair{(x + 0.5 - ox) / scale - 0.5,
                                             (y + 0.5 - oy) / scale - 0.5};
                        });
                ASSERT_TRUE(SameBytes(got.data, want.data))
                    << s[0] << "x" << s[1] << " scale " << scale << " offset " << ox << "," << oy
                    << " linear " << linear;
            }
        }
        for (float angle : angles) {
            Buffer<T> got(s[0], s[1], C, rng), want = got;
            ASSERT_TRUE(
                rotate(src.data.data(), src.pitch, got.data.data(), got.pitch, s[0], s[1], angle));
            double c, sn;
            if (std::fmod(angle, 90.0f) == 0) {
                const int q = ((int(angle) / 90) % 4 + 4) % 4;
                c = (q == 0) - (q == 2);
                sn = (q == 1) - (q == 3);
            } else {
                const double r = std::fmod(double(angle), 360.0) * (3.14159265358979323846 / 180);
                c = std::cos(r);
                sn = std::sin(r);
            }
            const double cx = (s[0] - 1) / 2.0, cy = (s[1] - 1) / 2.0;
            RefWarp(src.data.data(), src.pitch, {0, 0, s[0], s[1]}, C, want.data.data(), want.pitch,
                    s[0], s[1], true, [&](int x, int y) {
                        const double dx = x - cx, dy = y - cy;
                        return std::pair{cx + dx * c - dy * sn, cy + dx * sn + dy * c};
                    });
            ASSERT_TRUE(SameBytes(got.data, want.data))
                << s[0] << "x" << s[1] << " angle " << angle;
        }
    }
}

}  // namespace

TEST(Geometry, ResizeAndRotationMatchThePerPixelSampler) {
    std::mt19937 rng(7);
    CompareWithReference<float>(PP::Resize_32f_C1, PP::RotateCenter_32f_C1, 1, rng);
    CompareWithReference<unsigned short>(PP::Resize_16u_C1, PP::RotateCenter_16u_C1, 1, rng);
    CompareWithReference<unsigned char>(PP::Resize_8u_C3, PP::RotateCenter_8u_C3, 3, rng);
    CompareWithReference<unsigned char>(PP::Resize_8u_C4, PP::RotateCenter_8u_C4, 4, rng);
}

// Maps with NaN entries, points on and past every edge of a random ROI, in both modes.
TEST(Geometry, RemapMatchesThePerPixelSampler) {
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
        const int sw = 1 + int(rng() % 40), sh = 1 + int(rng() % 30);
        const int dw = 1 + int(rng() % 600), dh = 1 + int(rng() % 4);
        int rx = int(rng() % sw), ry = int(rng() % sh);
        int rw = 1 + int(rng() % (sw - rx + 2)), rh = 1 + int(rng() % (sh - ry + 2));
        // Every third round: a ROI of one to three columns at either side of the source, where
        // pairs of neighbours cannot start at the point's own column, with points about it.
        const bool narrow = round % 3 == 0;
        if (narrow) {
            rw = 1 + int(rng() % 3);
            rx = round % 2 ? 0 : std::max(0, sw - rw);
        }
        Buffer<float> src(sw, sh, 1, rng, true);
        std::vector<float> xMap(size_t(dw) * dh), yMap(xMap.size());
        std::uniform_real_distribution<float> px(narrow ? rx - 2.0f : -2.0f,
                                                 narrow ? rx + rw + 2.0f : sw + 2.0f);
        std::uniform_real_distribution<float> py(-2.0f, sh + 2.0f);
        for (size_t i = 0; i < xMap.size(); ++i) {
            // Whole and half positions too, where weights are 0 and rounding ties.
            const int kind = int(rng() % 4);
            xMap[i] = kind == 0   ? std::floor(px(rng))
                      : kind == 1 ? std::floor(px(rng)) + 0.5f
                                  : px(rng);
            yMap[i] = kind == 0 ? std::floor(py(rng)) : py(rng);
            if (rng() % 20 == 0) {
                (rng() % 2 ? xMap : yMap)[i] = std::nanf("");
            }
        }
        const int mp = dw * int(sizeof(float));
        for (bool linear : {false, true}) {
            Buffer<float> got(dw, dh, 1, rng), want = got;
            ASSERT_TRUE(PP::Remap_32f_C1R(src.data.data(), sw, sh, src.pitch, rx, ry, rw, rh,
                                          xMap.data(), mp, yMap.data(), mp, got.data.data(),
                                          got.pitch, dw, dh, linear));
            const RefArea area{rx, ry, std::min(rx + rw, sw), std::min(ry + rh, sh)};
            RefWarp(src.data.data(), src.pitch, area, 1, want.data.data(), want.pitch, dw, dh,
                    linear, [&](int x, int y) {
                        return std::pair<double, double>{xMap[size_t(y) * dw + x],
                                                         yMap[size_t(y) * dw + x]};
                    });
            ASSERT_TRUE(SameBytes(got.data, want.data)) << "round " << round << " " << linear;
        }
    }
}

namespace {

// Float values over the whole range, so that the blends round: subnormals, huge and tiny
// magnitudes side by side, both infinities (whose sum is a NaN of its own) and NaN.
void FillWideRange(Buffer<float>& image, std::mt19937& rng) {
    const float odd[] = {INFINITY, -INFINITY, std::nanf(""), -0.0f, 1e-45f, 3e38f};
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    for (float& v : image.data) {
        const int kind = int(rng() % 64);
        v = kind < 6 ? odd[kind] : std::ldexp(mantissa(rng), int(rng() % 276) - 149);
    }
}

// Resize by 2 without offsets against the reference: one destination size per row of cases,
// around the edges of the blocks of elements and of the tiles of columns.
template <typename T, typename Resize>
void CompareEnlargingByTwo(Resize resize, std::mt19937& rng) {
    const int sizes[][2] = {{1, 1},   {2, 1},   {1, 3},   {3, 2},  {4, 4},   {5, 3},
                            {6, 2},   {9, 5},   {12, 3},  {13, 2}, {255, 2}, {256, 3},
                            {257, 2}, {261, 3}, {515, 2}, {640, 3}};
    for (const auto& s : sizes) {
        Buffer<T> src(s[0], s[1], 1, rng);
        if constexpr (std::is_floating_point_v<T>) {
            FillWideRange(src, rng);
        }
        // Exact, one column and row past the last inside one, and cut short.
        const int dstSizes[][2] = {{2 * s[0], 2 * s[1]},
                                   {2 * s[0] + 3, 2 * s[1] + 2},
                                   {std::max(1, 2 * s[0] - 1 - int(rng() % 9)), 2 * s[1] - 1}};
        for (const auto& d : dstSizes) {
            Buffer<T> got(d[0], d[1], 1, rng), want = got;
            ASSERT_TRUE(resize(src.data.data(), src.pitch, s[0], s[1], got.data.data(), got.pitch,
                               d[0], d[1], 2.0f, 0, 0, true));
            RefWarp(src.data.data(), src.pitch, {0, 0, s[0], s[1]}, 1, want.data.data(), want.pitch,
                    d[0], d[1], true, [](int x, int y) {
                        return std::pair{(x + 0.5) / 2.0 - 0.5, (y + 0.5) / 2.0 - 0.5};
                    });
            ASSERT_TRUE(SameBytes(got.data, want.data))
                << s[0] << "x" << s[1] << " to " << d[0] << "x" << d[1];
        }
    }
}

}  // namespace

TEST(Geometry, EnlargingByTwoMatchesThePerPixelSampler) {
    std::mt19937 rng(5);
    CompareEnlargingByTwo<float>(PP::Resize_32f_C1, rng);
    CompareEnlargingByTwo<unsigned short>(PP::Resize_16u_C1, rng);
}
