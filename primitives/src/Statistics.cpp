#include <PixelPrimitives/PixelPrimitives.h>

#include "Common.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using pp::RowAt;
using u16 = unsigned short;
using u64 = std::uint64_t;

// Floating-point sums keep this many independent partial results. Spelling the lanes out
// lets GCC vectorise them without reassociating, and fixes the summation order so that the
// result is the same on every machine and for every clone.
constexpr int kLanes = 16;

// A float's bits read as a signed integer, with the magnitude bits of negative numbers
// flipped, order like the numbers (-0 just below +0). The integer min/max vectorise where
// a NaN-aware float comparison does not. The mapping is its own inverse.
inline std::int32_t OrderedKey(std::int32_t bits) {
    return bits ^ ((bits >> 31) & 0x7FFFFFFF);
}

// Smallest and largest non-NaN pixel; both NaN when there is none.
PP_MULTIVERSION void Range32f(const float* src, int step, int width, int height, float* minOut,
                              float* maxOut) {
    constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kNoneLow = std::numeric_limits<std::int32_t>::min();
    std::int32_t lo = kNone;
    std::int32_t hi = kNoneLow;
    for (int y = 0; y < height; ++y) {
        const float* row = RowAt(src, step, y);
        for (int x = 0; x < width; ++x) {
            std::int32_t bits;
            std::memcpy(&bits, row + x, sizeof(bits));
            const std::int32_t key = OrderedKey(bits);
            // All ones for a NaN: it then offers each reduction its neutral element.
            const std::int32_t nan = -static_cast<std::int32_t>((bits & 0x7FFFFFFF) > 0x7F800000);
            lo = std::min(lo, (key & ~nan) | (kNone & nan));
            hi = std::max(hi, (key & ~nan) | (kNoneLow & nan));
        }
    }
    // The neutral elements are keys of NaNs, so hi keeps its start value only if no pixel
    // was a number.
    if (hi == kNoneLow) {
        *minOut = *maxOut = std::numeric_limits<float>::quiet_NaN();
        return;
    }
    const std::int32_t loBits = OrderedKey(lo);
    const std::int32_t hiBits = OrderedKey(hi);
    std::memcpy(minOut, &loBits, sizeof(loBits));
    std::memcpy(maxOut, &hiBits, sizeof(hiBits));
}

// Four rows per pass: the rows' elementwise extremes are independent work that hides the
// latency of the running extreme, and the vector-to-scalar reduction that ends each pass
// is paid once per four rows.
PP_MULTIVERSION void Range16u(const u16* src, int step, int width, int height, u16* minOut,
                              u16* maxOut) {
    u16 mn = std::numeric_limits<u16>::max();
    u16 mx = 0;
    int y = 0;
    for (; y + 4 <= height; y += 4) {
        const u16* r0 = RowAt(src, step, y);
        const u16* r1 = RowAt(src, step, y + 1);
        const u16* r2 = RowAt(src, step, y + 2);
        const u16* r3 = RowAt(src, step, y + 3);
        for (int x = 0; x < width; ++x) {
            mn = std::min(mn, std::min(std::min(r0[x], r1[x]), std::min(r2[x], r3[x])));
            mx = std::max(mx, std::max(std::max(r0[x], r1[x]), std::max(r2[x], r3[x])));
        }
    }
    for (; y < height; ++y) {
        const u16* row = RowAt(src, step, y);
        for (int x = 0; x < width; ++x) {
            mn = std::min(mn, row[x]);
            mx = std::max(mx, row[x]);
        }
    }
    *minOut = mn;
    *maxOut = mx;
}

