#pragma once

#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

#include <cstdint>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace detail {

// Tells whether a frame is exactly the one that a caller passed before, so that what was
// computed from it can be used again. A stream typically holds one frame fixed while the other
// changes every call; copying every frame to find out would cost more than it saves, so the
// frame is copied only after two calls in a row whose frames agree on a sample of rows, and
// from then on each call compares the whole frame with the copy, byte for byte.
//
// Frames are rows of width elements of elementSize bytes; frames of another element size or
// size never match. The copy is allocated up front by Reserve, so that a stream allocates
// nothing after its first call; without it (short of memory) nothing is remembered. Copies of
// the owner copy the cache with it (or, short of memory, drop it).
class FrameCache {
public:
    // True when the frame holds exactly the remembered pixels.
    bool Holds(const void* frame, int step, int width, int height, int elementSize) const;
    // To be called once the frame's results have been computed afresh: the results now belong
    // to this frame, which is remembered when the previous call's frame looked the same.
    void Remember(const void* frame, int step, int width, int height, int elementSize);
    // Allocates, unless already held, room for a copy of frames of up to rowBytes x height.
    void Reserve(int rowBytes, int height);
    // Forgets the frame and releases the copy.
    void Drop();

private:
    ImageBuffer<unsigned char> _copy;  // the remembered frame, row by row
    bool _held = false;                // _copy holds the frame whose results are current
    bool _signed = false;              // _signature describes the last frame seen
    std::uint64_t _signature = 0;      // sample of the last frame's rows
    int _width = 0;                    // shape of the last frame
    int _height = 0;
    int _elementSize = 0;
};

}  // namespace detail
}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
