#include <PixelPrimitives/PixelPrimitives.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ElementWise.h"

namespace {

using pp::ValidImages;

enum class FloatOp { Add, Sub, Mul };

// dst = second op first. This is IPP's operand order: Sub gives the second operand minus the
// first, and the in-place forms pass their source-destination as the second operand.
PP_MULTIVERSION_WIDE void CombineFloats(FloatOp op, const float* first, int firstStep,
                                        const float* second, int secondStep, float* dst,
                                        int dstStep, int width, int height) {
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
PP_MULTIVERSION_WIDE void CombineWithConstant(FloatOp op, const float* src, int srcStep,
                                              float value, float* dst, int dstStep, int width,
                                              int height) {
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

// dst[x] = min(a[x] * b[x], 255) along one row.
[[gnu::always_inline]] inline void MultiplyBytePairs(const unsigned char* a, const unsigned char* b,
                                                     unsigned char* dst, int width) {
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        unsigned short p, q;
        std::memcpy(&p, a + 2 * i, 2);
        std::memcpy(&q, b + 2 * i, 2);
        const auto low = static_cast<unsigned short>((p & 0xFF) * (q & 0xFF));
        const auto high = static_cast<unsigned short>((p >> 8) * (q >> 8));
        const auto word = static_cast<unsigned short>(std::min<unsigned short>(low, 255) |
                                                      std::min<unsigned short>(high, 255) << 8);
        std::memcpy(dst + 2 * i, &word, 2);
    }
    if (width % 2 != 0) {
        dst[width - 1] = static_cast<unsigned char>(std::min(a[width - 1] * b[width - 1], 255));
    }
}

PP_MULTIVERSION void MultiplyBytesScaled(const unsigned char* src1, int src1Step,
                                         const unsigned char* src2, int src2Step,
                                         unsigned char* dst, int dstStep, int width, int height,
                                         int scaleFactor) {
    if (scaleFactor == 0) {
        // The plain saturated product, the usual case, two pixels per 16-bit word: each byte
        // is multiplied in its own word (the even bytes masked, the odd ones shifted down), so
        // that every step stays within 16-bit lanes with nothing to pack.
        for (int y = 0; y < height; ++y) {
            MultiplyBytePairs(pp::RowAt(src1, src1Step, y), pp::RowAt(src2, src2Step, y),
                              pp::RowAt(dst, dstStep, y), width);
        }
        return;
    }
    int scale = std::clamp(scaleFactor, -kMaxProductLeftShift, kMaxProductRightShift);
    int left = std::max(-scale, 0);
    pp::ShiftRoundHalfEven<int> right(std::max(scale, 0));
    pp::CombinePixels(src1, src1Step, src2, src2Step, dst, dstStep, width, height,
                      [left, right](unsigned char a, unsigned char b) {
                          int p = right((a * b) << left);
                          return static_cast<unsigned char>(std::min(p, 255));
                      });
}

// The high half of a 16-bit product. A right shift by 1 <= s <= 15 is the high half of
// the product with 2^(16 - s): written so, GCC keeps it in 16-bit lanes, while a shift by
// a variable count widens to 32-bit ones.
inline unsigned short HighHalf(unsigned short a, unsigned short b) {
    return static_cast<unsigned short>((unsigned(a) * b) >> 16);
}

inline unsigned short ShiftFactor(int shift) {
    return static_cast<unsigned short>(1u << (16 - shift));
}

// q + 1 when the remainder r of a division by d passes d / 2, or equals it with q odd
// (tieMask 1 for even d; an odd d has no exact half). The round half to even.
inline unsigned short RoundQuotient(unsigned short q, unsigned short r, unsigned short half,
                                    unsigned short tieMask) {
    const unsigned short limit = static_cast<unsigned short>(half - (q & tieMask));
    return static_cast<unsigned short>(q + (r > limit ? 1 : 0));
}

// Rounded division of 16-bit words by d = 2^shift, 1 <= shift <= 15: the quotient and
// remainder are bit fields.
class WordShifter {
public:
    explicit WordShifter(int shift)
        : factor_(ShiftFactor(shift)),
          mask_(static_cast<unsigned short>((1u << shift) - 1)),
          half_(static_cast<unsigned short>(1u << (shift - 1))) {}

    unsigned short operator()(unsigned short n) const {
        const unsigned short q = HighHalf(n, factor_);
        return RoundQuotient(q, static_cast<unsigned short>(n & mask_), half_, 1);
    }

private:
    unsigned short factor_;
    unsigned short mask_;
    unsigned short half_;
};

// Rounded division of 16-bit words by any 3 <= d < 2^16 that is not a power of two, with
// Granlund and Montgomery's invariant divisor: with 2^(l-1) < d < 2^l and t the high half
// of n * multiplier, floor(n / d) = (t + ((n - t) >> 1)) >> (l - 1), exact for every 16-bit
// n. Sixteen pixels take one vector step; a division instruction would take one per pixel.
class WordDivider {
public:
    explicit WordDivider(unsigned d) {
        int log = 0;
        while ((1u << log) < d) {
            ++log;
        }
        multiplier_ = static_cast<unsigned short>(((1ull << 16) * ((1ull << log) - d)) / d + 1);
        factor_ = ShiftFactor(log - 1);
        divisor_ = static_cast<unsigned short>(d);
        half_ = static_cast<unsigned short>(d / 2);
        tieMask_ = d % 2 == 0 ? 1 : 0;
    }

    unsigned short operator()(unsigned short n) const {
        const unsigned short t = HighHalf(n, multiplier_);
        const unsigned short excess = static_cast<unsigned short>(n - t);  // t <= n
        const unsigned short sum = static_cast<unsigned short>(t + (excess >> 1));
        const unsigned short q = HighHalf(sum, factor_);
        const unsigned short product = static_cast<unsigned short>(q * divisor_);  // <= n
        const unsigned short r = static_cast<unsigned short>(n - product);
        return RoundQuotient(q, r, half_, tieMask_);
    }

private:
    unsigned short multiplier_;
    unsigned short factor_;
    unsigned short divisor_;
    unsigned short half_;
    unsigned short tieMask_;
};

// Past these scale factors nothing changes any more: from 17 on every quotient is below
// 1/2, and from -32 down every non-zero pixel saturates (2^32 / 65535 > 65535).
constexpr int kMaxDivisionScale = 17;
constexpr int kMinDivisionScale = -32;

// The kernels take their divider built by the caller: computed inside, GCC would know the
// factors' ranges and widen the high-half products to 32-bit lanes.
PP_MULTIVERSION void ShiftWordsRounded(const unsigned short* src, int srcStep, unsigned short* dst,
                                       int dstStep, int width, int height, WordShifter divide) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height, divide);
}

