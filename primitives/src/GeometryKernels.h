#pragma once

#include <cstddef>

// Inner loops of the geometric transforms that read the source at positions from a table,
// where plain loops do not vectorise. Internal to the module; see Geometry.cpp.
namespace pp {

// Elements (pixels times channels) per tile: a tile's tables live on the stack and stay in
// the first-level cache.
constexpr int kGeometryTile = 512;

// Horizontal taps of a tile of resized columns: element j blends source elements a[j] and
// b[j] of a row, b with weight f[j] and a with g[j] = 1 - f[j]. The first windowBlocks blocks
// of four elements have their sources within eight consecutive elements of the row: the first
// of those (windowStart) and the eight-lane permutation that picks a[j..j+3], then b[j..j+3],
// from them.
struct ColumnTaps {
    static constexpr int kBlock = 4;
    static constexpr int kWindow = 8;
    int a[kGeometryTile];
    int b[kGeometryTile];
    double f[kGeometryTile];
    double g[kGeometryTile];
    int windowBlocks = 0;
    int windowStart[kGeometryTile / kBlock];
    int windowLanes[kGeometryTile / kBlock][kWindow];
    int elements = 0;
};

// out[j] = row[a[j]] blended with row[b[j]], for the tile's elements, in double:
// (1 - f) * a + f * b, or row[a[j]] itself when f is 0.
void InterpolateRow(const unsigned char* row, const ColumnTaps& taps, double* out);
void InterpolateRow(const unsigned short* row, const ColumnTaps& taps, double* out);
void InterpolateRow(const float* row, const ColumnTaps& taps, double* out);

// Bilinear samples of single-channel float points: for point i, the element index of its
// top-left source pixel, the steps to its right and lower neighbours (0 where clamped) and
// their weights. out[i] is Blend(Blend(s00, s01, fx), Blend(s10, s11, fx), fy) in double.
struct PointSamples {
    const std::ptrdiff_t* index;
    const std::ptrdiff_t* right;
    const std::ptrdiff_t* down;
    const double* fx;
    const double* fy;
};
void SampleFloatPoints(const float* src, const PointSamples& points, int n, float* out);

}  // namespace pp