// Position of the first extreme pixel in row-major order: the vectorised row extremes pick
// the first row that holds it, and one scan of that row finds the column.
template <bool kMax>
inline void ExtremeIndex16u(const u16* src, int step, int width, int height, u16* value,
                            int* indexX, int* indexY) {
    auto rowExtreme = [width](const u16* row) {
        u16 e = kMax ? 0 : std::numeric_limits<u16>::max();
        for (int x = 0; x < width; ++x) {
            e = kMax ? std::max(e, row[x]) : std::min(e, row[x]);
        }
        return e;
    };
    u16 best = rowExtreme(src);
    int bestRow = 0;
    for (int y = 1; y < height; ++y) {
        u16 e = rowExtreme(RowAt(src, step, y));
        if (kMax ? e > best : e < best) {
            best = e;
            bestRow = y;
        }
    }
    const u16* row = RowAt(src, step, bestRow);
    int x = 0;
    while (row[x] != best) {
        ++x;
    }
    *value = best;
    *indexX = x;
    *indexY = bestRow;
}

PP_MULTIVERSION void MinIndex16u(const u16* src, int step, int width, int height, u16* value,
                                 int* indexX, int* indexY) {
    ExtremeIndex16u<false>(src, step, width, height, value, indexX, indexY);
}

PP_MULTIVERSION void MaxIndex16u(const u16* src, int step, int width, int height, u16* value,
                                 int* indexX, int* indexY) {
    ExtremeIndex16u<true>(src, step, width, height, value, indexX, indexY);
}

PP_MULTIVERSION double Sum32f(const float* src, int step, int width, int height) {
    double acc[kLanes] = {};
    for (int y = 0; y < height; ++y) {
        const float* row = RowAt(src, step, y);
        int x = 0;
        for (; x + kLanes <= width; x += kLanes) {
            for (int j = 0; j < kLanes; ++j) {
                acc[j] += static_cast<double>(row[x + j]);
            }
        }
        for (int j = 0; x < width; ++x, ++j) {
            acc[j] += static_cast<double>(row[x]);
        }
    }
    double sum = 0.0;
    for (int j = 0; j < kLanes; ++j) {
        sum += acc[j];
    }
    return sum;
}

// Exact integer sums of v and v*v; 64 bits hold them for any image of fewer than 2^31 pixels.
// Each row segment is summed in 32-bit lanes, eight to a vector rather than four in 64 bits:
// a segment of kSegment pixels cannot overflow them, since v and both 16-bit halves of v*v
// are each below 2^16. The segment totals then go into the 64-bit sums.
constexpr int kSegment = 65536;

PP_MULTIVERSION void Moments16u(const u16* src, int step, int width, int height, u64* sum,
                                u64* sumSquares) {
    u64 s = 0;
    u64 s2 = 0;
    for (int y = 0; y < height; ++y) {
        const u16* row = RowAt(src, step, y);
        for (int start = 0; start < width; start += kSegment) {
            const int n = std::min(kSegment, width - start);
            std::uint32_t total = 0;
            std::uint32_t low = 0;
            std::uint32_t high = 0;
            for (int x = 0; x < n; ++x) {
                const std::uint32_t v = row[start + x];
                const std::uint32_t square = v * v;
                total += v;
                low += square & 0xFFFF;
                high += square >> 16;
            }
            s += total;
            s2 += (static_cast<u64>(high) << 16) + low;
        }
    }
    *sum = s;
    *sumSquares = s2;
}

PP_MULTIVERSION u64 Sum16u(const u16* src, int step, int width, int height) {
    u64 s = 0;
    for (int y = 0; y < height; ++y) {
        const u16* row = RowAt(src, step, y);
        for (int start = 0; start < width; start += kSegment) {
            const int n = std::min(kSegment, width - start);
            std::uint32_t total = 0;
            for (int x = 0; x < n; ++x) {
                total += row[start + x];
            }
            s += total;
        }
    }
    return s;
}

double PixelCount(int width, int height) {
    return static_cast<double>(width) * static_cast<double>(height);
}

}  // namespace

