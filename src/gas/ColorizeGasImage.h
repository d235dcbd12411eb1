#pragma once

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Tints a 4-byte colour image (blue, green, red, reserved) by a signed float detection image,
// s = gain x detection per pixel, into dst:
//   method 0:          blue = green = red = clamp(R + s)                  (grey)
//   method 1:          blue = red = clamp(R + s - |s|), green = clamp(G + s + |s| / 2)
//   any other method:  blue = red = clamp(R - s),       green = clamp(G + s)
// with R and G the input's red and green bytes, clamp(v) = 0 below 0 or for NaN, 255 above
// 255, else v truncated; the reserved byte becomes 255. The input's blue and reserved bytes
// are not read, and each pixel is read before it is written, so dst may be colorImage. A null
// detection image stands for zeros everywhere. Rows run in parallel.
void ColorizeGasImage(const unsigned char* colorImage, int colorStep, const float* detection,
                      int detectionStep, int method, int gain, unsigned char* dst, int dstStep,
                      int width, int height);

// The same with the detection value of a pixel taken as v x scale, where v is the detection
// image's value, or 0 where that is below threshold. Lets a detector fold its last threshold
// and scaling passes into the tint; scale 1 and threshold -infinity leave the values as they
// are.
struct DetectionScaling {
    float threshold;
    float scale;
};
void ColorizeGasImage(const unsigned char* colorImage, int colorStep, const float* detection,
                      int detectionStep, int method, int gain, unsigned char* dst, int dstStep,
                      int width, int height, const DetectionScaling& scaling);

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
