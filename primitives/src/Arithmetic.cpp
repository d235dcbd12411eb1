#include <PixelPrimitives/PixelPrimitives.h>

#include <algorithm>
#include <cmath>

#include "ElementWise.h"

namespace {

using pp::ValidImages;

enum class FloatOp { Add, Sub, Mul };

// dst = second op first. This is IPP's operand order: Sub gives the second operand minus the
// first, and the in-place forms pass their source-destination as the second operand.
PP_MULTIVERSION void CombineFloats(FloatOp op, const float* first, int firstStep,
                                   const float* second, int secondStep, float* dst, int dstStep,
                                   int width, int height) {
    auto combine = [&](auto f) {
        pp::CombinePixels(first, firstStep, second, secondStep, dst, dstStep, width, height, f);
    };
    switch (op) {
        case FloatOp::Add:
            combine([](float a, float b) { return b + a; });
            break;
        case FloatOp::Sub:
            combine([](float a, float b) { return b - a; });
            break;
        case FloatOp::Mul:
            combine([](float a, float b) { return b * a; });
            break;
    }
}

// dst = src op value.
PP_MULTIVERSION void CombineWithConstant(FloatOp op, const float* src, int srcStep, float value,
                                         float* dst, int dstStep, int width, int height) {
    auto map = [&](auto f) { pp::MapPixels(src, srcStep, dst, dstStep, width, height, f); };
    switch (op) {
        case FloatOp::Add:
            map([value](float v) { return v + value; });
            break;
        case FloatOp::Sub:
            map([value](float v) { return v - value; });
            break;
        case FloatOp::Mul:
            map([value](float v) { return v * value; });
            break;
    }
}

PP_MULTIVERSION void AbsPixels(const float* src, int srcStep, float* dst, int dstStep, int width,
                               int height) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height, [](float v) { return std::fabs(v); });
}

// The product of two bytes is below 2^16, so past these shifts nothing changes any more:
// every result is 0 (right) or every non-zero product saturates (left). Clamping keeps the
// 32-bit intermediates exact.
constexpr int kMaxProductRightShift = 17;
constexpr int kMaxProductLeftShift = 8;

PP_MULTIVERSION void MultiplyBytesScaled(const unsigned char* src1, int src1Step,
                                         const unsigned char* src2, int src2Step,
                                         unsigned char* dst, int dstStep, int width, int height,
                                         int scaleFactor) {
    int scale = std::clamp(scaleFactor, -kMaxProductLeftShift, kMaxProductRightShift);
    int left = std::max(-scale, 0);
    pp::ShiftRoundHalfEven<int> right(std::max(scale, 0));
    pp::CombinePixels(src1, src1Step, src2, src2Step, dst, dstStep, width, height,
                      [left, right](unsigned char a, unsigned char b) {
                          int p = right((a * b) << left);
                          return static_cast<unsigned char>(std::min(p, 255));
                      });
}

template <typename F>
[[gnu::always_inline]] inline void DivideRounded(const unsigned short* src, int srcStep, F divisor,
                                                 unsigned short* dst, int dstStep, int width,
                                                 int height) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height, [divisor](unsigned short v) {
        return pp::SaturateCast<unsigned short>(pp::RoundHalfEven(F(v) / divisor));
    });
}

// Past these scale factors nothing changes any more: from 18 on every quotient is below
// 1/2, and from -32 down every non-zero pixel saturates (2^32 / 65535 > 65535).
constexpr int kMaxDivisionScale = 32;

// dst = round_ne(src / (value * 2^sf)), saturated. Why one correctly rounded division decides
// the rounding exactly: with integers n / d, a quotient that is not a tie lies at least
// 1/(2d) from one, while the division's error is at most (n/d) * 2^-p (p = 24 for float,
// 53 for double). That is smaller whenever n < 2^(p-1). For sf >= 0 n is the pixel (< 2^16)
// and float suffices; for sf < 0 n = pixel * 2^-sf < 2^48 needs double. Every tie and every
// integer is exact in both types, so no rounding error can create or hide one.
PP_MULTIVERSION void DivideWordsRounded(const unsigned short* src, int srcStep,
                                        unsigned short value, int scaleFactor, unsigned short* dst,
                                        int dstStep, int width, int height) {
    int scale = std::clamp(scaleFactor, -kMaxDivisionScale, kMaxDivisionScale);
    if (scale >= 0) {
        DivideRounded(src, srcStep, std::ldexp(float(value), scale), dst, dstStep, width, height);
    } else {
        DivideRounded(src, srcStep, std::ldexp(double(value), scale), dst, dstStep, width, height);
    }
}

