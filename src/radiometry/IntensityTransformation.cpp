#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>

#include <PixelPrimitives/VectorPrimitives.h>

#include <algorithm>
#include <cstddef>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The three updates, each in its documented order. The products are separate statements of
// float type and the build does not contract, so no fused multiply-add can form.
SOLOMA_MULTIVERSION void AddRow(const unsigned short* __restrict src, float* __restrict dst,
                                const float* __restrict lut, int width) {
    for (int x = 0; x < width; ++x) {
        dst[x] = dst[x] + lut[src[x]];
    }
}

SOLOMA_MULTIVERSION void AddScaledRow(const unsigned short* __restrict src, float* __restrict dst,
                                      const float* __restrict lut, float factor, int width) {
    for (int x = 0; x < width; ++x) {
        const float product = factor * lut[src[x]];
        dst[x] = product + dst[x];
    }
}

SOLOMA_MULTIVERSION void SubScaledRow(const unsigned short* __restrict src, float* __restrict dst,
                                      const float* __restrict lut, float factor, int width) {
    for (int x = 0; x < width; ++x) {
        const float product = factor * lut[src[x]];
        dst[x] = dst[x] - product;
    }
}

// Runs row(srcRow, dstRow) over the image's rows, in parallel blocks of rows when the
// machine has more than one processor.
template <typename Row>
void ForEachRow(const unsigned short* src, int srcStep, float* dst, int dstStep, int height,
                Row row) {
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        row(RowAt(src, srcStep, y), RowAt(dst, dstStep, y));
    }
}

// The source index of a destination entry: the position truncated toward zero, then kept
// within [0, srcCount - 1]. The bounds are applied to the float first where the truncation
// alone would be undefined (NaN, or beyond the int range); the result is the same.
int SourceIndex(float position, int srcCount) {
    const int last = srcCount - 1;
    if (!(position >= 1.0f)) {  // below 1, or NaN: truncates to 0 or below
        return 0;
    }
    if (position >= 2147483648.0f) {  // 2^31: beyond every int, so beyond the last entry
        return last;
    }
    return std::min(static_cast<int>(position), last);
}

// The accumulating forms read src and lut and update dst.
bool ValidAccumulation(const unsigned short* src, int srcStep, const float* dst, int dstStep,
                       const float* lut, int width, int height) {
    return ValidImage(src, srcStep, width, height) && ValidImage(dst, dstStep, width, height) &&
           lut != nullptr;
}

}  // namespace

IntensityTransformation& IntensityTransformation::operator=(const IntensityTransformation&) {
    return *this;
}

void IntensityTransformation::AddFromLUT(const unsigned short* src, int srcStep, float* dst,
                                         int dstStep, const float* lut, int width, int height) {
    if (!ValidAccumulation(src, srcStep, dst, dstStep, lut, width, height)) {
        return;
    }
    ForEachRow(src, srcStep, dst, dstStep, height,
               [=](const unsigned short* s, float* d) { AddRow(s, d, lut, width); });
}

void IntensityTransformation::AddFromLUT(const unsigned short* src, int srcStep, float* dst,
                                         int dstStep, const float* lut, float factor, int width,
                                         int height) {
    if (!ValidAccumulation(src, srcStep, dst, dstStep, lut, width, height)) {
        return;
    }
    ForEachRow(src, srcStep, dst, dstStep, height,
               [=](const unsigned short* s, float* d) { AddScaledRow(s, d, lut, factor, width); });
}

void IntensityTransformation::SubFromLUT(const unsigned short* src, int srcStep, float* dst,
                                         int dstStep, const float* lut, float factor, int width,
                                         int height) {
    if (!ValidAccumulation(src, srcStep, dst, dstStep, lut, width, height)) {
        return;
    }
    ForEachRow(src, srcStep, dst, dstStep, height,
               [=](const unsigned short* s, float* d) { SubScaledRow(s, d, lut, factor, width); });
}

void IntensityTransformation::CalculateLUT(const int* srcTable, int srcCount, int* dstTable,
                                           int dstCount, int dstFirst, int dstLast) {
    if (srcTable == nullptr || dstTable == nullptr || srcCount < 1 || dstFirst < 0 ||
        dstFirst > dstLast || dstLast >= dstCount) {
        return;
    }
    if (dstFirst > 0) {
        VectorPrimitives::Set_32s(srcTable[0], dstTable, dstFirst);
    }
    // Starts at dstLast, which the loop below overwrites.
    if (dstLast < dstCount - 1) {
        VectorPrimitives::Set_32s(srcTable[srcCount - 1], dstTable + dstLast, dstCount - dstLast);
    }
    // Source entries per destination entry.
    const float step =
        1.0f / (static_cast<float>(dstLast - dstFirst + 1) / static_cast<float>(srcCount));
#pragma omp parallel for schedule(static) if (useParallel)
    for (int i = dstFirst; i <= dstLast; ++i) {
        const float position = static_cast<float>(i - dstFirst) * step;
        dstTable[i] = srcTable[SourceIndex(position, srcCount)];
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
