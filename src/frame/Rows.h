#pragma once

#include <cstddef>
#include <type_traits>

// What the library's own row loops share.

// The hot row kernels are compiled for AVX2 and for baseline x86-64, and the loader picks one,
// so that one binary runs well on any x86-64 processor. Put it on file-local functions that
// hold the loops.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SOLOMA_MULTIVERSION __attribute__((target_clones("avx2", "default")))
#else
#define SOLOMA_MULTIVERSION
#endif

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Row y of an image given by its first pixel and its row pitch in bytes.
template <typename T>
inline T* RowAt(T* image, int step, int y) {
    using Byte = std::conditional_t<std::is_const_v<T>, const unsigned char, unsigned char>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(image) +
                                static_cast<std::ptrdiff_t>(step) * y);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