bool FloatImages(FloatOp op, const float* first, int firstStep, const float* second, int secondStep,
                 float* dst, int dstStep, int width, int height) {
    if (!ValidImages(width, height, first, second, dst)) {
        return false;
    }
    CombineFloats(op, first, firstStep, second, secondStep, dst, dstStep, width, height);
    return true;
}

bool FloatConstant(FloatOp op, const float* src, int srcStep, float value, float* dst, int dstStep,
                   int width, int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    CombineWithConstant(op, src, srcStep, value, dst, dstStep, width, height);
    return true;
}

}  // namespace

bool PixelPrimitives::Abs_32f_C1(const float* src, int srcStep, float* dst, int dstStep, int width,
                                 int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    AbsPixels(src, srcStep, dst, dstStep, width, height);
    return true;
}

bool PixelPrimitives::Abs_32f_C1I(float* srcDst, int srcDstStep, int width, int height) {
    return Abs_32f_C1(srcDst, srcDstStep, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::Add_32f_C1I(const float* src, int srcStep, float* srcDst, int srcDstStep,
                                  int width, int height) {
    return FloatImages(FloatOp::Add, src, srcStep, srcDst, srcDstStep, srcDst, srcDstStep, width,
                       height);
}

bool PixelPrimitives::Sub_32f_C1(const float* src1, int src1Step, const float* src2, int src2Step,
                                 float* dst, int dstStep, int width, int height) {
    return FloatImages(FloatOp::Sub, src1, src1Step, src2, src2Step, dst, dstStep, width, height);
}

bool PixelPrimitives::Sub_32f_C1I(const float* src, int srcStep, float* srcDst, int srcDstStep,
                                  int width, int height) {
    return FloatImages(FloatOp::Sub, src, srcStep, srcDst, srcDstStep, srcDst, srcDstStep, width,
                       height);
}

bool PixelPrimitives::Mul_32f_C1I(const float* src, int srcStep, float* srcDst, int srcDstStep,
                                  int width, int height) {
    return FloatImages(FloatOp::Mul, src, srcStep, srcDst, srcDstStep, srcDst, srcDstStep, width,
                       height);
}

bool PixelPrimitives::AddC_32f_C1I(float value, float* srcDst, int srcDstStep, int width,
                                   int height) {
    return FloatConstant(FloatOp::Add, srcDst, srcDstStep, value, srcDst, srcDstStep, width,
                         height);
}

bool PixelPrimitives::SubC_32f_C1I(float value, float* srcDst, int srcDstStep, int width,
                                   int height) {
    return FloatConstant(FloatOp::Sub, srcDst, srcDstStep, value, srcDst, srcDstStep, width,
                         height);
}

bool PixelPrimitives::MulC_32f_C1I(float value, float* srcDst, int srcDstStep, int width,
                                   int height) {
    return FloatConstant(FloatOp::Mul, srcDst, srcDstStep, value, srcDst, srcDstStep, width,
                         height);
}

bool PixelPrimitives::MulC_32f_C1(const float* src, int srcStep, float value, float* dst,
                                  int dstStep, int width, int height) {
    return FloatConstant(FloatOp::Mul, src, srcStep, value, dst, dstStep, width, height);
}

bool PixelPrimitives::Mul_8u_C1(const unsigned char* src1, int src1Step, const unsigned char* src2,
                                int src2Step, unsigned char* dst, int dstStep, int width,
                                int height, int scaleFactor) {
    if (!ValidImages(width, height, src1, src2, dst)) {
        return false;
    }
    MultiplyBytesScaled(src1, src1Step, src2, src2Step, dst, dstStep, width, height, scaleFactor);
    return true;
}

bool PixelPrimitives::DivC_16u_C1(const unsigned short* src, int srcStep, unsigned short value,
                                  unsigned short* dst, int dstStep, int width, int height,
                                  int scaleFactor) {
    if (!ValidImages(width, height, src, dst) || value == 0) {
        return false;
    }
    DivideWordsRounded(src, srcStep, value, scaleFactor, dst, dstStep, width, height);
    return true;
}
