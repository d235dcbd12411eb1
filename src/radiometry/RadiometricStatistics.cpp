#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

using u16 = unsigned short;

constexpr int kStatusValid = 2;
constexpr int kStatusBelowTable = 4;
constexpr int kStatusAboveTable = 5;

// Start values of the kelvin extremes: any measured value replaces them, and an empty region
// reports them unchanged.
constexpr double kNoMinimum = 2147483647.0;
constexpr double kNoMaximum = -2147483648.0;
constexpr int kNoMinimumPosition = std::numeric_limits<int>::max();
constexpr int kNoMaximumPosition = std::numeric_limits<int>::min();

const u16* RegionStart(const u16* image, int step, int y, int x) {
    return RowAt(image, step, y) + x;
}

// One extreme of the kelvin pass: its value, status and image position.
struct Extreme {
    double value;
    int status;
    int x;
    int y;
};

// Between threads, equal extremes keep the earlier pixel in row-major order, as within a
// thread, so that the result does not depend on which thread reaches the merge first.
bool Precedes(const Extreme& a, const Extreme& b) {
    return a.y < b.y || (a.y == b.y && a.x < b.x);
}

struct KelvinExtremes {
    Extreme min{kNoMinimum, kStatusValid, kNoMinimumPosition, kNoMinimumPosition};
    Extreme max{kNoMaximum, kStatusValid, kNoMaximumPosition, kNoMaximumPosition};
};

// The kelvin value of a signal: its table entry, or the nearer end entry when the signal lies
// outside the table. Signals are 0..65535, so the clamp is taken to the table's part of that
// range, which keeps the index arithmetic in 32 bits for any table bounds.
struct KelvinLookup {
    const float* base;  // the entry of signal `first`
    int first;
    int last;

    float operator()(int signal) const {
        return base[std::min(std::max(signal, first), last) - first];
    }
};

KelvinLookup MakeLookup(const float* table, int tableLow, int tableHigh) {
    if (tableHigh < 0) {  // every signal lies above the table
        return {table + (static_cast<std::ptrdiff_t>(tableHigh) - tableLow), 0, 0};
    }
    if (tableLow > 65535) {  // every signal lies below it
        return {table, 0, 0};
    }
    const int first = std::max(tableLow, 0);
    return {table + (static_cast<std::ptrdiff_t>(first) - tableLow), first,
            std::min(tableHigh, 65535)};
}

int KelvinStatus(int signal, int tableLow, int tableHigh) {
    return signal < tableLow ? kStatusBelowTable
                             : (signal > tableHigh ? kStatusAboveTable : kStatusValid);
}

struct RowSummary {
    double sum;
    double sumSquares;
    float lo;  // extremes of the row's values when none is NaN
    float hi;
};

