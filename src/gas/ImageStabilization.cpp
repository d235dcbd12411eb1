#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>
#include <omp.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"
#include "gas/HighPassKernels.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// Edges are the pixels whose high-pass magnitude exceeds this share of the frame's mean.
constexpr float kEdgeShare = 0.6f;
// Projection entries at each end that are cleared: the 5x5 low-pass sees the zero border
// there, which would count the frame's own outline as an edge.
constexpr int kClearedEnds = 5;
// Entries kept away from the compared window on top of the search range.
constexpr int kExtraMargin = 10;
// Rows of one band: its source rows and edge rows stay in the second-level cache.
constexpr int kBandRows = 64;

// Counts the pixels of one row above the threshold, in total and into their columns' counts.
// Returns false when a pixel equals the threshold or is NaN: the edge map keeps such a value
// as it is, so the row does not reduce to counts.
SOLOMA_MULTIVERSION bool CountEdgesInRow(const float* row, int width, float threshold,
                                         int* columnCounts, int* rowCount) {
    int above = 0;
    int below = 0;
    for (int x = 0; x < width; ++x) {
        const int isAbove = row[x] > threshold;
        above += isAbove;
        below += row[x] < threshold;
        columnCounts[x] += isAbove;
    }
    *rowCount = above;
    return above + below == width;
}

// The same for two rows at once, which updates the column counts once for both.
SOLOMA_MULTIVERSION bool CountEdgesInRowPair(const float* upper, const float* lower, int width,
                                             float threshold, int* columnCounts, int* upperCount,
                                             int* lowerCount) {
    int aboveUpper = 0;
    int aboveLower = 0;
    int below = 0;
    for (int x = 0; x < width; ++x) {
        const int upperAbove = upper[x] > threshold;
        const int lowerAbove = lower[x] > threshold;
        aboveUpper += upperAbove;
        aboveLower += lowerAbove;
        below += (upper[x] < threshold) + (lower[x] < threshold);
        columnCounts[x] += upperAbove + lowerAbove;
    }
    *upperCount = aboveUpper;
    *lowerCount = aboveLower;
    return aboveUpper + aboveLower + below == 2 * width;
}

// Adds rows [0, rows) of the edge map, column by column, into sums[0 .. width). Each column
// is added in row order in double; walking the rows reads the map in memory order.
SOLOMA_MULTIVERSION void AddColumns(const float* map, int pitch, int width, int rows,
                                    double* sums) {
    for (int y = 0; y < rows; ++y) {
        const float* row = RowAt(map, pitch, y);
        for (int x = 0; x < width; ++x) {
            sums[x] += static_cast<double>(row[x]);
        }
    }
}

template <typename T>
SOLOMA_MULTIVERSION void AddInto(const T* partial, int width, T* sums) {
    for (int x = 0; x < width; ++x) {
        sums[x] += partial[x];
    }
}

void ClearEnds(float* projection, int length) {
    const int cleared = std::min(kClearedEnds, length);
    VectorPrimitives::Zero_32f(projection, cleared);
    VectorPrimitives::Zero_32f(projection + length - cleared, cleared);
}

void CopyImage(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep, int width,
               int height) {
    PixelPrimitives::Copy_16u_C1(src, srcStep, dst, dstStep, width, height);
}

void CopyImage(const float* src, int srcStep, float* dst, int dstStep, int width, int height) {
    PixelPrimitives::Copy_32f_C1(src, srcStep, dst, dstStep, width, height);
}

// The 16-bit shift is the move that brings src onto ref; the float shift is reported with the
// opposite sign, so its move is the negation. The resize moves content by +offset.
void ApplyShift(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep, int width,
                int height, int dx, int dy) {
    GeometricTransforms::Resize_16u_C1(src, srcStep, width, height, dst, dstStep, width, height,
                                       1.0f, dx, dy, false);
}

void ApplyShift(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
                int dx, int dy) {
    GeometricTransforms::Resize_32f_C1(src, srcStep, width, height, dst, dstStep, width, height,
                                       1.0f, -dx, -dy, false);
}

int BandCount(int height) {
    return (height + kBandRows - 1) / kBandRows;
}

}  // namespace

