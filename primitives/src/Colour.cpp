#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#ifdef __SSE__
#include <xmmintrin.h>
#endif

// RGB (byte 0 red) to and from packed 4:2:2 YUV (Y0 U Y1 V per pair of pixels), in float with
// nearest-even rounding and saturation. An odd last column is left alone.
//
// The rows go through whole vectors with Highway, which compiles the kernels once per x86
// instruction set, re-including this file for each, and picks one at run time; the pairs left
// over at the end of a row, and every pair on processors without SSSE3, go through the plain
// loops. Both make the same float operations in the same order (the build does not contract),
// and the vector conversion to integers rounds to nearest-even as nearbyint does, so results
// do not depend on the path. From AVX2 on, RGB to YUV works in exact integers that give the
// same bytes (see RgbBlockToYuv422Exact).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Colour.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#ifndef PP_COLOUR_SCALAR_ONCE
#define PP_COLOUR_SCALAR_ONCE
namespace {

// The equations, in the order every path evaluates them.
constexpr float kLuma[3] = {0.299f, 0.587f, 0.114f};
constexpr float kChromaU[3] = {-0.147f, 0.289f, 0.436f};  // -r*0.147 - g*0.289 + b*0.436
constexpr float kChromaV[3] = {0.615f, 0.515f, 0.100f};   // r*0.615 - g*0.515 - b*0.100
constexpr float kRed = 1.140f;                            // R = Y + 1.140 V'
constexpr float kGreenU = 0.394f;                         // G = Y - 0.394 U' - 0.581 V'
constexpr float kGreenV = 0.581f;
constexpr float kBlue = 2.032f;  // B = Y + 2.032 U'

inline unsigned char ToByte(float v) {
#ifdef __SSE__
    // The conversion instruction rounds to nearest-even as nearbyint does (both follow the
    // current rounding mode), without a library call; the values here lie well inside int.
    const int rounded = _mm_cvtss_si32(_mm_set_ss(v));
    return static_cast<unsigned char>(std::min(std::max(rounded, 0), 255));
#else
    return static_cast<unsigned char>(std::min(std::max(std::nearbyint(v), 0.0f), 255.0f));
#endif
}

inline float Luma(float r, float g, float b) {
    return kLuma[0] * r + kLuma[1] * g + kLuma[2] * b;
}
inline float ChromaU(float r, float g, float b) {
    return kChromaU[0] * r - kChromaU[1] * g + kChromaU[2] * b + 128.0f;
}
inline float ChromaV(float r, float g, float b) {
    return kChromaV[0] * r - kChromaV[1] * g - kChromaV[2] * b + 128.0f;
}

// Pairs `first` to `pairs` - 1 of a row, one at a time.
void RgbPairsToYuv422(const unsigned char* src, unsigned char* dst, int first, int pairs) {
    for (int i = first; i < pairs; ++i) {
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

void Yuv422PairsToRgb(const unsigned char* src, unsigned char* dst, int first, int pairs) {
    for (int i = first; i < pairs; ++i) {
        const unsigned char* p = src + 4 * i;
        float u = p[1] - 128.0f;
        float v = p[3] - 128.0f;
        unsigned char* q = dst + 6 * i;
        for (int k = 0; k < 2; ++k) {
            float y = p[2 * k];
            q[3 * k + 0] = ToByte(y + kRed * v);
            q[3 * k + 1] = ToByte(y - kGreenU * u - kGreenV * v);
            q[3 * k + 2] = ToByte(y + kBlue * u);
        }
    }
}

}  // namespace
#endif  // PP_COLOUR_SCALAR_ONCE

HWY_BEFORE_NAMESPACE();
namespace {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The vector kernels return how many pairs of the row they converted, from the first; the
// caller converts the rest. Only x86 instruction sets from SSSE3 on have them: there the
// conversion to integers (cvtps2dq) rounds to nearest-even, like nearbyint. From AVX2 on they
// work on 256-bit vectors and pack their bytes with the saturating packs of the instruction
// set directly.
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_SSSE3

#undef PP_COLOUR_AVX2
#if HWY_TARGET <= HWY_AVX2
#define PP_COLOUR_AVX2 1
using DF = hn::Full256<float>;
#else
using DF = hn::ScalableTag<float>;
#endif
using DI = hn::RebindToSigned<DF>;
using DU8 = hn::Repartition<uint8_t, DI>;    // a full vector of bytes
using DU16 = hn::Repartition<uint16_t, DI>;  // a full vector of 16-bit lanes
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;

// A byte of every lane, as float.
template <int kShift>
HWY_INLINE VF ByteAsFloat(VI word) {
    const DI di;
    return hn::ConvertTo(DF(), hn::And(hn::ShiftRight<kShift>(word), hn::Set(di, 0xFF)));
}

#ifndef PP_COLOUR_AVX2
// Rounded to nearest-even and saturated to 0..255.
HWY_INLINE VI ToBytes(VF v) {
    const DI di;
    return hn::Min(hn::Max(hn::NearestInt(v), hn::Zero(di)), hn::Set(di, 255));
}
#endif

HWY_INLINE VF Luma(const VF r, const VF g, const VF b) {
    const DF df;
    return hn::Add(hn::Add(hn::Mul(hn::Set(df, kLuma[0]), r), hn::Mul(hn::Set(df, kLuma[1]), g)),
                   hn::Mul(hn::Set(df, kLuma[2]), b));
}
HWY_INLINE VF ChromaU(const VF r, const VF g, const VF b) {
    const DF df;
    const VF rg =
        hn::Sub(hn::Mul(hn::Set(df, kChromaU[0]), r), hn::Mul(hn::Set(df, kChromaU[1]), g));
    return hn::Add(hn::Add(rg, hn::Mul(hn::Set(df, kChromaU[2]), b)), hn::Set(df, 128.0f));
}
HWY_INLINE VF ChromaV(const VF r, const VF g, const VF b) {
    const DF df;
    const VF rg =
        hn::Sub(hn::Mul(hn::Set(df, kChromaV[0]), r), hn::Mul(hn::Set(df, kChromaV[1]), g));
    return hn::Add(hn::Sub(rg, hn::Mul(hn::Set(df, kChromaV[2]), b)), hn::Set(df, 128.0f));
}

// Y0 U Y1 V of as many pairs as DI has lanes, rounded, saturated and stored at dst.
HWY_INLINE void StoreYuvPairs(VF y0, VF u, VF y1, VF v, unsigned char* HWY_RESTRICT dst) {
#ifdef PP_COLOUR_AVX2
    // Per 128-bit half: Y0 of its four pairs, Y1, U, V; then each pair's bytes together.
    const __m256i luma = _mm256_packs_epi32(_mm256_cvtps_epi32(y0.raw), _mm256_cvtps_epi32(y1.raw));
    const __m256i chroma = _mm256_packs_epi32(_mm256_cvtps_epi32(u.raw), _mm256_cvtps_epi32(v.raw));
    const __m256i order = _mm256_setr_epi8(0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15, 0,
                                           8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15);
    const __m256i bytes = _mm256_shuffle_epi8(_mm256_packus_epi16(luma, chroma), order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), bytes);
#else
    const DI di;
    const VI words = hn::Or(hn::Or(ToBytes(y0), hn::ShiftLeft<8>(ToBytes(u))),
                            hn::Or(hn::ShiftLeft<16>(ToBytes(y1)), hn::ShiftLeft<24>(ToBytes(v))));
    hn::StoreU(words, di, reinterpret_cast<int32_t*>(dst));
#endif
}

// The even pixels' values of a channel (low bytes of the 16-bit lanes) and the odd pixels'
// (high bytes), for the pairs in the lower or upper half of the vector.
HWY_INLINE void SplitPairs(hn::Vec<DU16> channel, bool upper, VF* even, VF* odd) {
    const hn::Half<DU16> dHalf;
    const DI di;
    const auto half = upper ? hn::UpperHalf(dHalf, channel) : hn::LowerHalf(dHalf, channel);
    const VI words = hn::BitCast(di, hn::PromoteTo(hn::RebindToUnsigned<DI>(), half));
    *even = hn::ConvertTo(DF(), hn::And(words, hn::Set(di, 0xFF)));
    *odd = hn::ConvertTo(DF(), hn::ShiftRight<8>(words));
}

// The pairs of one vector of bytes per channel, in float, stored at dst.
HWY_INLINE void RgbBlockToYuv422(hn::Vec<DU8> red, hn::Vec<DU8> green, hn::Vec<DU8> blue,
                                 unsigned char* HWY_RESTRICT dst) {
    const DF df;
    const DU16 d16;
    const int lanes = static_cast<int>(hn::Lanes(df));
    const VF half = hn::Set(df, 0.5f);
    for (int part = 0; part < 2; ++part) {
        VF r0, g0, b0, r1, g1, b1;
        SplitPairs(hn::BitCast(d16, red), part == 1, &r0, &r1);
        SplitPairs(hn::BitCast(d16, green), part == 1, &g0, &g1);
        SplitPairs(hn::BitCast(d16, blue), part == 1, &b0, &b1);
        // The pair shares the mean of the two pixels' unrounded chroma.
        const VF u = hn::Mul(hn::Add(ChromaU(r0, g0, b0), ChromaU(r1, g1, b1)), half);
        const VF v = hn::Mul(hn::Add(ChromaV(r0, g0, b0), ChromaV(r1, g1, b1)), half);
        StoreYuvPairs(Luma(r0, g0, b0), u, Luma(r1, g1, b1), v, dst + 4 * part * lanes);
    }
}

#ifdef PP_COLOUR_AVX2
// The same conversion in exact integers, 16 pairs at a time, in 16-bit lanes: far fewer
// instructions than float, whose 19 operations per pixel bound it. The float equations stay
// within 1e-4 (the tests measure it over every colour) of the exact values of their decimal
// coefficients, a pair's chroma the mean of its pixels'. Those exact values are multiples of
// 1/1000 (luma) and 1/2000 (chroma), so unless one is a tie (a half-integer), float and exact
// round to the same byte. At ties float rounding goes either way, so a block holding one is
// converted in float instead.
//
// Each byte is floor(n / 1000) or floor(n / 2000) of an exact non-negative integer n that does
// not fit 16 bits: it is built as n / 8 (or n / 16), split into a part scaled by 8 (or 16) and
// a small remainder, and divided by 125 as a multiplication. A tie is an n that the division
// leaves no remainder of.

// Constants as opaque values: the compiler then keeps them (in registers or memory) rather
// than rebuilding them in every iteration, or turning the multiplications by them into
// shifts and additions.
HWY_INLINE __m256i Words(short value) {
    __m256i v = _mm256_set1_epi16(value);
    asm("" : "+x"(v));
    return v;
}
HWY_INLINE __m256i Bytes(int value) {
    __m256i v = _mm256_set1_epi8(static_cast<char>(value));
    asm("" : "+x"(v));
    return v;
}

// floor(q / 125) for q < 40000 in 16-bit lanes.
HWY_INLINE __m256i DivideBy125(__m256i q) {
    const __m256i reciprocal = Words(static_cast<short>(33555));  // 2^22 / 125, up
    return _mm256_srli_epi16(_mm256_mulhi_epu16(q, reciprocal), 6);
}

// All ones in the lanes where q = 125 * quotient and the low bits of `rest` in `mask` are 0.
HWY_INLINE __m256i Exact(__m256i q, __m256i quotient, __m256i rest, short mask) {
    const __m256i multiple = _mm256_cmpeq_epi16(_mm256_mullo_epi16(quotient, Words(125)), q);
    const __m256i low = _mm256_and_si256(rest, Words(mask));
    return _mm256_and_si256(multiple, _mm256_cmpeq_epi16(low, _mm256_setzero_si256()));
}

// Pixel luma from [red, green] and [blue, 4] byte pairs: n = 299r + 587g + 114b + 500 =
// 256 (r + 2g) + low, with low = 43r + 75g + 114b + 4 * 125 below 2^16.
HWY_INLINE __m256i LumaBytes(__m256i redGreen, __m256i blueFour, __m256i* tie) {
    const __m256i low = _mm256_add_epi16(_mm256_maddubs_epi16(redGreen, Words(75 << 8 | 43)),
                                         _mm256_maddubs_epi16(blueFour, Words(125 << 8 | 114)));
    const __m256i high = _mm256_maddubs_epi16(redGreen, Words(2 << 8 | 1));
    const __m256i eighth = _mm256_add_epi16(_mm256_slli_epi16(high, 5), _mm256_srli_epi16(low, 3));
    const __m256i luma = DivideBy125(eighth);
    *tie = Exact(eighth, luma, low, 7);
    return luma;
}

// c * (x0 + x1) for each pair of pixels of a channel's bytes.
HWY_INLINE __m256i PairSums(__m256i channel, int c) {
    return _mm256_maddubs_epi16(channel, Bytes(c));
}

// n / 16 of a pair's chroma from its high part (n = 16 high + low) and low part.
HWY_INLINE __m256i Sixteenth(__m256i high, __m256i low) {
    return _mm256_add_epi16(high, _mm256_srli_epi16(low, 4));
}

// Pair chroma, with R, G, B the sums of the pair's two pixels (each up to 510):
// U = 17 + floor(n / 2000), n = 147 (510 - R) + 289 (510 - G) + 436 B + 640;
// V = floor(n / 2000) - 29, n = 615 R + 515 (510 - G) + 100 (510 - B) + 1350,
// each coefficient split as 16 * high + low.
HWY_INLINE __m256i ChromaUBytes(__m256i r, __m256i g, __m256i b, __m256i* tie) {
    const __m256i high = _mm256_add_epi16(_mm256_add_epi16(Words(13770), PairSums(r, -9)),
                                          _mm256_add_epi16(PairSums(g, -18), PairSums(b, 27)));
    const __m256i low = _mm256_add_epi16(_mm256_add_epi16(Words(2040 + 640), PairSums(r, -3)),
                                         _mm256_add_epi16(PairSums(g, -1), PairSums(b, 4)));
    const __m256i q = Sixteenth(high, low);
    const __m256i quotient = DivideBy125(q);
    *tie = Exact(q, quotient, low, 15);
    return _mm256_add_epi16(quotient, Words(17));
}

HWY_INLINE __m256i ChromaVBytes(__m256i r, __m256i g, __m256i b, __m256i* tie) {
    const __m256i high = _mm256_add_epi16(_mm256_add_epi16(Words(19380), PairSums(r, 38)),
                                          _mm256_add_epi16(PairSums(g, -32), PairSums(b, -6)));
    const __m256i low = _mm256_add_epi16(_mm256_add_epi16(Words(3570 + 1350), PairSums(r, 7)),
                                         _mm256_add_epi16(PairSums(g, -3), PairSums(b, -4)));
    const __m256i q = Sixteenth(high, low);
    const __m256i quotient = DivideBy125(q);
    *tie = Exact(q, quotient, low, 15);
    return _mm256_sub_epi16(quotient, Words(29));  // saturated when packed
}

// A block with a tie, in float; kept out of line so that the rare call leaves the registers of
// the exact loop alone.
HWY_NOINLINE void RgbBlockWithTieToYuv422(const unsigned char* HWY_RESTRICT src,
                                          unsigned char* HWY_RESTRICT dst) {
    const DU8 d8;
    hn::Vec<DU8> red, green, blue;
    hn::LoadInterleaved3(d8, src, red, green, blue);
    RgbBlockToYuv422(red, green, blue, dst);
}

// 16 pairs in exact integers stored at dst, unless one of their bytes is a tie: then nothing
// is stored and the result is false.
HWY_INLINE bool RgbBlockToYuv422Exact(__m256i r, __m256i g, __m256i b,
                                      unsigned char* HWY_RESTRICT dst) {
    // 16-bit lanes of pixels 0-7 and 16-23 (low) and 8-15 and 24-31 (high).
    const __m256i four = Bytes(4);
    __m256i tieLow, tieHigh, tieU, tieV;
    const __m256i lumaLow =
        LumaBytes(_mm256_unpacklo_epi8(r, g), _mm256_unpacklo_epi8(b, four), &tieLow);
    const __m256i lumaHigh =
        LumaBytes(_mm256_unpackhi_epi8(r, g), _mm256_unpackhi_epi8(b, four), &tieHigh);
    // Pairs 0-7 in the low 128-bit half, 8-15 in the high.
    const __m256i u = ChromaUBytes(r, g, b, &tieU);
    const __m256i v = ChromaVBytes(r, g, b, &tieV);
    const __m256i ties =
        _mm256_or_si256(_mm256_or_si256(tieLow, tieHigh), _mm256_or_si256(tieU, tieV));
    if (!_mm256_testz_si256(ties, ties)) {
        return false;
    }
    // Per half: the luma of its 16 pixels in order, and U, V of its 8 pairs side by side.
    const __m256i luma = _mm256_packus_epi16(lumaLow, lumaHigh);
    const __m256i chroma =
        _mm256_shuffle_epi8(_mm256_packus_epi16(u, v),
                            _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,
                                             0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15));
    // Y0 U Y1 V: pairs 0-3 and 8-11 in the first, 4-7 and 12-15 in the second.
    const __m256i first = _mm256_unpacklo_epi8(luma, chroma);
    const __m256i second = _mm256_unpackhi_epi8(luma, chroma);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst),
                        _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 32),
                        _mm256_permute2x128_si256(first, second, 0x31));
    return true;
}
#endif

