#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

// 3x3 dilation and erosion of 8-bit images. Both forms read the one-pixel ring round the
// region (the caller provides it) and never write it.
//
// The 3x3 maximum (minimum) is separable: each source row is reduced across its three
// columns once, and each output row is the reduction of three such rows. The reduced rows
// roll through three scratch rows. Output row y is written in the same sweep that reduces row
// y + 1, left to right, so rows y - 1 and y are only read through their reduced copies and row
// y + 1 is read before anything after it is written: the in-place form gives the out-of-place
// result bit for bit without copying the image. The sweeps are written with Highway, which
// compiles them once per instruction set, re-including this file for each, and picks one at
// run time; a row is a handful of vectors, so the loops carry no set-up beyond that.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Morphology.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using D8 = hn::ScalableTag<std::uint8_t>;
using V8 = hn::Vec<D8>;

struct MaxOp {
    V8 operator()(V8 a, V8 b) const { return hn::Max(a, b); }
    std::uint8_t operator()(std::uint8_t a, std::uint8_t b) const { return std::max(a, b); }
};
struct MinOp {
    V8 operator()(V8 a, V8 b) const { return hn::Min(a, b); }
    std::uint8_t operator()(std::uint8_t a, std::uint8_t b) const { return std::min(a, b); }
};

// Runs vector(x) over the row so that, past the first vector, every x + ``phase`` is a
// multiple of the vector size: the stores at that phase then never straddle two cache lines,
// which would halve their rate. The first and the last vector may overlap their neighbours;
// lanes done twice compute the same values again. Rows narrower than a vector go pixel by
// pixel.
template <class Vector, class Scalar>
HWY_INLINE void Sweep(int width, int phase, Vector vector, Scalar scalar) {
    const D8 d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    if (width < lanes) {
        for (int x = 0; x < width; ++x) {
            scalar(x);
        }
        return;
    }
    vector(0);
    int x = lanes - phase % lanes;
    for (; x + lanes <= width; x += lanes) {
        vector(x);
    }
    if (x < width) {
        vector(width - lanes);
    }
}

int Phase(const void* p) {
    const D8 d;
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(p) % hn::Lanes(d));
}

// reduced[x] = op(row[x - 1], row[x], row[x + 1]).
template <class Op>
HWY_INLINE void Reduce(const std::uint8_t* row, std::uint8_t* reduced, int width, Op op) {
    const D8 d;
    Sweep(
        width, Phase(reduced),
        [&](int x) {
            const V8 h =
                op(op(hn::LoadU(d, row + x - 1), hn::LoadU(d, row + x)), hn::LoadU(d, row + x + 1));
            hn::StoreU(h, d, reduced + x);
        },
        [&](int x) { reduced[x] = op(op(row[x - 1], row[x]), row[x + 1]); });
}

// below[x] = op(row[x - 1], row[x], row[x + 1]) and out[x] = op(above[x], centre[x], below[x]).
// below and out are at the same phase.
template <class Op>
HWY_INLINE void ReduceAndWrite(const std::uint8_t* row, const std::uint8_t* above,
                               const std::uint8_t* centre, std::uint8_t* below, std::uint8_t* out,
                               int width, Op op) {
    const D8 d;
    Sweep(
        width, Phase(out),
        [&](int x) {
            const V8 h =
                op(op(hn::LoadU(d, row + x - 1), hn::LoadU(d, row + x)), hn::LoadU(d, row + x + 1));
            hn::StoreU(h, d, below + x);
            hn::StoreU(op(op(hn::LoadU(d, above + x), hn::LoadU(d, centre + x)), h), d, out + x);
        },
        [&](int x) {
            below[x] = op(op(row[x - 1], row[x]), row[x + 1]);
            out[x] = op(op(above[x], centre[x]), below[x]);
        });
}

