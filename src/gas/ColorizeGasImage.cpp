#include "gas/ColorizeGasImage.h"

#include <cmath>

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
inline unsigned char Clamp(float v) {
    return !(v >= 0.0f) ? 0 : v > 255.0f ? 255 : static_cast<unsigned char>(static_cast<int>(v));
}

template <Method method>
inline void TintPixel(const unsigned char* in, float s, unsigned char* out) {
    const float red = static_cast<float>(in[2]);
    const float green = static_cast<float>(in[1]);
    unsigned char redBlue;
    unsigned char greenOut;
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
    out[0] = redBlue;
    out[1] = greenOut;
    out[2] = redBlue;
    out[3] = 255;
}

template <Method method>
SOLOMA_MULTIVERSION void TintRow(const unsigned char* in, const float* detection, float gain,
                                 unsigned char* out, int width) {
    for (int x = 0; x < width; ++x) {
        TintPixel<method>(in + 4 * x, gain * detection[x], out + 4 * x);
    }
}

template <Method method>
SOLOMA_MULTIVERSION void RenderRow(const unsigned char* in, unsigned char* out, int width) {
    for (int x = 0; x < width; ++x) {
        TintPixel<method>(in + 4 * x, 0.0f, out + 4 * x);
    }
}

template <Method method>
void Colorize(const unsigned char* colorImage, int colorStep, const float* detection,
              int detectionStep, float gain, unsigned char* dst, int dstStep, int width,
              int height) {
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = RowAt(colorImage, colorStep, y);
        unsigned char* out = RowAt(dst, dstStep, y);
        if (detection != nullptr) {
            TintRow<method>(in, RowAt(detection, detectionStep, y), gain, out, width);
        } else {
            RenderRow<method>(in, out, width);
        }
    }
}

}  // namespace

void ColorizeGasImage(const unsigned char* colorImage, int colorStep, const float* detection,
                      int detectionStep, int method, int gain, unsigned char* dst, int dstStep,
                      int width, int height) {
    if (colorImage == nullptr || dst == nullptr || width <= 0 || height <= 0) {
        return;
    }
    const float gainValue = static_cast<float>(gain);
    switch (MethodOf(method)) {
        case Method::Grey:
            Colorize<Method::Grey>(colorImage, colorStep, detection, detectionStep, gainValue, dst,
                                   dstStep, width, height);
            break;
        case Method::Darken:
            Colorize<Method::Darken>(colorImage, colorStep, detection, detectionStep, gainValue,
                                     dst, dstStep, width, height);
            break;
        case Method::Opposed:
            Colorize<Method::Opposed>(colorImage, colorStep, detection, detectionStep, gainValue,
                                      dst, dstStep, width, height);
            break;
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
