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

    // The constants of the rule, for callers that apply it to vectors.
    T Bias() const { return bias_; }
    T OddMask() const { return oddMask_; }

private:
    int shift_;
    T bias_;
    T oddMask_;
};

}  // namespace pp
