#pragma once

// The last step of an even-length real transform, done in vectors where plain loops do not
// vectorise. Internal to the module; see Spectrum.cpp.
namespace pp {

// Power of bins 0 .. n/2 of a real sequence of even length n, |X[k]|^2 / n, from `half`, the
// complex transform of its n/2 (even, odd) pairs, stored as (real, imaginary) floats. The
// twiddles are e^(-i pi (k / (n/2) + 1/2)) for k = 1 .. n/4, real parts then imaginary ones.
// Writes power[0 .. n/2].
void RealPowerFromHalf(const float* half, const float* twiddleRe, const float* twiddleIm, int n,
                       float* power);

}  // namespace pp
