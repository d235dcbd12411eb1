#pragma once

#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// The edge magnitude of the aligned reference, kept between frames. A stream compared with a
// fixed reference that the stabiliser moves by the same shift every frame has the same
// aligned reference, and so the same edges, every frame: they are found once and reused.
// The reference is recognised by its pixels, compared exactly with a copy of the last one,
// so a reused map is the map that detecting the edges again would give, to the bit. A
// buffer that cannot be allocated only means that nothing is kept.
class ReferenceEdges {
public:
    // The held edges when they belong to this reference moved by (dx, dy), else null.
    const float* Find(const unsigned short* reference, int referenceStep, int width, int height,
                      int dx, int dy);
    int EdgesPitch() const { return _edges.Pitch(); }
    // After a frame whose edges were not held: takes note of its reference and shift, and
    // keeps the edges when the same reference and shift came twice in a row (so that a
    // reference that changes every frame costs a comparison and a copy of the 16-bit frame,
    // not of its edge map).
    void Keep(const unsigned short* reference, int referenceStep, int width, int height, int dx,
              int dy, const float* edges, int edgesStep);
    void Release();

private:
    bool Holds(const unsigned short* reference, int referenceStep, int width, int height) const;

    detail::ImageBuffer<unsigned short> _reference;  // the last reference
    detail::ImageBuffer<float> _edges;               // its edges, when _edgesHeld
    int _width = 0;
    int _height = 0;
    int _dx = 0;
    int _dy = 0;
    bool _edgesHeld = false;
    bool _repeated = false;  // the last Find saw the held reference and shift again
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
