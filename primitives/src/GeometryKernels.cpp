#include "GeometryKernels.h"
#include "Common.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

// The kernels are compiled once per instruction set by Highway, which re-includes this file
// for each and picks one at run time. With AVX2 and later they read the source by whole
// vectors: a resize's row through an eight-element window permuted in registers (by exactly
// 2, four consecutive elements and their right neighbours), points by gathers. Elsewhere they are
// the plain loops. Both do the same double operations in the same order, without contraction, so
// results do not depend on the instruction set.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "GeometryKernels.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pp {
namespace HWY_NAMESPACE {

template <typename T>
HWY_INLINE void InterpolateElements(const T* row, const ColumnTaps& taps, int from, int to,
                                    double* out) {
    for (int j = from; j < to; ++j) {
        out[j] = Blend(static_cast<double>(row[taps.a[j]]), static_cast<double>(row[taps.b[j]]),
                       taps.f[j]);
    }
}

#undef PP_GEOMETRY_AVX2
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
#define PP_GEOMETRY_AVX2 1

// The vector Blend; g must be 1 - f.
HWY_INLINE __m256d BlendVector(__m256d a, __m256d b, __m256d f, __m256d g) {
    const __m256d blended = _mm256_add_pd(_mm256_mul_pd(g, a), _mm256_mul_pd(f, b));
    const __m256d unused = _mm256_cmp_pd(f, _mm256_setzero_pd(), _CMP_EQ_OQ);
    return _mm256_blendv_pd(blended, a, unused);
}

HWY_INLINE __m256d BlendVector(__m256d a, __m256d b, __m256d f) {
    return BlendVector(a, b, f, _mm256_sub_pd(_mm256_set1_pd(1.0), f));
}

// Eight consecutive elements as 32-bit lanes (float bits for float, integers otherwise).
HWY_INLINE __m256i LoadWindow(const unsigned char* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
HWY_INLINE __m256i LoadWindow(const unsigned short* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
HWY_INLINE __m256i LoadWindow(const float* p) {
    return _mm256_castps_si256(_mm256_loadu_ps(p));
}

// Four 32-bit lanes as doubles.
template <typename T>
HWY_INLINE __m256d ToDouble(__m128i lanes) {
    if constexpr (std::is_floating_point_v<T>) {
        return _mm256_cvtps_pd(_mm_castsi128_ps(lanes));
    } else {
        return _mm256_cvtepi32_pd(lanes);
    }
}

// Four values as T, in the low bytes. cvtpd2dq rounds to nearest even, as FromDouble does.
HWY_INLINE __m128i ToPixels(__m256d v, float*) {
    return _mm_castps_si128(_mm256_cvtpd_ps(v));
}
HWY_INLINE __m128i ToPixels(__m256d v, unsigned short*) {
    const __m128i whole = _mm256_cvtpd_epi32(v);
    return _mm_packus_epi32(whole, whole);
}
HWY_INLINE __m128i ToPixels(__m256d v, unsigned char*) {
    const __m128i words = ToPixels(v, static_cast<unsigned short*>(nullptr));
    return _mm_packus_epi16(words, words);
}

// The source pairs of windowed block k: each lane's left neighbour in a, its right one in b.
template <typename T>
HWY_INLINE void BlockPairs(const T* row, const ColumnTaps& taps, int k, __m256d& a, __m256d& b) {
    const __m256i lanes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(taps.windowLanes[k]));
    const __m256i picked =
        _mm256_permutevar8x32_epi32(LoadWindow(row + taps.windowStart[k]), lanes);
    a = ToDouble<T>(_mm256_castsi256_si128(picked));
    b = ToDouble<T>(_mm256_extracti128_si256(picked, 1));
}

#endif

template <typename T>
HWY_INLINE void InterpolateRowT(const T* row, const ColumnTaps& taps, double* out) {
    const int n = taps.elements;
    int j = 0;
#ifdef PP_GEOMETRY_AVX2
    constexpr int kBlock = ColumnTaps::kBlock;
    for (int k = 0; k < taps.windowBlocks; ++k, j += kBlock) {
        __m256d a, b;
        BlockPairs(row, taps, k, a, b);
        const __m256d f = _mm256_loadu_pd(taps.f + j);
        _mm256_storeu_pd(out + j, BlendVector(a, b, f, _mm256_loadu_pd(taps.g + j)));
    }
#endif
    InterpolateElements(row, taps, j, n, out);
}

void InterpolateRow8u(const unsigned char* row, const ColumnTaps& taps, double* out) {
    InterpolateRowT(row, taps, out);
}
void InterpolateRow16u(const unsigned short* row, const ColumnTaps& taps, double* out) {
    InterpolateRowT(row, taps, out);
}
void InterpolateRow32f(const float* row, const ColumnTaps& taps, double* out) {
    InterpolateRowT(row, taps, out);
}

#ifdef PP_GEOMETRY_AVX2
// The windowed blocks of InterpolateAndBlendT, for kCount targets; returns the elements done.
template <typename T, int kCount, bool kZeroWeights>
HWY_INLINE int InterpolateAndBlendBlocks(const T* row, const ColumnTaps& taps, const double* upper,
                                         double* lower, const RowTargets<T>& targets) {
    constexpr int kBlock = ColumnTaps::kBlock;
    __m256d f[kCount];
    __m256d g[kCount];
    T* out[kCount];
    for (int k = 0; k < kCount; ++k) {
        f[k] = _mm256_set1_pd(targets.f[k]);
        g[k] = _mm256_set1_pd(1.0 - targets.f[k]);
        out[k] = targets.out[k];
    }
    int j = 0;
    for (int w = 0; w < taps.windowBlocks; ++w, j += kBlock) {
        __m256d a, b;
        BlockPairs(row, taps, w, a, b);
        const __m256d fx = _mm256_loadu_pd(taps.f + j);
        const __m256d gx = _mm256_loadu_pd(taps.g + j);
        const __m256d down = kZeroWeights
                                 ? BlendVector(a, b, fx, gx)
                                 : _mm256_add_pd(_mm256_mul_pd(gx, a), _mm256_mul_pd(fx, b));
        _mm256_storeu_pd(lower + j, down);
        const __m256d up = _mm256_loadu_pd(upper + j);
        for (int k = 0; k < kCount; ++k) {
            const __m256d v = _mm256_add_pd(_mm256_mul_pd(g[k], up), _mm256_mul_pd(f[k], down));
            const __m128i pixels = ToPixels(v, out[k]);
            std::memcpy(out[k] + j, &pixels, kBlock * sizeof(T));
        }
    }
    return j;
}

template <typename T, bool kZeroWeights>
HWY_INLINE int InterpolateAndBlendCount(const T* row, const ColumnTaps& taps, const double* upper,
                                        double* lower, const RowTargets<T>& targets) {
    switch (targets.count) {
        case 1:
            return InterpolateAndBlendBlocks<T, 1, kZeroWeights>(row, taps, upper, lower, targets);
        case 2:
            return InterpolateAndBlendBlocks<T, 2, kZeroWeights>(row, taps, upper, lower, targets);
        case 3:
            return InterpolateAndBlendBlocks<T, 3, kZeroWeights>(row, taps, upper, lower, targets);
        default:
            return InterpolateAndBlendBlocks<T, 4, kZeroWeights>(row, taps, upper, lower, targets);
    }
}
#endif

// InterpolateRowT into `lower`, and each destination row of `targets` blended from `upper` and
// it while its values are still in registers: the blends' stores then overlap with the
// interpolation's arithmetic instead of following it.
template <typename T>
HWY_INLINE void InterpolateAndBlendT(const T* row, const ColumnTaps& taps, const double* upper,
                                     double* lower, const RowTargets<T>& targets) {
    int j = 0;
#ifdef PP_GEOMETRY_AVX2
    // Locals, which the stores cannot alias, so that the targets stay in registers.
    const RowTargets<T> local = targets;
    if (taps.zeroWeights) {
        j = InterpolateAndBlendCount<T, true>(row, taps, upper, lower, local);
    } else {
        j = InterpolateAndBlendCount<T, false>(row, taps, upper, lower, local);
    }
#endif
    InterpolateElements(row, taps, j, taps.elements, lower);
    for (int k = 0; k < targets.count; ++k) {
        BlendElements(upper, lower, targets.f[k], j, taps.elements, targets.out[k]);
    }
}

void InterpolateAndBlend8u(const unsigned char* row, const ColumnTaps& taps, const double* upper,
                           double* lower, const RowTargets<unsigned char>& targets) {
    InterpolateAndBlendT(row, taps, upper, lower, targets);
}
void InterpolateAndBlend16u(const unsigned short* row, const ColumnTaps& taps, const double* upper,
                            double* lower, const RowTargets<unsigned short>& targets) {
    InterpolateAndBlendT(row, taps, upper, lower, targets);
}
void InterpolateAndBlend32f(const float* row, const ColumnTaps& taps, const double* upper,
                            double* lower, const RowTargets<float>& targets) {
    InterpolateAndBlendT(row, taps, upper, lower, targets);
}

// ---- Enlarging by two: see QuarterProducts.

// Destination columns [from, to) of a tile, one at a time. Column c of the tile (column
// 2 first + 1 + c) blends element i = first + c / 2 with the next one.
template <typename T>
HWY_INLINE void EnlargeColumns(const T* row, int width, int first, int from, int to,
                               const QuarterProducts& previous, QuarterProducts& next,
                               T* nearPrevious, T* nearNext) {
    for (int c = from; c < to; ++c) {
        const int i = first + c / 2;
        const double a = row[i];
        const double b = row[i + 1 < width ? i + 1 : i];
        const double value = c % 2 == 0 ? 0.75 * a + 0.25 * b : 0.25 * a + 0.75 * b;
        next.quarter[c] = 0.25 * value;
        next.threeQuarters[c] = 0.75 * value;
        if (nearPrevious != nullptr) {
            nearPrevious[c] = FromDouble<T>(previous.threeQuarters[c] + next.quarter[c]);
        }
        if (nearNext != nullptr) {
            nearNext[c] = FromDouble<T>(previous.quarter[c] + next.threeQuarters[c]);
        }
    }
}

#ifdef PP_GEOMETRY_AVX2
// Four consecutive elements as doubles.
HWY_INLINE __m256d LoadFour(const float* p) {
    return _mm256_cvtps_pd(_mm_loadu_ps(p));
}
HWY_INLINE __m256d LoadFour(const unsigned short* p) {
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm256_cvtepi32_pd(_mm_cvtepu16_epi32(words));
}

// Four interpolated values at tile columns [c, c + 4): kept, and blended into the rows.
template <typename T>
HWY_INLINE void EnlargeFour(__m256d value, int c, const QuarterProducts& previous,
                            QuarterProducts& next, T* nearPrevious, T* nearNext) {
    const __m256d quarter = _mm256_mul_pd(_mm256_set1_pd(0.25), value);
    const __m256d threeQuarters = _mm256_mul_pd(_mm256_set1_pd(0.75), value);
    _mm256_storeu_pd(next.quarter + c, quarter);
    _mm256_storeu_pd(next.threeQuarters + c, threeQuarters);
    if (nearPrevious != nullptr) {
        const __m256d v = _mm256_add_pd(_mm256_loadu_pd(previous.threeQuarters + c), quarter);
        const __m128i pixels = ToPixels(v, nearPrevious);
        std::memcpy(nearPrevious + c, &pixels, 4 * sizeof(T));
    }
    if (nearNext != nullptr) {
        const __m256d v = _mm256_add_pd(_mm256_loadu_pd(previous.quarter + c), threeQuarters);
        const __m128i pixels = ToPixels(v, nearNext);
        std::memcpy(nearNext + c, &pixels, 4 * sizeof(T));
    }
}

// Tile columns [c, c + 8), from elements [i, i + 5) with i = first + c / 2 and i + 4 < width.
template <typename T>
HWY_INLINE void EnlargeEight(const T* row, int i, int c, const QuarterProducts& previous,
                             QuarterProducts& next, T* nearPrevious, T* nearNext) {
    const __m256d a = LoadFour(row + i);
    const __m256d b = LoadFour(row + i + 1);
    const __m256d quarter = _mm256_set1_pd(0.25);
    const __m256d threeQuarters = _mm256_set1_pd(0.75);
    // Columns c, c + 2, c + 4, c + 6 lie near a, the others near b.
    const __m256d nearA = _mm256_add_pd(_mm256_mul_pd(threeQuarters, a), _mm256_mul_pd(quarter, b));
    const __m256d nearB = _mm256_add_pd(_mm256_mul_pd(quarter, a), _mm256_mul_pd(threeQuarters, b));
    const __m256d low = _mm256_unpacklo_pd(nearA, nearB);
    const __m256d high = _mm256_unpackhi_pd(nearA, nearB);
    EnlargeFour(_mm256_permute2f128_pd(low, high, 0x20), c, previous, next, nearPrevious, nearNext);
    EnlargeFour(_mm256_permute2f128_pd(low, high, 0x31), c + 4, previous, next, nearPrevious,
                nearNext);
}

// Whole blocks of eight columns, the last one overlapping its predecessor rather than leaving
// a remainder; returns the columns done. Blocks stop four elements before the end of the row,
// whose last column pairs an element with itself.
template <typename T>
HWY_INLINE int EnlargeBlocks(const T* row, int width, int first, int columns,
                             const QuarterProducts& previous, QuarterProducts& next,
                             T* nearPrevious, T* nearNext) {
    const int lastBlock = static_cast<int>(std::min(columns - 8LL, 2LL * (width - 5LL - first)));
    if (lastBlock < 0) {
        return 0;
    }
    int c = 0;
    for (; c < lastBlock; c += 8) {
        EnlargeEight(row, first + c / 2, c, previous, next, nearPrevious, nearNext);
    }
    const int last = lastBlock & ~1;  // an element's first column
    EnlargeEight(row, first + last / 2, last, previous, next, nearPrevious, nearNext);
    return last + 8;
}
#endif

template <typename T>
HWY_INLINE void EnlargeRowByTwoT(const T* row, int width, int first, int columns,
                                 const QuarterProducts& previous, QuarterProducts& next,
                                 T* nearPrevious, T* nearNext) {
    int c = 0;
#ifdef PP_GEOMETRY_AVX2
    c = EnlargeBlocks(row, width, first, columns, previous, next, nearPrevious, nearNext);
#endif
    EnlargeColumns(row, width, first, c, columns, previous, next, nearPrevious, nearNext);
}

void EnlargeRowByTwo16u(const unsigned short* row, int width, int first, int columns,
                        const QuarterProducts& previous, QuarterProducts& next,
                        unsigned short* nearPrevious, unsigned short* nearNext) {
    EnlargeRowByTwoT(row, width, first, columns, previous, next, nearPrevious, nearNext);
}
void EnlargeRowByTwo32f(const float* row, int width, int first, int columns,
                        const QuarterProducts& previous, QuarterProducts& next, float* nearPrevious,
                        float* nearNext) {
    EnlargeRowByTwoT(row, width, first, columns, previous, next, nearPrevious, nearNext);
}

// ---- Warps: each destination pixel samples the source at its own point.

template <bool kMapped>
HWY_INLINE void PointAt(const WarpPoints& p, int i, double& X, double& Y) {
    if constexpr (kMapped) {
        X = p.mapX[i];
        Y = p.mapY[i];
    } else {
        X = p.colX[i] - p.rowX;
        Y = p.colY[i] + p.rowY;
    }
}

// Samples one point into out[0, C), unless it is outside the area. Nearest neighbour takes
// the pixel at X + 0.5 rounded down, with zero weights; the area starts at or after 0, so a
// readable point's rounding down is its truncation.
template <typename T, int C>
HWY_INLINE void WarpPoint(const T* src, const WarpArea& a, double X, double Y, T* out) {
    const double shift = a.linear ? 0.0 : 0.5;
    const double px = X + shift;
    const double py = Y + shift;
    if (!(px >= a.x0 && px < a.x1 && py >= a.y0 && py < a.y1)) {
        return;
    }
    const int xa = static_cast<int>(px);
    const int ya = static_cast<int>(py);
    const std::ptrdiff_t right = (xa + 1 < a.x1 && a.linear) ? C : 0;
    const std::ptrdiff_t down = (ya + 1 < a.y1 && a.linear) ? a.stride : 0;
    const double fx = a.linear ? px - xa : 0.0;
    const double fy = a.linear ? py - ya : 0.0;
    const T* s = src + ya * a.stride + static_cast<std::ptrdiff_t>(xa) * C;
    for (int c = 0; c < C; ++c) {
        const double upper = Blend(s[c], s[c + right], fx);
        const double lower = Blend(s[c + down], s[c + down + right], fx);
        out[c] = FromDouble<T>(Blend(upper, lower, fy));
    }
}

#ifdef PP_GEOMETRY_AVX2
// The source elements at index and index + 1, for four indices, as 32-bit lanes: one gather
// reads both neighbours along x.
HWY_INLINE void GatherPairs(const float* src, __m128i index, __m128i& first, __m128i& second) {
    const __m256i pairs =
        _mm256_i32gather_epi64(reinterpret_cast<const long long*>(src), index, sizeof(float));
    const __m256i split =
        _mm256_permutevar8x32_epi32(pairs, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    first = _mm256_castsi256_si128(split);
    second = _mm256_extracti128_si256(split, 1);
}
HWY_INLINE void GatherPairs(const unsigned short* src, __m128i index, __m128i& first,
                            __m128i& second) {
    const __m128i pairs =
        _mm_i32gather_epi32(reinterpret_cast<const int*>(src), index, sizeof(unsigned short));
    first = _mm_and_si128(pairs, _mm_set1_epi32(0xFFFF));
    second = _mm_srli_epi32(pairs, 16);
}

// Writes the lanes whose bit is set in `inside`.
template <typename T>
HWY_INLINE void StoreInside(__m128i pixels, int inside, T* dst) {
    if (inside == 0xF) {
        std::memcpy(dst, &pixels, 4 * sizeof(T));
        return;
    }
    T lanes[16 / sizeof(T)];
    std::memcpy(lanes, &pixels, sizeof(lanes));
    for (int k = 0; k < 4; ++k) {
        if (inside & (1 << k)) {
            dst[k] = lanes[k];
        }
    }
}

template <bool kMapped>
HWY_INLINE void LoadPoints(const WarpPoints& p, int i, __m256d rowX, __m256d rowY, __m256d& X,
                           __m256d& Y) {
    if constexpr (kMapped) {
        X = _mm256_cvtps_pd(_mm_loadu_ps(p.mapX + i));
        Y = _mm256_cvtps_pd(_mm_loadu_ps(p.mapY + i));
    } else {
        X = _mm256_sub_pd(_mm256_loadu_pd(p.colX + i), rowX);
        Y = _mm256_add_pd(_mm256_loadu_pd(p.colY + i), rowY);
    }
}

// Single-channel points four at a time, as WarpPoint does them, with 32-bit indices. A pair
// starts at the pixel a point reads first, or one before it at the area's last column, where
// its second element stands for both. Unreadable points read the area's first pixel and are not
// stored. Returns how many points were done: none when the indices could overflow or the
// source is too narrow for pairs.
template <typename T, bool kMapped>
HWY_INLINE int WarpGroups(const T* src, const WarpArea& a, const WarpPoints& p, int n, T* dst) {
    const long long lastIndex = static_cast<long long>(a.y1 - 1) * a.stride + a.x1 - 1;
    if (a.x1 < 2 || a.stride <= 0 || lastIndex > 0x7FFFFFFF) {
        return 0;
    }
    const __m256d rowX = _mm256_set1_pd(p.rowX);
    const __m256d rowY = _mm256_set1_pd(p.rowY);
    const __m256d shift = _mm256_set1_pd(a.linear ? 0.0 : 0.5);
    const __m256d x0 = _mm256_set1_pd(a.x0);
    const __m256d x1 = _mm256_set1_pd(a.x1);
    const __m256d y0 = _mm256_set1_pd(a.y0);
    const __m256d y1 = _mm256_set1_pd(a.y1);
    const __m256d weights = _mm256_castsi256_pd(_mm256_set1_epi64x(a.linear ? -1 : 0));
    const __m128i lastPair = _mm_set1_epi32(a.x1 - 2);
    const __m128i lastRow = _mm_set1_epi32(a.y1 - 1);
    const __m128i stride = _mm_set1_epi32(static_cast<int>(a.stride));
    const __m128i downStep = a.linear ? stride : _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        __m256d X, Y;
        LoadPoints<kMapped>(p, i, rowX, rowY, X, Y);
        X = _mm256_add_pd(X, shift);
        Y = _mm256_add_pd(Y, shift);
        const __m256d insideX =
            _mm256_and_pd(_mm256_cmp_pd(X, x0, _CMP_GE_OQ), _mm256_cmp_pd(X, x1, _CMP_LT_OQ));
        const __m256d insideY =
            _mm256_and_pd(_mm256_cmp_pd(Y, y0, _CMP_GE_OQ), _mm256_cmp_pd(Y, y1, _CMP_LT_OQ));
        const __m256d in = _mm256_and_pd(insideX, insideY);
        const int inside = _mm256_movemask_pd(in);
        if (inside == 0) {
            continue;
        }
        X = _mm256_blendv_pd(x0, X, in);
        Y = _mm256_blendv_pd(y0, Y, in);
        const __m128i xa = _mm256_cvttpd_epi32(X);
        const __m128i ya = _mm256_cvttpd_epi32(Y);
        const __m256d fx = _mm256_and_pd(_mm256_sub_pd(X, _mm256_cvtepi32_pd(xa)), weights);
        const __m256d fy = _mm256_and_pd(_mm256_sub_pd(Y, _mm256_cvtepi32_pd(ya)), weights);
        const __m128i clamped = _mm_cmpgt_epi32(xa, lastPair);
        const __m128i upper =
            _mm_add_epi32(_mm_mullo_epi32(ya, stride), _mm_min_epi32(xa, lastPair));
        const __m128i down = _mm_and_si128(_mm_cmplt_epi32(ya, lastRow), downStep);
        __m128i s00, s01, s10, s11;
        GatherPairs(src, upper, s00, s01);
        GatherPairs(src, _mm_add_epi32(upper, down), s10, s11);
        s00 = _mm_blendv_epi8(s00, s01, clamped);
        s10 = _mm_blendv_epi8(s10, s11, clamped);
        const __m256d top = BlendVector(ToDouble<T>(s00), ToDouble<T>(s01), fx);
        const __m256d bottom = BlendVector(ToDouble<T>(s10), ToDouble<T>(s11), fx);
        StoreInside(ToPixels(BlendVector(top, bottom, fy), dst), inside, dst + i);
    }
    return i;
}
#endif

template <typename T, int C, bool kMapped>
HWY_INLINE void WarpRowT(const T* src, const WarpArea& a, const WarpPoints& p, int n, T* dst) {
    int i = 0;
#ifdef PP_GEOMETRY_AVX2
    if constexpr (C == 1 && !std::is_same_v<T, unsigned char>) {
        i = WarpGroups<T, kMapped>(src, a, p, n, dst);
    }
#endif
    for (; i < n; ++i) {
        double X, Y;
        PointAt<kMapped>(p, i, X, Y);
        WarpPoint<T, C>(src, a, X, Y, dst + static_cast<std::ptrdiff_t>(i) * C);
    }
}

template <typename T, int C>
HWY_INLINE void WarpRowAny(const T* src, const WarpArea& a, const WarpPoints& p, int n, T* dst) {
    if (p.mapX != nullptr) {
        WarpRowT<T, C, true>(src, a, p, n, dst);
    } else {
        WarpRowT<T, C, false>(src, a, p, n, dst);
    }
}

void WarpRow8u(const unsigned char* src, const WarpArea& a, const WarpPoints& p, int n,
               int channels, unsigned char* dst) {
    if (channels == 3) {
        WarpRowAny<unsigned char, 3>(src, a, p, n, dst);
    } else {
        WarpRowAny<unsigned char, 4>(src, a, p, n, dst);
    }
}
void WarpRow16u(const unsigned short* src, const WarpArea& a, const WarpPoints& p, int n, int,
                unsigned short* dst) {
    WarpRowAny<unsigned short, 1>(src, a, p, n, dst);
}
void WarpRow32f(const float* src, const WarpArea& a, const WarpPoints& p, int n, int, float* dst) {
    WarpRowAny<float, 1>(src, a, p, n, dst);
}

}  // namespace HWY_NAMESPACE
}  // namespace pp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pp {

