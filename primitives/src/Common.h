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
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(PIXELPRIMITIVES_NO_MULTIVERSION)
#define PP_MULTIVERSION __attribute__((target_clones("avx2", "default")))
#else
#define PP_MULTIVERSION
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

// Round to nearest, ties to even (the default rounding mode of the FPU).
inline double RoundNearestEven(double v) {
    return std::nearbyint(v);
}

// Clamp a double to an integer type's range and convert; NaN gives 0.
template <typename I>
inline I SaturateToInt(double v) {
    if (!(v == v)) {
        return 0;
    }
    constexpr double lo = static_cast<double>(std::numeric_limits<I>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<I>::max());
    if (v <= lo) {
        return std::numeric_limits<I>::min();
    }
    if (v >= hi) {
        return std::numeric_limits<I>::max();
    }
    return static_cast<I>(v);
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
