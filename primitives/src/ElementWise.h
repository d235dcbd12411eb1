#pragma once

#include <limits>
#include <type_traits>

#include "Common.h"

// Generic row kernels of the element-wise primitives, and the rounding rules they share.
// The kernels are plain loops over a per-pixel functor; they are meant to be inlined into a
// PP_MULTIVERSION function of the calling file, which fixes the functor (they are forced
// inline so that every instruction-set clone gets its own copy). In-place forms pass
// the same image as source and destination: every pixel is read before it is written, and
// GCC's runtime alias check accepts identical pointers, so the loops still vectorise.
namespace pp {

// The argument check of every element-wise operation: a positive size and no null image.
template <typename... P>
inline bool ValidImages(int width, int height, const P*... images) {
    return ValidSize(width, height) && NonNull(images...);
}

// dst(x, y) = f(src(x, y)).
template <typename S, typename D, typename F>
[[gnu::always_inline]] inline void MapPixels(const S* src, int srcStep, D* dst, int dstStep,
                                             int width, int height, F f) {
    for (int y = 0; y < height; ++y) {
        const S* s = RowAt(src, srcStep, y);
        D* d = RowAt(dst, dstStep, y);
        for (int x = 0; x < width; ++x) {
            d[x] = f(s[x]);
        }
    }
}

// dst(x, y) = f(first(x, y), second(x, y)).
template <typename A, typename B, typename D, typename F>
[[gnu::always_inline]] inline void CombinePixels(const A* first, int firstStep, const B* second,
                                                 int secondStep, D* dst, int dstStep, int width,
                                                 int height, F f) {
    for (int y = 0; y < height; ++y) {
        const A* a = RowAt(first, firstStep, y);
        const B* b = RowAt(second, secondStep, y);
        D* d = RowAt(dst, dstStep, y);
        for (int x = 0; x < width; ++x) {
            d[x] = f(a[x], b[x]);
        }
    }
}

template <typename T>
[[gnu::always_inline]] inline void FillPixels(T value, T* dst, int dstStep, int width, int height) {
    for (int y = 0; y < height; ++y) {
        T* d = RowAt(dst, dstStep, y);
        for (int x = 0; x < width; ++x) {
            d[x] = value;
        }
    }
}

// Rounds to nearest, ties to even, under the default rounding mode. Exact for |x| <= 2^22
// (float) or 2^51 (double); larger magnitudes come back at least that large and with their
// sign, so a saturating conversion that follows still gives the right result. NaN and Inf
// pass through. Two additions rather than nearbyint: baseline x86-64 has no vector rounding
// instruction, so nearbyint would be a library call and stop the loop from vectorising.
// Relies on strict IEEE evaluation (no -ffast-math, which would fold the two additions).
template <typename F>
inline F RoundHalfEven(F x) {
    static_assert(std::is_floating_point_v<F>);
    constexpr F magic = std::is_same_v<F, float> ? F(0x1.8p23) : F(0x1.8p52);
    return (x + magic) - magic;
}

// Converts to an integer type, truncating toward zero and clamping to the type's range;
// NaN gives 0. The same rule as SaturateToInt, written as selects so that loops calling it
// stay free of branches and vectorise.
template <typename I, typename F>
inline I SaturateCast(F v) {
    constexpr F lo = static_cast<F>(std::numeric_limits<I>::min());
    constexpr F hi = static_cast<F>(std::numeric_limits<I>::max());
    I t = static_cast<I>(v > lo - F(1) && v < hi + F(1) ? v : F(0));
    t = v >= hi ? std::numeric_limits<I>::max() : t;
    return v <= lo ? std::numeric_limits<I>::min() : t;
}

// Divides integers by 2^shift (shift >= 0), rounding to nearest with ties to even: IPP's
// rule for scaled integer results. The caller bounds |p| and shift so that p + 2^shift fits
// in T; T's right shift must be arithmetic (GCC's is).
template <typename T>
class ShiftRoundHalfEven {
public:
    explicit ShiftRoundHalfEven(int shift)
        : shift_(shift),
          bias_(shift > 0 ? (T(1) << (shift - 1)) - 1 : 0),
          oddMask_(shift > 0 ? 1 : 0) {}

    // Adding 2^(shift-1) - 1 rounds down exactly at the tie; the quotient's low bit then
    // decides whether the tie goes up.
    T operator()(T p) const { return (p + bias_ + ((p >> shift_) & oddMask_)) >> shift_; }

private:
    int shift_;
    T bias_;
    T oddMask_;
};

}  // namespace pp
