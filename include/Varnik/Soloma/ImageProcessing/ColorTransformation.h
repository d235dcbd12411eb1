#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Conversions of 8-bit colour images between three packed layouts: RGBA (4 bytes per pixel,
// byte 3 alpha), RGB (3 bytes, the same channels in the same order) and YUV 4:2:2 (Y0 U Y1 V
// for each pair of pixels). The YUV conversions read and write byte 0 of an RGB pixel as red;
// a 4-byte image stored blue first comes out with red and blue swapped. Source and
// destination must not overlap. Nothing is kept between calls.
class SOLOMA_IMAGEPROCESSING_API ColorTransformation {
public:
    ColorTransformation& operator=(const ColorTransformation& other);

    // Drops byte 3 of every pixel. Rows run in parallel on machines with more than one
    // processor.
    static void RGBAToRGB(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                          int width, int height);
    // Adds byte 3 = 255 to every pixel. Rows run in parallel as above.
    static void RGBToRGBA(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                          int width, int height);

    // The YUV 4:2:2 conversions of the primitives library. They work on pairs of pixels: with
    // an odd width the last column of the destination is not written.
    static void RGBToYUV422(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                            int width, int height);
    static void YUV422ToRGB(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                            int width, int height);

    // The same through a temporary RGB image, allocated and released by each call (nothing
    // is written when it cannot be allocated). YUV422ToRGBA gives alpha 255.
    static void RGBAToYUV422(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                             int width, int height);
    static void YUV422ToRGBA(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                             int width, int height);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
