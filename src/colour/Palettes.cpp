#include <Varnik/Soloma/ImageProcessing/Palettes.h>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

constexpr int kEntries = 65536;
constexpr int kLastEntry = kEntries - 1;

// A fixed colour of a palette at `at` thousandths of its length.
struct ControlPoint {
    int at;
    unsigned char red, green, blue;
};

const ControlPoint kGrey[] = {{0, 0, 0, 0}, {1000, 255, 255, 255}};

// Luminance rises from each point to the next, so it rises along the whole palette.
const ControlPoint kIron[] = {
    {0, 0, 0, 0},          // black
    {150, 32, 0, 140},     // deep blue
    {350, 160, 0, 160},    // magenta
    {600, 235, 95, 15},    // orange
    {850, 255, 215, 0},    // yellow
    {1000, 255, 255, 255}  // white
};

const ControlPoint kRainbow[] = {
    {0, 0, 0, 255},      // blue
    {250, 0, 255, 255},  // cyan
    {500, 0, 255, 0},    // green
    {750, 255, 255, 0},  // yellow
    {1000, 255, 0, 0}    // red
};

// c0 at entry p0 to c1 at entry p1, at entry i of p0..p1, rounded half up. All terms are
// non-negative, so integer division rounds as intended.
unsigned char Interpolate(int c0, int c1, std::int64_t p0, std::int64_t p1, std::int64_t i) {
    const std::int64_t length = p1 - p0;
    return static_cast<unsigned char>((2 * (c0 * (p1 - i) + c1 * (i - p0)) + length) /
                                      (2 * length));
}

// One palette, filled once by its constructor. Static storage: nothing is ever freed.
struct PaletteTable {
    RGBQUAD entries[kEntries];

    template <int N>
    explicit PaletteTable(const ControlPoint (&points)[N]) {
        static_assert(N >= 2, "a palette needs both ends");
        for (int k = 0; k + 1 < N; ++k) {
            const std::int64_t p0 = static_cast<std::int64_t>(points[k].at) * kLastEntry / 1000;
            const std::int64_t p1 = static_cast<std::int64_t>(points[k + 1].at) * kLastEntry / 1000;
            const ControlPoint& a = points[k];
            const ControlPoint& b = points[k + 1];
            for (std::int64_t i = p0; i <= p1; ++i) {
                RGBQUAD& entry = entries[i];
                entry.rgbRed = Interpolate(a.red, b.red, p0, p1, i);
                entry.rgbGreen = Interpolate(a.green, b.green, p0, p1, i);
                entry.rgbBlue = Interpolate(a.blue, b.blue, p0, p1, i);
                entry.rgbReserved = 255;
            }
        }
    }
};

// One frame row, as a gather from the table: the entries are read as 4-byte words, and the
// restrict qualifiers tell the compiler that the byte stores do not touch the table.
SOLOMA_MULTIVERSION void ApplyRow(const unsigned short* __restrict src,
                                  const RGBQUAD* __restrict table, float low, float span,
                                  float scale, unsigned char* __restrict dst, int width) {
    for (int x = 0; x < width; ++x) {
        const float offset = std::min(std::max(static_cast<float>(src[x]) - low, 0.0f), span);
        const int index = std::min(static_cast<int>(offset * scale + 0.5f), kLastEntry);
        std::uint32_t colour;
        std::memcpy(&colour, &table[index], sizeof colour);
        std::memcpy(dst + 4 * static_cast<std::ptrdiff_t>(x), &colour, sizeof colour);
    }
}

// Pixels are counted into several interleaved copies of a histogram, added at the end: runs
// of equal values then increment different counters instead of waiting on one.
constexpr int kCopies = 4;

// coarse[b] += the number of pixels whose high byte is b.
void CountHighBytes(const unsigned short* src, int srcStep, int width, int height,
                    std::int64_t* coarse) {
    std::int64_t copies[kCopies][256] = {};
    for (int y = 0; y < height; ++y) {
        const unsigned short* row = RowAt(src, srcStep, y);
        int x = 0;
        for (; x + kCopies <= width; x += kCopies) {
            for (int c = 0; c < kCopies; ++c) {
                ++copies[c][row[x + c] >> 8];
            }
        }
        for (; x < width; ++x) {
            ++copies[0][row[x] >> 8];
        }
    }
    for (int b = 0; b < 256; ++b) {
        for (int c = 0; c < kCopies; ++c) {
            coarse[b] += copies[c][b];
        }
    }
}

