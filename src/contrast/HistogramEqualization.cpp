#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>

#include "frame/ImageArgs.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

const int HistogramEqualization::_numBins;

HistogramEqualization::HistogramEqualization() = default;
HistogramEqualization::HistogramEqualization(const HistogramEqualization& other) = default;
HistogramEqualization& HistogramEqualization::operator=(const HistogramEqualization& other) =
    default;
HistogramEqualization::~HistogramEqualization() {
    Cleanup();
}

bool HistogramEqualization::Allocate() {
    _histogram.AllocateIfAbsent(_numBins);
    _levels.AllocateIfAbsent(_numBins + 1);
    _values.AllocateIfAbsent(_numBins + 1);
    _cumulative.AllocateIfAbsent(_numBins);
    return _histogram && _levels && _values && _cumulative;
}

void HistogramEqualization::Cleanup() {
    _histogram.Release();
    _levels.Release();
    _values.Release();
    _cumulative.Release();
}

void HistogramEqualization::Create(unsigned short* srcDst, int srcDstStep, int width, int height) {
    if (ValidImage(srcDst, srcDstStep, width, height) &&
        BuildMapping(srcDst, srcDstStep, width, height)) {
        PixelPrimitives::LUT_16u_C1I(srcDst, srcDstStep, width, height, _values.Get(),
                                     _levels.Get(), _numBins + 1);
    }
}

void HistogramEqualization::Create(const unsigned short* src, int srcStep, unsigned short* dst,
                                   int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    if (BuildMapping(src, srcStep, width, height)) {
        PixelPrimitives::LUT_16u_C1(src, srcStep, dst, dstStep, width, height, _values.Get(),
                                    _levels.Get(), _numBins + 1);
    }
}

bool HistogramEqualization::BuildMapping(const unsigned short* src, int srcStep, int width,
                                         int height) {
    // A region without pixels has no distribution to map through; leave the image alone.
    if (width <= 0 || height <= 0) {
        return false;
    }
    // A table that could not be allocated is tried again by the next call.
    if (!Allocate()) {
        return false;
    }
    unsigned short minValue = 0;
    unsigned short maxValue = 0;
    PixelPrimitives::MinMax_16u_C1(src, srcStep, width, height, &minValue, &maxValue);
    // Pixels equal to the maximum fall in no bin; the look-up passes them through, and the
    // last value entry repeats the maximum for the same reason.
    PixelPrimitives::HistogramEven_16u_C1(src, srcStep, width, height, _histogram.Get(),
                                          _levels.Get(), _numBins + 1, minValue, maxValue);
    CalculateNewValues(_histogram.Get(), _cumulative.Get(), _values.Get(), width * height, maxValue,
                       _numBins);
    return true;
}

void HistogramEqualization::CalculateNewValues(const int* histogram, float* cumulative, int* values,
                                               int numPixels, unsigned short maxValue,
                                               int numBins) {
    const float inverse = static_cast<float>(1.0 / static_cast<float>(numPixels));
    // The maximum minus one, so that the busiest bins stay just below the pass-through
    // value of the brightest pixels.
    const float scale = static_cast<float>(maxValue - 1);
    cumulative[0] = static_cast<float>(histogram[0]) * inverse;
    for (int k = 1; k < numBins; ++k) {
        cumulative[k] = static_cast<float>(histogram[k]) * inverse + cumulative[k - 1];
    }
    for (int k = 0; k < numBins; ++k) {
        values[k] = static_cast<int>(scale * cumulative[k]);
    }
    values[numBins] = maxValue;
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
