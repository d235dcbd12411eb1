#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/ImageArgs.h"
#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The blends weigh both sides 0.5: in single precision d * 0.5 + s * 0.5 is exact for bytes
// and 16-bit values, so its truncation is floor((d + s) / 2), which these compute in integers
// without overflow, channel by channel within a word.
inline unsigned char Average(unsigned char d, unsigned char s) {
    return static_cast<unsigned char>((d & s) + ((d ^ s) >> 1));
}
inline unsigned short Average(unsigned short d, unsigned short s) {
    return static_cast<unsigned short>((d & s) + ((d ^ s) >> 1));
}
inline std::uint32_t AverageBytes(std::uint32_t d, std::uint32_t s) {
    return (d & s) + (((d ^ s) & 0xFEFEFEFEu) >> 1);
}

// 0xFF in every byte of the word that is 0, 0x00 in the others.
inline std::uint32_t ZeroBytes(std::uint32_t word) {
    const std::uint32_t low7 = (word & 0x7F7F7F7Fu) + 0x7F7F7F7Fu;  // bit 7 set if low bits set
    const std::uint32_t zero = ~(low7 | word) & 0x80808080u;        // bit 7 set if byte is 0
    return (zero - (zero >> 7)) | zero;                             // 0x80 -> 0x7F | 0x80
}

SOLOMA_MULTIVERSION void BlendRowC3(const unsigned char* __restrict src,
                                    unsigned char* __restrict dst, int width) {
    for (int x = 0; x < width; ++x) {
        const unsigned char* s = src + 3 * static_cast<std::ptrdiff_t>(x);
        unsigned char* d = dst + 3 * static_cast<std::ptrdiff_t>(x);
        const unsigned char d0 = d[0], d1 = d[1], d2 = d[2];
        const unsigned char s0 = s[0], s1 = s[1], s2 = s[2];
        // Any zero byte makes the whole pixel count as empty.
        const bool dstEmpty = (d0 == 0) | (d1 == 0) | (d2 == 0);
        const bool srcEmpty = (s0 == 0) | (s1 == 0) | (s2 == 0);
        const unsigned char takeSrc = static_cast<unsigned char>(0u - dstEmpty);
        const unsigned char keepDst = static_cast<unsigned char>(0u - (!dstEmpty & srcEmpty));
        const unsigned char average = static_cast<unsigned char>(~(takeSrc | keepDst));
        d[0] = (s0 & takeSrc) | (d0 & keepDst) | (Average(d0, s0) & average);
        d[1] = (s1 & takeSrc) | (d1 & keepDst) | (Average(d1, s1) & average);
        d[2] = (s2 & takeSrc) | (d2 & keepDst) | (Average(d2, s2) & average);
    }
}

SOLOMA_MULTIVERSION void BlendRowC4(const unsigned char* __restrict src,
                                    unsigned char* __restrict dst, int width) {
    for (int x = 0; x < width; ++x) {
        std::uint32_t d;
        std::uint32_t s;
        std::memcpy(&d, dst + 4 * static_cast<std::ptrdiff_t>(x), sizeof d);
        std::memcpy(&s, src + 4 * static_cast<std::ptrdiff_t>(x), sizeof s);
        // Channel by channel: a zero on either side takes the other side's byte, two
        // non-zero bytes their average. Alpha stays the destination's, 255 on this path.
        const std::uint32_t dZero = ZeroBytes(d);
        const std::uint32_t sZero = ZeroBytes(s) & ~dZero;
        const std::uint32_t merged =
            (s & dZero) | (d & sZero) | (AverageBytes(d, s) & ~(dZero | sZero));
        const std::uint32_t blended = (merged & 0x00FFFFFFu) | (d & 0xFF000000u);
        // A destination that is not opaque takes the source; an opaque black one is kept.
        const std::uint32_t takeSrc = 0u - static_cast<std::uint32_t>((d >> 24) != 255u);
        const std::uint32_t keepDst =
            ~takeSrc & (0u - static_cast<std::uint32_t>((d & 0x00FFFFFFu) == 0u));
        const std::uint32_t result =
            (s & takeSrc) | (d & keepDst) | (blended & ~(takeSrc | keepDst));
        std::memcpy(dst + 4 * static_cast<std::ptrdiff_t>(x), &result, sizeof result);
    }
}

SOLOMA_MULTIVERSION void BlendRow16u(const unsigned short* __restrict src,
                                     unsigned short* __restrict dst, unsigned short key,
                                     int width) {
    for (int x = 0; x < width; ++x) {
        const unsigned short d = dst[x];
        const unsigned short s = src[x];
        const unsigned short blended = s == key ? d : Average(d, s);
        dst[x] = d == key ? s : blended;
    }
}

}  // namespace

// The row loops always run as a parallel region, whatever the number of processors.

void AlphaComposition::BlendImages8u_C3(const unsigned char* src, int srcStep, unsigned char* dst,
                                        int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 3) ||
        !ValidImage(dst, dstStep, width, height, 3)) {
        return;
    }
#pragma omp parallel for schedule(static)
    for (int y = 0; y < height; ++y) {
        BlendRowC3(RowAt(src, srcStep, y), RowAt(dst, dstStep, y), width);
    }
}

void AlphaComposition::BlendImages8u_C4(const unsigned char* src, int srcStep, unsigned char* dst,
                                        int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 4) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
#pragma omp parallel for schedule(static)
    for (int y = 0; y < height; ++y) {
        BlendRowC4(RowAt(src, srcStep, y), RowAt(dst, dstStep, y), width);
    }
}

void AlphaComposition::BlendImages(const unsigned short* src, int srcStep, unsigned short* dst,
                                   int dstStep, unsigned short key, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
#pragma omp parallel for schedule(static)
    for (int y = 0; y < height; ++y) {
        BlendRow16u(RowAt(src, srcStep, y), RowAt(dst, dstStep, y), key, width);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
