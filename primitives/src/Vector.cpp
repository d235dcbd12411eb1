#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "ElementWise.h"

// A vector is a one-row image, so the operations the image module has go through it (a
// one-row call may pass any pitch); the rest are written here.
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

bool ValidVector(int length) {
    return length > 0;
}

PP_MULTIVERSION void DivideByConstant(float* srcDst, float value, int length) {
    for (int i = 0; i < length; ++i) {
        srcDst[i] = srcDst[i] / value;
    }
}

PP_MULTIVERSION void AddProduct(const float* src, float value, float* srcDst, int length) {
    for (int i = 0; i < length; ++i) {
        srcDst[i] = srcDst[i] + src[i] * value;
    }
}

// |value * pixel| <= 2^62, so from 63 on every result is 0, and a shift of 63 still fits
// the rounding's intermediate in 64 bits. From -31 down every non-zero product saturates.
constexpr int kMaxIntRightShift = 63;
constexpr int kMaxIntLeftShift = 31;

PP_MULTIVERSION void MultiplyIntsScaled(int* srcDst, int value, int length, int scaleFactor) {
    constexpr long long lo = std::numeric_limits<int>::min();
    constexpr long long hi = std::numeric_limits<int>::max();
    int scale = std::clamp(scaleFactor, -kMaxIntLeftShift, kMaxIntRightShift);
    if (scale >= 0) {
        pp::ShiftRoundHalfEven<long long> round(scale);
        for (int i = 0; i < length; ++i) {
            long long p = round(static_cast<long long>(srcDst[i]) * value);
            srcDst[i] = static_cast<int>(std::clamp(p, lo, hi));
        }
    } else {
        // A product beyond the int range saturates whatever the shift, so clamping it to the
        // range first changes no result and keeps the shifted value inside 64 bits.
        long long factor = 1LL << -scale;
        for (int i = 0; i < length; ++i) {
            long long p = std::clamp(static_cast<long long>(srcDst[i]) * value, lo, hi);
            srcDst[i] = static_cast<int>(std::clamp(p * factor, lo, hi));
        }
    }
}

enum RoundMode { kRoundZero = 0, kRoundNearestEven = 1, kRoundHalfAway = 2 };

// Rounding happens in double, where every float plus 1/2 is exact, and the saturating
// conversion then truncates.
PP_MULTIVERSION void FloatsToInts(const float* src, int* dst, int length, RoundMode mode) {
    auto convert = [&](auto round) {
        for (int i = 0; i < length; ++i) {
            dst[i] = pp::SaturateCast<int>(round(static_cast<double>(src[i])));
        }
    };
    switch (mode) {
        case kRoundZero:
            convert([](double v) { return v; });
            break;
        case kRoundNearestEven:
            convert([](double v) { return pp::RoundHalfEven(v); });
            break;
        case kRoundHalfAway:
            convert([](double v) { return v + std::copysign(0.5, v); });
            break;
    }
}

PP_MULTIVERSION void IntsToFloats(const int* src, float* dst, int length) {
    for (int i = 0; i < length; ++i) {
        dst[i] = static_cast<float>(src[i]);
    }
}

// Reduces src in interleaved partial results (element i goes to lane i % kLanes) that are
// then combined pairwise. The order is fixed by this definition, so every instruction set
// gives the same bits, and the independent lanes let GCC vectorise a sum without
// reassociating it.
// Forced inline so that each instruction-set clone of the caller gets its own copy.
template <typename Acc, typename Step, typename Combine>
[[gnu::always_inline]] inline Acc ReduceInLanes(const float* src, int length, Acc init, Step step,
                                                Combine combine) {
    constexpr int kLanes = 8;
    Acc lanes[kLanes];
    std::fill(lanes, lanes + kLanes, init);
    int i = 0;
    for (; i + kLanes <= length; i += kLanes) {
        for (int k = 0; k < kLanes; ++k) {
            lanes[k] = step(lanes[k], src[i + k]);
        }
    }
    for (; i < length; ++i) {
        lanes[i % kLanes] = step(lanes[i % kLanes], src[i]);
    }
    for (int half = kLanes / 2; half > 0; half /= 2) {
        for (int k = 0; k < half; ++k) {
            lanes[k] = combine(lanes[k], lanes[k + half]);
        }
    }
    return lanes[0];
}

PP_MULTIVERSION double SumInDouble(const float* src, int length) {
    return ReduceInLanes(
        src, length, 0.0, [](double sum, float v) { return sum + v; },
        [](double a, double b) { return a + b; });
}

// NaN compares false, so a NaN element never replaces the running maximum.
PP_MULTIVERSION float MaxSkippingNaN(const float* src, int length) {
    auto larger = [](float best, float v) { return v > best ? v : best; };
    float max = ReduceInLanes(src, length, -kInfinity, larger, larger);
    // An all-NaN vector also leaves -Inf behind; it has no maximum.
    if (max == -kInfinity && std::none_of(src, src + length, [](float v) { return v == v; })) {
        return kNaN;
    }
    return max;
}

PP_MULTIVERSION void SlopeFloats(float* dst, int length, double offset, double slope) {
    for (int i = 0; i < length; ++i) {
        dst[i] = static_cast<float>(offset + slope * i);
    }
}

PP_MULTIVERSION void SlopeWords(unsigned short* dst, int length, double offset, double slope) {
    for (int i = 0; i < length; ++i) {
        dst[i] = pp::SaturateCast<unsigned short>(pp::RoundHalfEven(offset + slope * i));
    }
}

}  // namespace