int RgbToYuv422Row(const unsigned char* HWY_RESTRICT src, unsigned char* HWY_RESTRICT dst,
                   int pairs) {
    const DU8 d8;
    const int block = static_cast<int>(hn::Lanes(d8)) / 2;  // pairs per vector of bytes
    int i = 0;
#ifdef PP_COLOUR_AVX2
    // Ties come in runs, where a colour repeats: after a block with one, the next few go
    // straight to float rather than paying for both forms each.
    int floatBlocks = 0;
#endif
    for (; i + block <= pairs; i += block) {
#ifdef PP_COLOUR_AVX2
        if (floatBlocks > 0) {
            --floatBlocks;
            RgbBlockWithTieToYuv422(src + 6 * i, dst + 4 * i);
            continue;
        }
#endif
        hn::Vec<DU8> red, green, blue;
        hn::LoadInterleaved3(d8, src + 6 * i, red, green, blue);
#ifdef PP_COLOUR_AVX2
        if (!RgbBlockToYuv422Exact(red.raw, green.raw, blue.raw, dst + 4 * i)) {
            RgbBlockWithTieToYuv422(src + 6 * i, dst + 4 * i);
            floatBlocks = 3;
        }
        continue;
#endif
        RgbBlockToYuv422(red, green, blue, dst + 4 * i);
    }
    return i;
}

