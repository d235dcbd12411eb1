#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>

#include <PixelPrimitives/PixelPrimitives.h>

// Each operation is one call of the primitive with the same argument list.
namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

MorphologicalOperations::MorphologicalOperations(const MorphologicalOperations&) {}

MorphologicalOperations& MorphologicalOperations::operator=(const MorphologicalOperations&) {
    return *this;
}

void MorphologicalOperations::Dilate3x3(unsigned char* srcDst, int srcDstStep, int width,
                                        int height) {
    PixelPrimitives::Dilate3x3_8u_C1I(srcDst, srcDstStep, width, height);
}

void MorphologicalOperations::Dilate3x3(const unsigned char* src, int srcStep, unsigned char* dst,
                                        int dstStep, int width, int height) {
    PixelPrimitives::Dilate3x3_8u_C1(src, srcStep, dst, dstStep, width, height);
}

void MorphologicalOperations::Erode3x3(unsigned char* srcDst, int srcDstStep, int width,
                                       int height) {
    PixelPrimitives::Erode3x3_8u_C1I(srcDst, srcDstStep, width, height);
}

void MorphologicalOperations::Erode3x3(const unsigned char* src, int srcStep, unsigned char* dst,
                                       int dstStep, int width, int height) {
    PixelPrimitives::Erode3x3_8u_C1(src, srcStep, dst, dstStep, width, height);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
