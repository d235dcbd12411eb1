#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>

#include "frame/ImageArgs.h"

#include <algorithm>
#include <climits>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

namespace {

using u16 = unsigned short;

// The full-range histogram is taken on the frame divided by this, so that 4096 bins cover
// the 16-bit range one reduced value per bin.
constexpr u16 kReduction = 16;

// More bins than 16-bit values cannot be told apart; fewer than two leave the look-up,
// which is given one level per bin, without an interval.
constexpr int kMinBins = 2;
constexpr int kMaxBins = 65536;

// The plateau limit truncated toward zero; out-of-range values saturate and NaN counts
// nothing, where a plain cast would be undefined.
int TruncateLimit(float limit) {
    if (limit != limit) {
        return 0;
    }
    if (limit >= 2147483648.0f) {
        return INT_MAX;
    }
    if (limit <= -2147483648.0f) {
        return INT_MIN;
    }
    return static_cast<int>(limit);
}

// The levels HistogramEven_16u_C1 lays from lower to upper: step = span / bins, and the
// remainder widens the first bins by one each, so level i = lower + i * step + min(i, extra).
// The full-range mapping needs only these, not a counting pass over the frame.
void EvenLevels(int* levels, int numLevels, int lower, int upper) {
    const long long bins = numLevels - 1;
    const long long span = static_cast<long long>(upper) - lower;
    const long long step = span / bins;
    const long long extra = std::max(span % bins, 0LL);
    for (int i = 0; i < numLevels; ++i) {
        levels[i] = static_cast<int>(lower + i * step + std::min<long long>(i, extra));
    }
}

}  // namespace

PlateauEqualization::PlateauEqualization(int numBins)
    : _numBins(std::clamp(numBins, kMinBins, kMaxBins)) {}
PlateauEqualization::PlateauEqualization(const PlateauEqualization& other) = default;
PlateauEqualization& PlateauEqualization::operator=(const PlateauEqualization& other) = default;
PlateauEqualization::~PlateauEqualization() {
    Cleanup();
    _paletteRamp.Release();
    _paletteMapping.Release();
}

void PlateauEqualization::Create(unsigned short* srcDst, int srcDstStep, int width, int height,
                                 float linearPercent, float plateauLimit) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    if (PerformPlateauHistogramEq(srcDst, srcDstStep, width, height, linearPercent, plateauLimit)) {
        PixelPrimitives::LUT_Linear_16u_C1IR(srcDst, srcDstStep, width, height, _values.Get(),
                                             _levels.Get(), _numBins);
    }
}

void PlateauEqualization::Create(const unsigned short* src, int srcStep, unsigned short* dst,
                                 int dstStep, int width, int height, float linearPercent,
                                 float plateauLimit) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    if (PerformPlateauHistogramEq(src, srcStep, width, height, linearPercent, plateauLimit)) {
        PixelPrimitives::LUT_Linear_16u_C1R(src, srcStep, dst, dstStep, width, height,
                                            _values.Get(), _levels.Get(), _numBins);
    }
}

void PlateauEqualization::Create(unsigned short* srcDst, int srcDstStep, int width, int height,
                                 float linearPercent, float plateauLimit, int rangeMin,
                                 int rangeMax) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    if (PerformPlateauHistogramEq(srcDst, srcDstStep, width, height, linearPercent, plateauLimit,
                                  rangeMin, rangeMax)) {
        PixelPrimitives::LUT_Linear_16u_C1IR(srcDst, srcDstStep, width, height, _values.Get(),
                                             _levels.Get(), _numBins);
    }
}

void PlateauEqualization::Create(const unsigned short* src, int srcStep, unsigned short* dst,
                                 int dstStep, int width, int height, float linearPercent,
                                 float plateauLimit, int rangeMin, int rangeMax) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    if (PerformPlateauHistogramEq(src, srcStep, width, height, linearPercent, plateauLimit,
                                  rangeMin, rangeMax)) {
        PixelPrimitives::LUT_Linear_16u_C1R(src, srcStep, dst, dstStep, width, height,
                                            _values.Get(), _levels.Get(), _numBins);
    }
}

void PlateauEqualization::Create(const unsigned short* src, int srcStep, int width, int height,
                                 float linearPercent, float plateauLimit, int rangeMin,
                                 int rangeMax, const int* palette, int* rgbLut, int lutSize) {
    if (!ValidImage(src, srcStep, width, height) || palette == nullptr || rgbLut == nullptr ||
        lutSize <= 0 || lutSize > INT_MAX / 2) {
        return;
    }
    // The table's buffers first, so that a failed allocation leaves the damping alone.
    AllocateLUT(lutSize);
    if (!_paletteRamp || !_paletteMapping) {
        return;
    }
    if (PerformPlateauHistogramEq(src, srcStep, width, height, linearPercent, plateauLimit,
                                  rangeMin, rangeMax)) {
        UpdateRGBLUT(palette, rgbLut, lutSize);
    }
}

