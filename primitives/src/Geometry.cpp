#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"
#include "GeometryKernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

// Geometric transforms: every destination pixel is mapped back to a source point, which is
// read by nearest neighbour or bilinear interpolation. Destination pixels whose point falls
// outside the readable source area keep their content.
//
// Results are those of sampling each pixel on its own in double precision. The kernels only
// reorganise that work: resizing interpolates each source row once along x for a tile of
// columns and blends two such rows along y, in the same operations and order, writing the
// destination rows of a new source row while it is interpolated (by exactly 2, the weights are
// fixed, and each row's products with them serve the two destination rows that use them);
// rotation and remapping sample a row of points at a time, four per step with AVX2. Nearest
// neighbour is bilinear with zero weights, which returns the nearest value exactly.
namespace {

constexpr int kTileElements = pp::kGeometryTile;

// ---- Resize: separable, so positions and weights come from per-column and per-row taps.

// Where destination column or row i samples the source along one axis.
inline double SourcePosition(int i, int offset, double scale) {
    return (i + 0.5 - offset) / scale - 0.5;
}

// The two source pixels that position p reads along an axis of n pixels and the weight of the
// second; nearest neighbour reads one pixel with weight 0. p must be inside [0, n).
struct Tap {
    int a, b;
    double f;
};

inline Tap AxisTap(double p, int n, bool linear) {
    if (!linear) {
        const int i = static_cast<int>(std::floor(p + 0.5));
        return {i, i, 0.0};
    }
    const int a = static_cast<int>(std::floor(p));
    return {a, std::min(a + 1, n - 1), p - a};
}

inline bool InsideAxis(double p, int n, bool linear) {
    const double q = linear ? p : std::floor(p + 0.5);
    return q >= 0 && q < n;
}

// The destination positions [begin, end) along one axis whose source position is readable.
// Positions grow with i (every step of SourcePosition rounds monotonically), so they are one
// run.
struct Span {
    int begin, end;
};

Span InsideSpan(int dstSize, int srcSize, int offset, double scale, bool linear) {
    int begin = 0;
    while (begin < dstSize && !InsideAxis(SourcePosition(begin, offset, scale), srcSize, linear)) {
        ++begin;
    }
    int end = begin;
    while (end < dstSize && InsideAxis(SourcePosition(end, offset, scale), srcSize, linear)) {
        ++end;
    }
    return {begin, end};
}

// out[j] = Blend(upper[j], lower[j], f) converted to T: two interpolated rows blended along y.
// The branch keeps the lower row unused at weight 0, as Blend does.
template <typename T>
[[gnu::always_inline]] inline void BlendRows(const double* upper, const double* lower, double f,
                                             int n, T* out) {
    if (f == 0.0) {
        for (int j = 0; j < n; ++j) {
            out[j] = pp::FromDouble<T>(upper[j]);
        }
        return;
    }
    pp::BlendElements(upper, lower, f, 0, n, out);
}

PP_MULTIVERSION void BlendRowsKernel(const double* upper, const double* lower, double f, int n,
                                     unsigned char* out) {
    BlendRows(upper, lower, f, n, out);
}
PP_MULTIVERSION void BlendRowsKernel(const double* upper, const double* lower, double f, int n,
                                     unsigned short* out) {
    BlendRows(upper, lower, f, n, out);
}
PP_MULTIVERSION void BlendRowsKernel(const double* upper, const double* lower, double f, int n,
                                     float* out) {
    BlendRows(upper, lower, f, n, out);
}

// The taps of destination columns [x0, x0 + n), and the windows of their blocks.
void FillColumnTaps(pp::ColumnTaps& taps, int x0, int n, int C, int srcWidth, double scale,
                    int offsetX, bool linear) {
    for (int i = 0; i < n; ++i) {
        const Tap t = AxisTap(SourcePosition(x0 + i, offsetX, scale), srcWidth, linear);
        for (int c = 0; c < C; ++c) {
            taps.a[i * C + c] = t.a * C + c;
            taps.b[i * C + c] = t.b * C + c;
            taps.f[i * C + c] = t.f;
            taps.g[i * C + c] = 1.0 - t.f;
        }
    }
    taps.elements = n * C;
    constexpr int kBlock = pp::ColumnTaps::kBlock;
    constexpr int kWindow = pp::ColumnTaps::kWindow;
    // Blocks are windowed from the first up to one that does not fit (at the latest, one
    // whose window would pass the end of the row); the rest are read one by one.
    taps.windowBlocks = 0;
    taps.zeroWeights = false;
    for (int j = 0; j + kBlock <= taps.elements; j += kBlock) {
        // Every b is at or after its a; channels make the a's of a block non-monotonic.
        const int first = *std::min_element(taps.a + j, taps.a + j + kBlock);
        const int last = *std::max_element(taps.b + j, taps.b + j + kBlock);
        if (last - first >= kWindow || first + kWindow > srcWidth * C) {
            break;
        }
        const int k = taps.windowBlocks++;
        taps.windowStart[k] = first;
        taps.zeroWeights = taps.zeroWeights || std::count(taps.f + j, taps.f + j + kBlock, 0.0) > 0;
        for (int m = 0; m < kBlock; ++m) {
            taps.windowLanes[k][m] = taps.a[j + m] - first;
            taps.windowLanes[k][kBlock + m] = taps.b[j + m] - first;
        }
    }
}

// Source rows interpolated along x for one tile of columns, two kept at a time: enlarging
// reuses each row for several destination rows.
template <typename T>
class RowCache {
public:
    RowCache(const T* src, int srcStep, const pp::ColumnTaps& taps)
        : src_(src), srcStep_(srcStep), taps_(taps) {}

