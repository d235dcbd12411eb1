#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

// Geometric transforms: every destination pixel is mapped back to a source point, which one
// sampler reads by nearest neighbour or bilinear interpolation. Destination pixels whose
// point falls outside the readable source area keep their content.
namespace {

// The source pixels that may be read: columns [x0, x1), rows [y0, y1).
struct Area {
    int x0, y0, x1, y1;
};

template <typename T>
T FromDouble(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else {
        return pp::SaturateCast<T>(pp::RoundHalfEven(v));
    }
}

// a + f * (b - a) in the weighted form (1 - f) a + f b; b is not read when its weight is 0,
// so nothing past the area and no Inf or NaN from an unused neighbour can leak in.
template <typename T>
double Blend(const T* a, const T* b, double f) {
    if (f == 0.0) {
        return static_cast<double>(*a);
    }
    return (1.0 - f) * static_cast<double>(*a) + f * static_cast<double>(*b);
}

// Samples the C-channel source at (X, Y) into out; returns false (out untouched) when the
// point lies outside the area.
template <typename T, int C>
bool Sample(const T* src, int srcStep, const Area& area, double X, double Y, bool linear, T* out) {
    if (!linear) {
        // Nearest pixel, rounding halves up; the rounded position must name an area pixel.
        double nx = std::floor(X + 0.5);
        double ny = std::floor(Y + 0.5);
        if (!(nx >= area.x0 && nx < area.x1 && ny >= area.y0 && ny < area.y1)) {
            return false;
        }
        const T* pixel = pp::RowAt(src, srcStep, static_cast<int>(ny)) + static_cast<int>(nx) * C;
        std::copy(pixel, pixel + C, out);
        return true;
    }
    // Bilinear: the integer part must name an area pixel; the far neighbours are clamped to
    // the area, which is harmless since they are only read with a non-zero weight.
    if (!(X >= area.x0 && X < area.x1 && Y >= area.y0 && Y < area.y1)) {
        return false;
    }
    int xa = static_cast<int>(std::floor(X));
    int ya = static_cast<int>(std::floor(Y));
    int xb = std::min(xa + 1, area.x1 - 1);
    int yb = std::min(ya + 1, area.y1 - 1);
    double fx = X - xa;
    double fy = Y - ya;
    const T* top = pp::RowAt(src, srcStep, ya);
    const T* bottom = pp::RowAt(src, srcStep, yb);
    for (int c = 0; c < C; ++c) {
        double upper = Blend(top + xa * C + c, top + xb * C + c, fx);
        double value = upper;
        if (fy != 0.0) {
            double lower = Blend(bottom + xa * C + c, bottom + xb * C + c, fx);
            value = (1.0 - fy) * upper + fy * lower;
        }
        out[c] = FromDouble<T>(value);
    }
    return true;
}

// Applies map(x, y, X, Y) to every destination pixel and samples the source there.
template <typename T, int C, typename Map>
void Warp(const T* src, int srcStep, const Area& area, T* dst, int dstStep, int dstWidth,
          int dstHeight, bool linear, Map map) {
    for (int y = 0; y < dstHeight; ++y) {
        T* row = pp::RowAt(dst, dstStep, y);
        for (int x = 0; x < dstWidth; ++x) {
            double X, Y;
            map(x, y, X, Y);
            Sample<T, C>(src, srcStep, area, X, Y, linear, row + x * C);
        }
    }
}

// Source content scaled by `scale` about the origin of pixel edges, then moved by the offset.
template <typename T, int C>
bool Resize(const T* src, int srcStep, int srcWidth, int srcHeight, T* dst, int dstStep,
            int dstWidth, int dstHeight, float scale, int offsetX, int offsetY, bool linear) {
    if (!pp::NonNull(src, dst) || !pp::ValidSize(srcWidth, srcHeight) ||
        !pp::ValidSize(dstWidth, dstHeight) || !(scale > 0.0f)) {
        return false;
    }
    const double s = scale;
    Warp<T, C>(src, srcStep, Area{0, 0, srcWidth, srcHeight}, dst, dstStep, dstWidth, dstHeight,
               linear, [&](int x, int y, double& X, double& Y) {
                   X = (x + 0.5 - offsetX) / s - 0.5;
                   Y = (y + 0.5 - offsetY) / s - 0.5;
               });
    return true;
}

// Cosine and sine of an angle in degrees, exact at multiples of 90 degrees.
void CosSin(double degrees, double& c, double& s) {
    double reduced = std::fmod(degrees, 360.0);  // exact
    if (std::fmod(reduced, 90.0) == 0.0) {
        static const double kCos[4] = {1.0, 0.0, -1.0, 0.0};
        static const double kSin[4] = {0.0, 1.0, 0.0, -1.0};
        int quarter = (static_cast<int>(reduced / 90.0) % 4 + 4) % 4;
        c = kCos[quarter];
        s = kSin[quarter];
        return;
    }
    const double radians = reduced * (3.14159265358979323846 / 180.0);
    c = std::cos(radians);
    s = std::sin(radians);
}

template <typename T, int C>
bool RotateCenter(const T* src, int srcStep, T* dst, int dstStep, int width, int height,
                  float angle) {
    if (!pp::NonNull(src, dst) || !pp::ValidSize(width, height) || !std::isfinite(angle)) {
        return false;
    }
    double c, s;
    CosSin(angle, c, s);
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    // Inverse rotation: each destination pixel is turned back onto the source.
    Warp<T, C>(src, srcStep, Area{0, 0, width, height}, dst, dstStep, width, height, true,
               [&](int x, int y, double& X, double& Y) {
                   double dx = x - cx;
                   double dy = y - cy;
                   X = cx + dx * c - dy * s;
                   Y = cy + dx * s + dy * c;
               });
    return true;
}

}  // namespace

