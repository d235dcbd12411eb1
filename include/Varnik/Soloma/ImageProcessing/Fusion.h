#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Pixel-by-pixel colouring of 16-bit frames and fusion of a colour image with a float image.
// Nothing is kept between calls; calls may run at once from several threads. Images must not
// overlap. Rows run in parallel on machines with more than one processor.
class SOLOMA_IMAGEPROCESSING_API Fusion {
public:
    Fusion& operator=(const Fusion& other);

    // dst (one int per pixel) becomes palette[v] for every source value v with
    // (v - rangeLow) <= (rangeHigh - rangeLow), both differences taken as unsigned 32-bit
    // numbers; other pixels keep what they held. With rangeLow <= rangeHigh that is
    // rangeLow <= v <= rangeHigh; with rangeLow > rangeHigh, v >= rangeLow or v <= rangeHigh.
    // The palette is indexed by the raw value and needs entries only for the values that are
    // written; its entries are copied as they are (RGBQUAD records read as int give blue,
    // green, red, reserved).
    static void ColorIRImage(const unsigned short* __restrict src, int srcStep, int* __restrict dst,
                             int dstStep, const int* __restrict palette, int rangeLow,
                             int rangeHigh, int width, int height);

    // Adds the float image to the luma of the colour image: for every fused pixel the colour
    // (bytes blue, green, red; the fourth is not read) goes to BT.601 studio-range YCbCr, the
    // first of the pixel's three floats in `luma` is added to Y, and the result goes back to
    // blue, green, red, each saturated to 0..255 and truncated (NaN gives 0). Pixels with
    // marginY < row < height - marginY and marginX < column < width - marginX are fused, and
    // every pixel when both margins are 0; the others are copied. The fourth byte of dst is
    // always 255.
    static void CombineIRAndDC(const unsigned char* __restrict src, int srcStep,
                               const float* __restrict luma, int lumaStep,
                               unsigned char* __restrict dst, int dstStep, int width, int height,
                               short marginX, short marginY);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
