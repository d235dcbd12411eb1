#include <Varnik/Soloma/ImageProcessing/detail/FrameCache.h>

#include <cstring>

#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace detail {
namespace {

// Rows apart in the sample that decides whether a frame is worth copying: enough to tell
// the frames of a live stream apart, little enough to cost next to nothing.
constexpr int kSampledRowStride = 8;

// A row's words summed plainly and weighted by position, so that both the values and their
// order count. Not a strong hash: a collision only costs a needless copy, since a match is
// always confirmed byte for byte.
struct RowSignature {
    std::uint32_t sum;
    std::uint32_t weighted;
};

SOLOMA_MULTIVERSION RowSignature SignRow(const unsigned char* row, int bytes) {
    constexpr int kWord = sizeof(std::uint32_t);
    const int words = bytes / kWord;
    std::uint32_t sum = 0;
    std::uint32_t weighted = 0;
    for (int i = 0; i < words; ++i) {
        std::uint32_t word;
        std::memcpy(&word, row + i * kWord, kWord);
        sum += word;
        weighted += word * (2u * static_cast<std::uint32_t>(i) + 1u);
    }
    for (int i = words * kWord; i < bytes; ++i) {
        sum += row[i];
    }
    return {sum, weighted};
}

std::uint64_t Signature(const unsigned char* frame, int step, int rowBytes, int height) {
    std::uint64_t signature = 0xcbf29ce484222325ull;
    for (int y = 0; y < height; y += kSampledRowStride) {
        const RowSignature row = SignRow(RowAt(frame, step, y), rowBytes);
        signature = (signature ^ row.sum) * 0x100000001b3ull;
        signature = (signature ^ row.weighted) * 0x100000001b3ull;
    }
    return signature;
}

}  // namespace

bool FrameCache::Holds(const void* frame, int step, int width, int height, int elementSize) const {
    if (!_held || !_copy || width != _width || height != _height || elementSize != _elementSize) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(frame);
    const auto rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(elementSize);
    for (int y = 0; y < height; ++y) {
        if (std::memcmp(RowAt(bytes, step, y), RowAt(_copy.Get(), _copy.Pitch(), y), rowBytes) !=
            0) {
            return false;
        }
    }
    return true;
}

void FrameCache::Remember(const void* frame, int step, int width, int height, int elementSize) {
    const auto* bytes = static_cast<const unsigned char*>(frame);
    const int rowBytes = width * elementSize;
    const std::uint64_t signature = Signature(bytes, step, rowBytes, height);
    const bool sameShape = width == _width && height == _height && elementSize == _elementSize;
    const bool looksFixed = _signed && sameShape && signature == _signature;
    // The results now come from this frame; whatever the copy held no longer matches them.
    _held = false;
    _signed = true;
    _signature = signature;
    _width = width;
    _height = height;
    _elementSize = elementSize;
    if (!looksFixed) {
        return;
    }
    if (!_copy || _copy.Width() < rowBytes || _copy.Height() < height) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(RowAt(_copy.Get(), _copy.Pitch(), y), RowAt(bytes, step, y),
                    static_cast<std::size_t>(rowBytes));
    }
    _held = true;
}

void FrameCache::Reserve(int rowBytes, int height) {
    _copy.AllocateIfAbsent(rowBytes, height);
}

void FrameCache::Drop() {
    _copy.Release();
    _held = false;
    _signed = false;
    _width = 0;
    _height = 0;
    _elementSize = 0;
}

}  // namespace detail
}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
