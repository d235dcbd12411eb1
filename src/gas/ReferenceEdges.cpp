#include "gas/ReferenceEdges.h"

#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

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

void ReferenceEdges::See(const unsigned short* reference, int referenceStep, int width,
                         int height) {
    _same = Holds(reference, referenceStep, width, height);
    if (!_same) {
        _alignedHeld = false;
    }
}

bool ReferenceEdges::AlignedHeld(int* dx, int* dy) const {
    *dx = _alignedDx;
    *dy = _alignedDy;
    return _same && _alignedHeld;
}

void ReferenceEdges::Aligned(int dx, int dy) {
    _alignedHeld = _same;
    _alignedDx = dx;
    _alignedDy = dy;
}

const float* ReferenceEdges::Find(int dx, int dy) const {
    const bool held = _same && _edgesHeld && dx == _dx && dy == _dy;
    return held ? _edges.Get() : nullptr;
}

void ReferenceEdges::Keep(const unsigned short* reference, int referenceStep, int width, int height,
                          int dx, int dy, const float* edges, int edgesStep) {
    // The edges were written over B.
    _alignedHeld = false;
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
    if (_same && dx == _dx && dy == _dy) {
        PixelPrimitives::Copy_32f_C1(edges, edgesStep, _edges.Get(), _edges.Pitch(), width, height);
        _edgesHeld = true;
        return;
    }
    PixelPrimitives::Copy_16u_C1(reference, referenceStep, _reference.Get(), _reference.Pitch(),
                                 width, height);
    _same = true;
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
    _same = false;
    _alignedHeld = false;
}

bool ReferenceEdges::AlignReference(const unsigned short* reference, int referenceStep,
                                    const float* a, int aStep, float* b, int bStep, int width,
                                    int height, ImageStabilization* stabilizer,
                                    ReferenceEdges* kept, int* dx, int* dy) {
    *dx = 0;
    *dy = 0;
    int heldDx = 0;
    int heldDy = 0;
    if (kept != nullptr) {
        kept->See(reference, referenceStep, width, height);
    }
    const bool held = kept != nullptr && kept->AlignedHeld(&heldDx, &heldDy);
    // B holds the reference unmoved from here on, unless it is already right.
    bool converted = false;
    if (stabilizer == nullptr) {
        if (held && heldDx == 0 && heldDy == 0) {
            return true;
        }
    } else if (held && stabilizer->EstimateAgainstLastSource(a, aStep, width, height)) {
        // The stabiliser's last source was this reference, unmoved.
        *dx = stabilizer->GetDx();
        *dy = stabilizer->GetDy();
        if (*dx == heldDx && *dy == heldDy) {
            return true;
        }
        PixelPrimitives::Convert_16u32f_C1(reference, referenceStep, b, bStep, width, height);
        if (!stabilizer->MoveInPlace(b, bStep, width, height)) {
            return false;
        }
        converted = true;
    }
    if (!converted) {
        PixelPrimitives::Convert_16u32f_C1(reference, referenceStep, b, bStep, width, height);
        if (stabilizer != nullptr) {
            if (!stabilizer->AlignInPlace(a, aStep, b, bStep, width, height)) {
                return false;
            }
            *dx = stabilizer->GetDx();
            *dy = stabilizer->GetDy();
        }
    }
    if (kept != nullptr) {
        kept->Aligned(*dx, *dy);
    }
    return true;
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