    const T* SourceRow(int r) const { return pp::RowAt(src_, srcStep_, r); }

    // Source row r interpolated if cached, else null.
    const double* Find(int r) const {
        for (int k = 0; k < 2; ++k) {
            if (id_[k] == r) {
                return rows_[k];
            }
        }
        return nullptr;
    }

    // The slot for source row r, taken from a row other than `keep`; the caller fills it.
    double* Claim(int r, int keep) {
        const int k = id_[0] == keep ? 1 : 0;
        id_[k] = r;
        return rows_[k];
    }

    // Source row r interpolated, computed unless cached; the row `keep` stays cached.
    const double* Row(int r, int keep) {
        if (const double* row = Find(r)) {
            return row;
        }
        double* row = Claim(r, keep);
        pp::InterpolateRow(SourceRow(r), taps_, row);
        return row;
    }

    const pp::ColumnTaps& Taps() const { return taps_; }

private:
    const T* src_;
    int srcStep_;
    const pp::ColumnTaps& taps_;
    int id_[2] = {-1, -1};
    double rows_[2][kTileElements + 40];
};

// Destination rows from `y` on that blend the same two different source rows, up to `rows.end`
// and RowTargets' capacity; their first element `out` is column x0 of each row.
template <typename T>
pp::RowTargets<T> SharedRows(int y, const Tap& first, Span rows, int offsetY, double scale,
                             int srcHeight, T* dst, int dstStep, int x0) {
    pp::RowTargets<T> targets;
    for (; y < rows.end && targets.count < targets.kMax; ++y) {
        const Tap t = AxisTap(SourcePosition(y, offsetY, scale), srcHeight, true);
        if (t.a != first.a || t.b != first.b || t.f == 0.0) {
            break;
        }
        targets.f[targets.count] = t.f;
        targets.out[targets.count++] = pp::RowAt(dst, dstStep, y) + x0;
    }
    return targets;
}

// Writes the destination rows that blend source rows t.a and t.b (t.a != t.b, t.f != 0) from
// row y on, and returns how many. Row t.b is interpolated while those rows are written, unless
// it is cached already.
template <typename T>
int BlendSharedRows(RowCache<T>& cache, int y, const Tap& t, Span rows, int offsetY, double scale,
                    int srcHeight, T* dst, int dstStep, int x0) {
    const pp::RowTargets<T> targets =
        SharedRows(y, t, rows, offsetY, scale, srcHeight, dst, dstStep, x0);
    const int n = cache.Taps().elements;
    const double* upper = cache.Row(t.a, t.b);
    if (const double* lower = cache.Find(t.b)) {
        for (int k = 0; k < targets.count; ++k) {
            BlendRowsKernel(upper, lower, targets.f[k], n, targets.out[k]);
        }
    } else {
        double* slot = cache.Claim(t.b, t.a);
        pp::InterpolateAndBlend(cache.SourceRow(t.b), cache.Taps(), upper, slot, targets);
    }
    return targets.count;
}

// Enlarges or reduces the source into the destination pixels that have a source: columns
// `cols` and rows `rows`, processed in tiles of columns.
template <typename T, int C>
void ResizeTiles(const T* src, int srcStep, int srcWidth, int srcHeight, T* dst, int dstStep,
                 Span cols, Span rows, double scale, int offsetX, int offsetY, bool linear) {
    constexpr int kPixels = kTileElements / C;
    pp::ColumnTaps taps;
    for (int x0 = cols.begin; x0 < cols.end; x0 += kPixels) {
        const int n = std::min(kPixels, cols.end - x0);
        FillColumnTaps(taps, x0, n, C, srcWidth, scale, offsetX, linear);
        RowCache<T> cache(src, srcStep, taps);
        for (int y = rows.begin; y < rows.end;) {
            const Tap t = AxisTap(SourcePosition(y, offsetY, scale), srcHeight, linear);
            if (t.f != 0.0 && t.a != t.b) {
                y += BlendSharedRows(cache, y, t, rows, offsetY, scale, srcHeight, dst, dstStep,
                                     x0 * C);
                continue;
            }
            // One source row, or the last one blended with itself.
            const double* upper = cache.Row(t.a, -1);
            BlendRowsKernel(upper, upper, t.f, n * C, pp::RowAt(dst, dstStep, y) + x0 * C);
            ++y;
        }
    }
}

// Bilinear enlargement by exactly 2 without offsets, in tiles of columns, a source row at a
// time: each row completes the two destination rows between it and the previous one. Column
// and row 0 lie a quarter of a pixel before the source and keep their content; the last
// inside ones, 2 * size, read the last source column or row twice.
template <typename T>
void EnlargeByTwo(const T* src, int srcStep, int srcWidth, int srcHeight, T* dst, int dstStep,
                  int dstWidth, int dstHeight) {
    constexpr int kTileColumns = kTileElements;
    const int columnsEnd = static_cast<int>(std::min<long long>(dstWidth, 2LL * srcWidth + 1));
    const int rowsEnd = static_cast<int>(std::min<long long>(dstHeight, 2LL * srcHeight + 1));
    pp::QuarterProducts products[2];
    for (int x0 = 1; x0 < columnsEnd; x0 += kTileColumns) {
        const int first = x0 / 2;  // the tile's first source column
        const int columns = std::min(kTileColumns, columnsEnd - x0);
        pp::QuarterProducts* previous = &products[0];
        pp::QuarterProducts* next = &products[1];
        // Source row 0 completes no destination row: its products only.
        pp::EnlargeRowByTwo(src, srcWidth, first, columns, *next, *previous, nullptr, nullptr);
        for (int y = 1; y < rowsEnd; y += 2) {
            const T* row = pp::RowAt(src, srcStep, std::min(y / 2 + 1, srcHeight - 1));
            T* nearPrevious = pp::RowAt(dst, dstStep, y) + x0;
            T* nearNext = y + 1 < rowsEnd ? pp::RowAt(dst, dstStep, y + 1) + x0 : nullptr;
            pp::EnlargeRowByTwo(row, srcWidth, first, columns, *previous, *next, nearPrevious,
                                nearNext);
            std::swap(previous, next);
        }
    }
}

// Scale 1 with whole offsets moves pixels without changing them: a copy of the overlapping
// part of each row.
template <typename T, int C>
void Shift(const T* src, int srcStep, int srcWidth, int srcHeight, T* dst, int dstStep,
           int dstWidth, int dstHeight, int offsetX, int offsetY) {
    // In 64 bits: offsets near the int limits must not overflow.
    const long long x0 = std::max<long long>(0, offsetX);
    const long long x1 = std::min<long long>(dstWidth, static_cast<long long>(srcWidth) + offsetX);
    const long long y0 = std::max<long long>(0, offsetY);
    const long long y1 =
        std::min<long long>(dstHeight, static_cast<long long>(srcHeight) + offsetY);
    if (x0 >= x1) {
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * C * sizeof(T);
    for (long long y = y0; y < y1; ++y) {
        const T* from = pp::RowAt(src, srcStep, static_cast<int>(y - offsetY)) + (x0 - offsetX) * C;
        std::memcpy(pp::RowAt(dst, dstStep, static_cast<int>(y)) + x0 * C, from, bytes);
    }
}

// Source content scaled by `scale` about the origin of pixel edges, then moved by the offset.
template <typename T, int C>
bool Resize(const T* src, int srcStep, int srcWidth, int srcHeight, T* dst, int dstStep,
            int dstWidth, int dstHeight, float scale, int offsetX, int offsetY, bool linear) {
    if (!pp::NonNull(src, dst) || !pp::ValidSize(srcWidth, srcHeight) ||
        !pp::ValidSize(dstWidth, dstHeight) || !(scale > 0.0f)) {
        return false;
    }
    if (scale == 1.0f) {
        // Positions are then whole source pixels, read exactly in both modes.
        Shift<T, C>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth, dstHeight, offsetX,
                    offsetY);
        return true;
    }
    if constexpr (C == 1) {
        if (scale == 2.0f && offsetX == 0 && offsetY == 0 && linear) {
            EnlargeByTwo(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth, dstHeight);
            return true;
        }
    }
    const double s = scale;
    const Span cols = InsideSpan(dstWidth, srcWidth, offsetX, s, linear);
    const Span rows = InsideSpan(dstHeight, srcHeight, offsetY, s, linear);
    ResizeTiles<T, C>(src, srcStep, srcWidth, srcHeight, dst, dstStep, cols, rows, s, offsetX,
                      offsetY, linear);
    return true;
}

// ---- Rotation and remapping: any point per pixel, sampled a row at a time by the kernels.

// A rotation's point is (colX - dy * s, colY + dy * c), where colX = cx + dx * c and
// colY = cy + dx * s depend only on the column: the terms of each tile of columns are computed
// once for all rows, and the sum and difference are left as the last operations they are.
template <typename T, int C>
void RotateTiles(const T* src, int srcStep, T* dst, int dstStep, int width, int height, double c,
                 double s) {
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    const pp::WarpArea area{srcStep / static_cast<int>(sizeof(T)), 0, 0, width, height, true};
    double colX[kTileElements];
    double colY[kTileElements];
    for (int x0 = 0; x0 < width; x0 += kTileElements) {
        const int n = std::min(kTileElements, width - x0);
        for (int i = 0; i < n; ++i) {
            const double dx = (x0 + i) - cx;
            colX[i] = cx + dx * c;
            colY[i] = cy + dx * s;
        }
        for (int y = 0; y < height; ++y) {
            const double dy = y - cy;
            pp::WarpPoints points;
            points.colX = colX;
            points.colY = colY;
            points.rowX = dy * s;
            points.rowY = dy * c;
            pp::WarpRow(src, area, points, n, C, pp::RowAt(dst, dstStep, y) + x0 * C);
        }
    }
}

// Cosine and sine of an angle in degrees, exact at multiples of 90 degrees.
void CosSin(double degrees, double& c, double& s) {
    double reduced = std::fmod(degrees, 360.0);  // exact
    if (std::fmod(reduced, 90.0) == 0.0) {
        static const double kCos[4] = {1.0, 0.0, -1.0, 0.0};
        static const double kSin[4] = {0.0, 1.0, 0.0, -1.0};
        int quarter = (static_cast<int>(reduced / 90.0) % 4 + 4) % 4;
        c = kCos[quarter];
        s = kSin[quarter];
        return;
    }
    const double radians = reduced * (3.14159265358979323846 / 180.0);
    c = std::cos(radians);
    s = std::sin(radians);
}

template <typename T, int C>
bool RotateCenter(const T* src, int srcStep, T* dst, int dstStep, int width, int height,
                  float angle) {
    if (!pp::NonNull(src, dst) || !pp::ValidSize(width, height) || !std::isfinite(angle)) {
        return false;
    }
    double c, s;
    CosSin(angle, c, s);
    // Inverse rotation: each destination pixel is turned back onto the source.
    RotateTiles<T, C>(src, srcStep, dst, dstStep, width, height, c, s);
    return true;
}

}  // namespace

