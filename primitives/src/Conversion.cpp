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

namespace {

typedef float Lanes8 __attribute__((vector_size(32)));

// One 8x8 tile: rows of src become columns of dst, by the usual three rounds of interleaving
// (pairs of elements, pairs of pairs, halves).
PP_MULTIVERSION void TransposeTile8(const float* src, int srcStep, float* dst, int dstStep) {
    Lanes8 r[8];
    for (int i = 0; i < 8; ++i) {
        std::memcpy(&r[i], pp::RowAt(src, srcStep, i), sizeof(Lanes8));
    }
    Lanes8 t[8];
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = __builtin_shufflevector(r[2 * i], r[2 * i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[2 * i + 1] = __builtin_shufflevector(r[2 * i], r[2 * i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    Lanes8 u[8];
    for (int h = 0; h < 2; ++h) {
        const Lanes8* q = t + 4 * h;
        u[4 * h] = __builtin_shufflevector(q[0], q[2], 0, 1, 8, 9, 4, 5, 12, 13);
        u[4 * h + 1] = __builtin_shufflevector(q[0], q[2], 2, 3, 10, 11, 6, 7, 14, 15);
        u[4 * h + 2] = __builtin_shufflevector(q[1], q[3], 0, 1, 8, 9, 4, 5, 12, 13);
        u[4 * h + 3] = __builtin_shufflevector(q[1], q[3], 2, 3, 10, 11, 6, 7, 14, 15);
    }
    for (int i = 0; i < 4; ++i) {
        const Lanes8 low = __builtin_shufflevector(u[i], u[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        const Lanes8 high = __builtin_shufflevector(u[i], u[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
        std::memcpy(pp::RowAt(dst, dstStep, i), &low, sizeof(Lanes8));
        std::memcpy(pp::RowAt(dst, dstStep, i + 4), &high, sizeof(Lanes8));
    }
}

}  // namespace

bool PixelPrimitives::Transpose_32f_C1R(const float* src, int srcStep, float* dst, int dstStep,
                                        int srcWidth, int srcHeight) {
    if (!ValidImages(srcWidth, srcHeight, src, dst)) {
        return false;
    }
    // Square 8x8 tiles keep the rows read and the rows written in cache. The rows written
    // lie a pitch apart, and with power-of-two pitches larger tiles crowd into too few cache
    // sets (32x32 tiles are seven times slower on a 640x512 frame).
    constexpr int kTile = 8;
    for (int y0 = 0; y0 < srcHeight; y0 += kTile) {
        const int y1 = std::min(y0 + kTile, srcHeight);
        for (int x0 = 0; x0 < srcWidth; x0 += kTile) {
            const int x1 = std::min(x0 + kTile, srcWidth);
            if (y1 - y0 == kTile && x1 - x0 == kTile) {
                TransposeTile8(RowAt(src, srcStep, y0) + x0, srcStep, RowAt(dst, dstStep, x0) + y0,
                               dstStep);
                continue;
            }
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