HWY_EXPORT(InterpolateRow8u);
HWY_EXPORT(InterpolateRow16u);
HWY_EXPORT(InterpolateRow32f);
HWY_EXPORT(InterpolateAndBlend8u);
HWY_EXPORT(InterpolateAndBlend16u);
HWY_EXPORT(InterpolateAndBlend32f);
HWY_EXPORT(EnlargeRowByTwo16u);
HWY_EXPORT(EnlargeRowByTwo32f);
HWY_EXPORT(WarpRow8u);
HWY_EXPORT(WarpRow16u);
HWY_EXPORT(WarpRow32f);

void InterpolateRow(const unsigned char* row, const ColumnTaps& taps, double* out) {
    HWY_DYNAMIC_DISPATCH(InterpolateRow8u)(row, taps, out);
}
void InterpolateRow(const unsigned short* row, const ColumnTaps& taps, double* out) {
    HWY_DYNAMIC_DISPATCH(InterpolateRow16u)(row, taps, out);
}
void InterpolateRow(const float* row, const ColumnTaps& taps, double* out) {
    HWY_DYNAMIC_DISPATCH(InterpolateRow32f)(row, taps, out);
}
void InterpolateAndBlend(const unsigned char* row, const ColumnTaps& taps, const double* upper,
                         double* lower, const RowTargets<unsigned char>& targets) {
    HWY_DYNAMIC_DISPATCH(InterpolateAndBlend8u)(row, taps, upper, lower, targets);
}
void InterpolateAndBlend(const unsigned short* row, const ColumnTaps& taps, const double* upper,
                         double* lower, const RowTargets<unsigned short>& targets) {
    HWY_DYNAMIC_DISPATCH(InterpolateAndBlend16u)(row, taps, upper, lower, targets);
}
void InterpolateAndBlend(const float* row, const ColumnTaps& taps, const double* upper,
                         double* lower, const RowTargets<float>& targets) {
    HWY_DYNAMIC_DISPATCH(InterpolateAndBlend32f)(row, taps, upper, lower, targets);
}
void EnlargeRowByTwo(const unsigned short* row, int width, int first, int columns,
                     const QuarterProducts& previous, QuarterProducts& next,
                     unsigned short* nearPrevious, unsigned short* nearNext) {
    HWY_DYNAMIC_DISPATCH(EnlargeRowByTwo16u)
    (row, width, first, columns, previous, next, nearPrevious, nearNext);
}
void EnlargeRowByTwo(const float* row, int width, int first, int columns,
                     const QuarterProducts& previous, QuarterProducts& next, float* nearPrevious,
                     float* nearNext) {
    HWY_DYNAMIC_DISPATCH(EnlargeRowByTwo32f)
    (row, width, first, columns, previous, next, nearPrevious, nearNext);
}
void WarpRow(const unsigned char* src, const WarpArea& area, const WarpPoints& points, int n,
             int channels, unsigned char* dst) {
    HWY_DYNAMIC_DISPATCH(WarpRow8u)(src, area, points, n, channels, dst);
}
void WarpRow(const unsigned short* src, const WarpArea& area, const WarpPoints& points, int n,
             int channels, unsigned short* dst) {
    HWY_DYNAMIC_DISPATCH(WarpRow16u)(src, area, points, n, channels, dst);
}
void WarpRow(const float* src, const WarpArea& area, const WarpPoints& points, int n, int channels,
             float* dst) {
    HWY_DYNAMIC_DISPATCH(WarpRow32f)(src, area, points, n, channels, dst);
}

}  // namespace pp
#endif  // HWY_ONCE