// Red, green and blue of the even and the odd pixels of as many pairs as DI has lanes,
// rounded, saturated and stored at dst as 3-byte pixels.
HWY_INLINE void StoreRgbPairs(VF r0, VF g0, VF b0, VF r1, VF g1, VF b1,
                              unsigned char* HWY_RESTRICT dst) {
#ifdef PP_COLOUR_AVX2
    // Per 128-bit half, four pairs: the bytes R0 R1 G0 G1 of its pairs in one register and
    // B0 B1 in another, each four wide; two shuffles of each make the 24 bytes in pixel order.
    const auto bytes = [](VF a, VF b) {
        return _mm256_packs_epi32(_mm256_cvtps_epi32(a.raw), _mm256_cvtps_epi32(b.raw));
    };
    const __m256i blue = bytes(b0, b1);
    const __m256i redGreen = _mm256_packus_epi16(bytes(r0, r1), bytes(g0, g1));
    const __m256i blues = _mm256_packus_epi16(blue, blue);
    const int z = -1;  // a zero byte
    // Pixel k of the half: red at k / 2 + 4 (k % 2), green 8 further; blue at the same place
    // in `blues`.
    const __m256i firstRG = _mm256_setr_epi8(0, 8, z, 4, 12, z, 1, 9, z, 5, 13, z, 2, 10, z, 6, 0,
                                             8, z, 4, 12, z, 1, 9, z, 5, 13, z, 2, 10, z, 6);
    const __m256i firstB = _mm256_setr_epi8(z, z, 0, z, z, 4, z, z, 1, z, z, 5, z, z, 2, z, z, z, 0,
                                            z, z, 4, z, z, 1, z, z, 5, z, z, 2, z);
    const __m256i lastRG = _mm256_setr_epi8(14, z, 3, 11, z, 7, 15, z, z, z, z, z, z, z, z, z, 14,
                                            z, 3, 11, z, 7, 15, z, z, z, z, z, z, z, z, z);
    const __m256i lastB = _mm256_setr_epi8(z, 6, z, z, 3, z, z, 7, z, z, z, z, z, z, z, z, z, 6, z,
                                           z, 3, z, z, 7, z, z, z, z, z, z, z, z);
    const __m256i first =
        _mm256_or_si256(_mm256_shuffle_epi8(redGreen, firstRG), _mm256_shuffle_epi8(blues, firstB));
    const __m256i last =
        _mm256_or_si256(_mm256_shuffle_epi8(redGreen, lastRG), _mm256_shuffle_epi8(blues, lastB));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), _mm256_castsi256_si128(last));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 24), _mm256_extracti128_si256(first, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 40), _mm256_extracti128_si256(last, 1));
