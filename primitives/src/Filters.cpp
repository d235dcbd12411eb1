#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

// The window sums across rows of column sums, the inner loop of the box and uniform filters,
// are written with Highway: Highway compiles them once per instruction set, re-including this
// file for each, and picks one at run time. They build a row's shifted copies in registers
// from one load per vector, which plain loops cannot express.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Filters.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;

// Vectors of at least eight lanes shift in registers; narrower ones load the shifted copies.
#undef PP_SLIDES
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
#define PP_SLIDES 1

// Lanes k to k + N - 1 of lo's lanes followed by hi's, for k <= N. Highway's lane shifts
// stay within 128-bit blocks, so the whole-vector shift is made here per instruction set.
template <int k>
HWY_INLINE VF Slide(DF d, VF lo, VF hi) {
#if HWY_TARGET <= HWY_AVX3
    const hn::RebindToSigned<DF> di;
    const __m512i lanes = _mm512_alignr_epi32(hn::BitCast(di, hi).raw, hn::BitCast(di, lo).raw, k);
    return hn::BitCast(d, hn::Vec<decltype(di)>{lanes});
#else
    const VF middle = hn::ConcatLowerUpper(d, hi, lo);  // lanes 4 to 11
    if constexpr (k == 0) {
        return lo;
    } else if constexpr (k < 4) {
        return hn::CombineShiftRightLanes<k>(d, middle, lo);
    } else if constexpr (k == 4) {
        return middle;
    } else if constexpr (k < 8) {
        return hn::CombineShiftRightLanes<k - 4>(d, hi, middle);
    } else {
        return hi;
    }
#endif
}

// sum + lanes k, k + 1, ..., kTaps - 1 of (lo, hi), added in that order.
template <int k, int kTaps>
HWY_INLINE VF AddSlides(DF d, VF sum, VF lo, VF hi) {
    if constexpr (k == kTaps) {
        return sum;
    } else {
        return AddSlides<k + 1, kTaps>(d, hn::Add(sum, Slide<k>(d, lo, hi)), lo, hi);
    }
}
#endif

// Writes outputs first to n - 1 with vector(x), which gives the outputs x to x + N - 1, or,
// in a row shorter than a vector, with scalar(x). The last vector overlaps
// the one before it rather than reading past the sums.
template <class Vector, class Scalar>
HWY_INLINE void FinishRow(DF d, int first, int n, float* out, Vector vector, Scalar scalar) {
    const int lanes = static_cast<int>(hn::Lanes(d));
    if (n < lanes) {
        for (int x = first; x < n; ++x) {
            out[x] = scalar(x);
        }
        return;
    }
    int x = first;
    for (; x + lanes <= n; x += lanes) {
        hn::StoreU(vector(x), d, out + x);
    }
    if (x < n) {
        hn::StoreU(vector(n - lanes), d, out + n - lanes);
    }
}

// out[x] = weight * (((p[x] + p[x + 2]) + p[x + 4]) + c[x + 6]) with p[i] = c[i] + c[i + 1]:
// the seven-wide window as the generic window row adds it. c holds n + 6 sums and starts at
// a vector boundary, so that its loads stay within cache lines.
void Window7(const float* c, int n, float weight, float* out) {
    const DF d;
    const VF w = hn::Set(d, weight);
    int x = 0;
#ifdef PP_SLIDES
    const int lanes = static_cast<int>(hn::Lanes(d));
    // The pairs are made a vector ahead, in registers; the last column is loaded unaligned,
    // which keeps the shuffles and the loads about equally busy. Reads c up to x + 3 * lanes.
    if (n + 6 >= 3 * lanes) {
        VF c1 = hn::LoadU(d, c + lanes);
        VF p0 = hn::Add(hn::LoadU(d, c), hn::LoadU(d, c + 1));
        for (; x + 3 * lanes <= n + 6; x += lanes) {
            const VF c2 = hn::LoadU(d, c + x + 2 * lanes);
            const VF p1 = hn::Add(c1, Slide<1>(d, c1, c2));
            VF sum = hn::Add(p0, Slide<2>(d, p0, p1));
            sum = hn::Add(sum, Slide<4>(d, p0, p1));
            sum = hn::Add(sum, hn::LoadU(d, c + x + 6));
            hn::StoreU(hn::Mul(sum, w), d, out + x);
            c1 = c2;
            p0 = p1;
        }
    }
#endif
    auto pair = [&](int i) { return hn::Add(hn::LoadU(d, c + i), hn::LoadU(d, c + i + 1)); };
    auto vector = [&](int i) {
        VF sum = hn::Add(pair(i), pair(i + 2));
        sum = hn::Add(sum, pair(i + 4));
        return hn::Mul(hn::Add(sum, hn::LoadU(d, c + i + 6)), w);
    };
    auto scalar = [&](int i) {
        float sum = (c[i] + c[i + 1]) + (c[i + 2] + c[i + 3]);
        sum += c[i + 4] + c[i + 5];
        return (sum + c[i + 6]) * weight;
    };
    FinishRow(d, x, n, out, vector, scalar);
}

