#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Look-up-table operations on signal images. The accumulating forms map each 16-bit signal
// through a float table (an entry for every signal that occurs; 65536 cover all) and add the
// value to, or subtract it from, a float image in place. CalculateLUT resamples an int table
// over an index range of another table. Nothing is kept between calls; an empty region
// leaves the destination untouched.
class SOLOMA_IMAGEPROCESSING_API IntensityTransformation {
public:
    IntensityTransformation& operator=(const IntensityTransformation& other);

    // dst += lut[src].
    static void AddFromLUT(const unsigned short* src, int srcStep, float* dst, int dstStep,
                           const float* lut, int width, int height);
    // dst = factor * lut[src] + dst, the product rounded to float before the addition.
    static void AddFromLUT(const unsigned short* src, int srcStep, float* dst, int dstStep,
                           const float* lut, float factor, int width, int height);
    // dst = dst - factor * lut[src], the product rounded to float before the subtraction.
    static void SubFromLUT(const unsigned short* src, int srcStep, float* dst, int dstStep,
                           const float* lut, float factor, int width, int height);

    // Stretches srcTable (srcCount entries) over dstTable[dstFirst .. dstLast] by sampling
    // the source at the start of each destination entry's share, and fills the entries below
    // the range with the first source entry and those above it with the last. The caller
    // keeps 0 <= dstFirst <= dstLast < dstCount and srcCount >= 1.
    static void CalculateLUT(const int* srcTable, int srcCount, int* dstTable, int dstCount,
                             int dstFirst, int dstLast);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