ImageStabilization::ImageStabilization() = default;
ImageStabilization::ImageStabilization(const ImageStabilization& other) = default;
ImageStabilization& ImageStabilization::operator=(const ImageStabilization& other) = default;
ImageStabilization::~ImageStabilization() {
    Cleanup();
}

void ImageStabilization::Init(int width, int height) {
    if (width != _width || height != _height) {
        Cleanup();
    }
    _refColumns.AllocateIfAbsent(width);
    _srcColumns.AllocateIfAbsent(width);
    _refRows.AllocateIfAbsent(height);
    _srcRows.AllocateIfAbsent(height);
    _edges.AllocateIfAbsent(width, height);
    _costs.AllocateIfAbsent(2 * _searchRange + 1);
    const long long bands = BandCount(height);
    _bandSums.AllocateIfAbsent(static_cast<int>(bands));
    if (bands * width <= INT_MAX) {
        _bandColumnCounts.AllocateIfAbsent(static_cast<int>(bands * width));
        _bandColumnSums.AllocateIfAbsent(static_cast<int>(bands * width));
    }
    // Room for the remembered frames of either pixel type.
    if (width <= INT_MAX / static_cast<int>(sizeof(float))) {
        _refFrame.Reserve(width * static_cast<int>(sizeof(float)), height);
        _srcFrame.Reserve(width * static_cast<int>(sizeof(float)), height);
    }
    _width = width;
    _height = height;
}

void ImageStabilization::Cleanup() {
    _sourceProjected = false;
    _refColumns.Release();
    _srcColumns.Release();
    _refRows.Release();
    _srcRows.Release();
    _edges.Release();
    _costs.Release();
    _bandSums.Release();
    _bandColumnCounts.Release();
    _bandColumnSums.Release();
    _highPassScratch.Release();
    _threadCosts.Release();
    _threadDifferences.Release();
    _scratchThreads = 0;
    _inPlace16u.Release();
    _inPlace32f.Release();
    _refFrame.Drop();
    _srcFrame.Drop();
}

bool ImageStabilization::PrepareTeam() {
    _team = useParallel ? std::max(1, omp_get_max_threads()) : 1;
    const bool held = _highPassScratch && _threadCosts && _threadDifferences;
    if (_team > _scratchThreads || !held) {
        const long long highPass = _team * HighPassScratchLength(_width);
        const long long costs = static_cast<long long>(_team) * (2 * _searchRange + 1);
        const long long differences = static_cast<long long>(_team) * std::max(_width, _height);
        _scratchThreads = 0;
        if (highPass > INT_MAX || differences > INT_MAX) {
            return false;
        }
        _highPassScratch.Allocate(static_cast<int>(highPass));
        _threadCosts.Allocate(static_cast<int>(costs));
        _threadDifferences.Allocate(static_cast<int>(differences));
        if (!(_highPassScratch && _threadCosts && _threadDifferences)) {
            return false;
        }
        _scratchThreads = _team;
    }
    return _refColumns && _srcColumns && _refRows && _srcRows && _edges && _costs && _bandSums &&
           _bandColumnCounts && _bandColumnSums;
}

template <typename T>
double ImageStabilization::HighPassBand(const T* src, int srcStep, int width, int height, int y0,
                                        int y1, int thread) {
    float* scratch =
        _highPassScratch.Get() + static_cast<std::ptrdiff_t>(thread) * HighPassScratchLength(width);
    return HighPassMagnitude(src, srcStep, width, height, y0, y1, _edges.Get(), _edges.Pitch(),
                             scratch);
}

bool ImageStabilization::CountBand(int width, int y0, int y1, float threshold, float* rowProjection,
                                   int* columnCounts) {
    std::fill(columnCounts, columnCounts + width, 0);
    const int pitch = _edges.Pitch();
    bool clear = true;
    int y = y0;
    for (; y + 1 < y1; y += 2) {
        int upperCount = 0;
        int lowerCount = 0;
        clear &=
            CountEdgesInRowPair(RowAt(_edges.Get(), pitch, y), RowAt(_edges.Get(), pitch, y + 1),
                                width, threshold, columnCounts, &upperCount, &lowerCount);
        rowProjection[y] = static_cast<float>(upperCount);
        rowProjection[y + 1] = static_cast<float>(lowerCount);
    }
    if (y < y1) {
        int count = 0;
        clear &=
            CountEdgesInRow(RowAt(_edges.Get(), pitch, y), width, threshold, columnCounts, &count);
        rowProjection[y] = static_cast<float>(count);
    }
    return clear;
}

