#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Colours an image of 16-bit palette indices through a palette of RGBQUAD records and blends
// the colours into a 4-byte image (blue, green, red, reserved) that already holds the other
// side of the blend. Nothing is kept between calls; calls may run at once from several
// threads.
class SOLOMA_IMAGEPROCESSING_API Blending {
public:
    Blending& operator=(const Blending& other);

    // For every pixel, v the 16-bit index at that place of src (rows `srcStep` bytes apart):
    // each of blue, green and red of dst becomes
    //     dst byte * dstWeight + palette[v] byte * paletteWeight
    // in single precision, truncated toward zero and saturated to 0..255 (NaN gives 0); the
    // fourth byte becomes 255, and the palette's reserved bytes are not read. Non-negative
    // weights whose sum is at most 1 never reach the bounds. paletteWeight 1 and dstWeight 0
    // colour through the palette alone; 0 and 1 keep the colours of dst. The palette needs an
    // entry for every index that occurs (65536 cover all). Rows run in parallel on machines
    // with more than one processor.
    static void ColorIRImage(const RGBQUAD* palette, const unsigned char* src, int srcStep,
                             unsigned char* dst, int dstStep, float paletteWeight, float dstWeight,
                             int width, int height);

private:
    // color1 * weight1 + color2 * weight2 for blue, green and red, truncated and saturated as
    // above; the reserved byte of the result is 255.
    static RGBQUAD BlendRGBQUAD(const RGBQUAD& color1, float weight1, const RGBQUAD& color2,
                                float weight2);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
