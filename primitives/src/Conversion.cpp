#include <PixelPrimitives/PixelPrimitives.h>

#include <algorithm>
#include <cstring>

#include "ElementWise.h"

namespace {

using pp::RowAt;
using pp::ValidImages;

PP_MULTIVERSION_WIDE void WordsToFloats(const unsigned short* src, int srcStep, float* dst,
                                        int dstStep, int width, int height) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height,
                  [](unsigned short v) { return static_cast<float>(v); });
}

// Nearest-even, not truncation: a uniform frame that went through a float filter comes back
// a few ulp below its integer values and must convert back to them. Clamping to [lo, hi] =
// [0, 65535] before rounding gives the same result as saturating after it, NaN fails the
// first test and becomes 0, and what is left converts exactly. The bounds come in as
// arguments: with constants GCC splits the selects into branches and the loop no longer
// vectorises; as written they become vector max and min, several times cheaper than the
// general saturating cast.
PP_MULTIVERSION_WIDE void FloatsToWords(const float* src, int srcStep, unsigned short* dst,
                                        int dstStep, int width, int height, float lo, float hi) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height, [lo, hi](float v) {
        float clamped = v > lo ? v : lo;
        clamped = clamped < hi ? clamped : hi;
        return static_cast<unsigned short>(static_cast<int>(pp::RoundHalfEven(clamped)));
    });
}

template <typename T>
bool CopyImage(const T* src, int srcStep, T* dst, int dstStep, int width, int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(RowAt(dst, dstStep, y), RowAt(src, srcStep, y), sizeof(T) * width);
    }
    return true;
}

template <typename T>
bool CopyReplicateBorder(const T* src, int srcStep, int srcWidth, int srcHeight, T* dst,
                         int dstStep, int dstWidth, int dstHeight, int top, int left) {
    // In 64 bits: the border widths of absurd arguments must not overflow.
    long long bottom = static_cast<long long>(dstHeight) - srcHeight - top;
    long long right = static_cast<long long>(dstWidth) - srcWidth - left;
    if (!ValidImages(srcWidth, srcHeight, src, dst) || top < 0 || left < 0 || bottom < 0 ||
        right < 0) {
        return false;
    }
    for (int y = 0; y < dstHeight; ++y) {
        // Rows above and below the copy repeat the nearest source row.
        const T* s = RowAt(src, srcStep, std::clamp(y - top, 0, srcHeight - 1));
        T* d = RowAt(dst, dstStep, y);
        std::fill(d, d + left, s[0]);
        std::memcpy(d + left, s, sizeof(T) * srcWidth);
        std::fill(d + left + srcWidth, d + dstWidth, s[srcWidth - 1]);
    }
    return true;
}

}  // namespace

bool PixelPrimitives::Convert_16u32f_C1(const unsigned short* src, int srcStep, float* dst,
                                        int dstStep, int width, int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    WordsToFloats(src, srcStep, dst, dstStep, width, height);
    return true;
}

bool PixelPrimitives::Convert_32f16u_C1(const float* src, int srcStep, unsigned short* dst,
                                        int dstStep, int width, int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    FloatsToWords(src, srcStep, dst, dstStep, width, height, 0.0f, 65535.0f);
    return true;
}

bool PixelPrimitives::Copy_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst,
                                 int dstStep, int width, int height) {
    return CopyImage(src, srcStep, dst, dstStep, width, height);
}

bool PixelPrimitives::Copy_16u_C1(const unsigned short* src, int srcStep, unsigned short* dst,
                                  int dstStep, int width, int height) {
    return CopyImage(src, srcStep, dst, dstStep, width, height);
}

bool PixelPrimitives::Copy_32f_C1(const float* src, int srcStep, float* dst, int dstStep, int width,
                                  int height) {
    return CopyImage(src, srcStep, dst, dstStep, width, height);
}

bool PixelPrimitives::CopyReplicateBorder_8u_C1(const unsigned char* src, int srcStep, int srcWidth,
                                                int srcHeight, unsigned char* dst, int dstStep,
                                                int dstWidth, int dstHeight, int top, int left) {
    return CopyReplicateBorder(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth, dstHeight,
                               top, left);
}

bool PixelPrimitives::CopyReplicateBorder_32f_C1(const float* src, int srcStep, int srcWidth,
                                                 int srcHeight, float* dst, int dstStep,
                                                 int dstWidth, int dstHeight, int top, int left) {
    return CopyReplicateBorder(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth, dstHeight,
                               top, left);
}

bool PixelPrimitives::Set_32f_C1(float value, float* dst, int dstStep, int width, int height) {
    if (!ValidImages(width, height, dst)) {
        return false;
    }
    pp::FillPixels(value, dst, dstStep, width, height);
    return true;
}

bool PixelPrimitives::Transpose_32f_C1R(const float* src, int srcStep, float* dst, int dstStep,
                                        int srcWidth, int srcHeight) {
    if (!ValidImages(srcWidth, srcHeight, src, dst)) {
        return false;
    }
    // Small square tiles keep the rows read and the rows written in cache. The rows written
    // lie a pitch apart, and with power-of-two pitches larger tiles crowd into too few cache
    // sets (32x32 tiles are seven times slower on a 640x512 frame).
    constexpr int kTile = 8;
    for (int y0 = 0; y0 < srcHeight; y0 += kTile) {
        int y1 = std::min(y0 + kTile, srcHeight);
        for (int x0 = 0; x0 < srcWidth; x0 += kTile) {
            int x1 = std::min(x0 + kTile, srcWidth);
            for (int y = y0; y < y1; ++y) {
                const float* s = RowAt(src, srcStep, y);
                for (int x = x0; x < x1; ++x) {
                    RowAt(dst, dstStep, x)[y] = s[x];
                }
            }
        }
    }
    return true;
}
