#include "gas/ColorizeGasImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "frame/Avx2.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

enum class Method { Grey, Darken, Opposed };

Method MethodOf(int method) {
    return method == 0 ? Method::Grey : method == 1 ? Method::Darken : Method::Opposed;
}

// 0 below 0 and for NaN, 255 above 255, else truncated toward zero.
inline std::uint32_t Clamp(float v) {
    const float clamped = v >= 0.0f ? (v > 255.0f ? 255.0f : v) : 0.0f;
    return static_cast<std::uint32_t>(static_cast<int>(clamped));
}

// One pixel, packed as blue | green << 8 | red << 16 | reserved << 24, tinted by s.
template <Method method>
inline std::uint32_t TintPixel(std::uint32_t pixel, float s) {
    const float red = static_cast<float>((pixel >> 16) & 0xFFu);
    const float green = static_cast<float>((pixel >> 8) & 0xFFu);
    std::uint32_t redBlue;
    std::uint32_t greenOut;
    if constexpr (method == Method::Grey) {
        redBlue = Clamp(red + s);
        greenOut = redBlue;
    } else if constexpr (method == Method::Darken) {
        const float magnitude = std::fabs(s);
        redBlue = Clamp(red + s - magnitude);
        greenOut = Clamp(green + s + 0.5f * magnitude);
    } else {
        redBlue = Clamp(red - s);
        greenOut = Clamp(green + s);
    }
    return redBlue | greenOut << 8 | redBlue << 16 | 0xFF000000u;
}

// Pixels are taken in chunks through a local copy, so that the loop vectorises also when dst
// is the colour image itself.
constexpr int kChunk = 64;

template <Method method>
SOLOMA_MULTIVERSION void TintRow(const unsigned char* in, const float* detection, float gain,
                                 DetectionScaling scaling, unsigned char* out, int width) {
    std::uint32_t pixels[kChunk];
    for (int x0 = 0; x0 < width; x0 += kChunk) {
        const int n = std::min(kChunk, width - x0);
        std::memcpy(pixels, in + 4 * x0, 4 * static_cast<std::size_t>(n));
        const float* values = detection + x0;
        for (int i = 0; i < n; ++i) {
            const float v = values[i] < scaling.threshold ? 0.0f : values[i];
            pixels[i] = TintPixel<method>(pixels[i], gain * (v * scaling.scale));
        }
        std::memcpy(out + 4 * x0, pixels, 4 * static_cast<std::size_t>(n));
    }
}

#ifdef SOLOMA_AVX2_KERNELS
// 0 below 0 and for NaN, 255 above 255, else truncated toward zero: Clamp for eight values.
SOLOMA_TARGET_AVX2 inline __m256i ClampVector(__m256 v) {
    const __m256 nonNegative = _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_GE_OQ);
    const __m256 clamped = _mm256_and_ps(nonNegative, _mm256_min_ps(v, _mm256_set1_ps(255.0f)));
    return _mm256_cvttps_epi32(clamped);
}

