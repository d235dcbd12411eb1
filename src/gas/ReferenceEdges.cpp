#include "gas/ReferenceEdges.h"

#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include <new>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

void ReferenceEdges::See(const unsigned short* reference, int referenceStep, int width,
                         int height) {
    _same = _reference.Holds(reference, referenceStep, width, height, sizeof(*reference));
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
    _reference.Reserve(width * static_cast<int>(sizeof(*reference)), height);
    _edges.AllocateIfAbsent(width, height);
    if (!_edges) {
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
    _reference.Remember(reference, referenceStep, width, height, sizeof(*reference));
    _dx = dx;
    _dy = dy;
    _edgesHeld = false;
}

void ReferenceEdges::Release() {
    _reference.Drop();
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
                                    detail::OwnedObject<ReferenceEdges, true>& owner, int* dx,
                                    int* dy) {
    if (!owner) {
        owner.Reset(new (std::nothrow) ReferenceEdges);
    }
    ReferenceEdges* kept = owner.Get();
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
