#pragma once

#include <cstddef>
#include <type_traits>

#include "Common.h"

// Inner loops of the geometric transforms that read the source at positions from a table,
// where plain loops do not vectorise. Internal to the module; see Geometry.cpp.
namespace pp {

// Elements (pixels times channels) per tile: a tile's tables live on the stack and stay in
// the first-level cache.
constexpr int kGeometryTile = 512;

// The sampling arithmetic shared by the plain and the vector paths.

// (1 - f) a + f b, or a itself when f is 0, so that b's Inf or NaN cannot leak in.
[[gnu::always_inline]] inline double Blend(double a, double b, double f) {
    const double blended = (1.0 - f) * a + f * b;
    return f == 0.0 ? a : blended;
}

// An interpolated value as T. Every value is a blend of source values with weights in [0, 1],
// so an integer one rounds (to nearest even) within T's range and needs no saturation.
template <typename T>
[[gnu::always_inline]] inline T FromDouble(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else {
        return static_cast<T>(static_cast<int>(RoundHalfEven(v)));
    }
}

// out[j] = (1 - f) upper[j] + f lower[j] as T, for j in [from, to) and f != 0.
template <typename T>
[[gnu::always_inline]] inline void BlendElements(const double* upper, const double* lower, double f,
                                                 int from, int to, T* out) {
    const double g = 1.0 - f;
    for (int j = from; j < to; ++j) {
        out[j] = FromDouble<T>(g * upper[j] + f * lower[j]);
    }
}

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
    // Whether some windowed element has weight 0, which must then give a exactly: without
    // such weights the blend needs no check.
    bool zeroWeights = true;
};

// out[j] = row[a[j]] blended with row[b[j]], for the tile's elements, in double:
// (1 - f) * a + f * b, or row[a[j]] itself when f is 0.
void InterpolateRow(const unsigned char* row, const ColumnTaps& taps, double* out);
void InterpolateRow(const unsigned short* row, const ColumnTaps& taps, double* out);
void InterpolateRow(const float* row, const ColumnTaps& taps, double* out);

// Destination rows blended from the same two interpolated source rows: row k is
// (1 - f[k]) upper + f[k] lower, with f[k] != 0, converted to T.
template <typename T>
struct RowTargets {
    static constexpr int kMax = 4;
    int count = 0;
    double f[kMax];
    T* out[kMax];
};

// InterpolateRow of `row` into `lower`, and every destination row of `targets` blended from
// `upper` and `lower`, for the tile's elements.
void InterpolateAndBlend(const unsigned char* row, const ColumnTaps& taps, const double* upper,
                         double* lower, const RowTargets<unsigned char>& targets);
void InterpolateAndBlend(const unsigned short* row, const ColumnTaps& taps, const double* upper,
                         double* lower, const RowTargets<unsigned short>& targets);
void InterpolateAndBlend(const float* row, const ColumnTaps& taps, const double* upper,
                         double* lower, const RowTargets<float>& targets);

// Enlarging by exactly 2 without offsets. Destination column 2i + 1 then lies a quarter of a
// pixel right of source column i and column 2i + 2 a quarter left of column i + 1 (clamped to
// the last column), rows likewise, so every blend is 0.75 a + 0.25 b or 0.25 a + 0.75 b. An
// interpolated source row is kept as its products with 0.25 and 0.75, which the blend along y
// would form anyway: each serves one of the two destination rows on either side of the row.
struct QuarterProducts {
    double quarter[kGeometryTile];
    double threeQuarters[kGeometryTile];
};

// Interpolates a source row of `width` elements along x into `next`, for `columns` destination
// columns from 2 first + 1 on. Unless null, also writes the two destination rows between the
// previous source row and this one, each pointing at column 2 first + 1: nearPrevious, a
// quarter of a pixel below the previous row, and nearNext, a quarter above this one.
// `previous` holds the previous row's products and is read only for those rows.
void EnlargeRowByTwo(const unsigned short* row, int width, int first, int columns,
                     const QuarterProducts& previous, QuarterProducts& next,
                     unsigned short* nearPrevious, unsigned short* nearNext);
void EnlargeRowByTwo(const float* row, int width, int first, int columns,
                     const QuarterProducts& previous, QuarterProducts& next, float* nearPrevious,
                     float* nearNext);

// The readable source of a warp: columns [x0, x1) and rows [y0, y1) of a source whose rows are
// `stride` elements apart, read bilinearly or by nearest neighbour.
struct WarpArea {
    std::ptrdiff_t stride;
    int x0, y0, x1, y1;
    bool linear;
};

// The source points of n consecutive destination pixels. A rotation's point i is
// (colX[i] - rowX, colY[i] + rowY): its column terms and row terms, whose difference and sum
// are the rotation's own last operations. A remap's (mapX != null) is (mapX[i], mapY[i]).
struct WarpPoints {
    const double* colX = nullptr;
    const double* colY = nullptr;
    double rowX = 0.0;
    double rowY = 0.0;
    const float* mapX = nullptr;
    const float* mapY = nullptr;
};

// Samples the source at each point and writes pixel i of dst (channels elements), leaving the
// pixels whose point lies outside the area (or is NaN) unchanged. The value is
// Blend(Blend(s00, s01, fx), Blend(s10, s11, fx), fy) in double, where Blend(a, b, f) is
// (1 - f) a + f b, or a itself when f is 0; integers round to nearest even.
void WarpRow(const unsigned char* src, const WarpArea& area, const WarpPoints& points, int n,
             int channels, unsigned char* dst);
void WarpRow(const unsigned short* src, const WarpArea& area, const WarpPoints& points, int n,
             int channels, unsigned short* dst);
void WarpRow(const float* src, const WarpArea& area, const WarpPoints& points, int n, int channels,
             float* dst);

}  // namespace pp
