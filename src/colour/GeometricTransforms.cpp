#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>

#include <PixelPrimitives/PixelPrimitives.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Every operation is a pass-through: the primitives do the resampling, and their result is
// not reported.

GeometricTransforms& GeometricTransforms::operator=(const GeometricTransforms&) {
    return *this;
}

void GeometricTransforms::Resize_16u_C1(const unsigned short* src, int srcStep, int srcWidth,
                                        int srcHeight, unsigned short* dst, int dstStep,
                                        int dstWidth, int dstHeight, float scale, int offsetX,
                                        int offsetY, bool linear) {
    PixelPrimitives::Resize_16u_C1(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                   dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::Resize_32f_C1(const float* src, int srcStep, int srcWidth, int srcHeight,
                                        float* dst, int dstStep, int dstWidth, int dstHeight,
                                        float scale, int offsetX, int offsetY, bool linear) {
    PixelPrimitives::Resize_32f_C1(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                   dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::Resize_8u_C3(const unsigned char* src, int srcStep, int srcWidth,
                                       int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                       int dstHeight, float scale, int offsetX, int offsetY,
                                       bool linear) {
    PixelPrimitives::Resize_8u_C3(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                  dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::Resize_8u_C4(const unsigned char* src, int srcStep, int srcWidth,
                                       int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                       int dstHeight, float scale, int offsetX, int offsetY,
                                       bool linear) {
    PixelPrimitives::Resize_8u_C4(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                  dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::RotateCenter_16u_C1(const unsigned short* src, int srcStep,
                                              unsigned short* dst, int dstStep, int width,
                                              int height, float angle) {
    PixelPrimitives::RotateCenter_16u_C1(src, srcStep, dst, dstStep, width, height, angle);
}

void GeometricTransforms::RotateCenter_32f_C1(const float* src, int srcStep, float* dst,
                                              int dstStep, int width, int height, float angle) {
    PixelPrimitives::RotateCenter_32f_C1(src, srcStep, dst, dstStep, width, height, angle);
}

void GeometricTransforms::RotateCenter_8u_C3(const unsigned char* src, int srcStep,
                                             unsigned char* dst, int dstStep, int width, int height,
                                             float angle) {
    PixelPrimitives::RotateCenter_8u_C3(src, srcStep, dst, dstStep, width, height, angle);
}

void GeometricTransforms::RotateCenter_8u_C4(const unsigned char* src, int srcStep,
                                             unsigned char* dst, int dstStep, int width, int height,
                                             float angle) {
    PixelPrimitives::RotateCenter_8u_C4(src, srcStep, dst, dstStep, width, height, angle);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
