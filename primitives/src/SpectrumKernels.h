#pragma once

#include <cstddef>

// The last step of an even-length real transform, done in vectors where plain loops do not
// vectorise. Internal to the module; see Spectrum.cpp.
namespace pp {

// Power of bins 0 .. n/2 of `count` real sequences of even length n, |X[k]|^2 / n, each from
// the complex transform of its n/2 (even, odd) pairs, stored as (real, imaginary) floats: the
// i-th at half + i * n floats, its power written to power[i * powerStride + 0 .. n/2]. The
// twiddles are e^(-i pi (k / (n/2) + 1/2)) for k = 1 .. n/4, real parts then imaginary ones.
void RealPowerFromHalf(const float* half, int count, const float* twiddleRe, const float* twiddleIm,
                       int n, float* power, std::ptrdiff_t powerStride);

}  // namespace pp
