#include <Varnik/Soloma/ImageProcessing/Fusion.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/Avx2.h"
#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// Palette colouring of pixels first to end - 1 of a row. Every pixel reads an entry, those
// outside the range the entry of `safe`, a value inside it, so that the reads vectorise to
// gathers without touching entries the caller need not have; the selection then keeps their
// old value.
SOLOMA_MULTIVERSION void ColorPixels(const unsigned short* __restrict src, int* __restrict dst,
                                     const int* __restrict palette, std::uint32_t low,
                                     std::uint32_t span, int safe, int first, int end) {
    for (int x = first; x < end; ++x) {
        const int value = src[x];
        const int inRange = static_cast<std::uint32_t>(value) - low <= span;
        const int keep = inRange - 1;  // all ones where the pixel keeps its value
        const int entry = palette[(value & ~keep) | (safe & keep)];
        dst[x] = (entry & ~keep) | (dst[x] & keep);
    }
}

#ifdef SOLOMA_AVX2_KERNELS
// Blocks of eight pixels tested at once: a block wholly in range looks its entries up
// straight from the source values and writes them without reading the destination, one
// wholly outside is skipped, and only a mixed block tests pixel by pixel. Returns how many
// pixels it coloured, from the first.
SOLOMA_TARGET_AVX2 int ColorBlocksAvx2(const unsigned short* __restrict src, int* __restrict dst,
                                       const int* __restrict palette, std::uint32_t low,
                                       std::uint32_t span, int width) {
    const __m256i lowV = _mm256_set1_epi32(static_cast<int>(low));
    const __m256i spanV = _mm256_set1_epi32(static_cast<int>(span));
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i values =
            _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)));
        const __m256i offset = _mm256_sub_epi32(values, lowV);
        const __m256i inRange = _mm256_cmpeq_epi32(_mm256_min_epu32(offset, spanV), offset);
        const unsigned mask =
            static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(inRange)));
        if (mask == 0xFFu) {
            for (int k = 0; k < 8; ++k) {
                dst[x + k] = palette[src[x + k]];
            }
        } else {
            for (int k = 0; k < 8; ++k) {
                if ((mask >> k) & 1u) {
                    dst[x + k] = palette[src[x + k]];
                }
            }
        }
    }
    return x;
}
#endif

void ColorRow(const unsigned short* __restrict src, int* __restrict dst,
              const int* __restrict palette, std::uint32_t low, std::uint32_t span, int safe,
              int width) {
    int done = 0;
#ifdef SOLOMA_AVX2_KERNELS
    if (CpuHasAvx2()) {
        done = ColorBlocksAvx2(src, dst, palette, low, span, width);
    }
#endif
    ColorPixels(src, dst, palette, low, span, safe, done, width);
}

