#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Histogram equalization of 16-bit frames: each frame is mapped through the cumulative
// distribution of its own 4096-bin histogram, taken evenly between the frame's minimum and
// maximum, onto the range 0 .. maximum. Nothing carries from one frame to the next; the
// object only keeps its tables so that a stream of frames allocates nothing.
class SOLOMA_IMAGEPROCESSING_API HistogramEqualization {
public:
    HistogramEqualization();
    HistogramEqualization(const HistogramEqualization& other);
    HistogramEqualization& operator=(const HistogramEqualization& other);
    virtual ~HistogramEqualization();

    // Equalizes the width x height region in place.
    void Create(unsigned short* srcDst, int srcDstStep, int width, int height);
    // Equalizes src into dst.
    void Create(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep, int width,
                int height);

private:
    static const int _numBins = 4096;

    // Allocates the tables that are absent; false unless all are held.
    bool Allocate();
    void Cleanup();
    // Finds the minimum and maximum, the histogram, and the value table of the mapping.
    // Returns false for an empty region.
    bool BuildMapping(const unsigned short* src, int srcStep, int width, int height);
    static void CalculateNewValues(const int* histogram, float* cumulative, int* values,
                                   int numPixels, unsigned short maxValue, int numBins);

    detail::VectorBuffer<int> _histogram;     // pixel count of each bin
    detail::VectorBuffer<int> _levels;        // bin boundaries, minimum .. maximum
    detail::VectorBuffer<int> _values;        // output value of each bin
    detail::VectorBuffer<float> _cumulative;  // fraction of pixels in bins 0 .. k
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
