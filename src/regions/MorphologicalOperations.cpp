#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include "frame/ImageArgs.h"

// Each operation is one call of the primitive with the same argument list, once its images
// pass the checks (the ring round the region cannot be checked: the caller provides it).
namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

MorphologicalOperations::MorphologicalOperations(const MorphologicalOperations&) {}

MorphologicalOperations& MorphologicalOperations::operator=(const MorphologicalOperations&) {
    return *this;
}

void MorphologicalOperations::Dilate3x3(unsigned char* srcDst, int srcDstStep, int width,
                                        int height) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::Dilate3x3_8u_C1I(srcDst, srcDstStep, width, height);
}

void MorphologicalOperations::Dilate3x3(const unsigned char* src, int srcStep, unsigned char* dst,
                                        int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::Dilate3x3_8u_C1(src, srcStep, dst, dstStep, width, height);
}

void MorphologicalOperations::Erode3x3(unsigned char* srcDst, int srcDstStep, int width,
                                       int height) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::Erode3x3_8u_C1I(srcDst, srcDstStep, width, height);
}

void MorphologicalOperations::Erode3x3(const unsigned char* src, int srcStep, unsigned char* dst,
                                       int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::Erode3x3_8u_C1(src, srcStep, dst, dstStep, width, height);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
