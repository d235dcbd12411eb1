#include "GeometryKernels.h"

#include <cstddef>
#include <type_traits>

// The kernels are compiled once per instruction set by Highway, which re-includes this file
// for each and picks one at run time. With AVX2 and later they read the source by whole
// vectors: a resize's row through an eight-element window permuted in registers, points by
// gathers. Elsewhere they are the plain loops. Both do the same double operations in the same
// order, without contraction, so results do not depend on the instruction set.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "GeometryKernels.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pp {
namespace HWY_NAMESPACE {

// (1 - f) a + f b, or a itself when f is 0, so that b's Inf or NaN cannot leak in.
HWY_INLINE double Blend(double a, double b, double f) {
    const double blended = (1.0 - f) * a + f * b;
    return f == 0.0 ? a : blended;
}

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
#endif

template <typename T>
HWY_INLINE void InterpolateRowT(const T* row, const ColumnTaps& taps, double* out) {
    const int n = taps.elements;
    int j = 0;
#ifdef PP_GEOMETRY_AVX2
    constexpr int kBlock = ColumnTaps::kBlock;
    for (int k = 0; k < taps.windowBlocks; ++k, j += kBlock) {
        const __m256i lanes =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(taps.windowLanes[k]));
        const __m256i picked =
            _mm256_permutevar8x32_epi32(LoadWindow(row + taps.windowStart[k]), lanes);
        const __m256d a = ToDouble<T>(_mm256_castsi256_si128(picked));
        const __m256d b = ToDouble<T>(_mm256_extracti128_si256(picked, 1));
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

void SamplePoints32f(const float* src, const PointSamples& p, int n, float* out) {
    int i = 0;
#ifdef PP_GEOMETRY_AVX2
    for (; i + 4 <= n; i += 4) {
        const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.index + i));
        const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.right + i));
        const __m256i down = _mm256_add_epi64(
            index, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.down + i)));
        const __m256d s00 = _mm256_cvtps_pd(_mm256_i64gather_ps(src, index, 4));
        const __m256d s01 =
            _mm256_cvtps_pd(_mm256_i64gather_ps(src, _mm256_add_epi64(index, right), 4));
        const __m256d s10 = _mm256_cvtps_pd(_mm256_i64gather_ps(src, down, 4));
        const __m256d s11 =
            _mm256_cvtps_pd(_mm256_i64gather_ps(src, _mm256_add_epi64(down, right), 4));
        const __m256d fx = _mm256_loadu_pd(p.fx + i);
        const __m256d upper = BlendVector(s00, s01, fx);
        const __m256d lower = BlendVector(s10, s11, fx);
        const __m256d value = BlendVector(upper, lower, _mm256_loadu_pd(p.fy + i));
        _mm_storeu_ps(out + i, _mm256_cvtpd_ps(value));
    }
#endif
    for (; i < n; ++i) {
        const float* s = src + p.index[i];
        const std::ptrdiff_t r = p.right[i];
        const std::ptrdiff_t d = p.down[i];
        const double upper = Blend(s[0], s[r], p.fx[i]);
        const double lower = Blend(s[d], s[d + r], p.fx[i]);
        out[i] = static_cast<float>(Blend(upper, lower, p.fy[i]));
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace pp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pp {

HWY_EXPORT(InterpolateRow8u);
HWY_EXPORT(InterpolateRow16u);
HWY_EXPORT(InterpolateRow32f);
HWY_EXPORT(SamplePoints32f);

void InterpolateRow(const unsigned char* row, const ColumnTaps& taps, double* out) {
    HWY_DYNAMIC_DISPATCH(InterpolateRow8u)(row, taps, out);
}
void InterpolateRow(const unsigned short* row, const ColumnTaps& taps, double* out) {
    HWY_DYNAMIC_DISPATCH(InterpolateRow16u)(row, taps, out);
}
void InterpolateRow(const float* row, const ColumnTaps& taps, double* out) {
    HWY_DYNAMIC_DISPATCH(InterpolateRow32f)(row, taps, out);
}
void SampleFloatPoints(const float* src, const PointSamples& points, int n, float* out) {
    HWY_DYNAMIC_DISPATCH(SamplePoints32f)(src, points, n, out);
}

}  // namespace pp
#endif  // HWY_ONCE
