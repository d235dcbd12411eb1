#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Resizing and rotation of 16-bit, float and 8-bit colour (3- and 4-byte) images. Each
// operation hands its arguments unchanged to the primitive of the same name; nothing is kept
// between calls, so calls may run at once from several threads. Source and destination must
// not overlap.
//
// Resize: each image carries its own width and height, right after its pitch. The source is
// scaled by `scale` and then moved by (offsetX, offsetY) whole pixels: at scale 1,
// dst(x, y) = src(x - offsetX, y - offsetY). `linear` chooses bilinear interpolation over the
// nearest pixel. Destination pixels that no source pixel reaches keep their content.
//
// RotateCenter: turns the image by `angle` degrees about its centre ((width-1)/2,
// (height-1)/2), counter-clockwise as displayed, with bilinear interpolation; destination
// pixels that come from outside the source keep their content.
class SOLOMA_IMAGEPROCESSING_API GeometricTransforms {
public:
    GeometricTransforms& operator=(const GeometricTransforms& other);

    static void Resize_16u_C1(const unsigned short* src, int srcStep, int srcWidth, int srcHeight,
                              unsigned short* dst, int dstStep, int dstWidth, int dstHeight,
                              float scale, int offsetX, int offsetY, bool linear);
    static void Resize_32f_C1(const float* src, int srcStep, int srcWidth, int srcHeight,
                              float* dst, int dstStep, int dstWidth, int dstHeight, float scale,
                              int offsetX, int offsetY, bool linear);
    static void Resize_8u_C3(const unsigned char* src, int srcStep, int srcWidth, int srcHeight,
                             unsigned char* dst, int dstStep, int dstWidth, int dstHeight,
                             float scale, int offsetX, int offsetY, bool linear);
    static void Resize_8u_C4(const unsigned char* src, int srcStep, int srcWidth, int srcHeight,
                             unsigned char* dst, int dstStep, int dstWidth, int dstHeight,
                             float scale, int offsetX, int offsetY, bool linear);

    static void RotateCenter_16u_C1(const unsigned short* src, int srcStep, unsigned short* dst,
                                    int dstStep, int width, int height, float angle);
    static void RotateCenter_32f_C1(const float* src, int srcStep, float* dst, int dstStep,
                                    int width, int height, float angle);
    static void RotateCenter_8u_C3(const unsigned char* src, int srcStep, unsigned char* dst,
                                   int dstStep, int width, int height, float angle);
    static void RotateCenter_8u_C4(const unsigned char* src, int srcStep, unsigned char* dst,
                                   int dstStep, int width, int height, float angle);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