bool PixelPrimitives::Max_32f_C1(const float* src, int srcStep, int width, int height, float* max) {
    if (!pp::NonNull(src, max) || !pp::ValidSize(width, height)) {
        return false;
    }
    float unusedMin = 0.0f;
    Range32f(src, srcStep, width, height, &unusedMin, max);
    return true;
}

bool PixelPrimitives::MinMax_16u_C1(const unsigned short* src, int srcStep, int width, int height,
                                    unsigned short* min, unsigned short* max) {
    if (!pp::NonNull(src, min, max) || !pp::ValidSize(width, height)) {
        return false;
    }
    Range16u(src, srcStep, width, height, min, max);
    return true;
}

bool PixelPrimitives::MinMax_32f_C1(const float* src, int srcStep, int width, int height,
                                    float* min, float* max) {
    if (!pp::NonNull(src, min, max) || !pp::ValidSize(width, height)) {
        return false;
    }
    Range32f(src, srcStep, width, height, min, max);
    return true;
}

bool PixelPrimitives::MinIndx_16u_C1R(const unsigned short* src, int srcStep, int width, int height,
                                      unsigned short* value, int* indexX, int* indexY) {
    if (!pp::NonNull(src, value, indexX, indexY) || !pp::ValidSize(width, height)) {
        return false;
    }
    MinIndex16u(src, srcStep, width, height, value, indexX, indexY);
    return true;
}

bool PixelPrimitives::MaxIndx_16u_C1R(const unsigned short* src, int srcStep, int width, int height,
                                      unsigned short* value, int* indexX, int* indexY) {
    if (!pp::NonNull(src, value, indexX, indexY) || !pp::ValidSize(width, height)) {
        return false;
    }
    MaxIndex16u(src, srcStep, width, height, value, indexX, indexY);
    return true;
}

bool PixelPrimitives::Mean_32f_C1R(const float* src, int srcStep, int width, int height,
                                   double* mean, bool /*accurate*/) {
    if (!pp::NonNull(src, mean) || !pp::ValidSize(width, height)) {
        return false;
    }
    *mean = Sum32f(src, srcStep, width, height) / PixelCount(width, height);
    return true;
}

bool PixelPrimitives::Mean_StdDev_16u_C1R(const unsigned short* src, int srcStep, int width,
                                          int height, double* mean, double* stdDev) {
    if (!pp::NonNull(src, mean, stdDev) || !pp::ValidSize(width, height)) {
        return false;
    }
    u64 s = 0;
    u64 s2 = 0;
    Moments16u(src, srcStep, width, height, &s, &s2);
    // Centre on the integer part q of the mean while still exact: sum (v - q)^2 equals
    // s2 - q (s + r) with r = s mod n, and the fractional part then removes r^2 / n. This
    // avoids the cancellation of s2/n - mean^2 for a narrow range far from zero.
    const u64 n = static_cast<u64>(width) * static_cast<u64>(height);
    const u64 q = s / n;
    const u64 r = s % n;
    const u64 centred = s2 - q * (s + r);
    const double count = static_cast<double>(n);
    const double rd = static_cast<double>(r);
    const double variance = (static_cast<double>(centred) - rd * rd / count) / count;
    *mean = static_cast<double>(s) / count;
    *stdDev = std::sqrt(std::max(variance, 0.0));
    return true;
}

bool PixelPrimitives::Sum_16u_C1R(const unsigned short* src, int srcStep, int width, int height,
                                  double* sum) {
    if (!pp::NonNull(src, sum) || !pp::ValidSize(width, height)) {
        return false;
    }
    *sum = static_cast<double>(Sum16u(src, srcStep, width, height));
    return true;
}

bool PixelPrimitives::Sum_32f_C1R(const float* src, int srcStep, int width, int height, double* sum,
                                  bool /*accurate*/) {
    if (!pp::NonNull(src, sum) || !pp::ValidSize(width, height)) {
        return false;
    }
    *sum = Sum32f(src, srcStep, width, height);
    return true;
}
