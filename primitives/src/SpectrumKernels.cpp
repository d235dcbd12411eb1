#include "SpectrumKernels.h"

// Bin k of the real sequence comes from bins k and n/2 - k of the half-length transform, so the
// pairs (k, n/2 - k) are worked out together: eight of them per vector, the second of each
// pair in reversed lanes. The vector and the plain paths do the same float operations in the
// same order, without contraction, so results do not depend on the instruction set.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "SpectrumKernels.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pp {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// |X|^2 / n; division by a power of two is multiplication by its exact reciprocal.
template <bool kPowerOfTwo>
HWY_INLINE float Power(float re, float im, float n, float reciprocal) {
    const float squared = re * re + im * im;
    return kPowerOfTwo ? squared * reciprocal : squared / n;
}

template <bool kPowerOfTwo, class D, class V = hn::Vec<D>>
HWY_INLINE V Power(D, V re, V im, V n, V reciprocal) {
    const V squared = hn::Add(hn::Mul(re, re), hn::Mul(im, im));
    return kPowerOfTwo ? hn::Mul(squared, reciprocal) : hn::Div(squared, n);
}

template <bool kPowerOfTwo>
HWY_INLINE void RealPower(const float* half, const float* twiddleRe, const float* twiddleIm, int n,
                          float length, float reciprocal, float* power) {
    const int m = n / 2;
    power[0] = Power<kPowerOfTwo>(half[0] + half[1], 0.0f, length, reciprocal);
    power[m] = Power<kPowerOfTwo>(half[0] - half[1], 0.0f, length, reciprocal);

    // Pairs k and m - k for k = 1 .. m/2. Where they meet (k == m - k) the value of the
    // second is the one kept, so it is always stored last.
    const hn::CappedTag<float, 8> d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    using V = hn::Vec<decltype(d)>;
    const V halfOf = hn::Set(d, 0.5f);
    const V nV = hn::Set(d, length);
    const V reciprocalV = hn::Set(d, reciprocal);
    int k = 1;
    for (; k + lanes - 1 <= m / 2; k += lanes) {
        const int mirror = m - k - lanes + 1;  // first of the n/2 - k, in reversed lanes
        V aRe, aIm, bRe, bIm;
        hn::LoadInterleaved2(d, half + 2 * k, aRe, aIm);
        hn::LoadInterleaved2(d, half + 2 * mirror, bRe, bIm);
        bRe = hn::Reverse(d, bRe);
        bIm = hn::Reverse(d, bIm);
        const V wRe = hn::LoadU(d, twiddleRe + k - 1);
        const V wIm = hn::LoadU(d, twiddleIm + k - 1);
        const V sumRe = hn::Add(aRe, bRe);
        const V sumIm = hn::Sub(aIm, bIm);
        const V diffRe = hn::Sub(aRe, bRe);
        const V diffIm = hn::Add(aIm, bIm);
        const V turnedRe = hn::Sub(hn::Mul(diffRe, wRe), hn::Mul(diffIm, wIm));
        const V turnedIm = hn::Add(hn::Mul(diffRe, wIm), hn::Mul(diffIm, wRe));
        const V lower =
            Power<kPowerOfTwo>(d, hn::Mul(hn::Add(sumRe, turnedRe), halfOf),
                               hn::Mul(hn::Add(sumIm, turnedIm), halfOf), nV, reciprocalV);
        const V upper =
            Power<kPowerOfTwo>(d, hn::Mul(hn::Sub(sumRe, turnedRe), halfOf),
                               hn::Mul(hn::Sub(turnedIm, sumIm), halfOf), nV, reciprocalV);
        hn::StoreU(lower, d, power + k);
        hn::StoreU(hn::Reverse(d, upper), d, power + mirror);
    }
    for (; 2 * k <= m; ++k) {
        const float aRe = half[2 * k], aIm = half[2 * k + 1];
        const float bRe = half[2 * (m - k)], bIm = half[2 * (m - k) + 1];
        const float wRe = twiddleRe[k - 1], wIm = twiddleIm[k - 1];
        const float sumRe = aRe + bRe, sumIm = aIm - bIm;
        const float diffRe = aRe - bRe, diffIm = aIm + bIm;
        const float turnedRe = diffRe * wRe - diffIm * wIm;
        const float turnedIm = diffRe * wIm + diffIm * wRe;
        power[k] = Power<kPowerOfTwo>((sumRe + turnedRe) * 0.5f, (sumIm + turnedIm) * 0.5f, length,
                                      reciprocal);
        power[m - k] = Power<kPowerOfTwo>((sumRe - turnedRe) * 0.5f, (turnedIm - sumIm) * 0.5f,
                                          length, reciprocal);
    }
}

void RealPowerFromHalfImpl(const float* half, int count, const float* twiddleRe,
                           const float* twiddleIm, int n, float* power,
                           std::ptrdiff_t powerStride) {
    const float length = static_cast<float>(n);
    const float reciprocal = 1.0f / length;
    const bool powerOfTwo = (n & (n - 1)) == 0;
    for (int i = 0; i < count; ++i) {
        const float* in = half + static_cast<std::ptrdiff_t>(i) * n;
        float* out = power + i * powerStride;
        if (powerOfTwo) {
            RealPower<true>(in, twiddleRe, twiddleIm, n, length, reciprocal, out);
        } else {
            RealPower<false>(in, twiddleRe, twiddleIm, n, length, reciprocal, out);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace pp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pp {

HWY_EXPORT(RealPowerFromHalfImpl);

void RealPowerFromHalf(const float* half, int count, const float* twiddleRe, const float* twiddleIm,
                       int n, float* power, std::ptrdiff_t powerStride) {
    HWY_DYNAMIC_DISPATCH(RealPowerFromHalfImpl)
    (half, count, twiddleRe, twiddleIm, n, power, powerStride);
}

}  // namespace pp
#endif  // HWY_ONCE