void PlateauEqualization::UpdateRGBLUT(const int* palette, int* rgbLut, int lutSize) {
    // Before the first mapping there is nothing to colour by. The row pitch of 2 * lutSize
    // bytes must fit an int.
    if (!_values || !_levels || palette == nullptr || rgbLut == nullptr || lutSize <= 0 ||
        lutSize > INT_MAX / 2) {
        return;
    }
    AllocateLUT(lutSize);
    if (!_paletteRamp || !_paletteMapping) {
        return;
    }
    // Every raw value 0 .. lutSize - 1 is mapped as one row of pixels.
    const int step = 2 * lutSize;
    PixelPrimitives::LUT_Linear_16u_C1R(_paletteRamp.Get(), step, _paletteMapping.Get(), step,
                                        lutSize, 1, _values.Get(), _levels.Get(), _numBins);
    PixelPrimitives::LUTPalette_16u32u_C1R(_paletteMapping.Get(), step, rgbLut, step, lutSize, 1,
                                           palette, 16);
}

bool PlateauEqualization::PerformPlateauHistogramEq(const unsigned short* src, int srcStep,
                                                    int width, int height, float linearPercent,
                                                    float plateauLimit) {
    // A region without pixels has no histogram; it must not advance the damping either.
    if (src == nullptr || width <= 0 || height <= 0 || !Allocate(width, height, true)) {
        return false;
    }
    const int n = _numBins;
    PixelPrimitives::DivC_16u_C1(src, srcStep, kReduction, _reduced.Get(), _reducedPitch, width,
                                 height, 0);
    CalculateDampedHistogram(_reduced.Get(), _reducedPitch, width, height, 0, n);
    const int limit = TruncateLimit(plateauLimit);
    CalculateCumulativeSum(_histogram.Get(), _clippedHistogram.Get(), limit, _cumulative.Get(), n);
    ShapeCurve(linearPercent);
    // values[k] is the curve at boundary k, which closes bin k - 1; values[0] repeats bin 0.
    float* cumulative = _cumulative.Get();
    int* values = _values.Get();
    VectorPrimitives::Convert_32f32s(cumulative, values, 1, 0);
    VectorPrimitives::Convert_32f32s(cumulative, values + 1, n, 0);
    VectorPrimitives::MulC_32s_I(values, kReduction, n + 1, 0);
    // n + 1 boundaries spread over the whole 16-bit range, as the histogram would lay them.
    EvenLevels(_levels.Get(), n + 1, 0, 65535);
    return true;
}

bool PlateauEqualization::PerformPlateauHistogramEq(const unsigned short* src, int srcStep,
                                                    int width, int height, float linearPercent,
                                                    float plateauLimit, int rangeMin,
                                                    int rangeMax) {
    // The upper level rangeMax + 1 and the window's span must fit an int.
    const long long span = static_cast<long long>(rangeMax) - rangeMin;
    if (src == nullptr || width <= 0 || height <= 0 || rangeMax == INT_MAX || span > INT_MAX ||
        span < INT_MIN || !Allocate(width, height, false)) {
        return false;
    }
    const int n = _numBins;
    CalculateDampedHistogram(src, srcStep, width, height, rangeMin, rangeMax + 1);
    const int limit = TruncateLimit(plateauLimit);
    float* cumulative = _cumulative.Get();
    CalculateCumulativeSum(_histogram.Get(), limit, cumulative, n);
    ShapeCurve(linearPercent);
    VectorPrimitives::MulC_32f_I(
        cumulative, static_cast<float>(rangeMax - rangeMin) / static_cast<float>(n), n);
    VectorPrimitives::AddC_32f_I(cumulative, static_cast<float>(rangeMin), n);
    // Not shifted: values[k] is the curve of bin k; values[n] is never read by the look-up.
    VectorPrimitives::Convert_32f32s(cumulative, _values.Get(), n, 0);
    return true;
}

void PlateauEqualization::CalculateDampedHistogram(const unsigned short* image, int step, int width,
                                                   int height, int lower, int upper) {
    const int n = _numBins;
    int* histogram = _histogram.Get();
    if (_firstFrame) {
        PixelPrimitives::HistogramEven_16u_C1(image, step, width, height, histogram, _levels.Get(),
                                              n + 1, lower, upper);
        _firstFrame = false;
        return;
    }
    float* previous = _previousHistogram.Get();
    float* current = _currentHistogram.Get();
    VectorPrimitives::Convert_32s32f(histogram, previous, n);
    PixelPrimitives::HistogramEven_16u_C1(image, step, width, height, histogram, _levels.Get(),
                                          n + 1, lower, upper);
    VectorPrimitives::Convert_32s32f(histogram, current, n);
    VectorPrimitives::MulC_32f_I(current, 1.0f - _dampingFactor, n);
    VectorPrimitives::AddProductC_32f(previous, _dampingFactor, current, n);
    VectorPrimitives::Convert_32f32s(current, histogram, n, 0);
}

