#pragma once

#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Whole-image passes of the gas detectors, each fusing a run of element-wise primitives into
// one pass over memory. Every pixel goes through the same float operations in the same order
// as the primitives would take it, so the results are the same to the bit. Maxima ignore NaN,
// as the primitives' do.

// d = a - b over the region of regionWidth x regionHeight pixels at (left, top), 0 elsewhere.
void FrameDifference(const float* a, int aStep, const float* b, int bStep, float* d, int dStep,
                     int width, int height, int left, int top, int regionWidth, int regionHeight);

// Sets every pixel outside the region of innerWidth x innerHeight at (left, top) to 0.
void ClearBorder(float* image, int step, int width, int height, int left, int top, int innerWidth,
                 int innerHeight);

// tmp = |tmp - src|.
void AbsoluteDifference(const float* src, int srcStep, float* tmp, int tmpStep, int width,
                        int height);

// a += b; returns the largest a.
float AddAndFindMax(const float* b, int bStep, float* a, int aStep, int width, int height);

// d *= min(a x factor, 1) - 1 (a is only read).
void WeightDifference(const float* a, int aStep, float* d, int dStep, float factor, int width,
                      int height);

// m = max(a - threshold, 0); d *= m; reports the largest m and the largest |d| before the
// product (a is only read).
void ThresholdAndWeight(const float* a, int aStep, float* d, int dStep, float threshold, int width,
                        int height, float* largestMeasure, float* largestDifference);

// The largest |a|.
float LargestMagnitude(const float* a, int aStep, int width, int height);

// Bilinear interpolation of a small grid through maps whose x coordinate depends on the
// column only and whose y coordinate depends on the row only, as the spectral detector builds
// them. Gives the bilinear remap's values to the bit (each value blended in double, first
// along x on both grid rows, then along y), but blends each grid row along x once per frame
// instead of once per pixel.
class SeparableInterpolation {
public:
    // Takes the coordinates from the first row of xMap and the first column of yMap; false
    // when a buffer could not be allocated or a coordinate falls outside the grid.
    bool Init(const float* xMap, int xMapStep, const float* yMap, int yMapStep, int width,
              int height, int gridWidth, int gridHeight);
    void Release();
    // True when every table is held (a copy may have lost one).
    explicit operator bool() const {
        return _columnLeft && _columnRight && _columnWeights && _rowTop && _rowBottom &&
               _rowWeights && _blendedRows;
    }

    // dst (width x height) from grid (gridWidth x gridHeight).
    void Run(const float* grid, int gridStep, float* dst, int dstStep);

private:
    int _width = 0;
    int _height = 0;
    int _gridWidth = 0;
    int _gridHeight = 0;
    detail::VectorBuffer<int> _columnLeft;  // per column: left grid sample, right grid sample
    detail::VectorBuffer<int> _columnRight;
    detail::VectorBuffer<double> _columnWeights;  // weight of the right sample
    detail::VectorBuffer<int> _rowTop;
    detail::VectorBuffer<int> _rowBottom;
    detail::VectorBuffer<double> _rowWeights;   // weight of the bottom sample
    detail::VectorBuffer<double> _blendedRows;  // every grid row blended along x
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
