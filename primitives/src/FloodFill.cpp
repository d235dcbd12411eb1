#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <cstdint>
#include <cstring>
#include <limits>

// 8-connected flood fill with an explicit stack of 32-bit linear pixel indices held in the
// caller's buffer (4 bytes per pixel).
namespace {

// Pixels fit the 32-bit index stack and its byte size fits an int.
bool FitsBuffer(int width, int height) {
    long long pixels = static_cast<long long>(width) * height;
    return pixels <= std::numeric_limits<int>::max() / 4;
}

}  // namespace

bool PixelPrimitives::FloodFillGetSize(int width, int height, int* bufferSize) {
    if (bufferSize == nullptr || !pp::ValidSize(width, height) || !FitsBuffer(width, height)) {
        return false;
    }
    *bufferSize = 4 * width * height;
    return true;
}

bool PixelPrimitives::FloodFill_8Con_8u_C1IR(unsigned char* image, int imageStep, int width,
                                             int height, int seedX, int seedY,
                                             unsigned char newValue, unsigned char* buffer) {
    if (!pp::NonNull(image, buffer) || !pp::ValidSize(width, height) ||
        !FitsBuffer(width, height)) {
        return false;
    }
    if (seedX < 0 || seedX >= width || seedY < 0 || seedY >= height) {
        return false;
    }
    const unsigned char oldValue = pp::RowAt(image, imageStep, seedY)[seedX];
    if (newValue == oldValue) {
        return true;  // the fill would change nothing
    }
    // A pixel is recoloured when it is pushed. Since newValue differs from the seed value, a
    // recoloured pixel no longer matches, which marks it: each pixel is pushed at most once
    // and the stack never holds more than width * height entries.
    // The entries are copied in and out bytewise, so the buffer needs no particular alignment.
    std::size_t top = 0;
    auto push = [&](int x, int y) {
        pp::RowAt(image, imageStep, y)[x] = newValue;
        std::uint32_t index = static_cast<std::uint32_t>(y) * static_cast<std::uint32_t>(width) +
                              static_cast<std::uint32_t>(x);
        std::memcpy(buffer + 4 * top++, &index, 4);
    };
    push(seedX, seedY);
    while (top > 0) {
        std::uint32_t index;
        std::memcpy(&index, buffer + 4 * --top, 4);
        int x = static_cast<int>(index % static_cast<std::uint32_t>(width));
        int y = static_cast<int>(index / static_cast<std::uint32_t>(width));
        for (int ny = y - 1; ny <= y + 1; ++ny) {
            if (ny < 0 || ny >= height) {
                continue;
            }
            unsigned char* row = pp::RowAt(image, imageStep, ny);
            for (int nx = x - 1; nx <= x + 1; ++nx) {
                if (nx >= 0 && nx < width && row[nx] == oldValue) {
                    push(nx, ny);
                }
            }
        }
    }
    return true;
}
