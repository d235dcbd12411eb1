#include "gas/GasKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// Running maxima are kept in independent lanes, so that the comparisons vectorise; a NaN
// never wins a comparison, so it is ignored.
constexpr int kLanes = 16;

struct LaneMax {
    float lanes[kLanes];
    LaneMax() { std::fill_n(lanes, kLanes, -std::numeric_limits<float>::infinity()); }
    float Result() const {
        float m = lanes[0];
        for (int j = 1; j < kLanes; ++j) {
            m = lanes[j] > m ? lanes[j] : m;
        }
        return m;
    }
};

inline float Larger(float v, float m) {
    return v > m ? v : m;
}

SOLOMA_MULTIVERSION void DifferenceRow(const float* a, const float* b, float* d, int n) {
    for (int x = 0; x < n; ++x) {
        d[x] = a[x] - b[x];
    }
}

SOLOMA_MULTIVERSION void AbsoluteDifferenceRow(const float* src, float* tmp, int n) {
    for (int x = 0; x < n; ++x) {
        tmp[x] = std::fabs(tmp[x] - src[x]);
    }
}

// The row loops below work in blocks of kLanes pixels with the running maxima in local
// lanes: the fixed inner loops vectorise, comparisons included.
SOLOMA_MULTIVERSION void AddAndMaxRow(const float* b, float* a, int n, float* lanesOut) {
    float lanes[kLanes];
    std::copy_n(lanesOut, kLanes, lanes);
    int x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        for (int j = 0; j < kLanes; ++j) {
            const float v = a[x + j] + b[x + j];
            a[x + j] = v;
            lanes[j] = Larger(v, lanes[j]);
        }
    }
    for (; x < n; ++x) {
        a[x] = a[x] + b[x];
        lanes[0] = Larger(a[x], lanes[0]);
    }
    std::copy_n(lanes, kLanes, lanesOut);
}

// min(a x factor, 1) - 1: the threshold leaves values of 1 and below (and NaN) as they are.
inline float Weight(float a, float factor) {
    const float w = a * factor;
    return (w > 1.0f ? 1.0f : w) - 1.0f;
}

SOLOMA_MULTIVERSION void WeightRow(const float* a, float* d, float factor, int n) {
    int x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        for (int j = 0; j < kLanes; ++j) {
            d[x + j] = d[x + j] * Weight(a[x + j], factor);
        }
    }
    for (; x < n; ++x) {
        d[x] = d[x] * Weight(a[x], factor);
    }
}

SOLOMA_MULTIVERSION void ThresholdAndWeightRow(const float* a, float* d, float threshold, int n,
                                               float* measureOut, float* differenceOut) {
    float measureLanes[kLanes];
    float differenceLanes[kLanes];
    std::copy_n(measureOut, kLanes, measureLanes);
    std::copy_n(differenceOut, kLanes, differenceLanes);
    auto one = [&](int i, int lane) {
        float m = a[i] - threshold;
        m = m < 0.0f ? 0.0f : m;
        measureLanes[lane] = Larger(m, measureLanes[lane]);
        differenceLanes[lane] = Larger(std::fabs(d[i]), differenceLanes[lane]);
        d[i] = d[i] * m;
    };
    int x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        for (int j = 0; j < kLanes; ++j) {
            one(x + j, j);
        }
    }
    for (; x < n; ++x) {
        one(x, 0);
    }
    std::copy_n(measureLanes, kLanes, measureOut);
    std::copy_n(differenceLanes, kLanes, differenceOut);
}

SOLOMA_MULTIVERSION void MagnitudeRow(const float* a, int n, float* lanes) {
    int x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        for (int j = 0; j < kLanes; ++j) {
            lanes[j] = Larger(std::fabs(a[x + j]), lanes[j]);
        }
    }
    for (; x < n; ++x) {
        lanes[0] = Larger(std::fabs(a[x]), lanes[0]);
    }
}

// (1 - f) a + f b, or a itself when f is 0 (b is then not needed).
inline double Blend(double a, double b, double f) {
    const double blended = (1.0 - f) * a + f * b;
    return f == 0.0 ? a : blended;
}

SOLOMA_MULTIVERSION void BlendColumns(const float* row, const int* left, const int* right,
                                      const double* weights, double* out, int n) {
    for (int x = 0; x < n; ++x) {
        out[x] = Blend(row[left[x]], row[right[x]], weights[x]);
    }
}

SOLOMA_MULTIVERSION void BlendRows(const double* top, const double* bottom, double weight,
                                   float* out, int n) {
    const double g = 1.0 - weight;
    for (int x = 0; x < n; ++x) {
        out[x] = static_cast<float>(g * top[x] + weight * bottom[x]);
    }
}

SOLOMA_MULTIVERSION void NarrowRow(const double* top, float* out, int n) {
    for (int x = 0; x < n; ++x) {
        out[x] = static_cast<float>(top[x]);
    }
}

// Grid sample pairs and weights of the coordinates, as the bilinear remap takes them: the
// sample at the coordinate's integer part, the next one unless that is past the grid, and the
// fraction. False for a coordinate outside [0, samples).
bool SamplePairs(const float* coordinates, int strideFloats, int n, int samples, int* first,
                 int* second, double* weights) {
    for (int i = 0; i < n; ++i) {
        const double c = coordinates[static_cast<long long>(i) * strideFloats];
        if (!(c >= 0.0 && c < samples)) {
            return false;
        }
        const int whole = static_cast<int>(c);
        first[i] = whole;
        second[i] = whole + 1 < samples ? whole + 1 : whole;
        weights[i] = c - whole;
    }
    return true;
}

}  // namespace