// TintRow eight pixels at a time, with the same float operations in the same order; returns
// the pixels done, a multiple of eight.
template <Method method>
SOLOMA_TARGET_AVX2 int TintRowAvx2(const unsigned char* in, const float* detection, float gain,
                                   DetectionScaling scaling, unsigned char* out, int width) {
    const __m256 gainV = _mm256_set1_ps(gain);
    const __m256 scale = _mm256_set1_ps(scaling.scale);
    const __m256 threshold = _mm256_set1_ps(scaling.threshold);
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i pixels =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * static_cast<long>(x)));
        const __m256 values = _mm256_loadu_ps(detection + x);
        // Below the threshold counts as 0; NaN stays.
        const __m256 below = _mm256_cmp_ps(values, threshold, _CMP_LT_OQ);
        const __m256 v = _mm256_andnot_ps(below, values);
        const __m256 s = _mm256_mul_ps(gainV, _mm256_mul_ps(v, scale));
        const __m256 red =
            _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(pixels, 16), byteMask));
        const __m256 green =
            _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(pixels, 8), byteMask));
        __m256i redBlue;
        __m256i greenOut;
        if constexpr (method == Method::Grey) {
            redBlue = ClampVector(_mm256_add_ps(red, s));
            greenOut = redBlue;
        } else if constexpr (method == Method::Darken) {
            const __m256 magnitude = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), s);
            redBlue = ClampVector(_mm256_sub_ps(_mm256_add_ps(red, s), magnitude));
            greenOut = ClampVector(_mm256_add_ps(_mm256_add_ps(green, s),
                                                 _mm256_mul_ps(_mm256_set1_ps(0.5f), magnitude)));
        } else {
            redBlue = ClampVector(_mm256_sub_ps(red, s));
            greenOut = ClampVector(_mm256_add_ps(green, s));
        }
        const __m256i packed =
            _mm256_or_si256(_mm256_or_si256(redBlue, _mm256_slli_epi32(greenOut, 8)),
                            _mm256_or_si256(_mm256_slli_epi32(redBlue, 16), opaque));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * static_cast<long>(x)), packed);
    }
    return x;
}
#endif

// Tints a row, eight pixels at a time where the processor allows.
template <Method method>
void TintRowAnyCpu(const unsigned char* in, const float* detection, float gain,
                   DetectionScaling scaling, unsigned char* out, int width) {
    int done = 0;
#ifdef SOLOMA_AVX2_KERNELS
    if (CpuHasAvx2()) {
        done = TintRowAvx2<method>(in, detection, gain, scaling, out, width);
    }
#endif
    if (done < width) {
        TintRow<method>(in + 4 * static_cast<long>(done), detection + done, gain, scaling,
                        out + 4 * static_cast<long>(done), width - done);
    }
}

template <Method method>
void RenderRow(const unsigned char* in, unsigned char* out, int width) {
    for (int x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, in + 4 * x, 4);
        pixel = TintPixel<method>(pixel, 0.0f);
        std::memcpy(out + 4 * x, &pixel, 4);
    }
}

template <Method method>
void Colorize(const unsigned char* colorImage, int colorStep, const float* detection,
              int detectionStep, float gain, const DetectionScaling& scaling, unsigned char* dst,
              int dstStep, int width, int height) {
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = RowAt(colorImage, colorStep, y);
        unsigned char* out = RowAt(dst, dstStep, y);
        if (detection != nullptr) {
            TintRowAnyCpu<method>(in, RowAt(detection, detectionStep, y), gain, scaling, out,
                                  width);
        } else {
            RenderRow<method>(in, out, width);
        }
    }
}

}  // namespace

void ColorizeGasImage(const unsigned char* colorImage, int colorStep, const float* detection,
                      int detectionStep, int method, int gain, unsigned char* dst, int dstStep,
                      int width, int height, const DetectionScaling& scaling) {
    if (colorImage == nullptr || dst == nullptr || width <= 0 || height <= 0) {
        return;
    }
    const float gainValue = static_cast<float>(gain);
    switch (MethodOf(method)) {
        case Method::Grey:
            Colorize<Method::Grey>(colorImage, colorStep, detection, detectionStep, gainValue,
                                   scaling, dst, dstStep, width, height);
            break;
        case Method::Darken:
            Colorize<Method::Darken>(colorImage, colorStep, detection, detectionStep, gainValue,
                                     scaling, dst, dstStep, width, height);
            break;
        case Method::Opposed:
            Colorize<Method::Opposed>(colorImage, colorStep, detection, detectionStep, gainValue,
                                      scaling, dst, dstStep, width, height);
            break;
    }
}

void ColorizeGasImage(const unsigned char* colorImage, int colorStep, const float* detection,
                      int detectionStep, int method, int gain, unsigned char* dst, int dstStep,
                      int width, int height) {
    ColorizeGasImage(colorImage, colorStep, detection, detectionStep, method, gain, dst, dstStep,
                     width, height,
                     DetectionScaling{-std::numeric_limits<float>::infinity(), 1.0f});
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