PP_MULTIVERSION void DivideWordsRounded(const unsigned short* src, int srcStep, unsigned short* dst,
                                        int dstStep, int width, int height, WordDivider divide) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height, divide);
}

// dst = 1 where src > half, else 0: a divisor d >= 2^16 leaves quotients below 1, which
// round to 1 above d / 2 and to 0 at it (0 is even) and below.
PP_MULTIVERSION void CompareWordsWithHalf(const unsigned short* src, int srcStep,
                                          unsigned short* dst, int dstStep, int width, int height,
                                          unsigned short half) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height, [half](unsigned short v) {
        return static_cast<unsigned short>(v > half ? 1 : 0);
    });
}

// dst = round_ne(src * 2^-sf / value) for sf < 0, saturated. The numerator reaches 2^48, and
// one double division decides its rounding exactly: a quotient of integers n / d that is not
// a tie lies at least 1/(2d) from one, the division errs by at most (n/d) * 2^-53, and ties
// and integers are exact.
PP_MULTIVERSION void MultiplyWordsRounded(const unsigned short* src, int srcStep,
                                          unsigned short* dst, int dstStep, int width, int height,
                                          double divisor) {
    pp::MapPixels(src, srcStep, dst, dstStep, width, height, [divisor](unsigned short v) {
        return pp::SaturateCast<unsigned short>(pp::RoundHalfEven(v / divisor));
    });
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
    // For sf >= 0 the divisor value * 2^sf is an integer and the quotients are formed exactly
    // in integers: by bit fields for a power of two (the usual case), by a multiplier below
    // 2^16, and by one comparison from there on.
    const int scale = std::clamp(scaleFactor, kMinDivisionScale, kMaxDivisionScale);
    const unsigned long long divisor = static_cast<unsigned long long>(value) << std::max(scale, 0);
    if (scale < 0) {
        MultiplyWordsRounded(src, srcStep, dst, dstStep, width, height,
                             std::ldexp(double(value), scale));
    } else if (divisor == 1) {
        Copy_16u_C1(src, srcStep, dst, dstStep, width, height);
    } else if (divisor < 65536 && (divisor & (divisor - 1)) == 0) {
        int shift = 1;
        while ((1ull << shift) < divisor) {
            ++shift;
        }
        ShiftWordsRounded(src, srcStep, dst, dstStep, width, height, WordShifter(shift));
    } else if (divisor < 65536) {
        DivideWordsRounded(src, srcStep, dst, dstStep, width, height,
                           WordDivider(static_cast<unsigned>(divisor)));
    } else {
        const auto half = static_cast<unsigned short>(std::min(divisor / 2, 65535ull));
        CompareWordsWithHalf(src, srcStep, dst, dstStep, width, height, half);
    }
    return true;
}
