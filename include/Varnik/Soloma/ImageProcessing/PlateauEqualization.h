#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Plateau histogram equalization of a stream of 16-bit frames. Each frame's histogram is
// blended with the one carried from the previous frame (damping), clipped at a plateau so
// that large uniform areas cannot take over the output range, and its running sum, mixed with
// a share of the identity, becomes the mapping curve; pixels are interpolated linearly between
// the bin boundaries. The full-range calls take the histogram of the whole 16-bit range on the
// frame divided by 16; the windowed calls take it on the raw frame within [rangeMin, rangeMax].
class SOLOMA_IMAGEPROCESSING_API PlateauEqualization {
public:
    // A bin count below 2 is raised to 2: the look-up needs at least two levels.
    PlateauEqualization(int numBins = 4096);
    PlateauEqualization(const PlateauEqualization& other);
    PlateauEqualization& operator=(const PlateauEqualization& other);
    virtual ~PlateauEqualization();

    // Full range, in place and into dst. linearPercent is the share of the identity mapping in
    // percent; plateauLimit the largest count one bin may contribute (truncated to int).
    void Create(unsigned short* srcDst, int srcDstStep, int width, int height, float linearPercent,
                float plateauLimit);
    void Create(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep, int width,
                int height, float linearPercent, float plateauLimit);
    // Windowed: the histogram covers the raw values rangeMin .. rangeMax.
    void Create(unsigned short* srcDst, int srcDstStep, int width, int height, float linearPercent,
                float plateauLimit, int rangeMin, int rangeMax);
    void Create(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep, int width,
                int height, float linearPercent, float plateauLimit, int rangeMin, int rangeMax);
    // Windowed mapping without image output, then UpdateRGBLUT(palette, rgbLut, lutSize).
    void Create(const unsigned short* src, int srcStep, int width, int height, float linearPercent,
                float plateauLimit, int rangeMin, int rangeMax, const int* palette, int* rgbLut,
                int lutSize);

    // rgbLut[v] = palette[mapping of v] for every raw value v below lutSize, through the
    // mapping of the last Create. The palette has 65536 entries. Does nothing before the
    // first mapping exists.
    void UpdateRGBLUT(const int* palette, int* rgbLut, int lutSize);

    // The next frame's histogram is used undamped.
    void Reset() { _firstFrame = true; }
    float GetDampingFactor() const { return _dampingFactor; }
    void SetDampingFactor(float dampingFactor) { _dampingFactor = dampingFactor; }

private:
    // Build the mapping (value and level tables) of the full-range or the windowed family.
    // Return false, having changed nothing, when there is nothing to map.
    bool PerformPlateauHistogramEq(const unsigned short* src, int srcStep, int width, int height,
                                   float linearPercent, float plateauLimit);
    bool PerformPlateauHistogramEq(const unsigned short* src, int srcStep, int width, int height,
                                   float linearPercent, float plateauLimit, int rangeMin,
                                   int rangeMax);
    // The damped histogram of image over [lower, upper); also fills the level table.
    void CalculateDampedHistogram(const unsigned short* image, int step, int width, int height,
                                  int lower, int upper);
    // Normalises the running sum to end at the bin count and mixes in linearPercent of the
    // identity; with no pixel counted the curve is the identity.
    void ShapeCurve(float linearPercent);
    static void CalculateCumulativeSum(const int* histogram, int plateauLimit, float* cumulative,
                                       int numBins);
    static void CalculateCumulativeSum(const int* histogram, int* clipped, int plateauLimit,
                                       float* cumulative, int numBins);
    bool Allocate(int width, int height, bool withReduced);
    void AllocateLUT(int lutSize);
    void Cleanup();

    int _numBins;
    bool _firstFrame = true;  // the next histogram is used undamped
    float _dampingFactor = 0.5f;
    detail::VectorBuffer<int> _histogram;            // damped histogram, carried to the next frame
    detail::VectorBuffer<int> _levels;               // bin boundaries for the look-up
    detail::VectorBuffer<float> _previousHistogram;  // the carried histogram as floats
    detail::VectorBuffer<float> _currentHistogram;   // the new histogram, then the damped one
    detail::VectorBuffer<int> _clippedHistogram;     // full range only
    detail::VectorBuffer<float> _cumulative;         // the mapping curve being built
    detail::VectorBuffer<float> _ramp;               // 0, 1, 2, ...: the identity curve
    detail::VectorBuffer<int> _values;               // the curve at the bin boundaries
    int _width = 0;
    int _height = 0;
    int _reducedPitch = 0;
    detail::ImageBuffer<unsigned short, 1> _reduced;    // the frame divided by 16; full range only
    detail::VectorBuffer<unsigned short> _paletteRamp;  // 0, 1, 2, ...: every raw value
    detail::VectorBuffer<unsigned short> _paletteMapping;  // the raw values mapped
    int _paletteSize = 0;
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
