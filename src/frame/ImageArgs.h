#pragma once

#include <climits>

// The checks every public entry makes on what the host hands it. The library reports
// nothing, so a call whose arguments fail them returns having read and written nothing.

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// An image given by its first pixel and its row pitch in bytes is usable when it has a
// pointer, at least one pixel each way, a pitch that holds a row of width pixels of
// `channels` values of T, and a byte span, pitch * (height - 1) plus one row, that fits an
// int as the primitives address it.
template <typename T>
inline bool ValidImage(const T* image, int step, int width, int height, int channels = 1) {
    if (image == nullptr || width <= 0 || height <= 0 || channels <= 0) {
        return false;
    }
    const long long rowBytes = static_cast<long long>(width) * channels * sizeof(T);
    return rowBytes <= INT_MAX && step >= rowBytes &&
           static_cast<long long>(step) * (height - 1) + rowBytes <= INT_MAX;
}

// A width x height region at column x, row y of an image given by its first pixel: usable
// when the image up to the region's far corner is.
template <typename T>
inline bool ValidRegion(const T* image, int step, int x, int y, int width, int height) {
    if (x < 0 || y < 0 || width > INT_MAX - x || height > INT_MAX - y) {
        return false;
    }
    return ValidImage(image, step, x + width, y + height);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
