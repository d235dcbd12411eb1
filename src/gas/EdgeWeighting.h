#pragma once

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// What both gas detectors share to keep a slight misregistration of two frames from looking
// like gas: the edge magnitude of a frame and the weighting of a frame difference by it.

// src becomes lowpass(|lowpass(src) - src|) with the replicating 5x5 low-pass; tmp is left
// holding the unsmoothed magnitude. scratch is a byte area of the size the 5x5 low-pass
// reports for width x height.
void DetectEdges(float* src, int srcStep, float* tmp, int tmpStep, int width, int height,
                 unsigned char* scratch);

// The frames of one difference, their difference and the work images of the weighting, all
// of one size.
struct EdgeWeightingImages {
    float* current;  // A: the current frame; becomes the summed edge magnitude
    int currentStep;
    float* reference;  // B: the reference frame; becomes its edge magnitude
    int referenceStep;
    float* difference;  // D: multiplied by the weight
    int differenceStep;
    float* work;
    int workStep;
    unsigned char* scratch;  // of the 5x5 low-pass
    int width;
    int height;
    // The reference's edge magnitude when it is already known (B is then left as it is), or
    // null.
    const float* referenceEdges = nullptr;
    int referenceEdgesStep = 0;
};

// D x= min(1, (EA + EB) x edgeFactor / M) - 1, where EA and EB are the frames' edge
// magnitudes and M the largest of their sum: for a positive edgeFactor a weight of 0 on
// strong edges and -1 away from edges. Where no edge exists at all (M = 0) the scaled edge
// strength is taken as 0, so every weight is -1, instead of dividing 0 by 0.
void WeightByEdges(const EdgeWeightingImages& images, int edgeFactor);

class ReferenceEdges;

// The same weighting, with the reference's edges taken from `held` when it holds those of
// this frame's 16-bit reference (as AlignReference saw it) moved by (dx, dy), and offered to
// it otherwise. `held` may be null.
void WeightByEdges(EdgeWeightingImages images, int edgeFactor, ReferenceEdges* held,
                   const unsigned short* reference, int referenceStep, int dx, int dy);

// Clears 4 x width bytes of each row of dst; src is only measured.
void ClearDebugImage(const float* src, int srcStep, unsigned char* dst, int dstStep, int width,
                     int height);

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