bool PixelPrimitives::Remap_32f_C1R(const float* src, int srcWidth, int srcHeight, int srcStep,
                                    int roiX, int roiY, int roiWidth, int roiHeight,
                                    const float* xMap, int xMapStep, const float* yMap,
                                    int yMapStep, float* dst, int dstStep, int dstWidth,
                                    int dstHeight, bool linear) {
    if (!pp::NonNull(src, xMap, yMap, dst) || !pp::ValidSize(srcWidth, srcHeight) ||
        !pp::ValidSize(roiWidth, roiHeight) || !pp::ValidSize(dstWidth, dstHeight)) {
        return false;
    }
    // Only the part of the ROI that lies on the source image is readable.
    long long x1 = std::min<long long>(static_cast<long long>(roiX) + roiWidth, srcWidth);
    long long y1 = std::min<long long>(static_cast<long long>(roiY) + roiHeight, srcHeight);
    const pp::WarpArea area{srcStep / static_cast<int>(sizeof(float)),
                            std::max(roiX, 0),
                            std::max(roiY, 0),
                            static_cast<int>(x1),
                            static_cast<int>(y1),
                            linear};
    if (area.x0 >= area.x1 || area.y0 >= area.y1) {
        return false;
    }
    for (int y = 0; y < dstHeight; ++y) {
        pp::WarpPoints points;
        points.mapX = pp::RowAt(xMap, xMapStep, y);
        points.mapY = pp::RowAt(yMap, yMapStep, y);
        pp::WarpRow(src, area, points, dstWidth, 1, pp::RowAt(dst, dstStep, y));
    }
    return true;
}