void ImageStabilization::EdgeBand(int width, int y0, int y1, float threshold, float* rowProjection,
                                  double* columnSums) {
    const int pitch = _edges.Pitch();
    float* edges = RowAt(_edges.Get(), pitch, y0);
    const int rows = y1 - y0;
    // Below the threshold 0, above it 1; a value exactly at it stays as it is.
    PixelPrimitives::Threshold_LTValGTVal_32f_C1IR(edges, pitch, width, rows, threshold, 0.0f,
                                                   threshold, 1.0f);
    for (int y = 0; y < rows; ++y) {
        VectorPrimitives::Sum_32f(RowAt(edges, pitch, y), width, &rowProjection[y0 + y], true);
    }
    std::fill(columnSums, columnSums + width, 0.0);
    AddColumns(edges, pitch, width, rows, columnSums);
}

template <typename T>
void ImageStabilization::ContourVector(const T* src, int srcStep, int width, int height,
                                       float* columnProjection, float* rowProjection) {
    // Two passes over bands of rows: the high-pass magnitude and its sum, then, with the mean
    // known, the 0/1 edge map and its projections. Bands are fixed and their partial results
    // are added in band order, so the result does not depend on the number of threads.
    const int bands = BandCount(height);
    double* bandSums = _bandSums.Get();
#pragma omp parallel for schedule(static) num_threads(_team) if (useParallel)
    for (int band = 0; band < bands; ++band) {
        const int y0 = band * kBandRows;
        const int y1 = std::min(y0 + kBandRows, height);
        bandSums[band] = HighPassBand(src, srcStep, width, height, y0, y1, omp_get_thread_num());
    }
    double total = 0.0;
    for (int band = 0; band < bands; ++band) {
        total += bandSums[band];
    }
    const double mean = total / (static_cast<double>(width) * static_cast<double>(height));
    const float threshold = static_cast<float>(mean) * kEdgeShare;

    // The edge map is 0 below the threshold and 1 above it, so its sums are counts. Only a
    // pixel exactly at the threshold (or NaN) keeps its value; then the map is made and summed
    // in double as it stands.
    int* columnCounts = _bandColumnCounts.Get();
    int clear = 1;
#pragma omp parallel for schedule(static) num_threads(_team) if (useParallel) reduction(& : clear)
    for (int band = 0; band < bands; ++band) {
        const int y0 = band * kBandRows;
        clear &= CountBand(width, y0, std::min(y0 + kBandRows, height), threshold, rowProjection,
                           columnCounts + static_cast<std::ptrdiff_t>(band) * width);
    }
    if (clear) {
        for (int band = 1; band < bands; ++band) {
            AddInto(columnCounts + static_cast<std::ptrdiff_t>(band) * width, width, columnCounts);
        }
        for (int x = 0; x < width; ++x) {
            columnProjection[x] = static_cast<float>(columnCounts[x]);
        }
    } else {
        double* columnSums = _bandColumnSums.Get();
#pragma omp parallel for schedule(static) num_threads(_team) if (useParallel)
        for (int band = 0; band < bands; ++band) {
            const int y0 = band * kBandRows;
            EdgeBand(width, y0, std::min(y0 + kBandRows, height), threshold, rowProjection,
                     columnSums + static_cast<std::ptrdiff_t>(band) * width);
        }
        for (int band = 1; band < bands; ++band) {
            AddInto(columnSums + static_cast<std::ptrdiff_t>(band) * width, width, columnSums);
        }
        for (int x = 0; x < width; ++x) {
            columnProjection[x] = static_cast<float>(columnSums[x]);
        }
    }
    ClearEnds(rowProjection, height);
    ClearEnds(columnProjection, width);
}

