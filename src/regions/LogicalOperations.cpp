#include <Varnik/Soloma/ImageProcessing/LogicalOperations.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include "frame/ImageArgs.h"

// Each operation is one call of the primitive with the same argument list, once its images
// pass the checks.
namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

LogicalOperations::LogicalOperations(const LogicalOperations&) {}

LogicalOperations& LogicalOperations::operator=(const LogicalOperations&) {
    return *this;
}

void LogicalOperations::And(const unsigned char* src1, int src1Step, const unsigned char* src2,
                            int src2Step, unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src1, src1Step, width, height) || !ValidImage(src2, src2Step, width, height) ||
        !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::And_8u_C1(src1, src1Step, src2, src2Step, dst, dstStep, width, height);
}

void LogicalOperations::And(const unsigned char* src, int srcStep, unsigned char* srcDst,
                            int srcDstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) ||
        !ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::And_8u_C1I(src, srcStep, srcDst, srcDstStep, width, height);
}

void LogicalOperations::AndC(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                             int height) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::AndC_8u_C1I(srcDst, srcDstStep, value, width, height);
}

void LogicalOperations::AndC(const unsigned char* src, int srcStep, unsigned char value,
                             unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::AndC_8u_C1(src, srcStep, value, dst, dstStep, width, height);
}

void LogicalOperations::Or(const unsigned char* src1, int src1Step, const unsigned char* src2,
                           int src2Step, unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src1, src1Step, width, height) || !ValidImage(src2, src2Step, width, height) ||
        !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::Or_8u_C1(src1, src1Step, src2, src2Step, dst, dstStep, width, height);
}

void LogicalOperations::Or(const unsigned char* src, int srcStep, unsigned char* srcDst,
                           int srcDstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) ||
        !ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::Or_8u_C1I(src, srcStep, srcDst, srcDstStep, width, height);
}

void LogicalOperations::OrC(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                            int height) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::OrC_8u_C1I(srcDst, srcDstStep, value, width, height);
}

void LogicalOperations::OrC(const unsigned char* src, int srcStep, unsigned char value,
                            unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::OrC_8u_C1(src, srcStep, value, dst, dstStep, width, height);
}

void LogicalOperations::Xor(const unsigned char* src1, int src1Step, const unsigned char* src2,
                            int src2Step, unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src1, src1Step, width, height) || !ValidImage(src2, src2Step, width, height) ||
        !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::Xor_8u_C1(src1, src1Step, src2, src2Step, dst, dstStep, width, height);
}

void LogicalOperations::Xor(const unsigned char* src, int srcStep, unsigned char* srcDst,
                            int srcDstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) ||
        !ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::Xor_8u_C1I(src, srcStep, srcDst, srcDstStep, width, height);
}

void LogicalOperations::XorC(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                             int height) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::XorC_8u_C1I(srcDst, srcDstStep, value, width, height);
}

void LogicalOperations::XorC(const unsigned char* src, int srcStep, unsigned char value,
                             unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::XorC_8u_C1(src, srcStep, value, dst, dstStep, width, height);
}

void LogicalOperations::Not(unsigned char* srcDst, int srcDstStep, int width, int height) {
    if (!ValidImage(srcDst, srcDstStep, width, height)) {
        return;
    }
    PixelPrimitives::Not_8u_C1I(srcDst, srcDstStep, width, height);
}

void LogicalOperations::Not(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                            int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    PixelPrimitives::Not_8u_C1(src, srcStep, dst, dstStep, width, height);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
