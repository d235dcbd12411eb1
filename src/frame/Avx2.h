#pragma once

// Kernels written with AVX2 intrinsics, for the loops the compiler cannot vectorise well
// (3-byte pixels, table look-ups). Each has a plain loop beside it for other processors; call
// the kernel only when CpuHasAvx2() holds.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SOLOMA_AVX2_KERNELS 1
#define SOLOMA_TARGET_AVX2 __attribute__((target("avx2")))
#include <immintrin.h>
#endif

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Whether the processor runs AVX2 code and this build has such kernels.
inline bool CpuHasAvx2() {
#ifdef SOLOMA_AVX2_KERNELS
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
