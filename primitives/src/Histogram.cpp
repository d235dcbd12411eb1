#include <PixelPrimitives/PixelPrimitives.h>

#include "Common.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using pp::RowAt;
using u16 = unsigned short;
using Count = std::uint32_t;

constexpr int kValueCount = 65536;
// Each table has one counter past the last value: no pixel reaches it, so it stays zero
// and closes the prefix sums at any end of the range.
constexpr std::ptrdiff_t kTableSize = kValueCount + 1;

// Runs of equal pixels make consecutive increments hit the same counter, and each then
// waits for the previous store. Neighbouring pixels go to separate copies of the counters.
constexpr int kCopies = 4;

// Levels evenly spaced from lower to upper; the remainder widens the first `extra` bins by
// one, so level i is lower + i * step + min(i, extra). The closed form has no dependency
// from level to level and vectorises. 64-bit because upper - lower may not fit an int; a
// negative remainder (upper < lower) widens nothing.
PP_MULTIVERSION void EvenLevels(int* levels, int numLevels, int lower, int upper) {
    const long long bins = numLevels - 1;
    const long long span = static_cast<long long>(upper) - lower;
    const long long step = span / bins;
    const long long extra = std::max(span % bins, 0LL);
    for (int i = 0; i < numLevels; ++i) {
        levels[i] = static_cast<int>(lower + i * step + std::min<long long>(i, extra));
    }
}

// Per-thread counters: `copies` tables with a counter for every 16-bit value, grown on
// demand so that a steady stream of calls allocates nothing. Only the counters of the
// values in [first, end] are cleared and later read; the others take the pixels outside
// the range, which spares the hot loop a range check, and are never read.
Count* CounterTables(int copies, int first, int end) {
    thread_local std::vector<Count> tables;
    const std::size_t size = static_cast<std::size_t>(copies * kTableSize);
    if (tables.size() < size) {
        tables.resize(size);
    }
    for (int c = 0; c < copies; ++c) {
        Count* table = tables.data() + c * kTableSize;
        std::fill(table + first, table + end + 1, Count{0});
    }
    return tables.data();
}

// Counts every pixel value; neighbouring pixels go to tables `stride` apart (the same table
// when stride is 0).
PP_MULTIVERSION void CountValues(const u16* src, int step, int width, int height, Count* tables,
                                 std::ptrdiff_t stride) {
    Count* c0 = tables;
    Count* c1 = c0 + stride;
    Count* c2 = c1 + stride;
    Count* c3 = c2 + stride;
    for (int y = 0; y < height; ++y) {
        const u16* row = RowAt(src, step, y);
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            ++c0[row[x]];
            ++c1[row[x + 1]];
            ++c2[row[x + 2]];
            ++c3[row[x + 3]];
        }
        for (; x < width; ++x) {
            ++c0[row[x]];
        }
    }
}

// Merges the copies into the first table and turns [first, end] into exclusive prefix sums:
// counts[v] becomes the number of pixels in [first, v).
void PrefixSums(Count* counts, int copies, int first, int end) {
    for (int c = 1; c < copies; ++c) {
        const Count* copy = counts + c * kTableSize;
        for (int v = first; v <= end; ++v) {
            counts[v] += copy[v];
        }
    }
    Count below = 0;
    for (int v = first; v <= end; ++v) {
        const Count n = counts[v];
        counts[v] = below;
        below += n;
    }
}

}  // namespace

bool PixelPrimitives::HistogramEven_16u_C1(const unsigned short* src, int srcStep, int width,
                                           int height, int* histogram, int* levels, int numLevels,
                                           int lowerLevel, int upperLevel) {
    if (!pp::NonNull(src, histogram, levels) || !pp::ValidSize(width, height) || numLevels < 2) {
        return false;
    }
    const int bins = numLevels - 1;
    EvenLevels(levels, numLevels, lowerLevel, upperLevel);

    // Only values a 16-bit pixel can take need reading out. Levels from lower to upper never
    // descend when upper > lower, so each bin is a run of consecutive values.
    const int first = std::clamp(lowerLevel, 0, kValueCount);
    const int end = std::clamp(upperLevel, 0, kValueCount);
    if (end <= first) {
        std::fill(histogram, histogram + bins, 0);
        return true;
    }
    // Clearing the copies costs more than they save when there are few pixels per value.
    const double pixels = static_cast<double>(width) * height;
    const int copies = pixels >= 8.0 * (end - first) ? kCopies : 1;
    Count* counts = CounterTables(copies, first, end);
    CountValues(src, srcStep, width, height, counts, copies > 1 ? kTableSize : 0);
    PrefixSums(counts, copies, first, end);
    Count below = counts[std::clamp(levels[0], first, end)];
    for (int k = 0; k < bins; ++k) {
        const Count upTo = counts[std::clamp(levels[k + 1], first, end)];
        histogram[k] = static_cast<int>(upTo - below);
        below = upTo;
    }
    return true;
}
