#include <PixelPrimitives/PixelPrimitives.h>

#include "Common.h"
#include "ElementWise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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

bool Ascending(const int* levels, int numLevels) {
    for (int k = 0; k + 1 < numLevels; ++k) {
        if (levels[k + 1] < levels[k]) {
            return false;
        }
    }
    return true;
}

// Calls paint(k, begin, end) for every bin k with the part of [levels[k], levels[k+1]) in
// the span. Bins go from last to first, so that where bins overlap (levels not ascending)
// the first matching bin is painted last and wins. Values in no bin keep their identity.
// Inlined, so that each painter's clone gets its own copy of the painting loops.
template <typename Paint>
[[gnu::always_inline]] inline void ForEachBinFromLast(Span span, const int* levels, int numLevels,
                                                      Paint paint) {
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

// One bin's line as the exact fraction numerator(v) / run, with
// numerator(v) = values[k] * run + (v - levels[k]) * rise. Every input is an int, so each
// factor and difference is exact in double.
struct Line {
    double base;
    double from;
    double rise;
    double run;
};

Line LineOfBin(const int* values, const int* levels, int k) {
    return {double(values[k]), double(levels[k]), double(values[k + 1]) - values[k],
            double(levels[k + 1]) - levels[k]};
}

double FarthestOffset(const Line& line, int begin, int end) {
    return std::max(std::fabs(begin - line.from), std::fabs(end - 1 - line.from));
}

// Whether every numerator over [begin, end), its terms, and the numerator plus run, fit an
// int with room to spare, so no integer form of the line can overflow.
bool FitsInt(const Line& line, int begin, int end) {
    const double farthest = FarthestOffset(line, begin, end);
    return farthest < 0x1p30 && std::fabs(line.rise) < 0x1p30 &&
           std::fabs(line.base) * line.run + farthest * std::fabs(line.rise) + line.run < 0x1p30;
}

// Whether every numerator over [begin, end) stays below 2^52 and so is formed exactly in
// double. The bound itself is rounded, but by far less than the margin to 2^53.
bool ExactInDouble(const Line& line, int begin, int end) {
    const double farthest = FarthestOffset(line, begin, end);
    return std::fabs(line.base) * line.run + farthest * std::fabs(line.rise) < 0x1p52;
}

// numerator / run rounded to nearest even and saturated, without a division per value.
// A numerator outside [0, 65536 * run] saturates whatever its rounding, so it is clamped
// into that range; the quotient is then at most 2^16, its estimate through the reciprocal
// errs by far less than one, and a single step either way corrects it. The remainder left
// is exact (all terms are integers below 2^53), so ties are found exactly.
PP_MULTIVERSION void PaintLineExactly(u16* table, int begin, int end, Line line) {
    const double top = 65536.0 * line.run;
    const double reciprocal = 1.0 / line.run;
    const double start = line.base * line.run;
    for (int v = begin; v < end; ++v) {
        const double numerator = start + (double(v) - line.from) * line.rise;
        const double n = std::min(std::max(numerator, 0.0), top);
        // n >= 0: truncation is the floor. Selects and bitwise operators rather than branches,
        // so that the loop vectorises.
        const int estimate = static_cast<int>(n * reciprocal);
        const double estimateRest = n - estimate * line.run;
        const int whole = estimate + int(estimateRest >= line.run) - int(estimateRest < 0);
        const double rest = n - whole * line.run;
        const int up = int(rest + rest > line.run) | (int(rest + rest == line.run) & whole);
        table[v] = static_cast<u16>(std::min(whole + (up & 1), 65535));
    }
}

typedef int IntLanes8 __attribute__((vector_size(32)));
typedef u16 WordLanes8 __attribute__((vector_size(16)));

// The usual bins, a power of two wide (2^shift) with numerators that fit an int: the
// rounded quotient is a shift. Bins are often only a few values wide, so the loop is inlined
// into the painter's clones and goes in fixed vector blocks of eight values rather than a
// general vector loop whose set-up would cost more than the bin. The last block ends at `end`
// and may repaint values of the one before with the same results.
[[gnu::always_inline]] inline void PaintLineByShift(u16* table, int begin, int end, int start,
                                                    int from, int rise, int shift) {
    const pp::ShiftRoundHalfEven<int> divide(shift);
    constexpr int kBlock = 8;
    if (end - begin < kBlock) {
        for (int v = begin; v < end; ++v) {
            table[v] = static_cast<u16>(std::clamp(divide(start + (v - from) * rise), 0, 65535));
        }
        return;
    }
    const IntLanes8 lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const IntLanes8 bias = divide.Bias() + IntLanes8{};
    const IntLanes8 oddMask = divide.OddMask() + IntLanes8{};
    const int lastBlock = end - kBlock;
    for (int v = begin;; v += kBlock) {
        const int block = std::min(v, lastBlock);
        const IntLanes8 p = start + ((block - from) + lane) * rise;
        IntLanes8 q = (p + bias + ((p >> shift) & oddMask)) >> shift;
        q = q < 0 ? 0 : q;
        q = q > 65535 ? 65535 : q;
        const WordLanes8 words = __builtin_convertvector(q, WordLanes8);
        std::memcpy(table + block, &words, sizeof words);
        if (block == lastBlock) {
            break;
        }
    }
}

// The same in 128-bit integers, for lines too steep or too high for double; no caller
// comes near them, so it is kept simple.
void PaintLineWide(u16* table, int begin, int end, const int* values, const int* levels, int k) {
    const __int128 run = static_cast<__int128>(levels[k + 1]) - levels[k];
    const __int128 rise = static_cast<__int128>(values[k + 1]) - values[k];
    for (int v = begin; v < end; ++v) {
        const __int128 numerator = values[k] * run + (v - static_cast<__int128>(levels[k])) * rise;
        if (numerator < 0) {
            table[v] = 0;
            continue;
        }
        const __int128 q = numerator / run;
        const __int128 r = numerator % run;
        const bool up = 2 * r > run || (2 * r == run && (q & 1) != 0);
        table[v] = static_cast<u16>(std::min<__int128>(q + (up ? 1 : 0), 65535));
    }
}

// values[k] + (v - levels[k]) * (values[k+1] - values[k]) / (levels[k+1] - levels[k]),
// the exact fraction rounded to nearest even and saturated.
PP_MULTIVERSION void PaintLines(u16* table, Span span, const int* values, const int* levels,
                                int numLevels) {
    ForEachBinFromLast(span, levels, numLevels, [&](int k, int begin, int end) {
        const Line line = LineOfBin(values, levels, k);
        const long long run = static_cast<long long>(levels[k + 1]) - levels[k];
        if ((run & (run - 1)) == 0 && FitsInt(line, begin, end)) {
            const int shift = __builtin_ctzll(static_cast<unsigned long long>(run));
            PaintLineByShift(table, begin, end, values[k] * static_cast<int>(run), levels[k],
                             values[k + 1] - values[k], shift);
        } else if (ExactInDouble(line, begin, end)) {
            PaintLineExactly(table, begin, end, line);
        } else {
            PaintLineWide(table, begin, end, values, levels, k);
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
