#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cmath>

// RGB (byte 0 red) to and from packed 4:2:2 YUV (Y0 U Y1 V per pair of pixels), in float with
// nearest-even rounding and saturation. An odd last column is left alone.
namespace {

inline unsigned char ToByte(float v) {
    return static_cast<unsigned char>(std::min(std::max(std::nearbyint(v), 0.0f), 255.0f));
}

inline float Luma(float r, float g, float b) {
    return 0.299f * r + 0.587f * g + 0.114f * b;
}
inline float ChromaU(float r, float g, float b) {
    return -0.147f * r - 0.289f * g + 0.436f * b + 128.0f;
}
inline float ChromaV(float r, float g, float b) {
    return 0.615f * r - 0.515f * g - 0.100f * b + 128.0f;
}

void RgbRowToYuv422(const unsigned char* src, unsigned char* dst, int pairs) {
    for (int i = 0; i < pairs; ++i) {
        const unsigned char* p = src + 6 * i;
        float r0 = p[0], g0 = p[1], b0 = p[2];
        float r1 = p[3], g1 = p[4], b1 = p[5];
        // The pair shares the mean of the two pixels' unrounded chroma.
        float u = (ChromaU(r0, g0, b0) + ChromaU(r1, g1, b1)) * 0.5f;
        float v = (ChromaV(r0, g0, b0) + ChromaV(r1, g1, b1)) * 0.5f;
        unsigned char* q = dst + 4 * i;
        q[0] = ToByte(Luma(r0, g0, b0));
        q[1] = ToByte(u);
        q[2] = ToByte(Luma(r1, g1, b1));
        q[3] = ToByte(v);
    }
}

void Yuv422RowToRgb(const unsigned char* src, unsigned char* dst, int pairs) {
    for (int i = 0; i < pairs; ++i) {
        const unsigned char* p = src + 4 * i;
        float u = p[1] - 128.0f;
        float v = p[3] - 128.0f;
        unsigned char* q = dst + 6 * i;
        for (int k = 0; k < 2; ++k) {
            float y = p[2 * k];
            q[3 * k + 0] = ToByte(y + 1.140f * v);
            q[3 * k + 1] = ToByte(y - 0.394f * u - 0.581f * v);
            q[3 * k + 2] = ToByte(y + 2.032f * u);
        }
    }
}

bool ConvertRows(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep, int width,
                 int height, void (*row)(const unsigned char*, unsigned char*, int)) {
    if (!pp::NonNull(src, dst) || !pp::ValidSize(width, height)) {
        return false;
    }
    int pairs = width / 2;
    for (int y = 0; y < height && pairs > 0; ++y) {
        row(pp::RowAt(src, srcStep, y), pp::RowAt(dst, dstStep, y), pairs);
    }
    return true;
}

}  // namespace

bool PixelPrimitives::RGBToYUV422_8u_C3C2R(const unsigned char* src, int srcStep,
                                           unsigned char* dst, int dstStep, int width, int height) {
    return ConvertRows(src, srcStep, dst, dstStep, width, height, RgbRowToYuv422);
}

bool PixelPrimitives::YUV422ToRGB_8u_C2C3R(const unsigned char* src, int srcStep,
                                           unsigned char* dst, int dstStep, int width, int height) {
    return ConvertRows(src, srcStep, dst, dstStep, width, height, Yuv422RowToRgb);
}