// Sums and extremes of one row's kelvin values, as one vector loop. The sums' order of
// addition follows the vector lanes; a NaN among the values makes the sum NaN, which tells
// the caller that lo and hi cannot be trusted.
SOLOMA_MULTIVERSION RowSummary SummariseRow(const u16* row, int width, KelvinLookup lookup) {
    double sum = 0.0;
    double squares = 0.0;
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
#pragma omp simd reduction(+ : sum, squares) reduction(min : lo) reduction(max : hi)
    for (int c = 0; c < width; ++c) {
        const float v = lookup(row[c]);
        const double d = v;
        sum += d;
        squares += d * d;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return {sum, squares, lo, hi};
}

// The per-pixel rule of the extremes, in row-major order: a strictly greater value replaces
// the maximum, a value not greater than or equal to the minimum replaces the minimum, so the
// first of equal extremes stays.
void ScanRowExtremes(const u16* row, int width, int x, int y, KelvinLookup lookup, int tableLow,
                     int tableHigh, KelvinExtremes& extremes) {
    for (int c = 0; c < width; ++c) {
        const double v = lookup(row[c]);
        if (v > extremes.max.value) {
            extremes.max = {v, KelvinStatus(row[c], tableLow, tableHigh), x + c, y};
        }
        if (!(v >= extremes.min.value)) {
            extremes.min = {v, KelvinStatus(row[c], tableLow, tableHigh), x + c, y};
        }
    }
}

SOLOMA_MULTIVERSION void FillRowFromLut(const u16* __restrict src, float* __restrict dst,
                                        const float* __restrict lut, int width) {
    for (int i = 0; i < width; ++i) {
        dst[i] = lut[static_cast<int>(src[i])];
    }
}

// The pixels of the region times a fraction, as a count of at least 1. NaN counts as 0 and
// values beyond int saturate, so any fraction gives a defined count.
int CutCount(int width, int height, float fraction) {
    const float product =
        std::fabs(static_cast<float>(static_cast<long long>(width) * height) * fraction);
    if (!(product >= 1.0f)) {
        return 1;
    }
    if (product >= 2147483648.0f) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(product);
}

// Lower edge of the first bin, from the bottom, at which the cut count is used up; the last
// bin is never examined.
u16 LowerLimit(const int* hist, const int* levels, int bins, int lowerLevel, int cut) {
    for (int k = 0; k < bins - 1; ++k) {
        cut -= hist[k];
        if (cut <= 0) {
            return static_cast<u16>(levels[k]);
        }
    }
    return static_cast<u16>(lowerLevel);
}

// Lower edge of the first bin, from the top, at which the cut count is used up.
u16 UpperLimit(const int* hist, const int* levels, int bins, int upperLevel, int cut) {
    for (int k = bins - 1; k >= 0; --k) {
        cut -= hist[k];
        if (cut <= 0) {
            return static_cast<u16>(levels[k]);
        }
    }
    return static_cast<u16>(static_cast<u16>(upperLevel) - 1);
}

// Truncation toward zero to 64 bits, with NaN giving 0 and values beyond the range
// saturating, so that no input makes the conversion undefined.
long long TruncateToInt64(double v) {
    if (v != v) {
        return 0;
    }
    if (v >= 9223372036854775808.0) {
        return std::numeric_limits<long long>::max();
    }
    if (v <= -9223372036854775808.0) {
        return std::numeric_limits<long long>::min();
    }
    return static_cast<long long>(v);
}

struct SignalMap {
    double outputLow;
    double outputHigh;
    int signalLow;
    double scale;
    u16 low;  // signalLow and signalHigh as stored
    u16 high;
    bool flat;  // scale 0 or NaN: no linear map
};

u16 ToSignal(double v, const SignalMap& map) {
    if (v < map.outputLow || std::isnan(v)) {
        return map.low;
    }
    if (v > map.outputHigh || map.flat) {
        return map.high;
    }
    const double linear = (v - map.outputLow) * map.scale + static_cast<double>(map.signalLow);
    return static_cast<u16>(TruncateToInt64(linear + 0.5));
}

// The image of a region call: a region without pixels reads nothing and keeps its documented
// result, so only its position must be sound; any other must lie within a usable image.
bool ValidRegionCall(const u16* src, int srcStep, int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) {
        return src != nullptr && x >= 0 && y >= 0;
    }
    return ValidRegion(src, srcStep, x, y, width, height);
}

}  // namespace

RadiometricStatistics::RadiometricStatistics(const RadiometricStatistics&) {}

RadiometricStatistics& RadiometricStatistics::operator=(const RadiometricStatistics&) {
    return *this;
}

void RadiometricStatistics::Calculate(const unsigned short* src, int width, int height, int srcStep,
                                      int y, int x, const float* kelvinTable, int tableLow,
                                      int tableHigh, Statistics& statistics, bool useSignal) {
    if (!ValidRegionCall(src, srcStep, x, y, width, height) ||
        (!useSignal && kelvinTable == nullptr)) {
        return;
    }
    if (useSignal) {
        CalculateSignal(src, width, height, srcStep, y, x, statistics);
    } else {
        CalculateKelvin(src, width, height, srcStep, y, x, kelvinTable, tableLow, tableHigh,
                        statistics);
    }
}

