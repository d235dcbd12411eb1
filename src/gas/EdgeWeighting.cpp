#include "gas/EdgeWeighting.h"

#include <PixelPrimitives/PixelPrimitives.h>

#include <cstddef>
#include <cstring>

#include "frame/Rows.h"
#include "gas/GasKernels.h"
#include "gas/ReferenceEdges.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

void DetectEdges(float* src, int srcStep, float* tmp, int tmpStep, int width, int height,
                 unsigned char* scratch) {
    PixelPrimitives::FilterLowpassBorder5x5_32f_C1R(src, srcStep, tmp, tmpStep, width, height,
                                                    scratch);
    AbsoluteDifference(src, srcStep, tmp, tmpStep, width, height);
    PixelPrimitives::FilterLowpassBorder5x5_32f_C1R(tmp, tmpStep, src, srcStep, width, height,
                                                    scratch);
}

void WeightByEdges(const EdgeWeightingImages& im, int edgeFactor) {
    const int w = im.width;
    const int h = im.height;
    const float* referenceEdges = im.referenceEdges;
    int referenceEdgesStep = im.referenceEdgesStep;
    if (referenceEdges == nullptr) {
        DetectEdges(im.reference, im.referenceStep, im.work, im.workStep, w, h, im.scratch);
        referenceEdges = im.reference;
        referenceEdgesStep = im.referenceStep;
    }
    DetectEdges(im.current, im.currentStep, im.work, im.workStep, w, h, im.scratch);
    const float largest =
        AddAndFindMax(referenceEdges, referenceEdgesStep, im.current, im.currentStep, w, h);
    // Edge magnitudes are never negative, so a largest sum of 0 means no edge anywhere.
    const float factor = largest != 0.0f ? static_cast<float>(edgeFactor) / largest : 0.0f;
    // The weight min(1, sum x factor) - 1 goes straight into D; nothing reads it afterwards.
    WeightDifference(im.current, im.currentStep, im.difference, im.differenceStep, factor, w, h);
}

void WeightByEdges(EdgeWeightingImages images, int edgeFactor, ReferenceEdges* held,
                   const unsigned short* reference, int referenceStep, int dx, int dy) {
    if (held == nullptr) {
        WeightByEdges(images, edgeFactor);
        return;
    }
    images.referenceEdges = held->Find(dx, dy);
    images.referenceEdgesStep = held->EdgesPitch();
    WeightByEdges(images, edgeFactor);
    if (images.referenceEdges == nullptr) {
        held->Keep(reference, referenceStep, images.width, images.height, dx, dy, images.reference,
                   images.referenceStep);
    }
}

void ClearDebugImage(const float* src, int srcStep, unsigned char* dst, int dstStep, int width,
                     int height) {
    if (dst == nullptr || width <= 0 || height <= 0) {
        return;
    }
    if (src != nullptr) {
        // Measured but not drawn: the image's range is where a picture of it would start.
        float minimum = 0.0f;
        float maximum = 0.0f;
        PixelPrimitives::MinMax_32f_C1(src, srcStep, width, height, &minimum, &maximum);
    }
    for (int y = 0; y < height; ++y) {
        std::memset(RowAt(dst, dstStep, y), 0, 4 * static_cast<std::size_t>(width));
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