bool PixelPrimitives::Remap_32f_C1R(const float* src, int srcWidth, int srcHeight, int srcStep,
                                    int roiX, int roiY, int roiWidth, int roiHeight,
                                    const float* xMap, int xMapStep, const float* yMap,
                                    int yMapStep, float* dst, int dstStep, int dstWidth,
                                    int dstHeight, bool linear) {
    if (!pp::NonNull(src, xMap, yMap, dst) || !pp::ValidSize(srcWidth, srcHeight) ||
        !pp::ValidSize(roiWidth, roiHeight) || !pp::ValidSize(dstWidth, dstHeight)) {
        return false;
    }
    // Only the part of the ROI that lies on the source image is readable.
    long long x1 = std::min<long long>(static_cast<long long>(roiX) + roiWidth, srcWidth);
    long long y1 = std::min<long long>(static_cast<long long>(roiY) + roiHeight, srcHeight);
    Area area{std::max(roiX, 0), std::max(roiY, 0), static_cast<int>(x1), static_cast<int>(y1)};
    if (area.x0 >= area.x1 || area.y0 >= area.y1) {
        return false;
    }
    Warp<float, 1>(src, srcStep, area, dst, dstStep, dstWidth, dstHeight, linear,
                   [&](int x, int y, double& X, double& Y) {
                       X = pp::RowAt(xMap, xMapStep, y)[x];
                       Y = pp::RowAt(yMap, yMapStep, y)[x];
                   });
    return true;
}

bool PixelPrimitives::Resize_16u_C1(const unsigned short* src, int srcStep, int srcWidth,
                                    int srcHeight, unsigned short* dst, int dstStep, int dstWidth,
                                    int dstHeight, float scale, int offsetX, int offsetY,
                                    bool linear) {
    return Resize<unsigned short, 1>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                     dstHeight, scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::Resize_32f_C1(const float* src, int srcStep, int srcWidth, int srcHeight,
                                    float* dst, int dstStep, int dstWidth, int dstHeight,
                                    float scale, int offsetX, int offsetY, bool linear) {
    return Resize<float, 1>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth, dstHeight,
                            scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::Resize_8u_C3(const unsigned char* src, int srcStep, int srcWidth,
                                   int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                   int dstHeight, float scale, int offsetX, int offsetY,
                                   bool linear) {
    return Resize<unsigned char, 3>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                    dstHeight, scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::Resize_8u_C4(const unsigned char* src, int srcStep, int srcWidth,
                                   int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                   int dstHeight, float scale, int offsetX, int offsetY,
                                   bool linear) {
    return Resize<unsigned char, 4>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                    dstHeight, scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::RotateCenter_16u_C1(const unsigned short* src, int srcStep,
                                          unsigned short* dst, int dstStep, int width, int height,
                                          float angle) {
    return RotateCenter<unsigned short, 1>(src, srcStep, dst, dstStep, width, height, angle);
}

bool PixelPrimitives::RotateCenter_32f_C1(const float* src, int srcStep, float* dst, int dstStep,
                                          int width, int height, float angle) {
    return RotateCenter<float, 1>(src, srcStep, dst, dstStep, width, height, angle);
}

bool PixelPrimitives::RotateCenter_8u_C3(const unsigned char* src, int srcStep, unsigned char* dst,
                                         int dstStep, int width, int height, float angle) {
    return RotateCenter<unsigned char, 3>(src, srcStep, dst, dstStep, width, height, angle);
}

bool PixelPrimitives::RotateCenter_8u_C4(const unsigned char* src, int srcStep, unsigned char* dst,
                                         int dstStep, int width, int height, float angle) {
    return RotateCenter<unsigned char, 4>(src, srcStep, dst, dstStep, width, height, angle);
}
