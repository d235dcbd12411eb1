#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

// Shared helpers of the primitives' kernels: row addressing by byte pitch, argument checks
// and rounding rules. Internal to the module.
namespace pp {

// Hot kernels are compiled twice, for AVX2 and for baseline x86-64, and the loader picks
// the right one on first call, so that one binary runs well on any x86-64 processor.
// Kernels bound by vector loads and stores (the float filters, conversions and arithmetic) get
// a third clone for processors with 512-bit vectors, which halves their instructions. Every
// clone does the same operations in the same order, without contraction, so results do not
// depend on the clone that runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(PIXELPRIMITIVES_NO_MULTIVERSION)
#define PP_MULTIVERSION __attribute__((target_clones("avx2", "default")))
#define PP_MULTIVERSION_WIDE __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define PP_MULTIVERSION
#define PP_MULTIVERSION_WIDE
#endif

template <typename T>
inline T* RowAt(T* base, int pitch, int y) {
    using Byte = std::conditional_t<std::is_const_v<T>, const unsigned char, unsigned char>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) +
                                static_cast<std::ptrdiff_t>(pitch) * y);
}

inline bool ValidSize(int width, int height) {
    return width > 0 && height > 0;
}

template <typename... P>
inline bool NonNull(const P*... pointers) {
    return ((pointers != nullptr) && ...);
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
// NaN gives 0. Written as selects so that loops calling it stay free of branches and
// vectorise.
template <typename I, typename F>
inline I SaturateCast(F v) {
    constexpr F lo = static_cast<F>(std::numeric_limits<I>::min());
    constexpr F hi = static_cast<F>(std::numeric_limits<I>::max());
    I t = static_cast<I>(v > lo - F(1) && v < hi + F(1) ? v : F(0));
    t = v >= hi ? std::numeric_limits<I>::max() : t;
    return v <= lo ? std::numeric_limits<I>::min() : t;
}

// Applies op(srcRow, dstRow, width) to every row of two images.
template <typename S, typename D, typename Op>
inline void ForEachRow(const S* src, int srcStep, D* dst, int dstStep, int width, int height,
                       Op op) {
    for (int y = 0; y < height; ++y) {
        op(RowAt(src, srcStep, y), RowAt(dst, dstStep, y), width);
    }
}

// Applies op(row, width) to every row of one image.
template <typename T, typename Op>
inline void ForEachRow(T* image, int step, int width, int height, Op op) {
    for (int y = 0; y < height; ++y) {
        op(RowAt(image, step, y), width);
    }
}

}  // namespace pp