int ImageStabilization::CalculateDiff(float* first, float* second, int length) {
    const int range = _searchRange;
    const int count = 2 * range + 1;
    const int margin = range + kExtraMargin;
    const int compared = length - 2 * margin;
    // A frame too small for the window has nothing to compare: no shift.
    if (compared <= 0) {
        return 0;
    }
    float* costs = _costs.Get();
    VectorPrimitives::Zero_32f(costs, count);
    // Each shift's cost is computed by one thread alone and the others add 0 to it, so the
    // result does not depend on the number of threads. The per-thread vectors live in the
    // object, so that no frame allocates.
    const int stride = std::max(_width, _height);
#pragma omp parallel num_threads(_team) if (useParallel)
    {
        const int thread = omp_get_thread_num();
        float* threadCosts = _threadCosts.Get() + static_cast<std::ptrdiff_t>(thread) * count;
        float* difference = _threadDifferences.Get() + static_cast<std::ptrdiff_t>(thread) * stride;
        VectorPrimitives::Zero_32f(threadCosts, count);
#pragma omp barrier
#pragma omp for schedule(static)
        for (int shift = -range; shift <= range; ++shift) {
            // difference[i] = first[margin + i] - second[margin + shift + i]
            VectorPrimitives::Sub_32f(second + margin + shift, first + margin, difference,
                                      compared);
            VectorPrimitives::Abs_32f_I(difference, compared);
            VectorPrimitives::Sum_32f(difference, compared, &threadCosts[range + shift], true);
        }
#pragma omp critical
        VectorPrimitives::Add_32f_I(threadCosts, costs, count);
    }
    float minimum = 0.0f;
    int index = 0;
    VectorPrimitives::MinIndex_32f(costs, count, &minimum, &index);
    if (minimum != minimum) {
        return 0;
    }
    // Among equal costs the shift closest to 0 wins (the lower index between -s and +s), so
    // that a featureless pair is left where it is rather than moved by the whole range.
    int best = index - range;
    for (int i = 0; i < count; ++i) {
        if (costs[i] == minimum && std::abs(i - range) < std::abs(best)) {
            best = i - range;
        }
    }
    return best;
}

bool ImageStabilization::Estimate(const unsigned short* ref, int refStep, const unsigned short* src,
                                  int srcStep, int width, int height) {
    _dx = _dy = 0;
    _sourceProjected = false;
    Init(width, height);
    if (!PrepareTeam()) {
        return false;
    }
    Project(ref, refStep, width, height, _refFrame, _refColumns.Get(), _refRows.Get());
    Project(src, srcStep, width, height, _srcFrame, _srcColumns.Get(), _srcRows.Get());
    _dx = -CalculateDiff(_refColumns.Get(), _srcColumns.Get(), width);
    _dy = -CalculateDiff(_refRows.Get(), _srcRows.Get(), height);
    return true;
}

bool ImageStabilization::Estimate(const float* ref, int refStep, const float* src, int srcStep,
                                  int width, int height) {
    _dx = _dy = 0;
    _sourceProjected = false;
    Init(width, height);
    if (!PrepareTeam()) {
        return false;
    }
    Project(ref, refStep, width, height, _refFrame, _refColumns.Get(), _refRows.Get());
    Project(src, srcStep, width, height, _srcFrame, _srcColumns.Get(), _srcRows.Get());
    _sourceProjected = true;
    // The operands stand the other way round from the 16-bit estimate, so the float shifts
    // have the opposite sign for the same pair of frames.
    _dx = -CalculateDiff(_srcColumns.Get(), _refColumns.Get(), width);
    _dy = -CalculateDiff(_srcRows.Get(), _refRows.Get(), height);
    return true;
}

bool ImageStabilization::EstimateAgainstLastSource(const float* ref, int refStep, int width,
                                                   int height) {
    if (!_sourceProjected || width != _width || height != _height ||
        !ValidImage(ref, refStep, width, height)) {
        return false;
    }
    _dx = _dy = 0;
    if (!PrepareTeam()) {
        return false;
    }
    Project(ref, refStep, width, height, _refFrame, _refColumns.Get(), _refRows.Get());
    _dx = -CalculateDiff(_srcColumns.Get(), _refColumns.Get(), width);
    _dy = -CalculateDiff(_srcRows.Get(), _refRows.Get(), height);
    return true;
}

bool ImageStabilization::MoveInPlace(float* image, int step, int width, int height) {
    if (!ValidImage(image, step, width, height) || width != _width || height != _height) {
        return false;
    }
    _inPlace32f.AllocateIfAbsent(width, height);
    if (!_inPlace32f) {
        return false;
    }
    CopyImage(image, step, _inPlace32f.Get(), _inPlace32f.Pitch(), width, height);
    ApplyShift(_inPlace32f.Get(), _inPlace32f.Pitch(), image, step, width, height, _dx, _dy);
    return true;
}