void RadiometricStatistics::CalculateSignal(const unsigned short* src, int width, int height,
                                            int srcStep, int y, int x, Statistics& statistics) {
    statistics.minStatus = kStatusValid;
    statistics.maxStatus = kStatusValid;
    statistics.meanStatus = kStatusValid;
    statistics.sumStatus = kStatusValid;
    statistics.stdDevStatus = kStatusValid;
    const u16* region = RegionStart(src, srcStep, y, x);
    PixelPrimitives::Mean_StdDev_16u_C1R(region, srcStep, width, height, &statistics.mean,
                                         &statistics.stdDev);
    u16 minimum = 0;
    int minColumn = 0;
    int minRow = 0;
    PixelPrimitives::MinIndx_16u_C1R(region, srcStep, width, height, &minimum, &minColumn, &minRow);
    u16 maximum = 0;
    int maxColumn = 0;
    int maxRow = 0;
    PixelPrimitives::MaxIndx_16u_C1R(region, srcStep, width, height, &maximum, &maxColumn, &maxRow);
    statistics.min = minimum;
    statistics.max = maximum;
    statistics.minX = x + minColumn;
    statistics.minY = y + minRow;
    statistics.maxX = x + maxColumn;
    statistics.maxY = y + maxRow;
    PixelPrimitives::Sum_16u_C1R(region, srcStep, width, height, &statistics.sum);
}

void RadiometricStatistics::CalculateKelvin(const unsigned short* src, int width, int height,
                                            int srcStep, int y, int x, const float* kelvinTable,
                                            int tableLow, int tableHigh, Statistics& statistics) {
    KelvinExtremes shared;
    int count = 0;
    double sum = 0.0;
    double sumSquares = 0.0;
    // A table without entries has no kelvin value to give any pixel: such a call measures
    // nothing, like an empty region, rather than read outside the table.
    const int rows = tableHigh >= tableLow ? height : 0;
    const KelvinLookup lookup = MakeLookup(kelvinTable, tableLow, tableHigh);
    const u16* region = RegionStart(src, srcStep, y, x);

#pragma omp parallel reduction(+ : count, sum, sumSquares)
    {
        KelvinExtremes own;
#pragma omp for schedule(static) nowait
        for (int r = 0; r < rows; ++r) {
            if (width <= 0) {
                continue;
            }
            count += width;
            const u16* row = RowAt(region, srcStep, r);
            const RowSummary summary = SummariseRow(row, width, lookup);
            sum += summary.sum;
            sumSquares += summary.sumSquares;
            // Only a row that may change an extreme is scanned pixel by pixel; NaNs, which
            // the per-pixel rule lets replace the minimum, always take that path.
            if (std::isnan(summary.sum) || !(summary.lo >= own.min.value) ||
                summary.hi > own.max.value) {
                ScanRowExtremes(row, width, x, y + r, lookup, tableLow, tableHigh, own);
            }
        }
#pragma omp critical
        {
            if (own.max.value > shared.max.value ||
                (own.max.value == shared.max.value && Precedes(own.max, shared.max))) {
                shared.max = own.max;
            }
            if (own.min.value < shared.min.value ||
                (own.min.value == shared.min.value && Precedes(own.min, shared.min))) {
                shared.min = own.min;
            }
        }
    }

    statistics.min = shared.min.value;
    statistics.minStatus = shared.min.status;
    statistics.max = shared.max.value;
    statistics.maxStatus = shared.max.status;
    statistics.minX = shared.min.x;
    statistics.minY = shared.min.y;
    statistics.maxX = shared.max.x;
    statistics.maxY = shared.max.y;
    statistics.sum = sum;
    // No pixels: the reciprocal is infinite and the mean 0 times it, not a number; written
    // without dividing by zero.
    const double k = count > 0 ? 1.0 / count : std::numeric_limits<double>::infinity();
    statistics.mean = k * sum;
    double variance = k * sumSquares - statistics.mean * statistics.mean;
    if (!(variance >= 0.0)) {
        variance = 0.0;
    }
    statistics.stdDev = std::sqrt(variance);
    statistics.meanStatus = kStatusValid;
    statistics.sumStatus = kStatusValid;
    statistics.stdDevStatus = kStatusValid;
}