// out[x] = (c[x] + c[x + 1] + ... + c[x + kTaps - 1]) / divisor, added in that order and
// divided in float: the box filters' means. c holds n + kTaps - 1 sums from a vector boundary.
template <int kTaps>
HWY_INLINE void BoxWindow(const float* c, int n, int divisor, float* out) {
    const DF d;
    const float divisorF = static_cast<float>(divisor);
    const VF divisorV = hn::Set(d, divisorF);
    int x = 0;
#ifdef PP_SLIDES
    const int lanes = static_cast<int>(hn::Lanes(d));
    if (n + kTaps - 1 >= 2 * lanes) {  // reads c up to x + 2 * lanes
        VF c0 = hn::LoadU(d, c);
        for (; x + 2 * lanes <= n + kTaps - 1; x += lanes) {
            const VF c1 = hn::LoadU(d, c + x + lanes);
            hn::StoreU(hn::Div(AddSlides<1, kTaps>(d, c0, c0, c1), divisorV), d, out + x);
            c0 = c1;
        }
    }
#endif
    auto vector = [&](int i) {
        VF sum = hn::LoadU(d, c + i);
        for (int k = 1; k < kTaps; ++k) {
            sum = hn::Add(sum, hn::LoadU(d, c + i + k));
        }
        return hn::Div(sum, divisorV);
    };
    auto scalar = [&](int i) {
        float sum = c[i];
        for (int k = 1; k < kTaps; ++k) {
            sum += c[i + k];
        }
        return sum / divisorF;
    };
    FinishRow(d, x, n, out, vector, scalar);
}

void BoxWindow3(const float* c, int n, int divisor, float* out) {
    BoxWindow<3>(c, n, divisor, out);
}

