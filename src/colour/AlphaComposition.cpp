#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/Avx2.h"
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

SOLOMA_MULTIVERSION void BlendPixelsC3(const unsigned char* __restrict src,
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

#ifdef SOLOMA_AVX2_KERNELS
// Two 16-byte loads, at p and p + 12: four 3-byte pixels at the start of each half.
SOLOMA_TARGET_AVX2 inline __m256i LoadPixelQuads(const unsigned char* p) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// 0xFF on the three bytes of each pixel of the halves that has no zero byte, 0 on the others.
SOLOMA_TARGET_AVX2 inline __m256i FullPixels(__m256i pixels) {
    // A pixel's three zero flags and its first again in one 32-bit lane, tested at once, and
    // the lane's answer spread back over the pixel's bytes.
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, 0, 3, 4, 5, 3, 6, 7, 8, 6, 9, 10, 11, 9, 0, 1,
                                            2, 0, 3, 4, 5, 3, 6, 7, 8, 6, 9, 10, 11, 9);
    const int z = -1;  // a zero byte
    const __m256i back = _mm256_setr_epi8(0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, z, z, z, z, 0, 0,
                                          0, 4, 4, 4, 8, 8, 8, 12, 12, 12, z, z, z, z);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i zeroBytes = _mm256_cmpeq_epi8(pixels, zero);
    const __m256i full = _mm256_cmpeq_epi32(_mm256_shuffle_epi8(zeroBytes, spread), zero);
    return _mm256_shuffle_epi8(full, back);
}

// Pixels from the first of the row on, eight at a time; returns how many it blended. The
// loads read four bytes past a block's pixels, so it stops while those are still in the row;
// the stores write the block's 24 bytes only, so the next block's loads never wait on them.
SOLOMA_TARGET_AVX2 int BlendRowC3Avx2(const unsigned char* __restrict src,
                                      unsigned char* __restrict dst, int width) {
    const __m256i lowBit = _mm256_set1_epi8(1);
    const __m256i packHalves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);  // 24 bytes together
    int x = 0;
    for (; x + 10 <= width; x += 8) {
        unsigned char* d = dst + 3 * static_cast<std::ptrdiff_t>(x);
        const __m256i dv = LoadPixelQuads(d);
        const __m256i sv = LoadPixelQuads(src + 3 * static_cast<std::ptrdiff_t>(x));
        // floor((d + s) / 2): the rounded-up mean less the odd bit.
        const __m256i average = _mm256_sub_epi8(_mm256_avg_epu8(dv, sv),
                                                _mm256_and_si256(_mm256_xor_si256(dv, sv), lowBit));
        const __m256i kept = _mm256_blendv_epi8(dv, average, FullPixels(sv));
        const __m256i result = _mm256_blendv_epi8(sv, kept, FullPixels(dv));
        const __m256i packed = _mm256_permutevar8x32_epi32(result, packHalves);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(packed, 1));
    }
    return x;
}
#endif

void BlendRowC3(const unsigned char* __restrict src, unsigned char* __restrict dst, int width) {
    int done = 0;
#ifdef SOLOMA_AVX2_KERNELS
    if (CpuHasAvx2()) {
        done = BlendRowC3Avx2(src, dst, width);
    }
#endif
    const std::ptrdiff_t offset = 3 * static_cast<std::ptrdiff_t>(done);
    BlendPixelsC3(src + offset, dst + offset, width - done);
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