#else
    // The bytes of a channel for the even and the odd pixels, in pixel order.
    using DU16Half = hn::Rebind<uint16_t, DI>;
    const hn::Repartition<uint8_t, DU16Half> d8;
    const auto interleave = [&](VF even, VF odd) {
        return hn::BitCast(
            d8, hn::DemoteTo(DU16Half(), hn::Or(ToBytes(even), hn::ShiftLeft<8>(ToBytes(odd)))));
    };
    hn::StoreInterleaved3(interleave(r0, r1), interleave(g0, g1), interleave(b0, b1), d8, dst);
#endif
}

int Yuv422ToRgbRow(const unsigned char* HWY_RESTRICT src, unsigned char* HWY_RESTRICT dst,
                   int pairs) {
    const DF df;
    const DI di;
    const int lanes = static_cast<int>(hn::Lanes(di));
    const VF centre = hn::Set(df, 128.0f);
    int i = 0;
    for (; i + lanes <= pairs; i += lanes) {
        const VI words = hn::LoadU(di, reinterpret_cast<const int32_t*>(src + 4 * i));
        const VF y0 = ByteAsFloat<0>(words);
        const VF u = hn::Sub(ByteAsFloat<8>(words), centre);
        const VF y1 = ByteAsFloat<16>(words);
        const VF v = hn::Sub(ByteAsFloat<24>(words), centre);
        // The products are the same for both pixels of a pair.
        const VF red = hn::Mul(hn::Set(df, kRed), v);
        const VF greenU = hn::Mul(hn::Set(df, kGreenU), u);
        const VF greenV = hn::Mul(hn::Set(df, kGreenV), v);
        const VF blue = hn::Mul(hn::Set(df, kBlue), u);
        StoreRgbPairs(hn::Add(y0, red), hn::Sub(hn::Sub(y0, greenU), greenV), hn::Add(y0, blue),
                      hn::Add(y1, red), hn::Sub(hn::Sub(y1, greenU), greenV), hn::Add(y1, blue),
                      dst + 6 * i);
    }
    return i;
}

#else

int RgbToYuv422Row(const unsigned char*, unsigned char*, int) {
    return 0;
}
int Yuv422ToRgbRow(const unsigned char*, unsigned char*, int) {
    return 0;
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace {

HWY_EXPORT(RgbToYuv422Row);
HWY_EXPORT(Yuv422ToRgbRow);

void RgbRowToYuv422(const unsigned char* src, unsigned char* dst, int pairs) {
    const int done = HWY_DYNAMIC_DISPATCH(RgbToYuv422Row)(src, dst, pairs);
    RgbPairsToYuv422(src, dst, done, pairs);
}

void Yuv422RowToRgb(const unsigned char* src, unsigned char* dst, int pairs) {
    const int done = HWY_DYNAMIC_DISPATCH(Yuv422ToRgbRow)(src, dst, pairs);
    Yuv422PairsToRgb(src, dst, done, pairs);
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
#endif  // HWY_ONCE
