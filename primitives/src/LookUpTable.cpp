#include <PixelPrimitives/PixelPrimitives.h>

#include "Common.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using pp::RowAt;
using u16 = unsigned short;

constexpr int kValueCount = 65536;

// The values a table maps: [levels[0], levels[n-1]) within the 16-bit range. All others
// pass through.
struct Span {
    int begin;
    int end;
};

Span MappedSpan(const int* levels, int numLevels) {
    return {std::max(levels[0], 0), std::min(levels[numLevels - 1], kValueCount)};
}

// A table with an entry for every 16-bit value, one per thread, that holds the identity
// between calls. A call paints only its span, maps every pixel with one load (pixels
// outside the span meet their identity entry) and restores the span, so a stream of calls
// neither allocates nor rewrites the whole table.
u16* IdentityTable() {
    thread_local std::vector<u16> table = [] {
        std::vector<u16> identity(kValueCount);
        for (int v = 0; v < kValueCount; ++v) {
            identity[v] = static_cast<u16>(v);
        }
        return identity;
    }();
    return table.data();
}

void RestoreIdentity(u16* table, Span span) {
    for (int v = span.begin; v < span.end; ++v) {
        table[v] = static_cast<u16>(v);
    }
}

// Calls paint(k, begin, end) for every bin k with the part of [levels[k], levels[k+1]) in
// the span. Bins go from last to first, so that where bins overlap (levels not ascending)
// the first matching bin is painted last and wins. Values in no bin keep their identity.
template <typename Paint>
void ForEachBinFromLast(Span span, const int* levels, int numLevels, Paint paint) {
    for (int k = numLevels - 2; k >= 0; --k) {
        const int begin = std::max(levels[k], span.begin);
        const int end = std::min(levels[k + 1], span.end);
        if (begin < end) {
            paint(k, begin, end);
        }
    }
}

u16 Saturate16u(long long v) {
    return static_cast<u16>(std::clamp<long long>(v, 0, 65535));
}

bool Ascending(const int* levels, int numLevels) {
    for (int k = 0; k + 1 < numLevels; ++k) {
        if (levels[k + 1] < levels[k]) {
            return false;
        }
    }
    return true;
}

void PaintSteps(u16* table, Span span, const int* values, const int* levels, int numLevels) {
    if (Ascending(levels, numLevels)) {
        // The usual case, walked value by value: with thousands of narrow bins a run per bin
        // costs more than the values it paints. Each value lies in exactly one bin.
        int k = 0;
        for (int v = span.begin; v < span.end; ++v) {
            while (levels[k + 1] <= v) {
                ++k;
            }
            table[v] = Saturate16u(values[k]);
        }
        return;
    }
    ForEachBinFromLast(span, levels, numLevels, [&](int k, int begin, int end) {
        std::fill(table + begin, table + end, Saturate16u(values[k]));
    });
}

// values[k] + (v - levels[k]) * (values[k+1] - values[k]) / (levels[k+1] - levels[k]) in
// double from the integers, rounded to nearest even. Differences of ints are exact in
// double, so an exact tie stays a tie.
void PaintLines(u16* table, Span span, const int* values, const int* levels, int numLevels) {
    ForEachBinFromLast(span, levels, numLevels, [&](int k, int begin, int end) {
        const double base = values[k];
        const double rise = static_cast<double>(values[k + 1]) - values[k];
        const double run = static_cast<double>(levels[k + 1]) - levels[k];
        for (int v = begin; v < end; ++v) {
            const double offset = static_cast<double>(v) - levels[k];
            const double mapped = base + offset * rise / run;
            table[v] = pp::SaturateCast<u16>(pp::RoundHalfEven(mapped));
        }
    });
}

// dst = table[src], eight pixels at a time: the eight lookups are independent and their
// results leave as one vector store. Loading all eight before storing keeps in-place calls
// correct.
PP_MULTIVERSION void ApplyTable(const u16* src, int srcStep, u16* dst, int dstStep, int width,
                                int height, const u16* table) {
    const int blocks = width / 8;
    const int rest = width % 8;
    for (int y = 0; y < height; ++y) {
        const u16* s = RowAt(src, srcStep, y);
        u16* d = RowAt(dst, dstStep, y);
        for (int b = 0; b < blocks; ++b, s += 8, d += 8) {
            u16 mapped[8];
            for (int j = 0; j < 8; ++j) {
                mapped[j] = table[s[j]];
            }
            for (int j = 0; j < 8; ++j) {
                d[j] = mapped[j];
            }
        }
        for (int x = 0; x < rest; ++x) {
            d[x] = table[s[x]];
        }
    }
}

using Painter = void (*)(u16* table, Span span, const int* values, const int* levels,
                         int numLevels);

bool MapThroughTable(const u16* src, int srcStep, u16* dst, int dstStep, int width, int height,
                     const int* values, const int* levels, int numLevels, Painter paint) {
    if (!pp::NonNull(src, dst, values, levels) || !pp::ValidSize(width, height) || numLevels < 2) {
        return false;
    }
    u16* table = IdentityTable();
    const Span span = MappedSpan(levels, numLevels);
    paint(table, span, values, levels, numLevels);
    ApplyTable(src, srcStep, dst, dstStep, width, height, table);
    RestoreIdentity(table, span);
    return true;
}

PP_MULTIVERSION void ApplyPalette(const u16* src, int srcStep, int* dst, int dstStep, int width,
                                  int height, const int* palette, unsigned mask) {
    for (int y = 0; y < height; ++y) {
        const u16* s = RowAt(src, srcStep, y);
        int* d = RowAt(dst, dstStep, y);
        for (int x = 0; x < width; ++x) {
            d[x] = palette[s[x] & mask];
        }
    }
}

}  // namespace

bool PixelPrimitives::LUT_16u_C1(const unsigned short* src, int srcStep, unsigned short* dst,
                                 int dstStep, int width, int height, const int* values,
                                 const int* levels, int numLevels) {
    return MapThroughTable(src, srcStep, dst, dstStep, width, height, values, levels, numLevels,
                           PaintSteps);
}

bool PixelPrimitives::LUT_16u_C1I(unsigned short* srcDst, int srcDstStep, int width, int height,
                                  const int* values, const int* levels, int numLevels) {
    return MapThroughTable(srcDst, srcDstStep, srcDst, srcDstStep, width, height, values, levels,
                           numLevels, PaintSteps);
}

bool PixelPrimitives::LUT_Linear_16u_C1R(const unsigned short* src, int srcStep,
                                         unsigned short* dst, int dstStep, int width, int height,
                                         const int* values, const int* levels, int numLevels) {
    return MapThroughTable(src, srcStep, dst, dstStep, width, height, values, levels, numLevels,
                           PaintLines);
}

bool PixelPrimitives::LUT_Linear_16u_C1IR(unsigned short* srcDst, int srcDstStep, int width,
                                          int height, const int* values, const int* levels,
                                          int numLevels) {
    return MapThroughTable(srcDst, srcDstStep, srcDst, srcDstStep, width, height, values, levels,
                           numLevels, PaintLines);
}

bool PixelPrimitives::LUTPalette_16u32u_C1R(const unsigned short* src, int srcStep, int* dst,
                                            int dstStep, int width, int height, const int* palette,
                                            int bitSize) {
    if (!pp::NonNull(src, dst, palette) || !pp::ValidSize(width, height) || bitSize < 1 ||
        bitSize > 16) {
        return false;
    }
    const unsigned mask = (1u << bitSize) - 1u;
    ApplyPalette(src, srcStep, dst, dstStep, width, height, palette, mask);
    return true;
}