void RadiometricStatistics::CalculateHistogramMinMax(const unsigned short* src, int srcStep,
                                                     int* hist, int* levels, int nLevels,
                                                     int lowerLevel, int upperLevel, int x, int y,
                                                     int width, int height, float lowFraction,
                                                     float highFraction, unsigned short& minValue,
                                                     unsigned short& maxValue) {
    if (!ValidRegionCall(src, srcStep, x, y, width, height) || hist == nullptr ||
        levels == nullptr) {
        return;
    }
    // A histogram that could not be made (an empty region, fewer than two levels) left hist
    // and levels unwritten: nothing of them is read, and both limits keep their start values.
    const bool counted = PixelPrimitives::HistogramEven_16u_C1(RegionStart(src, srcStep, y, x),
                                                               srcStep, width, height, hist, levels,
                                                               nLevels, lowerLevel, upperLevel);
    const int bins = counted ? nLevels - 1 : 0;
#pragma omp parallel sections
    {
#pragma omp section
        minValue = LowerLimit(hist, levels, bins, lowerLevel, CutCount(width, height, lowFraction));
#pragma omp section
        maxValue =
            UpperLimit(hist, levels, bins, upperLevel, CutCount(width, height, highFraction));
    }
    // 65535 has no 16-bit successor; the upper limit then stays 65535.
    if (minValue >= maxValue) {
        maxValue = minValue == 65535 ? minValue : static_cast<u16>(minValue + 1);
    }
}

void RadiometricStatistics::CalculateSignalLUT(const int* srcTable, int* dstTable, int dstFirst,
                                               int dstLast, int srcFirst, int srcLast, int, int) {
    // An empty range on either side makes the step 0 or below, or not a number: nothing is
    // written. A single destination entry would take 0 times an infinite step; it is the
    // first source entry.
    if (dstLast < dstFirst || srcLast < srcFirst) {
        return;
    }
    // No table, or a range that starts before the table's first entry.
    if (srcTable == nullptr || dstTable == nullptr || dstFirst < 0 || srcFirst < 0) {
        return;
    }
    if (dstLast == dstFirst) {
        dstTable[dstFirst] = srcTable[srcFirst];
        return;
    }
    // The source range counts its entries, the destination range only its span, so that the
    // last destination entry reaches the end of the source range.
    const long long lastOffset = static_cast<long long>(srcLast) - srcFirst;
    const float quotient = static_cast<float>(static_cast<long long>(dstLast) - dstFirst) /
                           static_cast<float>(lastOffset + 1);
    const float step = 1.0f / quotient;
#pragma omp parallel for schedule(static) if (useParallel)
    for (long long i = dstFirst; i <= dstLast; ++i) {
        // Non-negative and finite; compared in double so that the clamp is exact for any range.
        const double offset = static_cast<float>(i - dstFirst) * step;
        const long long index = offset >= static_cast<double>(lastOffset)
                                    ? srcLast
                                    : srcFirst + static_cast<long long>(offset);
        dstTable[i] = srcTable[index];
    }
}

void RadiometricStatistics::FillFromLUT(const unsigned short* src, int srcStep, float* dst,
                                        int dstStep, const float* lut, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height) ||
        lut == nullptr) {
        return;
    }
#pragma omp parallel for schedule(static) if (useParallel)
    for (int r = 0; r < height; ++r) {
        FillRowFromLut(RowAt(src, srcStep, r), RowAt(dst, dstStep, r), lut, width);
    }
}

void RadiometricStatistics::OutputToSignal(const float* src, int srcStep, unsigned short* dst,
                                           int dstStep, int width, int height, double outputLow,
                                           double outputHigh, int signalLow, int signalHigh,
                                           double scale) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    const SignalMap map{outputLow,
                        outputHigh,
                        signalLow,
                        scale,
                        static_cast<u16>(signalLow),
                        static_cast<u16>(signalHigh),
                        scale == 0.0 || std::isnan(scale)};
#pragma omp parallel for schedule(static) if (useParallel)
    for (int r = 0; r < height; ++r) {
        const float* in = RowAt(src, srcStep, r);
        u16* out = RowAt(dst, dstStep, r);
        for (int c = 0; c < width; ++c) {
            out[c] = ToSignal(in[c], map);
        }
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
