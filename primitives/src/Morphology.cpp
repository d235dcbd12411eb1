#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

// 3x3 dilation and erosion of 8-bit images. Both forms read the one-pixel ring round the
// region (the caller provides it) and never write it.
namespace {

// out[x] = op over the 3x3 neighbourhood, given the rows above, at and below the output row;
// each row pointer addresses column 0 and columns -1 and width must be readable.
template <typename Op>
inline void Row3x3(const unsigned char* above, const unsigned char* centre,
                   const unsigned char* below, unsigned char* __restrict out, int width, Op op) {
    for (int x = 0; x < width; ++x) {
        unsigned char a = op(op(above[x - 1], above[x]), above[x + 1]);
        unsigned char c = op(op(centre[x - 1], centre[x]), centre[x + 1]);
        unsigned char b = op(op(below[x - 1], below[x]), below[x + 1]);
        out[x] = op(op(a, c), b);
    }
}

struct Max {
    unsigned char operator()(unsigned char a, unsigned char b) const { return std::max(a, b); }
};
struct Min {
    unsigned char operator()(unsigned char a, unsigned char b) const { return std::min(a, b); }
};

PP_MULTIVERSION void DilateRow(const unsigned char* above, const unsigned char* centre,
                               const unsigned char* below, unsigned char* out, int width) {
    Row3x3(above, centre, below, out, width, Max{});
}

PP_MULTIVERSION void ErodeRow(const unsigned char* above, const unsigned char* centre,
                              const unsigned char* below, unsigned char* out, int width) {
    Row3x3(above, centre, below, out, width, Min{});
}

using RowKernel = void (*)(const unsigned char*, const unsigned char*, const unsigned char*,
                           unsigned char*, int);

bool Apply(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep, int width,
           int height, RowKernel kernel) {
    if (!pp::NonNull(src, dst) || !pp::ValidSize(width, height)) {
        return false;
    }
    for (int y = 0; y < height; ++y) {
        kernel(pp::RowAt(src, srcStep, y - 1), pp::RowAt(src, srcStep, y),
               pp::RowAt(src, srcStep, y + 1), pp::RowAt(dst, dstStep, y), width);
    }
    return true;
}

// In place: every output row needs the rows above, at and below it as they stood before the
// call. The row below is still untouched when a row is written, so only the previous and the
// current source rows (with their ring columns) are kept as copies. The ring itself is read
// exactly as by the out-of-place form and never written, so both forms agree bit for bit.
bool ApplyInPlace(unsigned char* image, int step, int width, int height, RowKernel kernel) {
    if (image == nullptr || !pp::ValidSize(width, height)) {
        return false;
    }
    std::size_t rowBytes = static_cast<std::size_t>(width) + 2;
    std::unique_ptr<unsigned char[]> copies(new (std::nothrow) unsigned char[2 * rowBytes]);
    if (!copies) {
        return false;
    }
    unsigned char* previous = copies.get() + 1;  // column 0 of the saved rows
    unsigned char* current = previous + rowBytes;
    std::memcpy(previous - 1, pp::RowAt(image, step, -1) - 1, rowBytes);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = pp::RowAt(image, step, y);
        std::memcpy(current - 1, row - 1, rowBytes);
        kernel(previous, current, pp::RowAt(image, step, y + 1), row, width);
        std::swap(previous, current);
    }
    return true;
}

}  // namespace

bool PixelPrimitives::Dilate3x3_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst,
                                      int dstStep, int width, int height) {
    return Apply(src, srcStep, dst, dstStep, width, height, DilateRow);
}

bool PixelPrimitives::Erode3x3_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst,
                                     int dstStep, int width, int height) {
    return Apply(src, srcStep, dst, dstStep, width, height, ErodeRow);
}

bool PixelPrimitives::Dilate3x3_8u_C1I(unsigned char* srcDst, int srcDstStep, int width,
                                       int height) {
    return ApplyInPlace(srcDst, srcDstStep, width, height, DilateRow);
}

bool PixelPrimitives::Erode3x3_8u_C1I(unsigned char* srcDst, int srcDstStep, int width,
                                      int height) {
    return ApplyInPlace(srcDst, srcDstStep, width, height, ErodeRow);
}