bool VectorPrimitives::Abs_32f_I(float* srcDst, int length) {
    return PixelPrimitives::Abs_32f_C1I(srcDst, 0, length, 1);
}

bool VectorPrimitives::Add_32f_I(const float* src, float* srcDst, int length) {
    return PixelPrimitives::Add_32f_C1I(src, 0, srcDst, 0, length, 1);
}

bool VectorPrimitives::AddC_32f_I(float* srcDst, float value, int length) {
    return PixelPrimitives::AddC_32f_C1I(value, srcDst, 0, length, 1);
}

bool VectorPrimitives::MulC_32f_I(float* srcDst, float value, int length) {
    return PixelPrimitives::MulC_32f_C1I(value, srcDst, 0, length, 1);
}

bool VectorPrimitives::DivC_32f_I(float* srcDst, float value, int length) {
    if (srcDst == nullptr || !ValidVector(length) || value == 0.0f) {
        return false;
    }
    DivideByConstant(srcDst, value, length);
    return true;
}

bool VectorPrimitives::MulC_32s_I(int* srcDst, int value, int length, int scaleFactor) {
    if (srcDst == nullptr || !ValidVector(length)) {
        return false;
    }
    MultiplyIntsScaled(srcDst, value, length, scaleFactor);
    return true;
}

bool VectorPrimitives::AddProductC_32f(const float* src, float value, float* srcDst, int length) {
    if (src == nullptr || srcDst == nullptr || !ValidVector(length)) {
        return false;
    }
    AddProduct(src, value, srcDst, length);
    return true;
}

bool VectorPrimitives::Sub_32f(const float* src1, const float* src2, float* dst, int length) {
    return PixelPrimitives::Sub_32f_C1(src1, 0, src2, 0, dst, 0, length, 1);
}

bool VectorPrimitives::Convert_32f32s(const float* src, int* dst, int length, int roundMode) {
    if (src == nullptr || dst == nullptr || !ValidVector(length)) {
        return false;
    }
    if (roundMode != kRoundZero && roundMode != kRoundNearestEven && roundMode != kRoundHalfAway) {
        return false;
    }
    FloatsToInts(src, dst, length, static_cast<RoundMode>(roundMode));
    return true;
}

bool VectorPrimitives::Convert_32s32f(const int* src, float* dst, int length) {
    if (src == nullptr || dst == nullptr || !ValidVector(length)) {
        return false;
    }
    IntsToFloats(src, dst, length);
    return true;
}

bool VectorPrimitives::Copy_32f(const float* src, float* dst, int length) {
    return PixelPrimitives::Copy_32f_C1(src, 0, dst, 0, length, 1);
}

bool VectorPrimitives::Set_32f(float value, float* dst, int length) {
    return PixelPrimitives::Set_32f_C1(value, dst, 0, length, 1);
}

bool VectorPrimitives::Set_32s(int value, int* dst, int length) {
    if (dst == nullptr || !ValidVector(length)) {
        return false;
    }
    std::fill(dst, dst + length, value);
    return true;
}

bool VectorPrimitives::Zero_32f(float* dst, int length) {
    return Set_32f(0.0f, dst, length);
}

bool VectorPrimitives::Max_32f(const float* src, int length, float* max) {
    if (src == nullptr || max == nullptr || !ValidVector(length)) {
        return false;
    }
    *max = MaxSkippingNaN(src, length);
    return true;
}

bool VectorPrimitives::MinIndex_32f(const float* src, int length, float* min, int* index) {
    if (src == nullptr || min == nullptr || index == nullptr || !ValidVector(length)) {
        return false;
    }
    // Strictly smaller replaces, so ties keep the lowest index; NaN never wins.
    int best = -1;
    for (int i = 0; i < length; ++i) {
        if (src[i] == src[i] && (best < 0 || src[i] < src[best])) {
            best = i;
        }
    }
    *min = best < 0 ? kNaN : src[best];
    *index = std::max(best, 0);
    return true;
}

bool VectorPrimitives::Sum_32f(const float* src, int length, float* sum, bool /*accurate*/) {
    if (src == nullptr || sum == nullptr || !ValidVector(length)) {
        return false;
    }
    *sum = static_cast<float>(SumInDouble(src, length));
    return true;
}

bool VectorPrimitives::VectorRamp_32f(float* dst, int length, float offset, float slope) {
    return VectorSlope_32f(dst, length, offset, slope);
}

bool VectorPrimitives::VectorSlope_32f(float* dst, int length, float offset, float slope) {
    if (dst == nullptr || !ValidVector(length)) {
        return false;
    }
    SlopeFloats(dst, length, offset, slope);
    return true;
}

bool VectorPrimitives::VectorSlope_16u(unsigned short* dst, int length, double offset,
                                       double slope) {
    if (dst == nullptr || !ValidVector(length)) {
        return false;
    }
    SlopeWords(dst, length, offset, slope);
    return true;
}

bool VectorPrimitives::WinHamming_32f_I(float* srcDst, int length) {
    if (srcDst == nullptr || length < 3) {
        return false;
    }
    const double pi = std::acos(-1.0);
    const int last = length - 1;
    for (int i = 0; i < length; ++i) {
        // The mirrored index makes the window exactly symmetric: cos(2*pi - x) is not
        // bit-equal to cos(x) in floating point.
        int j = std::min(i, last - i);
        double factor = 0.54 - 0.46 * std::cos(2.0 * pi * j / last);
        srcDst[i] = static_cast<float>(srcDst[i] * factor);
    }
    return true;
}