// lowFine[v] (highFine[v]) += the number of pixels whose high byte is lowBin (highBin) and
// whose low byte is v. Each pixel is one increment: into the low table's half, the high
// table's half or a slot that is not read.
void CountLowBytes(const unsigned short* src, int srcStep, int width, int height, int lowBin,
                   int highBin, std::int64_t* lowFine, std::int64_t* highFine) {
    constexpr int kUnused = 512;
    int slotOfBin[256];
    std::fill_n(slotOfBin, 256, kUnused);
    slotOfBin[highBin] = 256;
    slotOfBin[lowBin] = 0;  // when the bins are one, its counts go to both tables below
    std::int64_t copies[kCopies][kUnused + 256] = {};
    auto slot = [&](unsigned short v) {
        const int base = slotOfBin[v >> 8];
        return base == kUnused ? kUnused : base + (v & 255);
    };
    for (int y = 0; y < height; ++y) {
        const unsigned short* row = RowAt(src, srcStep, y);
        int x = 0;
        for (; x + kCopies <= width; x += kCopies) {
            for (int c = 0; c < kCopies; ++c) {
                ++copies[c][slot(row[x + c])];
            }
        }
        for (; x < width; ++x) {
            ++copies[0][slot(row[x])];
        }
    }
    for (int v = 0; v < 256; ++v) {
        for (int c = 0; c < kCopies; ++c) {
            lowFine[v] += copies[c][v];
            highFine[v] += copies[c][lowBin == highBin ? v : 256 + v];
        }
    }
}

// The value at `rank` (0-based, ascending) among the pixels whose high byte is `coarseBin`,
// which hold ranks from `before` on.
int ValueAtRank(const std::int64_t* fine, int coarseBin, std::int64_t before, std::int64_t rank) {
    for (int bin = 0; bin < 256; ++bin) {
        before += fine[bin];
        if (rank < before) {
            return coarseBin * 256 + bin;
        }
    }
    return coarseBin * 256 + 255;  // not reached: the bin holds the rank
}

// The coarse bin (high byte) that holds `rank`, and in *before the count of the bins below it.
int CoarseBinOf(const std::int64_t* coarse, std::int64_t rank, std::int64_t* before) {
    std::int64_t below = 0;
    for (int bin = 0; bin < 256; ++bin) {
        if (rank < below + coarse[bin]) {
            *before = below;
            return bin;
        }
        below += coarse[bin];
    }
    *before = below;
    return 255;  // not reached: the ranks are those of existing pixels
}

}  // namespace

const RGBQUAD* Palettes::Table(Kind kind) {
    switch (kind) {
        case Iron: {
            static const PaletteTable table(kIron);
            return table.entries;
        }
        case Rainbow: {
            static const PaletteTable table(kRainbow);
            return table.entries;
        }
        default: {
            static const PaletteTable table(kGrey);
            return table.entries;
        }
    }
}

bool Palettes::FromName(const char* name, Kind* kind) {
    if (name == nullptr || kind == nullptr) {
        return false;
    }
    const struct {
        const char* name;
        Kind kind;
    } known[] = {{"grey", Grey}, {"gray", Grey}, {"iron", Iron}, {"rainbow", Rainbow}};
    for (const auto& entry : known) {
        if (std::strcmp(name, entry.name) == 0) {
            *kind = entry.kind;
            return true;
        }
    }
    return false;
}

void Palettes::Apply(const unsigned short* src, int srcStep, Kind kind, int low, int high,
                     unsigned char* dst, int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
    const RGBQUAD* table = Table(kind);
    // The span and the scale are taken from the same float so that the largest offset maps
    // onto the last entry however the division rounds; an empty or reversed range is a span
    // of one count, which sends everything above low to the last entry.
    const double range = std::max(static_cast<double>(high) - low, 1.0);
    const float span = static_cast<float>(range);
    const float scale = static_cast<float>(kLastEntry / static_cast<double>(span));
    const float lowValue = static_cast<float>(low);
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        ApplyRow(RowAt(src, srcStep, y), table, lowValue, span, scale, RowAt(dst, dstStep, y),
                 width);
    }
}

void Palettes::DisplayRange(const unsigned short* src, int srcStep, int width, int height, int* low,
                            int* high) {
    int lowValue = 0;
    int highValue = kLastEntry;
    if (ValidImage(src, srcStep, width, height)) {
        // Two passes, exact: the high bytes find the 256-value bins that hold the two ranks,
        // then the low bytes of those bins' pixels find the values.
        std::int64_t coarse[256] = {};
        CountHighBytes(src, srcStep, width, height, coarse);
        const std::int64_t count = static_cast<std::int64_t>(width) * height;
        const std::int64_t lowRank = (count - 1) / 100;
        const std::int64_t highRank = count - 1 - lowRank;
        std::int64_t lowBefore = 0;
        std::int64_t highBefore = 0;
        const int lowBin = CoarseBinOf(coarse, lowRank, &lowBefore);
        const int highBin = CoarseBinOf(coarse, highRank, &highBefore);
        std::int64_t lowFine[256] = {};
        std::int64_t highFine[256] = {};
        CountLowBytes(src, srcStep, width, height, lowBin, highBin, lowFine, highFine);
        lowValue = ValueAtRank(lowFine, lowBin, lowBefore, lowRank);
        highValue = ValueAtRank(highFine, highBin, highBefore, highRank);
        if (highValue == lowValue) {
            if (highValue < kLastEntry) {
                ++highValue;
            } else {
                --lowValue;
            }
        }
    }
    if (low != nullptr) {
        *low = lowValue;
    }
    if (high != nullptr) {
        *high = highValue;
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
