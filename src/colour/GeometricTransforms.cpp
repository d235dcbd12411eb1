#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include "frame/ImageArgs.h"

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
    if (!ValidImage(src, srcStep, srcWidth, srcHeight) ||
        !ValidImage(dst, dstStep, dstWidth, dstHeight)) {
        return;
    }
    PixelPrimitives::Resize_16u_C1(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                   dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::Resize_32f_C1(const float* src, int srcStep, int srcWidth, int srcHeight,
                                        float* dst, int dstStep, int dstWidth, int dstHeight,
                                        float scale, int offsetX, int offsetY, bool linear) {
    if (!ValidImage(src, srcStep, srcWidth, srcHeight) ||
        !ValidImage(dst, dstStep, dstWidth, dstHeight)) {
        return;
    }
    PixelPrimitives::Resize_32f_C1(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                   dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::Resize_8u_C3(const unsigned char* src, int srcStep, int srcWidth,
                                       int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                       int dstHeight, float scale, int offsetX, int offsetY,
                                       bool linear) {
    if (!ValidImage(src, srcStep, srcWidth, srcHeight, 3) ||
        !ValidImage(dst, dstStep, dstWidth, dstHeight, 3)) {
        return;
    }
    PixelPrimitives::Resize_8u_C3(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                  dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::Resize_8u_C4(const unsigned char* src, int srcStep, int srcWidth,
                                       int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                       int dstHeight, float scale, int offsetX, int offsetY,
                                       bool linear) {
    if (!ValidImage(src, srcStep, srcWidth, srcHeight, 4) ||
        !ValidImage(dst, dstStep, dstWidth, dstHeight, 4)) {
        return;
    }
    PixelPrimitives::Resize_8u_C4(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                  dstHeight, scale, offsetX, offsetY, linear);
}

void GeometricTransforms::RotateCenter_16u_C1(const unsigned short* src, int srcStep,
                                              unsigned short* dst, int dstStep, int width,
                                              int height, float angle) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::RotateCenter_16u_C1(src, srcStep, dst, dstStep, width, height, angle);
}

void GeometricTransforms::RotateCenter_32f_C1(const float* src, int srcStep, float* dst,
                                              int dstStep, int width, int height, float angle) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::RotateCenter_32f_C1(src, srcStep, dst, dstStep, width, height, angle);
}

void GeometricTransforms::RotateCenter_8u_C3(const unsigned char* src, int srcStep,
                                             unsigned char* dst, int dstStep, int width, int height,
                                             float angle) {
    if (!ValidImage(src, srcStep, width, height, 3) ||
        !ValidImage(dst, dstStep, width, height, 3)) {
        return;
    }
    PixelPrimitives::RotateCenter_8u_C3(src, srcStep, dst, dstStep, width, height, angle);
}

void GeometricTransforms::RotateCenter_8u_C4(const unsigned char* src, int srcStep,
                                             unsigned char* dst, int dstStep, int width, int height,
                                             float angle) {
    if (!ValidImage(src, srcStep, width, height, 4) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
    PixelPrimitives::RotateCenter_8u_C4(src, srcStep, dst, dstStep, width, height, angle);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