// One pass over width x height. scratch holds three slots of ScratchSlot(width) bytes, each
// aligned to the vector size; a reduced row is placed in its slot at the phase of the output
// row it is written with.
template <class Op>
HWY_INLINE void Pass(const std::uint8_t* src, int srcStep, std::uint8_t* dst, int dstStep,
                     int width, int height, std::uint8_t* scratch, int slotBytes, Op op) {
    const D8 d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    std::uint8_t* slot[3];
    for (int k = 0; k < 3; ++k) {
        std::uint8_t* start = scratch + k * slotBytes;
        slot[k] = start + (lanes - Phase(start)) % lanes;
    }
    std::uint8_t* above = slot[0];
    std::uint8_t* centre = slot[1];
    Reduce(pp::RowAt(src, srcStep, -1), above, width, op);
    Reduce(pp::RowAt(src, srcStep, 0), centre, width, op);
    int free = 2;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = pp::RowAt(dst, dstStep, y);
        std::uint8_t* below = slot[free] + Phase(out);
        ReduceAndWrite(pp::RowAt(src, srcStep, y + 1), above, centre, below, out, width, op);
        // The slot of the row above is free again.
        free = above < slot[1] ? 0 : above < slot[2] ? 1 : 2;
        above = centre;
        centre = below;
    }
}

void DilatePass(const std::uint8_t* src, int srcStep, std::uint8_t* dst, int dstStep, int width,
                int height, std::uint8_t* scratch, int slotBytes) {
    Pass(src, srcStep, dst, dstStep, width, height, scratch, slotBytes, MaxOp{});
}

void ErodePass(const std::uint8_t* src, int srcStep, std::uint8_t* dst, int dstStep, int width,
               int height, std::uint8_t* scratch, int slotBytes) {
    Pass(src, srcStep, dst, dstStep, width, height, scratch, slotBytes, MinOp{});
}

}  // namespace HWY_NAMESPACE
}  // namespace
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace {

HWY_EXPORT(DilatePass);
HWY_EXPORT(ErodePass);

// Widest run of columns whose scratch rows live on the stack. Wider out-of-place calls work in
// strips of this width; wider in-place calls cannot (a strip would overwrite the columns the
// next strip reads) and take their scratch from the heap.
constexpr int kStackColumns = 4096;
// A scratch slot holds a reduced row plus room to align it and to shift it to any phase: twice
// the widest vector of any target Highway knows (HWY_MAX_BYTES here is only the last target's).
constexpr int kSlotSlack = 2 * 256;

int SlotBytes(int width) {
    return width + kSlotSlack;
}

void RunPass(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep, int width,
             int height, unsigned char* scratch, bool dilate) {
    if (dilate) {
        HWY_DYNAMIC_DISPATCH(DilatePass)
        (src, srcStep, dst, dstStep, width, height, scratch, SlotBytes(width));
    } else {
        HWY_DYNAMIC_DISPATCH(ErodePass)
        (src, srcStep, dst, dstStep, width, height, scratch, SlotBytes(width));
    }
}

bool Apply(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep, int width,
           int height, bool dilate) {
    if (!pp::NonNull(src, dst) || !pp::ValidSize(width, height)) {
        return false;
    }
    unsigned char scratch[3 * (kStackColumns + kSlotSlack)];
    for (int x = 0; x < width; x += kStackColumns) {
        RunPass(src + x, srcStep, dst + x, dstStep, std::min(kStackColumns, width - x), height,
                scratch, dilate);
    }
    return true;
}

bool ApplyInPlace(unsigned char* image, int step, int width, int height, bool dilate) {
    if (image == nullptr || !pp::ValidSize(width, height)) {
        return false;
    }
    if (width <= kStackColumns) {
        unsigned char scratch[3 * (kStackColumns + kSlotSlack)];
        RunPass(image, step, image, step, width, height, scratch, dilate);
        return true;
    }
    std::unique_ptr<unsigned char[]> scratch(
        new (std::nothrow) unsigned char[3 * static_cast<std::size_t>(SlotBytes(width))]);
    if (!scratch) {
        return false;
    }
    RunPass(image, step, image, step, width, height, scratch.get(), dilate);
    return true;
}

}  // namespace

bool PixelPrimitives::Dilate3x3_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst,
                                      int dstStep, int width, int height) {
    return Apply(src, srcStep, dst, dstStep, width, height, true);
}

bool PixelPrimitives::Erode3x3_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst,
                                     int dstStep, int width, int height) {
    return Apply(src, srcStep, dst, dstStep, width, height, false);
}

bool PixelPrimitives::Dilate3x3_8u_C1I(unsigned char* srcDst, int srcDstStep, int width,
                                       int height) {
    return ApplyInPlace(srcDst, srcDstStep, width, height, true);
}

bool PixelPrimitives::Erode3x3_8u_C1I(unsigned char* srcDst, int srcDstStep, int width,
                                      int height) {
    return ApplyInPlace(srcDst, srcDstStep, width, height, false);
}
#endif  // HWY_ONCE