void PlateauEqualization::ShapeCurve(float linearPercent) {
    const int n = _numBins;
    float* cumulative = _cumulative.Get();
    // With nothing counted (a limit below 1 clips every bin to 0 or less, or no pixel is in
    // the window) the running sum cannot be normalised; the identity keeps the frame
    // viewable, as linearPercent 100 would.
    if (!(cumulative[n - 1] > 0.0f)) {
        VectorPrimitives::Copy_32f(_ramp.Get(), cumulative, n);
        return;
    }
    const float p = linearPercent * 0.01f;
    VectorPrimitives::MulC_32f_I(cumulative, static_cast<float>(n) / cumulative[n - 1], n);
    VectorPrimitives::MulC_32f_I(cumulative, 1.0f - p, n);
    VectorPrimitives::AddProductC_32f(_ramp.Get(), p, cumulative, n);
}

void PlateauEqualization::CalculateCumulativeSum(const int* histogram, int plateauLimit,
                                                 float* cumulative, int numBins) {
    if (numBins < 1) {
        return;
    }
    cumulative[0] = static_cast<float>(std::min(histogram[0], plateauLimit));
    // Each sum waits for the one before it, and there are at most 65536: a team of threads
    // could only add the cost of starting it, which on a busy machine is milliseconds.
    for (int k = 1; k < numBins; ++k) {
        cumulative[k] =
            static_cast<float>(std::min(histogram[k], plateauLimit)) + cumulative[k - 1];
    }
}

void PlateauEqualization::CalculateCumulativeSum(const int* histogram, int* clipped,
                                                 int plateauLimit, float* cumulative, int numBins) {
    if (numBins < 1) {
        return;
    }
    clipped[0] = std::min(histogram[0], plateauLimit);
    cumulative[0] = static_cast<float>(clipped[0]);
    // In the calling thread, as above.
    for (int k = 1; k < numBins; ++k) {
        clipped[k] = std::min(histogram[k], plateauLimit);
        cumulative[k] = static_cast<float>(clipped[k]) + cumulative[k - 1];
    }
}

bool PlateauEqualization::Allocate(int width, int height, bool withReduced) {
    const int n = _numBins;
    const bool sized = _histogram && _levels && _values && _previousHistogram &&
                       _currentHistogram && _cumulative && _ramp;
    if (width != _width || height != _height || !sized) {
        Cleanup();
        _histogram.Allocate(n);
        _levels.Allocate(n + 1);
        _values.Allocate(n + 1);
        _previousHistogram.Allocate(n);
        _currentHistogram.Allocate(n);
        _cumulative.Allocate(n);
        _ramp.Allocate(n);
        VectorPrimitives::VectorRamp_32f(_ramp.Get(), n, 0.0f, 1.0f);
        _width = width;
        _height = height;
    }
    // The windowed family does without these two, so after it they may be absent at an
    // unchanged size.
    if (withReduced) {
        if (!_reduced) {
            _reduced.Allocate(width, height);
            _reducedPitch = _reduced.Pitch();
        }
        _clippedHistogram.AllocateIfAbsent(n);
    }
    const bool held = _histogram && _levels && _values && _previousHistogram && _currentHistogram &&
                      _cumulative && _ramp && (!withReduced || (_reduced && _clippedHistogram));
    if (!held) {
        Cleanup();  // leaves no half-built mapping behind for UpdateRGBLUT
    }
    return held;
}

void PlateauEqualization::AllocateLUT(int lutSize) {
    if (lutSize == _paletteSize && _paletteRamp && _paletteMapping) {
        return;
    }
    _paletteRamp.Release();
    _paletteMapping.Release();
    _paletteRamp.Allocate(lutSize);
    VectorPrimitives::VectorSlope_16u(_paletteRamp.Get(), lutSize, 0.0, 1.0);
    _paletteMapping.Allocate(lutSize);
    _paletteSize = _paletteRamp && _paletteMapping ? lutSize : 0;
}

void PlateauEqualization::Cleanup() {
    _reduced.Release();
    _histogram.Release();
    _levels.Release();
    _previousHistogram.Release();
    _currentHistogram.Release();
    _clippedHistogram.Release();
    _cumulative.Release();
    _ramp.Release();
    _values.Release();
    _width = 0;
    _height = 0;
    _reducedPitch = 0;
    _firstFrame = true;
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