void BoxWindow5(const float* c, int n, int divisor, float* out) {
    BoxWindow<5>(c, n, divisor, out);
}

}  // namespace HWY_NAMESPACE
}  // namespace
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
// Linear filters. Every output row is built by row kernels that add weighted (or, for box
// kernels, plain) input rows one tap at a time across the whole row: each pixel gets its taps
// in the same fixed order, and the loop over pixels vectorises. Nothing is allocated: the
// separable filters work in the caller's buffer, the general filter on the stack.
namespace {

HWY_EXPORT(Window7);
HWY_EXPORT(BoxWindow3);
HWY_EXPORT(BoxWindow5);

// Adds weights[t] * inputs[t][x] to out[x] for t = 0, 1, ... in order. Taps are added four
// per pass over the row, each pixel still adding them one after the other, so the result is
// that of the plain tap-by-tap sum with a quarter of the traffic.
[[gnu::always_inline]] inline void AddWeighted(const float* const* inputs, const float* weights,
                                               int taps, float* __restrict out, int width) {
    int t = 0;
    for (; t + 4 <= taps; t += 4) {
        const float* a = inputs[t];
        const float* b = inputs[t + 1];
        const float* c = inputs[t + 2];
        const float* d = inputs[t + 3];
        const float wa = weights[t], wb = weights[t + 1], wc = weights[t + 2], wd = weights[t + 3];
        for (int x = 0; x < width; ++x) {
            float sum = out[x];
            sum += wa * a[x];
            sum += wb * b[x];
            sum += wc * c[x];
            sum += wd * d[x];
            out[x] = sum;
        }
    }
    for (; t < taps; ++t) {
        const float* a = inputs[t];
        const float wa = weights[t];
        for (int x = 0; x < width; ++x) {
            out[x] += wa * a[x];
        }
    }
}

// out[x] = sum over t of weights[t] * inputs[t][x], accumulated in float in order of t.
PP_MULTIVERSION_WIDE void WeightedSum(const float* const* inputs, const float* weights, int taps,
                                      float* __restrict out, int width) {
    const float* a = inputs[0];
    const float wa = weights[0];
    for (int x = 0; x < width; ++x) {
        out[x] = wa * a[x];
    }
    AddWeighted(inputs + 1, weights + 1, taps - 1, out, width);
}

// Continues a weighted sum that WeightedSum began with earlier taps.
PP_MULTIVERSION_WIDE void AccumulateWeighted(const float* const* inputs, const float* weights,
                                             int taps, float* __restrict out, int width) {
    AddWeighted(inputs, weights, taps, out, width);
}

// out[x] = finish(inputs[0][x] + inputs[1][x] + ... + inputs[N - 1][x]), added in that order
// in one pass over the row.
template <int N, typename Finish>
[[gnu::always_inline]] inline void SumFixed(const float* const* inputs, float* __restrict out,
                                            int width, Finish finish) {
    const float* in[N];
    for (int t = 0; t < N; ++t) {
        in[t] = inputs[t];
    }
    for (int x = 0; x < width; ++x) {
        float sum = in[0][x];
        for (int t = 1; t < N; ++t) {
            sum += in[t][x];
        }
        out[x] = finish(sum);
    }
}

// The same for any count: eight rows in the first pass, four per pass after it, and the
// finish in a pass of its own.
template <typename Finish>
[[gnu::always_inline]] inline void SumMany(const float* const* inputs, int count,
                                           float* __restrict out, int width, Finish finish) {
    SumFixed<8>(inputs, out, width, [](float sum) { return sum; });
    int t = 8;
    for (; t + 4 <= count; t += 4) {
        const float* a = inputs[t];
        const float* b = inputs[t + 1];
        const float* c = inputs[t + 2];
        const float* d = inputs[t + 3];
        for (int x = 0; x < width; ++x) {
            out[x] = (((out[x] + a[x]) + b[x]) + c[x]) + d[x];
        }
    }
    for (; t < count; ++t) {
        const float* a = inputs[t];
        for (int x = 0; x < width; ++x) {
            out[x] += a[x];
        }
    }
    for (int x = 0; x < width; ++x) {
        out[x] = finish(out[x]);
    }
}

// out[x] = finish(inputs[0][x] + ... + inputs[count - 1][x]): the weighted sum of weights
// that are all 1 (multiplying by 1 is exact), without the multiplications. The counts of
// the usual windows get a single pass over the row.
template <typename Finish>
[[gnu::always_inline]] inline void SumRowsThen(const float* const* inputs, int count,
                                               float* __restrict out, int width, Finish finish) {
    switch (count) {
        case 1:
            return SumFixed<1>(inputs, out, width, finish);
        case 2:
            return SumFixed<2>(inputs, out, width, finish);
        case 3:
            return SumFixed<3>(inputs, out, width, finish);
        case 4:
            return SumFixed<4>(inputs, out, width, finish);
        case 5:
            return SumFixed<5>(inputs, out, width, finish);
        case 6:
            return SumFixed<6>(inputs, out, width, finish);
        case 7:
            return SumFixed<7>(inputs, out, width, finish);
        default:
            return SumMany(inputs, count, out, width, finish);
    }
}

PP_MULTIVERSION_WIDE void SumRows(const float* const* inputs, int count, float* __restrict out,
                                  int width) {
    SumRowsThen(inputs, count, out, width, [](float sum) { return sum; });
}

// The sum times factor, rounded once more.
PP_MULTIVERSION_WIDE void SumRowsScaled(const float* const* inputs, int count,
                                        float* __restrict out, int width, float factor) {
    SumRowsThen(inputs, count, out, width, [factor](float sum) { return sum * factor; });
}

// The sum divided by divisor as a float division, correctly rounded, for the box filters'
// means. (A double product with the reciprocal rounds the same but is slower here.)
PP_MULTIVERSION_WIDE void SumRowsDivided(const float* const* inputs, int count,
                                         float* __restrict out, int width, int divisor) {
    const float d = static_cast<float>(divisor);
    SumRowsThen(inputs, count, out, width, [d](float sum) { return sum / d; });
}

// Column sums of two consecutive output rows whose windows share all but their first and
// last rows: with shared = rows[1] + ... + rows[count - 1], upper = rows[0] + shared and
// lower = shared + rows[count], in one pass that keeps the shared sum in registers.
template <int N>
[[gnu::always_inline]] inline void PairFixed(const float* const* rows, float* __restrict upper,
                                             float* __restrict lower, int width) {
    const float* in[N + 1];
    for (int t = 0; t <= N; ++t) {
        in[t] = rows[t];
    }
    for (int x = 0; x < width; ++x) {
        float shared = in[1][x];
        for (int t = 2; t < N; ++t) {
            shared += in[t][x];
        }
        upper[x] = in[0][x] + shared;
        lower[x] = shared + in[N][x];
    }
}

PP_MULTIVERSION_WIDE void ColumnSumsPair(const float* const* rows, int count,
                                         float* __restrict upper, float* __restrict lower,
                                         int width) {
    switch (count) {
        case 2:
            return PairFixed<2>(rows, upper, lower, width);
        case 3:
            return PairFixed<3>(rows, upper, lower, width);
        case 4:
            return PairFixed<4>(rows, upper, lower, width);
        case 5:
            return PairFixed<5>(rows, upper, lower, width);
        case 6:
            return PairFixed<6>(rows, upper, lower, width);
        case 7:
            return PairFixed<7>(rows, upper, lower, width);
        case 8:
            return PairFixed<8>(rows, upper, lower, width);
        default:
            break;
    }
    // Taller windows: the shared sum goes through `lower`, in the same order.
    SumRowsThen(rows + 1, count - 1, lower, width, [](float sum) { return sum; });
    const float* first = rows[0];
    const float* last = rows[count];
    for (int x = 0; x < width; ++x) {
        upper[x] = first[x] + lower[x];
        lower[x] += last[x];
    }
}

// Scratch of the separable filters, carved from the caller's buffer: a ring of row-pass
// results (one row per tap, indexed by source row modulo taps), a constant row, the tap
// weights, two column-sum rows with room for the border columns on either side, and row
// pointers.
constexpr std::size_t kScratchAlignment = 64;

std::size_t AlignUp(std::size_t bytes) {
    return (bytes + kScratchAlignment - 1) / kScratchAlignment * kScratchAlignment;
}

struct Scratch {
    float* ring;
    std::size_t ringStride;  // floats
    float* constantRow;
    float* weights;
    float* upperSums;  // width + taps - 1 floats each
    float* lowerSums;
    const float** rowInputs;  // taps + 1 pointers
    const float** columnInputs;
    const float** upperInputs;
    const float** lowerInputs;
};

// Byte offsets of the scratch parts; `total` includes slack for aligning the buffer.
struct ScratchLayout {
    std::size_t ringStride;
    std::size_t ring;
    std::size_t constantRow;
    std::size_t weights;
    std::size_t sumsStride;
    std::size_t sums;
    std::size_t pointers;
    std::size_t total;
};

ScratchLayout LayoutFor(int width, int taps) {
    std::size_t w = static_cast<std::size_t>(width);
    std::size_t k = static_cast<std::size_t>(taps);
    ScratchLayout l{};
    l.ringStride = AlignUp(w * sizeof(float));
    l.ring = 0;
    l.constantRow = l.ring + k * l.ringStride;
    l.weights = l.constantRow + l.ringStride;
    l.sumsStride = AlignUp((w + k - 1) * sizeof(float));
    l.sums = l.weights + AlignUp(k * sizeof(float));
    l.pointers = l.sums + 2 * l.sumsStride;
    l.total = l.pointers + 4 * (k + 1) * sizeof(const float*) + kScratchAlignment;
    return l;
}

Scratch CarveScratch(unsigned char* buffer, int width, int taps) {
    auto address = reinterpret_cast<std::uintptr_t>(buffer);
    unsigned char* base = buffer + (AlignUp(address) - address);
    ScratchLayout l = LayoutFor(width, taps);
    Scratch s{};
    s.ring = reinterpret_cast<float*>(base + l.ring);
    s.ringStride = l.ringStride / sizeof(float);
    s.constantRow = reinterpret_cast<float*>(base + l.constantRow);
    s.weights = reinterpret_cast<float*>(base + l.weights);
    s.upperSums = reinterpret_cast<float*>(base + l.sums);
    s.lowerSums = reinterpret_cast<float*>(base + l.sums + l.sumsStride);
    s.rowInputs = reinterpret_cast<const float**>(base + l.pointers);
    s.columnInputs = s.rowInputs + (taps + 1);
    s.upperInputs = s.columnInputs + (taps + 1);
    s.lowerInputs = s.upperInputs + (taps + 1);
    return s;
}

bool ScratchSize(int width, int height, int taps, int* bufferSize) {
    if (bufferSize == nullptr || !pp::ValidSize(width, height)) {
        return false;
    }
    std::size_t total = LayoutFor(width, taps).total;
    if (total > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    *bufferSize = static_cast<int>(total);
    return true;
}

// How pixels beyond the image edge are made up.
struct Border {
    bool replicate;
    float value;  // of every outside pixel when not replicating
};

// The row pass of one pixel, tap by tap: at(i) gives the row's pixel i, or what the border
// puts there. The vector passes add their taps in the same order, so results agree.
template <typename At>
float TapsAt(int first, int taps, const float* weights, At at) {
    float sum = weights != nullptr ? weights[0] * at(first) : at(first);
    for (int t = 1; t < taps; ++t) {
        sum += weights != nullptr ? weights[t] * at(first + t) : at(first + t);
    }
    return sum;
}

// Row pass of one row into out (not in place). Pixels whose taps all lie inside the row read
// it where it is; the few within the radius of either end are done one by one.
void RowPass(const float* row, int width, int taps, const float* weights, Border border,
             const Scratch& s, float* out) {
    const int radius = taps / 2;
    const int inner = width - 2 * radius;
    if (inner > 0) {
        for (int t = 0; t < taps; ++t) {
            s.rowInputs[t] = row + t;
        }
        if (weights == nullptr) {
            SumRows(s.rowInputs, taps, out + radius, inner);
        } else {
            WeightedSum(s.rowInputs, weights, taps, out + radius, inner);
        }
    }
    auto at = [&](int x) {
        if (x >= 0 && x < width) {
            return row[x];
        }
        return border.replicate ? row[std::clamp(x, 0, width - 1)] : border.value;
    };
    const int leftEnd = std::min(radius, width);
    for (int x = 0; x < leftEnd; ++x) {
        out[x] = TapsAt(x - radius, taps, weights, at);
    }
    for (int x = std::max(width - radius, leftEnd); x < width; ++x) {
        out[x] = TapsAt(x - radius, taps, weights, at);
    }
}

// Separable filter with one symmetric odd-length kernel for rows and columns: a row pass into
// a ring of rows, then a column pass over the ring. With null weights it is the box mean:
// plain sums, divided by taps * taps. Reads only the width x height region.
void SeparableFilter(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
                     const float* weights, int taps, Border border, const Scratch& s) {
    if (!border.replicate) {
        // The row pass of an all-border row: the same sum at every pixel.
        const float value = TapsAt(0, taps, weights, [&](int) { return border.value; });
        std::fill(s.constantRow, s.constantRow + width, value);
    }
    // Source rows are row-passed once each, in increasing order, into slot row % taps; a
    // window of `taps` consecutive rows never needs two rows of one slot.
    int radius = taps / 2;
    int nextRow = 0;
    for (int y = 0; y < height; ++y) {
        for (int t = 0; t < taps; ++t) {
            int sy = y - radius + t;
            if (!border.replicate && (sy < 0 || sy >= height)) {
                s.columnInputs[t] = s.constantRow;
                continue;
            }
            sy = std::clamp(sy, 0, height - 1);
            float* slot = s.ring + static_cast<std::size_t>(sy % taps) * s.ringStride;
            if (sy == nextRow) {
                RowPass(pp::RowAt(src, srcStep, sy), width, taps, weights, border, s, slot);
                ++nextRow;
            }
            s.columnInputs[t] = slot;
        }
        float* out = pp::RowAt(dst, dstStep, y);
        if (weights == nullptr) {
            SumRowsDivided(s.columnInputs, taps, out, width, taps * taps);
        } else {
            WeightedSum(s.columnInputs, weights, taps, out, width);
        }
    }
}

// The box mean (all weights 1), columns first: per output row the column sums of its `taps`
// source rows (rows beyond the edge made up by the border), padded with the border's columns,
// then the window across them, divided by taps * taps. All of it stays in a few rows of
// scratch. Rows go in twos that sum their shared rows once.
void BoxFilter(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
               int taps, Border border, const Scratch& s) {
    const int radius = taps / 2;
    if (!border.replicate) {
        std::fill(s.constantRow, s.constantRow + width, border.value);
    }
    // The column sum of a column beyond the left or right edge with a constant border.
    const float outside = TapsAt(0, taps, nullptr, [&](int) { return border.value; });
    auto sourceRow = [&](int sy) {
        if (!border.replicate && (sy < 0 || sy >= height)) {
            return static_cast<const float*>(s.constantRow);
        }
        return pp::RowAt(src, srcStep, std::clamp(sy, 0, height - 1));
    };
    // Column sums start `radius` floats into their row; the border columns go either side.
    auto finishRow = [&](float* sums, const float** window, int y) {
        for (int i = 0; i < radius; ++i) {
            sums[i] = border.replicate ? sums[radius] : outside;
            sums[radius + width + i] = border.replicate ? sums[radius + width - 1] : outside;
        }
        float* out = pp::RowAt(dst, dstStep, y);
        if (taps == 3) {
            HWY_DYNAMIC_DISPATCH(BoxWindow3)(sums, width, 9, out);
        } else if (taps == 5) {
            HWY_DYNAMIC_DISPATCH(BoxWindow5)(sums, width, 25, out);
        } else {
            SumRowsDivided(window, taps, out, width, taps * taps);
        }
    };
    for (int t = 0; t < taps; ++t) {
        s.upperInputs[t] = s.upperSums + t;
        s.lowerInputs[t] = s.lowerSums + t;
    }
    for (int y = 0; y < height; y += 2) {
        const bool pair = y + 1 < height;
        for (int t = 0; t < taps + (pair ? 1 : 0); ++t) {
            s.rowInputs[t] = sourceRow(y - radius + t);
        }
        if (!pair) {
            SumRows(s.rowInputs, taps, s.upperSums + radius, width);
            finishRow(s.upperSums, s.upperInputs, y);
            break;
        }
        ColumnSumsPair(s.rowInputs, taps, s.upperSums + radius, s.lowerSums + radius, width);
        finishRow(s.upperSums, s.upperInputs, y);
        finishRow(s.lowerSums, s.lowerInputs, y + 1);
    }
}

bool LowpassBox(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
                int size, Border border, unsigned char* buffer) {
    if (!pp::NonNull(src, dst, buffer) || !pp::ValidSize(width, height)) {
        return false;
    }
    // Plain sums keep integer sums exact; the mean is a true division.
    BoxFilter(src, srcStep, dst, dstStep, width, height, size, border,
              CarveScratch(buffer, width, size));
    return true;
}

bool ValidGaussSize(int kernelSize) {
    return kernelSize >= 3 && kernelSize % 2 == 1;
}

// The sampled Gaussian normalised to unit sum, formed in double and rounded once to float.
void GaussWeights(int kernelSize, float sigma, float* weights) {
    double centre = (kernelSize - 1) / 2.0;
    double twoSigmaSquared = 2.0 * static_cast<double>(sigma) * static_cast<double>(sigma);
    auto sample = [&](int i) { return std::exp(-(i - centre) * (i - centre) / twoSigmaSquared); };
    double sum = 0.0;
    for (int i = 0; i < kernelSize; ++i) {
        sum += sample(i);
    }
    for (int i = 0; i < kernelSize; ++i) {
        weights[i] = static_cast<float>(sample(i) / sum);
    }
}

// Uniform kernels up to this side take the window-sum path of the general filter; the strip
// of output columns it sums at a time bounds its stack scratch.
constexpr int kMaxUniformSide = 64;
constexpr int kUniformStrip = 1024;

bool IsUniform(const float* kernel, int kernelWidth, int kernelHeight) {
    if (kernelWidth > kMaxUniformSide || kernelHeight > kMaxUniformSide) {
        return false;
    }
    const float* end = kernel + kernelWidth * kernelHeight;
    return std::all_of(kernel, end, [&](float k) { return k == kernel[0]; });
}

// Window sums of a row of column sums, times the weight: out[x] = weight * (c[x] + ... +
// c[x + kernelWidth - 1]) for n pixels. Adjacent pairs are added first and the window adds
// every other pair, which takes about half the additions of adding columns one by one.
void WindowRow(const float* columnSums, float* pairs, int n, int kernelWidth, float weight,
               float* out) {
    if (kernelWidth == 7) {
        HWY_DYNAMIC_DISPATCH(Window7)(columnSums, n, weight, out);
        return;
    }
    const float* inputs[kMaxUniformSide];
    int count = 0;
    if (kernelWidth >= 2) {
        const float* both[2] = {columnSums, columnSums + 1};
        SumRows(both, 2, pairs, n + kernelWidth - 2);
        for (int j = 0; j + 2 <= kernelWidth; j += 2) {
            inputs[count++] = pairs + j;
        }
    }
    if (kernelWidth % 2 == 1) {
        inputs[count++] = columnSums + kernelWidth - 1;
    }
    SumRowsScaled(inputs, count, out, n, weight);
}

// A kernel whose entries are all `weight`: the window's sum times the weight, instead of a
// multiplication per tap. Per strip of output columns, the window's rows are summed into
// column sums, and WindowRow adds those across. Two output rows share all but one row of
// their windows, so rows are taken in twos and the shared rows summed once: row y's column
// sums are r[y] + shared, row y + 1's are shared + r[y + kernelHeight]. Direct sums, not
// running ones, so rounding errors do not build up along the image; the order of every
// sum is fixed. (With the weight applied last, the sum of a window of values near
// FLT_MAX / taps could overflow where the weighted sum does not; images are far below that.)
void UniformFilter(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
                   float weight, int kernelWidth, int kernelHeight, int anchorX, int anchorY) {
    constexpr int kSpan = kUniformStrip + kMaxUniformSide - 1;
    alignas(64) float upperSums[kSpan];
    alignas(64) float lowerSums[kSpan];
    alignas(64) float pairs[kSpan];
    const float* rows[kMaxUniformSide + 1];
    // The window of output pixel (x, y) spans columns x + anchorX - (kernelWidth - 1) to
    // x + anchorX and rows y + anchorY - (kernelHeight - 1) to y + anchorY.
    const int left = anchorX - (kernelWidth - 1);
    const int top = anchorY - (kernelHeight - 1);
    int step = 1;
    for (int y = 0; y < height; y += step) {
        step = kernelHeight > 1 && y + 1 < height ? 2 : 1;
        for (int x0 = 0; x0 < width; x0 += kUniformStrip) {
            const int n = std::min(kUniformStrip, width - x0);
            const int span = n + kernelWidth - 1;
            for (int i = 0; i < kernelHeight + step - 1; ++i) {
                rows[i] = pp::RowAt(src, srcStep, y + top + i) + x0 + left;
            }
            float* out = pp::RowAt(dst, dstStep, y) + x0;
            if (step == 1) {
                SumRows(rows, kernelHeight, upperSums, span);
                WindowRow(upperSums, pairs, n, kernelWidth, weight, out);
                continue;
            }
            ColumnSumsPair(rows, kernelHeight, upperSums, lowerSums, span);
            WindowRow(upperSums, pairs, n, kernelWidth, weight, out);
            WindowRow(lowerSums, pairs, n, kernelWidth, weight, pp::RowAt(out, dstStep, 1));
        }
    }
}

// The general kernel, tap by tap in the order of the kernel's entries. The row pointers of
// the taps are made a block at a time, so that no kernel size needs memory of its own.
void GeneralFilter(const float* src, int srcStep, float* dst, int dstStep, int width, int height,
                   const float* kernel, int kernelWidth, int taps, int anchorX, int anchorY) {
    constexpr int kBlock = 64;
    const float* inputs[kBlock];
    for (int y = 0; y < height; ++y) {
        float* out = pp::RowAt(dst, dstStep, y);
        for (int t0 = 0; t0 < taps; t0 += kBlock) {
            const int n = std::min(kBlock, taps - t0);
            // Convolution: tap (i, j) reads the source pixel at (x + anchorX - j, y + anchorY - i).
            for (int t = t0; t < t0 + n; ++t) {
                const int i = t / kernelWidth, j = t % kernelWidth;
                inputs[t - t0] = pp::RowAt(src, srcStep, y + anchorY - i) + (anchorX - j);
            }
            if (t0 == 0) {
                WeightedSum(inputs, kernel, n, out, width);
            } else {
                AccumulateWeighted(inputs, kernel + t0, n, out, width);
            }
        }
    }
}

}  // namespace

bool PixelPrimitives::Filter_32f_C1(const float* src, int srcStep, float* dst, int dstStep,
                                    int width, int height, const float* kernel, int kernelWidth,
                                    int kernelHeight, int anchorX, int anchorY) {
    if (!pp::NonNull(src, dst, kernel) || !pp::ValidSize(width, height) ||
        !pp::ValidSize(kernelWidth, kernelHeight)) {
        return false;
    }
    if (anchorX < 0 || anchorX >= kernelWidth || anchorY < 0 || anchorY >= kernelHeight) {
        return false;
    }
    long long taps = static_cast<long long>(kernelWidth) * kernelHeight;
    if (taps > std::numeric_limits<int>::max()) {
        return false;
    }
    if (IsUniform(kernel, kernelWidth, kernelHeight)) {
        UniformFilter(src, srcStep, dst, dstStep, width, height, kernel[0], kernelWidth,
                      kernelHeight, anchorX, anchorY);
    } else {
        GeneralFilter(src, srcStep, dst, dstStep, width, height, kernel, kernelWidth,
                      static_cast<int>(taps), anchorX, anchorY);
    }
    return true;
}

bool PixelPrimitives::FilterLowpassGetBufferSize3x3_32f_C1R(int width, int height,
                                                            int* bufferSize) {
    return ScratchSize(width, height, 3, bufferSize);
}

bool PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(int width, int height,
                                                            int* bufferSize) {
    return ScratchSize(width, height, 5, bufferSize);
}

bool PixelPrimitives::FilterLowpassBorder3x3_32f_C1R(const float* src, int srcStep, float* dst,
                                                     int dstStep, int width, int height,
                                                     unsigned char* buffer) {
    return LowpassBox(src, srcStep, dst, dstStep, width, height, 3, Border{true, 0.0f}, buffer);
}

bool PixelPrimitives::FilterLowpassBorder5x5_32f_C1R(const float* src, int srcStep, float* dst,
                                                     int dstStep, int width, int height,
                                                     unsigned char* buffer) {
    return LowpassBox(src, srcStep, dst, dstStep, width, height, 5, Border{true, 0.0f}, buffer);
}

bool PixelPrimitives::FilterLowpassBorderConst5x5_32f_C1R(const float* src, int srcStep, float* dst,
                                                          int dstStep, int width, int height,
                                                          float borderValue,
                                                          unsigned char* buffer) {
    return LowpassBox(src, srcStep, dst, dstStep, width, height, 5, Border{false, borderValue},
                      buffer);
}

bool PixelPrimitives::FilterGaussGetBufferSize_32f_C1(int width, int height, int kernelSize,
                                                      int* bufferSize) {
    if (!ValidGaussSize(kernelSize)) {
        return false;
    }
    return ScratchSize(width, height, kernelSize, bufferSize);
}

bool PixelPrimitives::FilterGaussBorder_32f_C1R(const float* src, int srcStep, float* dst,
                                                int dstStep, int width, int height, int kernelSize,
                                                float sigma, unsigned char* buffer) {
    if (!pp::NonNull(src, dst, buffer) || !pp::ValidSize(width, height) ||
        !ValidGaussSize(kernelSize) || !(sigma > 0.0f)) {
        return false;
    }
    // The weights live in the scratch, so that the call allocates nothing.
    Scratch scratch = CarveScratch(buffer, width, kernelSize);
    GaussWeights(kernelSize, sigma, scratch.weights);
    SeparableFilter(src, srcStep, dst, dstStep, width, height, scratch.weights, kernelSize,
                    Border{true, 0.0f}, scratch);
    return true;
}

#endif  // HWY_ONCE
