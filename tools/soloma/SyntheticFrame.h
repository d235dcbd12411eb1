#pragma once

#include "Image.h"

#include <cstdint>

namespace Varnik::Soloma::Cli {

constexpr int kSyntheticWidth = 640;
constexpr int kSyntheticHeight = 512;
constexpr std::uint64_t kSyntheticSeed = 1;

// A made-up thermal frame for trying the algorithms without a camera: a background that rises
// gently from about 7800 counts at the top left to about 8350 at the bottom right, a person,
// a car with a warm engine, a window, a warm animal and a small hot lamp (a few hundred to
// about two thousand counts above the background), fixed row and column offsets of a few
// counts and temporal noise of about 12 counts. Objects sit at fixed fractions of the size,
// so any size works. Everything is integer arithmetic on a private generator, so a given
// size and seed give the same frame on every platform and compiler.
Gray16Image MakeSyntheticFrame(int width = kSyntheticWidth, int height = kSyntheticHeight,
                               std::uint64_t seed = kSyntheticSeed);

}  // namespace Varnik::Soloma::Cli
