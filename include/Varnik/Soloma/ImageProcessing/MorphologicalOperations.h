#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// 3x3 dilation (maximum) and erosion (minimum) of 8-bit images such as selection masks. Only
// static operations; nothing is kept between calls.
//
// The neighbourhood of an edge pixel reaches one pixel beyond the region: the caller provides
// the ring round it (for example a replicated copy of the edge, or the rest of a larger
// image), which is read and never written. The in-place forms compute every pixel from the
// neighbourhood as it stood before the call. A destination must not overlap its source.
class SOLOMA_IMAGEPROCESSING_API MorphologicalOperations {
public:
    MorphologicalOperations& operator=(const MorphologicalOperations& other);

    static void Dilate3x3(unsigned char* srcDst, int srcDstStep, int width, int height);
    static void Dilate3x3(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                          int width, int height);
    static void Erode3x3(unsigned char* srcDst, int srcDstStep, int width, int height);
    static void Erode3x3(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                         int width, int height);

protected:
    // Not meant to be instantiated: all members are static.
    MorphologicalOperations(const MorphologicalOperations& other);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