void ImageStabilization::Project(const unsigned short* frame, int step, int width, int height,
                                 detail::FrameCache& cache, float* columns, float* rows) {
    if (cache.Holds(frame, step, width, height, sizeof(*frame))) {
        return;
    }
    // Read as floats where they are; the conversion is exact.
    ContourVector(frame, step, width, height, columns, rows);
    cache.Remember(frame, step, width, height, sizeof(*frame));
}

void ImageStabilization::Project(const float* frame, int step, int width, int height,
                                 detail::FrameCache& cache, float* columns, float* rows) {
    if (cache.Holds(frame, step, width, height, sizeof(*frame))) {
        return;
    }
    ContourVector(frame, step, width, height, columns, rows);
    cache.Remember(frame, step, width, height, sizeof(*frame));
}

void ImageStabilization::Run(const unsigned short* ref, int refStep, const unsigned short* src,
                             int srcStep, unsigned short* dst, int dstStep, int width, int height) {
    if (ValidImage(dst, dstStep, width, height) &&
        EstimateRegion(ref, refStep, src, srcStep, width, height)) {
        ApplyShift(src, srcStep, dst, dstStep, width, height, _dx, _dy);
    }
}

void ImageStabilization::Run(const float* ref, int refStep, const float* src, int srcStep,
                             float* dst, int dstStep, int width, int height) {
    if (ValidImage(dst, dstStep, width, height) &&
        EstimateRegion(ref, refStep, src, srcStep, width, height)) {
        ApplyShift(src, srcStep, dst, dstStep, width, height, _dx, _dy);
    }
}

void ImageStabilization::Run(const unsigned short* ref, int refStep, unsigned short* srcDst,
                             int srcDstStep, int width, int height) {
    RunInPlace(ref, refStep, srcDst, srcDstStep, width, height, _inPlace16u);
}

void ImageStabilization::Run(const float* ref, int refStep, float* srcDst, int srcDstStep,
                             int width, int height) {
    AlignInPlace(ref, refStep, srcDst, srcDstStep, width, height);
}

bool ImageStabilization::AlignInPlace(const float* ref, int refStep, float* srcDst, int srcDstStep,
                                      int width, int height) {
    return RunInPlace(ref, refStep, srcDst, srcDstStep, width, height, _inPlace32f);
}

void ImageStabilization::Run(const unsigned short* ref, int refStep, unsigned short* src,
                             int srcStep, int width, int height, int& dx, int& dy) {
    if (EstimateRegion(ref, refStep, src, srcStep, width, height)) {
        dx = _dx;
        dy = _dy;
    }
}

void ImageStabilization::Run(const float* ref, int refStep, float* src, int srcStep, int width,
                             int height, int& dx, int& dy) {
    if (EstimateRegion(ref, refStep, src, srcStep, width, height)) {
        dx = _dx;
        dy = _dy;
    }
}

template <typename T>
bool ImageStabilization::EstimateRegion(const T* ref, int refStep, const T* src, int srcStep,
                                        int width, int height) {
    // A rejected call keeps the shifts of the last one.
    if (!ValidImage(ref, refStep, width, height) || !ValidImage(src, srcStep, width, height)) {
        return false;
    }
    return Estimate(ref, refStep, src, srcStep, width, height);
}

template <typename T>
bool ImageStabilization::RunInPlace(const T* ref, int refStep, T* srcDst, int srcDstStep, int width,
                                    int height, detail::ImageBuffer<T>& copy) {
    if (!ValidImage(ref, refStep, width, height) ||
        !ValidImage(srcDst, srcDstStep, width, height)) {
        return false;
    }
    // Sized after Init, whose change of size releases every buffer.
    Init(width, height);
    copy.AllocateIfAbsent(width, height);
    if (!copy) {
        return false;
    }
    CopyImage(srcDst, srcDstStep, copy.Get(), copy.Pitch(), width, height);
    if (!EstimateRegion(ref, refStep, copy.Get(), copy.Pitch(), width, height)) {
        return false;
    }
    ApplyShift(copy.Get(), copy.Pitch(), srcDst, srcDstStep, width, height, _dx, _dy);
    return true;
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