bool PixelPrimitives::Resize_16u_C1(const unsigned short* src, int srcStep, int srcWidth,
                                    int srcHeight, unsigned short* dst, int dstStep, int dstWidth,
                                    int dstHeight, float scale, int offsetX, int offsetY,
                                    bool linear) {
    return Resize<unsigned short, 1>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                     dstHeight, scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::Resize_32f_C1(const float* src, int srcStep, int srcWidth, int srcHeight,
                                    float* dst, int dstStep, int dstWidth, int dstHeight,
                                    float scale, int offsetX, int offsetY, bool linear) {
    return Resize<float, 1>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth, dstHeight,
                            scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::Resize_8u_C3(const unsigned char* src, int srcStep, int srcWidth,
                                   int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                   int dstHeight, float scale, int offsetX, int offsetY,
                                   bool linear) {
    return Resize<unsigned char, 3>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                    dstHeight, scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::Resize_8u_C4(const unsigned char* src, int srcStep, int srcWidth,
                                   int srcHeight, unsigned char* dst, int dstStep, int dstWidth,
                                   int dstHeight, float scale, int offsetX, int offsetY,
                                   bool linear) {
    return Resize<unsigned char, 4>(src, srcStep, srcWidth, srcHeight, dst, dstStep, dstWidth,
                                    dstHeight, scale, offsetX, offsetY, linear);
}

bool PixelPrimitives::RotateCenter_16u_C1(const unsigned short* src, int srcStep,
                                          unsigned short* dst, int dstStep, int width, int height,
                                          float angle) {
    return RotateCenter<unsigned short, 1>(src, srcStep, dst, dstStep, width, height, angle);
}

bool PixelPrimitives::RotateCenter_32f_C1(const float* src, int srcStep, float* dst, int dstStep,
                                          int width, int height, float angle) {
    return RotateCenter<float, 1>(src, srcStep, dst, dstStep, width, height, angle);
}

bool PixelPrimitives::RotateCenter_8u_C3(const unsigned char* src, int srcStep, unsigned char* dst,
                                         int dstStep, int width, int height, float angle) {
    return RotateCenter<unsigned char, 3>(src, srcStep, dst, dstStep, width, height, angle);
}

bool PixelPrimitives::RotateCenter_8u_C4(const unsigned char* src, int srcStep, unsigned char* dst,
                                         int dstStep, int width, int height, float angle) {
    return RotateCenter<unsigned char, 4>(src, srcStep, dst, dstStep, width, height, angle);
}
