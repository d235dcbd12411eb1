#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Merges a source image into a destination image of the same size, in place. Where only one
// of the two carries data the destination takes or keeps it; where both do, each channel
// becomes floor((destination + source) / 2). Source and destination must not overlap.
// Nothing is kept between calls; rows are always shared among the runtime's threads.
class SOLOMA_IMAGEPROCESSING_API AlphaComposition {
public:
    AlphaComposition& operator=(const AlphaComposition&) { return *this; }

    // 3 bytes per pixel. A destination pixel with any byte 0 takes the source pixel; else a
    // source pixel with any byte 0 leaves it; else every byte is averaged.
    static void BlendImages8u_C3(const unsigned char* src, int srcStep, unsigned char* dst,
                                 int dstStep, int width, int height);

    // 4 bytes per pixel, byte 3 alpha. A destination pixel whose alpha is not 255 takes the
    // source pixel, alpha included; else one whose bytes 0, 1 and 2 are all 0 is left; else
    // bytes 0, 1 and 2 are merged one by one (a 0 on either side takes the other side's byte,
    // two non-zero bytes are averaged) and alpha stays 255.
    static void BlendImages8u_C4(const unsigned char* src, int srcStep, unsigned char* dst,
                                 int dstStep, int width, int height);

    // 16-bit pixels. A destination pixel equal to `key` takes the source pixel; else a source
    // pixel equal to `key` leaves it; else the two are averaged.
    static void BlendImages(const unsigned short* src, int srcStep, unsigned short* dst,
                            int dstStep, unsigned short key, int width, int height);

protected:
    // Not meant to be instantiated: all members are static.
    AlphaComposition(const AlphaComposition&) {}
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