// The bits of a float, and back.
inline std::uint32_t BitsOf(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}
inline float FloatOf(std::uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// `when` ? a : b, as a bit mask rather than a branch. With plain selects the compiler moves
// the arithmetic that follows a clamp into the arms (folding the bound), and then, since
// float arithmetic may trap, refuses to vectorise the loop.
inline float Select(bool when, float a, float b) {
    const std::uint32_t mask = 0u - static_cast<std::uint32_t>(when);
    return FloatOf((BitsOf(a) & mask) | (BitsOf(b) & ~mask));
}

// v clamped to lo..hi: below lo, or NaN, gives lo; at or above hi gives hi.
inline float Clamp(float v, float lo, float hi) {
    return Select(v > lo, Select(v < hi, v, hi), lo);
}

// The colour of a fused pixel: to studio-range YCbCr (BT.601), `delta` added to the luma,
// back to blue, green and red. Every step in single precision in the order written; the
// build does not contract products and sums.
inline std::uint32_t FusePixel(std::uint32_t colour, float delta) {
    const float b = static_cast<float>(static_cast<int>(colour & 255u));
    const float g = static_cast<float>(static_cast<int>((colour >> 8) & 255u));
    const float r = static_cast<float>(static_cast<int>((colour >> 16) & 255u));
    // Y is clamped to 16..235, Cb and Cr to 16..240. For bytes, Y lies in 16 .. 235.05 and
    // Cb and Cr in 16.05 .. 239.95 (the extremes are at channels 0 and 255), so only Y's upper
    // bound can act; the other three are left out, which changes no result.
    const float y = ((0.257f * r + 0.504f * g) + 0.098f * b) + 16.0f;
    const float luma = Select(y < 235.0f, y, 235.0f);
    const float cb = ((-0.148f * r - 0.291f * g) + 0.439f * b) + 128.0f;
    const float cr = ((0.439f * r - 0.368f * g) - 0.071f * b) + 128.0f;
    const float c = ((luma + delta) - 16.0f) * 1.164f;
    const float cr0 = cr - 128.0f;
    const float cb0 = cb - 128.0f;
    const float red = cr0 * 1.596f + c;
    const float green = (c - cr0 * 0.813f) - cb0 * 0.392f;
    const float blue = cb0 * 2.017f + c;
    const auto toByte = [](float v) {
        return static_cast<std::uint32_t>(static_cast<int>(Clamp(v, 0.0f, 255.0f)));
    };
    return toByte(blue) | (toByte(green) << 8) | (toByte(red) << 16) | 0xFF000000u;
}

// Columns first to end - 1 of one row fused; `luma` holds three floats per pixel.
SOLOMA_MULTIVERSION void FuseRow(const unsigned char* __restrict src, const float* __restrict luma,
                                 unsigned char* __restrict dst, int first, int end) {
    for (int x = first; x < end; ++x) {
        std::uint32_t colour;
        std::memcpy(&colour, src + 4 * static_cast<std::ptrdiff_t>(x), sizeof colour);
        colour = FusePixel(colour, luma[3 * static_cast<std::ptrdiff_t>(x)]);
        std::memcpy(dst + 4 * static_cast<std::ptrdiff_t>(x), &colour, sizeof colour);
    }
}

// Columns first to end - 1 of one row copied with the fourth byte 255.
SOLOMA_MULTIVERSION void CopyRow(const unsigned char* __restrict src, unsigned char* __restrict dst,
                                 int first, int end) {
    for (int x = first; x < end; ++x) {
        std::uint32_t colour;
        std::memcpy(&colour, src + 4 * static_cast<std::ptrdiff_t>(x), sizeof colour);
        colour |= 0xFF000000u;
        std::memcpy(dst + 4 * static_cast<std::ptrdiff_t>(x), &colour, sizeof colour);
    }
}

}  // namespace

Fusion& Fusion::operator=(const Fusion&) {
    return *this;
}

void Fusion::ColorIRImage(const unsigned short* __restrict src, int srcStep, int* __restrict dst,
                          int dstStep, const int* __restrict palette, int rangeLow, int rangeHigh,
                          int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height) ||
        palette == nullptr) {
        return;
    }
    // The test in unsigned arithmetic: the written values form the wrapping interval from
    // rangeLow to rangeHigh. It meets 0..65535 if it holds rangeLow as a 16-bit value, or
    // else 0; if neither, nothing is written.
    const std::uint32_t low = static_cast<std::uint32_t>(rangeLow);
    const std::uint32_t span = static_cast<std::uint32_t>(rangeHigh) - low;
    int safe = 0;
    if (low <= 65535u) {
        safe = static_cast<int>(low);
    } else if (0u - low > span) {
        return;
    }
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        ColorRow(RowAt(src, srcStep, y), RowAt(dst, dstStep, y), palette, low, span, safe, width);
    }
}

void Fusion::CombineIRAndDC(const unsigned char* __restrict src, int srcStep,
                            const float* __restrict luma, int lumaStep,
                            unsigned char* __restrict dst, int dstStep, int width, int height,
                            short marginX, short marginY) {
    if (!ValidImage(src, srcStep, width, height, 4) ||
        !ValidImage(luma, lumaStep, width, height, 3) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
    // Fused: marginX < x < width - marginX and marginY < y < height - marginY, or everything
    // when both margins are 0 (a single zero margin still leaves column or row 0 copied).
    const bool all = marginX == 0 && marginY == 0;
    const int first = all ? 0 : std::clamp(marginX + 1, 0, width);
    const int end = all ? width : std::clamp(width - marginX, first, width);
    const int firstRow = all ? 0 : marginY + 1;
    const int endRow = all ? height : height - marginY;
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        const unsigned char* srcRow = RowAt(src, srcStep, y);
        unsigned char* dstRow = RowAt(dst, dstStep, y);
        if (y < firstRow || y >= endRow) {
            CopyRow(srcRow, dstRow, 0, width);
            continue;
        }
        CopyRow(srcRow, dstRow, 0, first);
        FuseRow(srcRow, RowAt(luma, lumaStep, y), dstRow, first, end);
        CopyRow(srcRow, dstRow, end, width);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
