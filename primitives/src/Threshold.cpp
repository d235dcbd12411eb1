#include <PixelPrimitives/PixelPrimitives.h>

#include <limits>

#include "ElementWise.h"

// The comparisons with a constant turn four vectors of float masks into one vector of bytes.
// Plain loops leave that narrowing to the compiler, which masks and packs each step with
// unsigned saturation; written with Highway, the x86 targets pack the masks (all bits set or
// none) with signed saturation and put the lanes in order with one permutation. Highway
// compiles the row kernel once per instruction set, re-including this file for each, and picks
// one at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Threshold.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// dst[x] = 255 where src[x] > value (greater) or src[x] < value (!greater), else 0; NaN
// compares false.
template <bool kGreater>
HWY_INLINE void CompareRow(const float* src, float value, unsigned char* dst, int width) {
    int x = 0;
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
    const hn::Full256<float> df;
    const hn::Full256<std::int32_t> di;
    const auto limit = hn::Set(df, value);
    auto lanes = [&](int at) {
        const auto v = hn::LoadU(df, src + at);
        return hn::BitCast(di, hn::VecFromMask(df, kGreater ? hn::Gt(v, limit) : hn::Lt(v, limit)))
            .raw;
    };
    // After the two packs the bytes of vector k stand in 32-bit words k and k + 4.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    auto block = [&](int at) {
        const __m256i words01 = _mm256_packs_epi32(lanes(at), lanes(at + 8));
        const __m256i words23 = _mm256_packs_epi32(lanes(at + 16), lanes(at + 24));
        const __m256i bytes = _mm256_packs_epi16(words01, words23);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + at),
                            _mm256_permutevar8x32_epi32(bytes, order));
    };
    if (width >= 32) {
        for (; x + 32 <= width; x += 32) {
            block(x);
        }
        if (x < width) {
            block(width - 32);  // overlaps pixels already done, with the same values
            x = width;
        }
    }
#endif
    for (; x < width; ++x) {
        dst[x] = (kGreater ? src[x] > value : src[x] < value) ? 255 : 0;
    }
}

template <bool kGreater>
HWY_INLINE void CompareImage(const float* src, int srcStep, float value, unsigned char* dst,
                             int dstStep, int width, int height) {
    for (int y = 0; y < height; ++y) {
        CompareRow<kGreater>(pp::RowAt(src, srcStep, y), value, pp::RowAt(dst, dstStep, y), width);
    }
}

void CompareGreater(const float* src, int srcStep, float value, unsigned char* dst, int dstStep,
                    int width, int height) {
    CompareImage<true>(src, srcStep, value, dst, dstStep, width, height);
}

void CompareLess(const float* src, int srcStep, float value, unsigned char* dst, int dstStep,
                 int width, int height) {
    CompareImage<false>(src, srcStep, value, dst, dstStep, width, height);
}

}  // namespace HWY_NAMESPACE
}  // namespace
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace {

HWY_EXPORT(CompareGreater);
HWY_EXPORT(CompareLess);

using pp::ValidImages;

enum class Comparison { Greater, Less };

// Every float threshold operation is this one with some tests made impossible: v < lowThreshold
// becomes lowValue, v > highThreshold becomes highValue, anything else (NaN included) stays.
template <typename T>
struct ReplaceOutside {
    T lowThreshold;
    T lowValue;
    T highThreshold;
    T highValue;

    T operator()(T v) const {
        return v < lowThreshold ? lowValue : (v > highThreshold ? highValue : v);
    }
};

PP_MULTIVERSION void ReplaceOutsideFloat(const ReplaceOutside<float>& rule, float* srcDst, int step,
                                         int width, int height) {
    pp::MapPixels(srcDst, step, srcDst, step, width, height, rule);
}

// v > threshold becomes value. No byte lies below 0, so this is the only test of the byte
// threshold; written alone it stays a compare and a blend per vector.
PP_MULTIVERSION void ReplaceAboveByte(unsigned char threshold, unsigned char value,
                                      unsigned char* srcDst, int step, int width, int height) {
    pp::MapPixels(srcDst, step, srcDst, step, width, height,
                  [threshold, value](unsigned char v) { return v > threshold ? value : v; });
}

constexpr float kInfinity = std::numeric_limits<float>::infinity();

bool Compare(Comparison comparison, const float* src, int srcStep, float value, unsigned char* dst,
             int dstStep, int width, int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    if (comparison == Comparison::Greater) {
        HWY_DYNAMIC_DISPATCH(CompareGreater)(src, srcStep, value, dst, dstStep, width, height);
    } else {
        HWY_DYNAMIC_DISPATCH(CompareLess)(src, srcStep, value, dst, dstStep, width, height);
    }
    return true;
}

bool Threshold(const ReplaceOutside<float>& rule, float* srcDst, int step, int width, int height) {
    if (!ValidImages(width, height, srcDst)) {
        return false;
    }
    ReplaceOutsideFloat(rule, srcDst, step, width, height);
    return true;
}

}  // namespace

bool PixelPrimitives::CompareCGreater_32f_C1R(const float* src, int srcStep, float value,
                                              unsigned char* dst, int dstStep, int width,
                                              int height) {
    return Compare(Comparison::Greater, src, srcStep, value, dst, dstStep, width, height);
}

bool PixelPrimitives::CompareCLess_32f_C1R(const float* src, int srcStep, float value,
                                           unsigned char* dst, int dstStep, int width, int height) {
    return Compare(Comparison::Less, src, srcStep, value, dst, dstStep, width, height);
}

bool PixelPrimitives::Threshold_LT_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                           float threshold) {
    return Threshold({threshold, threshold, kInfinity, 0.0f}, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::Threshold_LTVal_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                              float threshold, float value) {
    return Threshold({threshold, value, kInfinity, 0.0f}, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::Threshold_GTVal_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                              float threshold, float value) {
    return Threshold({-kInfinity, 0.0f, threshold, value}, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::Threshold_LTValGTVal_32f_C1IR(float* srcDst, int srcDstStep, int width,
                                                    int height, float thresholdLT, float valueLT,
                                                    float thresholdGT, float valueGT) {
    if (thresholdLT > thresholdGT) {
        return false;
    }
    return Threshold({thresholdLT, valueLT, thresholdGT, valueGT}, srcDst, srcDstStep, width,
                     height);
}

bool PixelPrimitives::ThresholdGreater_Val_8u_C1IR(unsigned char* srcDst, int srcDstStep, int width,
                                                   int height, unsigned char threshold,
                                                   unsigned char value) {
    if (!ValidImages(width, height, srcDst)) {
        return false;
    }
    ReplaceAboveByte(threshold, value, srcDst, srcDstStep, width, height);
    return true;
}
#endif  // HWY_ONCE
