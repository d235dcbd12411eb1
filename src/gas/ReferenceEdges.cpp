#include "gas/ReferenceEdges.h"

#include <PixelPrimitives/PixelPrimitives.h>

#include <cstddef>
#include <cstring>

#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

bool ReferenceEdges::Holds(const unsigned short* reference, int referenceStep, int width,
                           int height) const {
    if (!_reference || width != _width || height != _height) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof(unsigned short);
    for (int y = 0; y < height; ++y) {
        if (std::memcmp(RowAt(reference, referenceStep, y),
                        RowAt(_reference.Get(), _reference.Pitch(), y), rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

const float* ReferenceEdges::Find(const unsigned short* reference, int referenceStep, int width,
                                  int height, int dx, int dy) {
    _repeated = dx == _dx && dy == _dy && Holds(reference, referenceStep, width, height);
    return _repeated && _edgesHeld ? _edges.Get() : nullptr;
}

void ReferenceEdges::Keep(const unsigned short* reference, int referenceStep, int width, int height,
                          int dx, int dy, const float* edges, int edgesStep) {
    if (width != _width || height != _height) {
        Release();
    }
    // Both buffers at once, so that a steady stream allocates nothing after its first frame.
    _reference.AllocateIfAbsent(width, height);
    _edges.AllocateIfAbsent(width, height);
    if (!_reference || !_edges) {
        Release();
        return;
    }
    _width = width;
    _height = height;
    if (_repeated) {
        PixelPrimitives::Copy_32f_C1(edges, edgesStep, _edges.Get(), _edges.Pitch(), width, height);
        _edgesHeld = true;
        return;
    }
    PixelPrimitives::Copy_16u_C1(reference, referenceStep, _reference.Get(), _reference.Pitch(),
                                 width, height);
    _dx = dx;
    _dy = dy;
    _edgesHeld = false;
}

void ReferenceEdges::Release() {
    _reference.Release();
    _edges.Release();
    _width = 0;
    _height = 0;
    _edgesHeld = false;
    _repeated = false;
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
