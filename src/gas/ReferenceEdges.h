#pragma once

#include <Varnik/Soloma/ImageProcessing/detail/FrameCache.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

class ImageStabilization;

// What a gas detector can keep of its reference between frames. A stream compared with a
// fixed reference that the stabiliser moves by the same shift every frame has the same
// aligned reference, and so the same edges, every frame: the aligned reference stays in the
// detector's B image while nothing overwrites it, and the edges are kept here. The reference
// is recognised as the stabiliser recognises a frame that repeats (detail::FrameCache), so
// what is reused is what computing it again would give, to the bit. A buffer that cannot be
// allocated only means that nothing is kept.
class ReferenceEdges {
public:
    // Compares this frame's 16-bit reference with the kept copy; the answer serves the
    // frame's other calls.
    void See(const unsigned short* reference, int referenceStep, int width, int height);
    // True when B still holds the kept reference, moved by (*dx, *dy).
    bool AlignedHeld(int* dx, int* dy) const;
    // B was just made from this frame's reference moved by (dx, dy).
    void Aligned(int dx, int dy);
    // The held edges when they belong to this frame's reference moved by (dx, dy), else null.
    const float* Find(int dx, int dy) const;
    int EdgesPitch() const { return _edges.Pitch(); }
    // After a frame whose edges were computed, which overwrote B with them: takes note of
    // its reference and shift, and keeps the edges when the reference is recognised and its
    // shift came again (so that a reference that changes every frame costs only the cache's
    // sample of it).
    void Keep(const unsigned short* reference, int referenceStep, int width, int height, int dx,
              int dy, const float* edges, int edgesStep);
    void Release();

    // B := the 16-bit reference as floats, moved by the stabiliser (when there is one) to line
    // up with A; (*dx, *dy) is the shift applied. When B still holds this reference moved by
    // the shift the stabiliser finds, it is left as it is. `owner` makes its keeper on first
    // use; short of memory it stays empty and nothing is kept. False when the stabiliser was
    // short of memory.
    static bool AlignReference(const unsigned short* reference, int referenceStep, const float* a,
                               int aStep, float* b, int bStep, int width, int height,
                               ImageStabilization* stabilizer,
                               detail::OwnedObject<ReferenceEdges, true>& owner, int* dx, int* dy);

private:
    detail::FrameCache _reference;      // recognises the kept reference
    detail::ImageBuffer<float> _edges;  // its edges, when _edgesHeld
    int _width = 0;
    int _height = 0;
    int _dx = 0;  // the shift of the kept reference's last frame
    int _dy = 0;
    bool _edgesHeld = false;
    bool _same = false;  // this frame's reference is the kept one
    bool _alignedHeld = false;
    int _alignedDx = 0;
    int _alignedDy = 0;
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
