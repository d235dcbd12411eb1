#include <Varnik/Soloma/ImageProcessing/Blending.h>

#include <cstdint>
#include <cstring>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// One channel of the blend: a * weightA + b * weightB in single precision, saturated to
// 0..255 and truncated. Saturating rather than keeping the low 8 bits of the integer keeps a
// bright result from wrapping round to dark (and a negative one to bright) when the weights
// leave the range; within it the two agree. NaN gives 0. Written as selects on values that
// are always computed, so that the row loop stays free of branches and vectorises. Without
// kSaturate the caller has made sure that every sum lies in 0 .. 256.
template <bool kSaturate>
inline std::uint32_t BlendChannel(std::uint32_t a, float weightA, std::uint32_t b, float weightB) {
    const float productA = static_cast<float>(static_cast<int>(a)) * weightA;
    const float productB = static_cast<float>(static_cast<int>(b)) * weightB;
    float value = productA + productB;
    if (kSaturate) {
        value = value > 0.0f ? value : 0.0f;
        value = value < 255.0f ? value : 255.0f;
    }
    return static_cast<std::uint32_t>(static_cast<int>(value));
}

// A channel blended where it lies in the word, for sums that the caller keeps within
// 0 .. 256: masked but not shifted, the channel's value is its byte times 2^k exactly, and so,
// scaled alike, are the products and their sum (no overflow, and a product too small to be
// scaled exactly is also too small to move the sum's truncation). Truncating and masking
// leaves the byte the unscaled blend gives, in place, without the shifts.
inline std::uint32_t BlendChannelInPlace(std::uint32_t a, float weightA, std::uint32_t b,
                                         float weightB, std::uint32_t mask) {
    const float value = static_cast<float>(static_cast<int>(a & mask)) * weightA +
                        static_cast<float>(static_cast<int>(b & mask)) * weightB;
    return static_cast<std::uint32_t>(static_cast<int>(value)) & mask;
}

// Blue, green and red of two colours packed as little-endian words (blue in the low byte);
// the fourth byte of the result is 255.
template <bool kSaturate = true>
inline std::uint32_t BlendWords(std::uint32_t a, float weightA, std::uint32_t b, float weightB) {
    if (!kSaturate) {
        return BlendChannelInPlace(a, weightA, b, weightB, 0x0000FFu) |
               BlendChannelInPlace(a, weightA, b, weightB, 0x00FF00u) |
               BlendChannelInPlace(a, weightA, b, weightB, 0xFF0000u) | 0xFF000000u;
    }
    const auto channel = [=](int shift) {
        return BlendChannel<kSaturate>((a >> shift) & 255u, weightA, (b >> shift) & 255u, weightB)
               << shift;
    };
    return channel(0) | channel(8) | channel(16) | 0xFF000000u;
}

// One row: the destination pixel blended with the palette entry of its index. Pixels and
// entries are read as 4-byte words, which vectorises to a gather per group of pixels.
template <bool kSaturate>
SOLOMA_MULTIVERSION void ColorRow(const RGBQUAD* __restrict palette,
                                  const unsigned short* __restrict src,
                                  unsigned char* __restrict dst, float paletteWeight,
                                  float dstWeight, int width) {
    for (int x = 0; x < width; ++x) {
        std::uint32_t colour;
        std::uint32_t entry;
        std::memcpy(&colour, dst + 4 * static_cast<std::ptrdiff_t>(x), sizeof colour);
        std::memcpy(&entry, &palette[src[x]], sizeof entry);
        colour = BlendWords<kSaturate>(colour, dstWeight, entry, paletteWeight);
        std::memcpy(dst + 4 * static_cast<std::ptrdiff_t>(x), &colour, sizeof colour);
    }
}

// Whether every blend with these weights lies in 0 .. 256, so that saturating changes
// nothing: with non-negative weights the float products and their sum grow with the bytes,
// so the largest sum is that of two bytes 255.
bool StaysInRange(float weightA, float weightB) {
    const float full = 255.0f;
    return weightA >= 0.0f && weightB >= 0.0f && full * weightA + full * weightB < 256.0f;
}

std::uint32_t WordOf(const RGBQUAD& colour) {
    std::uint32_t word;
    std::memcpy(&word, &colour, sizeof word);
    return word;
}

}  // namespace

Blending& Blending::operator=(const Blending&) {
    return *this;
}

RGBQUAD Blending::BlendRGBQUAD(const RGBQUAD& color1, float weight1, const RGBQUAD& color2,
                               float weight2) {
    const std::uint32_t word = BlendWords(WordOf(color1), weight1, WordOf(color2), weight2);
    RGBQUAD result;
    std::memcpy(&result, &word, sizeof result);
    return result;
}

void Blending::ColorIRImage(const RGBQUAD* palette, const unsigned char* src, int srcStep,
                            unsigned char* dst, int dstStep, float paletteWeight, float dstWeight,
                            int width, int height) {
    // The index image is passed as bytes; its rows hold consecutive 16-bit values.
    const auto* indices = reinterpret_cast<const unsigned short*>(src);
    if (palette == nullptr || !ValidImage(indices, srcStep, width, height) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
    const auto row = StaysInRange(dstWeight, paletteWeight) ? ColorRow<false> : ColorRow<true>;
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        row(palette, RowAt(indices, srcStep, y), RowAt(dst, dstStep, y), paletteWeight, dstWeight,
            width);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
