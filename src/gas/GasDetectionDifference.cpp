#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include <new>

#include "frame/ImageArgs.h"
#include "frame/Rows.h"
#include "gas/ColorizeGasImage.h"
#include "gas/EdgeWeighting.h"
#include "gas/GasKernels.h"
#include "gas/ReferenceEdges.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The overlay tints by the scaled detection itself.
constexpr int kGain = 1;
// Share of the current frame's range added to the sensitivity threshold.
constexpr float kRangeShare = 0.001f;

}  // namespace

GasDetectionDifference::GasDetectionDifference() : _stabilizer(new ImageStabilization) {}

// Buffers and the stabiliser are duplicated with their content by their owners.
GasDetectionDifference::GasDetectionDifference(const GasDetectionDifference& other) = default;
GasDetectionDifference& GasDetectionDifference::operator=(const GasDetectionDifference& other) =
    default;

GasDetectionDifference::~GasDetectionDifference() {
    Cleanup();
}

void GasDetectionDifference::SetUseImageStabilisation(bool use) {
    if (!use) {
        _stabilizer.Reset();
    } else if (!_stabilizer) {
        _stabilizer.Reset(new (std::nothrow) ImageStabilization);
    }
}

void GasDetectionDifference::EdgeDetection(float* src, int srcStep, float* tmp, int tmpStep,
                                           int width, int height, unsigned char* scratch) {
    DetectEdges(src, srcStep, tmp, tmpStep, width, height, scratch);
}

void GasDetectionDifference::DebugImage(const float* src, int srcStep, unsigned char* dst,
                                        int dstStep, int width, int height) {
    ClearDebugImage(src, srcStep, dst, dstStep, width, height);
}

bool GasDetectionDifference::Init(int width, int height) {
    if (width != _width || height != _height) {
        Cleanup();
    }
    _difference.AllocateIfAbsent(width, height);
    _reference.AllocateIfAbsent(width, height);
    _work.AllocateIfAbsent(width, height);
    _current.AllocateIfAbsent(width, height);
    if (!_lowpassScratch) {
        int bytes = 0;
        PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(width, height, &bytes);
        _lowpassScratch.Allocate(bytes);
    }
    if (!_gaussScratch) {
        int bytes = 0;
        PixelPrimitives::FilterGaussGetBufferSize_32f_C1(width, height, _gaussKernelSize, &bytes);
        _gaussScratch.Allocate(bytes);
    }
    _width = width;
    _height = height;
    return _difference && _reference && _work && _current && _lowpassScratch && _gaussScratch;
}

void GasDetectionDifference::Cleanup() {
    _difference.Release();
    _reference.Release();
    _current.Release();
    _work.Release();
    _lowpassScratch.Release();
    if (_referenceEdges) {
        _referenceEdges->Release();
    }
    _gaussScratch.Release();
}

void GasDetectionDifference::Run(const unsigned short* src, int srcStep, const unsigned short* ref,
                                 int refStep, unsigned char* colorImage, int colorStep,
                                 unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(ref, refStep, width, height) ||
        !ValidImage(colorImage, colorStep, width, height, 4) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
    const int k = _gaussKernelSize;
    if (width <= k || height <= k) {
        // No difference fits inside the filter's reach: the colour image with no detection.
        ColorizeGasImage(colorImage, colorStep, nullptr, 0, _colorizationMethod, kGain, dst,
                         dstStep, width, height);
        return;
    }
    if (!Init(width, height)) {
        // Short of memory: no output, and nothing half-built for the next call.
        Cleanup();
        return;
    }
    unsigned short minimum = 0;
    unsigned short maximum = 0;
    PixelPrimitives::MinMax_16u_C1(src, srcStep, width, height, &minimum, &maximum);
    const float range = static_cast<float>(maximum - minimum);

    float* a = _current.Get();
    float* b = _reference.Get();
    float* d = _difference.Get();
    const int aStep = _current.Pitch();
    const int bStep = _reference.Pitch();
    const int dStep = _difference.Pitch();
    PixelPrimitives::Convert_16u32f_C1(src, srcStep, a, aStep, width, height);
    // The reference moves to line up with the current frame; a stabiliser short of memory
    // leaves the call without output.
    int dx = 0;
    int dy = 0;
    if (!ReferenceEdges::AlignReference(ref, refStep, a, aStep, b, bStep, width, height,
                                        _stabilizer.Get(), _referenceEdges, &dx, &dy)) {
        return;
    }

    const int e = (k - 1) / 2;
    FrameDifference(a, aStep, b, bStep, d, dStep, width, height, e, e, width - k, height - k);
    if (_edgeFactor > 0) {
        EdgeWeightingImages images{
            a,     aStep, b, bStep, d, dStep, _work.Get(), _work.Pitch(), _lowpassScratch.Get(),
            width, height};
        WeightByEdges(images, _edgeFactor, _referenceEdges.Get(), ref, refStep, dx, dy);
    }

    PixelPrimitives::FilterGaussBorder_32f_C1R(d, dStep, a, aStep, width, height, k, _gaussSigma,
                                               _gaussScratch.Get());
    const float largest = LargestMagnitude(a, aStep, width, height);
    // Values below the threshold count as 0; the rest are scaled to at most 255 in magnitude.
    const float threshold = static_cast<float>(_sensitivityThreshold) + range * kRangeShare;
    const float scale = largest != 0.0f ? 255.0f / largest : 0.0f;
    ColorizeGasImage(colorImage, colorStep, a, aStep, _colorizationMethod, kGain, dst, dstStep,
                     width, height, DetectionScaling{threshold, scale});
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
