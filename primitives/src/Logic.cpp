#include <PixelPrimitives/PixelPrimitives.h>

#include "ElementWise.h"

namespace {

using Byte = unsigned char;
using pp::ValidImages;

enum class BitOp { And, Or, Xor };

// All three operations are symmetric, so the in-place forms (srcDst = src op srcDst) may pass
// srcDst as either operand.
PP_MULTIVERSION void CombineBytes(BitOp op, const Byte* src1, int src1Step, const Byte* src2,
                                  int src2Step, Byte* dst, int dstStep, int width, int height) {
    auto combine = [&](auto f) {
        pp::CombinePixels(src1, src1Step, src2, src2Step, dst, dstStep, width, height, f);
    };
    switch (op) {
        case BitOp::And:
            combine([](Byte a, Byte b) { return Byte(a & b); });
            break;
        case BitOp::Or:
            combine([](Byte a, Byte b) { return Byte(a | b); });
            break;
        case BitOp::Xor:
            combine([](Byte a, Byte b) { return Byte(a ^ b); });
            break;
    }
}

PP_MULTIVERSION void CombineBytesWithConstant(BitOp op, const Byte* src, int srcStep, Byte value,
                                              Byte* dst, int dstStep, int width, int height) {
    auto map = [&](auto f) { pp::MapPixels(src, srcStep, dst, dstStep, width, height, f); };
    switch (op) {
        case BitOp::And:
            map([value](Byte v) { return Byte(v & value); });
            break;
        case BitOp::Or:
            map([value](Byte v) { return Byte(v | value); });
            break;
        case BitOp::Xor:
            map([value](Byte v) { return Byte(v ^ value); });
            break;
    }
}

bool Images(BitOp op, const Byte* src1, int src1Step, const Byte* src2, int src2Step, Byte* dst,
            int dstStep, int width, int height) {
    if (!ValidImages(width, height, src1, src2, dst)) {
        return false;
    }
    CombineBytes(op, src1, src1Step, src2, src2Step, dst, dstStep, width, height);
    return true;
}

bool WithConstant(BitOp op, const Byte* src, int srcStep, Byte value, Byte* dst, int dstStep,
                  int width, int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    CombineBytesWithConstant(op, src, srcStep, value, dst, dstStep, width, height);
    return true;
}

}  // namespace

bool PixelPrimitives::And_8u_C1(const Byte* src1, int src1Step, const Byte* src2, int src2Step,
                                Byte* dst, int dstStep, int width, int height) {
    return Images(BitOp::And, src1, src1Step, src2, src2Step, dst, dstStep, width, height);
}
bool PixelPrimitives::Or_8u_C1(const Byte* src1, int src1Step, const Byte* src2, int src2Step,
                               Byte* dst, int dstStep, int width, int height) {
    return Images(BitOp::Or, src1, src1Step, src2, src2Step, dst, dstStep, width, height);
}
bool PixelPrimitives::Xor_8u_C1(const Byte* src1, int src1Step, const Byte* src2, int src2Step,
                                Byte* dst, int dstStep, int width, int height) {
    return Images(BitOp::Xor, src1, src1Step, src2, src2Step, dst, dstStep, width, height);
}

bool PixelPrimitives::And_8u_C1I(const Byte* src, int srcStep, Byte* srcDst, int srcDstStep,
                                 int width, int height) {
    return Images(BitOp::And, src, srcStep, srcDst, srcDstStep, srcDst, srcDstStep, width, height);
}
bool PixelPrimitives::Or_8u_C1I(const Byte* src, int srcStep, Byte* srcDst, int srcDstStep,
                                int width, int height) {
    return Images(BitOp::Or, src, srcStep, srcDst, srcDstStep, srcDst, srcDstStep, width, height);
}
bool PixelPrimitives::Xor_8u_C1I(const Byte* src, int srcStep, Byte* srcDst, int srcDstStep,
                                 int width, int height) {
    return Images(BitOp::Xor, src, srcStep, srcDst, srcDstStep, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::AndC_8u_C1(const Byte* src, int srcStep, Byte value, Byte* dst, int dstStep,
                                 int width, int height) {
    return WithConstant(BitOp::And, src, srcStep, value, dst, dstStep, width, height);
}
bool PixelPrimitives::OrC_8u_C1(const Byte* src, int srcStep, Byte value, Byte* dst, int dstStep,
                                int width, int height) {
    return WithConstant(BitOp::Or, src, srcStep, value, dst, dstStep, width, height);
}
bool PixelPrimitives::XorC_8u_C1(const Byte* src, int srcStep, Byte value, Byte* dst, int dstStep,
                                 int width, int height) {
    return WithConstant(BitOp::Xor, src, srcStep, value, dst, dstStep, width, height);
}

bool PixelPrimitives::AndC_8u_C1I(Byte* srcDst, int srcDstStep, Byte value, int width, int height) {
    return WithConstant(BitOp::And, srcDst, srcDstStep, value, srcDst, srcDstStep, width, height);
}
bool PixelPrimitives::OrC_8u_C1I(Byte* srcDst, int srcDstStep, Byte value, int width, int height) {
    return WithConstant(BitOp::Or, srcDst, srcDstStep, value, srcDst, srcDstStep, width, height);
}
bool PixelPrimitives::XorC_8u_C1I(Byte* srcDst, int srcDstStep, Byte value, int width, int height) {
    return WithConstant(BitOp::Xor, srcDst, srcDstStep, value, srcDst, srcDstStep, width, height);
}

// Not is Xor with all bits set.
bool PixelPrimitives::Not_8u_C1(const Byte* src, int srcStep, Byte* dst, int dstStep, int width,
                                int height) {
    return WithConstant(BitOp::Xor, src, srcStep, 0xFF, dst, dstStep, width, height);
}
bool PixelPrimitives::Not_8u_C1I(Byte* srcDst, int srcDstStep, int width, int height) {
    return WithConstant(BitOp::Xor, srcDst, srcDstStep, 0xFF, srcDst, srcDstStep, width, height);
}