void FrameDifference(const float* a, int aStep, const float* b, int bStep, float* d, int dStep,
                     int width, int height, int left, int top, int regionWidth, int regionHeight) {
    for (int y = 0; y < height; ++y) {
        float* out = RowAt(d, dStep, y);
        if (y < top || y >= top + regionHeight) {
            std::fill_n(out, width, 0.0f);
            continue;
        }
        std::fill_n(out, left, 0.0f);
        DifferenceRow(RowAt(a, aStep, y) + left, RowAt(b, bStep, y) + left, out + left,
                      regionWidth);
        std::fill(out + left + regionWidth, out + width, 0.0f);
    }
}

void ClearBorder(float* image, int step, int width, int height, int left, int top, int innerWidth,
                 int innerHeight) {
    for (int y = 0; y < height; ++y) {
        float* row = RowAt(image, step, y);
        if (y < top || y >= top + innerHeight) {
            std::fill_n(row, width, 0.0f);
        } else {
            std::fill_n(row, left, 0.0f);
            std::fill(row + left + innerWidth, row + width, 0.0f);
        }
    }
}

void AbsoluteDifference(const float* src, int srcStep, float* tmp, int tmpStep, int width,
                        int height) {
    for (int y = 0; y < height; ++y) {
        AbsoluteDifferenceRow(RowAt(src, srcStep, y), RowAt(tmp, tmpStep, y), width);
    }
}

float AddAndFindMax(const float* b, int bStep, float* a, int aStep, int width, int height) {
    LaneMax m;
    for (int y = 0; y < height; ++y) {
        AddAndMaxRow(RowAt(b, bStep, y), RowAt(a, aStep, y), width, m.lanes);
    }
    return m.Result();
}

void WeightDifference(const float* a, int aStep, float* d, int dStep, float factor, int width,
                      int height) {
    for (int y = 0; y < height; ++y) {
        WeightRow(RowAt(a, aStep, y), RowAt(d, dStep, y), factor, width);
    }
}

void ThresholdAndWeight(const float* a, int aStep, float* d, int dStep, float threshold, int width,
                        int height, float* largestMeasure, float* largestDifference) {
    LaneMax measure;
    LaneMax difference;
    for (int y = 0; y < height; ++y) {
        ThresholdAndWeightRow(RowAt(a, aStep, y), RowAt(d, dStep, y), threshold, width,
                              measure.lanes, difference.lanes);
    }
    *largestMeasure = measure.Result();
    *largestDifference = difference.Result();
}

float LargestMagnitude(const float* a, int aStep, int width, int height) {
    LaneMax m;
    for (int y = 0; y < height; ++y) {
        MagnitudeRow(RowAt(a, aStep, y), width, m.lanes);
    }
    return m.Result();
}

bool SeparableInterpolation::Init(const float* xMap, int xMapStep, const float* yMap, int yMapStep,
                                  int width, int height, int gridWidth, int gridHeight) {
    Release();
    _columnLeft.Allocate(width);
    _columnRight.Allocate(width);
    _columnWeights.Allocate(width);
    _rowTop.Allocate(height);
    _rowBottom.Allocate(height);
    _rowWeights.Allocate(height);
    if (static_cast<long long>(width) * gridHeight <= std::numeric_limits<int>::max()) {
        _blendedRows.Allocate(width * gridHeight);
    }
    const bool ok = _columnLeft && _columnRight && _columnWeights && _rowTop && _rowBottom &&
                    _rowWeights && _blendedRows &&
                    SamplePairs(xMap, 1, width, gridWidth, _columnLeft.Get(), _columnRight.Get(),
                                _columnWeights.Get()) &&
                    SamplePairs(yMap, yMapStep / static_cast<int>(sizeof(float)), height,
                                gridHeight, _rowTop.Get(), _rowBottom.Get(), _rowWeights.Get());
    (void)xMapStep;
    if (!ok) {
        Release();
        return false;
    }
    _width = width;
    _height = height;
    _gridWidth = gridWidth;
    _gridHeight = gridHeight;
    return true;
}

void SeparableInterpolation::Release() {
    _columnLeft.Release();
    _columnRight.Release();
    _columnWeights.Release();
    _rowTop.Release();
    _rowBottom.Release();
    _rowWeights.Release();
    _blendedRows.Release();
}

void SeparableInterpolation::Run(const float* grid, int gridStep, float* dst, int dstStep) {
    double* blended = _blendedRows.Get();
    for (int r = 0; r < _gridHeight; ++r) {
        BlendColumns(RowAt(grid, gridStep, r), _columnLeft.Get(), _columnRight.Get(),
                     _columnWeights.Get(), blended + static_cast<long long>(r) * _width, _width);
    }
    for (int y = 0; y < _height; ++y) {
        const double* top = blended + static_cast<long long>(_rowTop[y]) * _width;
        const double* bottom = blended + static_cast<long long>(_rowBottom[y]) * _width;
        const double weight = _rowWeights[y];
        if (weight == 0.0) {
            NarrowRow(top, RowAt(dst, dstStep, y), _width);
        } else {
            BlendRows(top, bottom, weight, RowAt(dst, dstStep, y), _width);
        }
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
