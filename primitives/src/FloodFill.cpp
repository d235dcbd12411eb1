#include <PixelPrimitives/PixelPrimitives.h>
#include "Common.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

// 8-connected flood fill by runs. The fill works row by row on maximal runs of pixels that
// hold the seed's value: a run is recoloured as soon as it is found and put on a stack in the
// caller's buffer; taking it off the stack, the fill looks for matching pixels in the rows
// above and below, one column wider on each side (diagonal neighbours count), and extends each
// one it meets to its whole run. The searches along a row are vector compares written with
// Highway, which compiles them once per instruction set, re-including this file for each, and
// picks one at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "FloodFill.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#ifndef PP_FLOOD_FILL_STACK
#define PP_FLOOD_FILL_STACK
namespace {

// The stack holds 32-bit words, copied in and out bytewise so that the buffer needs no
// particular alignment. A run of one pixel is one word, its linear index with the top bit set;
// a longer run is two words, the linear index of its last pixel under that of its first. Runs
// on the stack never overlap, so it never holds more than four bytes per recoloured pixel:
// the 4 * width * height bytes of the buffer always suffice.
constexpr std::uint32_t kSinglePixel = 0x80000000u;

class RunStack {
public:
    explicit RunStack(unsigned char* buffer) : _buffer(buffer) {}

    bool Empty() const { return _top == 0; }

    void Push(std::uint32_t first, std::uint32_t last) {
        if (first == last) {
            Put(first | kSinglePixel);
        } else {
            Put(last);
            Put(first);
        }
    }

    void Pop(std::uint32_t* first, std::uint32_t* last) {
        const std::uint32_t word = Take();
        *first = word & ~kSinglePixel;
        *last = (word & kSinglePixel) != 0 ? *first : Take();
    }

private:
    void Put(std::uint32_t word) {
        std::memcpy(_buffer + _top, &word, sizeof word);
        _top += sizeof word;
    }
    std::uint32_t Take() {
        _top -= sizeof(std::uint32_t);
        std::uint32_t word;
        std::memcpy(&word, _buffer + _top, sizeof word);
        return word;
    }

    unsigned char* _buffer;
    std::size_t _top = 0;
};

}  // namespace
#endif  // PP_FLOOD_FILL_STACK

HWY_BEFORE_NAMESPACE();
namespace {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using D8 = hn::ScalableTag<std::uint8_t>;
using M8 = hn::Mask<D8>;

// Searches and stores along one row of `width` pixels. Runs are often only a few pixels long,
// so each step is one vector wherever the run lies: a vector that would reach past the row is
// loaded at the row's end instead, and the lanes outside the range at hand are masked off, which
// spares the branches a pixel-by-pixel loop would mispredict. Rows narrower than a vector (and
// vectors of more than 64 lanes, whose mask bits the backward search cannot hold) go pixel by
// pixel.
class Row {
public:
    Row(std::uint8_t* pixels, int width, std::uint8_t value)
        : _pixels(pixels),
          _width(width),
          _lanes(static_cast<int>(hn::Lanes(D8()))),
          _byVector(_width >= _lanes && _lanes <= 64),
          _value(value) {}

    // The first x in [from, to) whose pixel equals the value (kEqual) or differs from it;
    // `to` when there is none. to <= width.
    template <bool kEqual>
    int Find(int from, int to) const {
        if (!_byVector) {
            for (int x = from; x < to; ++x) {
                if ((_pixels[x] == _value) == kEqual) {
                    return x;
                }
            }
            return to;
        }
        const D8 d;
        for (int x = from; x < to;) {
            const int base = std::min(x, _width - _lanes);
            const hn::Vec<D8> pixels = hn::LoadU(d, _pixels + base);
            const hn::Vec<D8> value = hn::Set(d, _value);
            const std::uint64_t bits =
                Bits(kEqual ? hn::Eq(pixels, value) : hn::Ne(pixels, value)) &
                LaneBits(x - base, to - base);
            if (bits != 0) {
                return base + __builtin_ctzll(bits);
            }
            x = base + _lanes;
        }
        return to;
    }

    // The first column of the run of pixels equal to the value that ends at x.
    int RunStart(int x) const {
        if (!_byVector) {
            while (x > 0 && _pixels[x - 1] == _value) {
                --x;
            }
            return x;
        }
        const D8 d;
        while (x > 0) {
            const int base = std::max(x - _lanes, 0);
            const std::uint64_t bits =
                Bits(hn::Ne(hn::LoadU(d, _pixels + base), hn::Set(d, _value))) &
                LaneBits(0, x - base);
            if (bits != 0) {
                return base + 64 - __builtin_clzll(bits);
            }
            x = base;
        }
        return 0;
    }

    // Sets columns first to last to newValue. A vector that would reach past the run writes
    // the pixels beyond it back as they are.
    void Paint(int first, int last, std::uint8_t newValue) {
        if (!_byVector) {
            std::memset(_pixels + first, newValue, static_cast<std::size_t>(last - first) + 1);
            return;
        }
        const D8 d;
        const hn::Vec<D8> fill = hn::Set(d, newValue);
        for (int x = first; x <= last;) {
            const int base = std::min(x, _width - _lanes);
            const M8 run = Lanes(x - base, last + 1 - base);
            hn::StoreU(hn::IfThenElse(run, fill, hn::LoadU(d, _pixels + base)), d, _pixels + base);
            x = base + _lanes;
        }
    }

private:
    // Lanes from `from` to before `to`; `to` may pass the last lane. (FirstN takes counts up to
    // the lane count: on some targets it compares them as 8-bit lane values.)
    M8 Lanes(int from, int to) const {
        const D8 d;
        return hn::AndNot(hn::FirstN(d, static_cast<std::size_t>(std::min(from, _lanes))),
                          hn::FirstN(d, static_cast<std::size_t>(std::min(to, _lanes))));
    }

    // The same lanes as bits, lane i at bit i.
    static std::uint64_t LaneBits(int from, int to) {
        const std::uint64_t below = to >= 64 ? ~0ull : (1ull << to) - 1;
        return below & (~0ull << from);
    }

    // The mask as bits, lane i at bit i (x86 is little-endian).
    static std::uint64_t Bits(M8 mask) {
        std::uint8_t bytes[8] = {};
        hn::StoreMaskBits(D8(), mask, bytes);
        std::uint64_t bits;
        std::memcpy(&bits, bytes, sizeof bits);
        return bits;
    }

    std::uint8_t* _pixels;
    int _width;
    int _lanes;
    bool _byVector;
    std::uint8_t _value;
};

// The caller has checked the arguments; newValue differs from the seed's value.
void FillRuns(std::uint8_t* image, int step, int width, int height, int seedX, int seedY,
              std::uint8_t newValue, std::uint8_t* buffer) {
    const std::uint32_t w = static_cast<std::uint32_t>(width);
    // Row numbers come back from linear indices by a multiplication, corrected by one where the
    // rounded reciprocal falls short or over.
    const double reciprocal = 1.0 / width;
    const std::uint8_t old = pp::RowAt(image, step, seedY)[seedX];
    RunStack stack(buffer);
    auto take = [&](Row& row, int y, int first, int last) {
        row.Paint(first, last, newValue);
        const std::uint32_t base = static_cast<std::uint32_t>(y) * w;
        stack.Push(base + static_cast<std::uint32_t>(first),
                   base + static_cast<std::uint32_t>(last));
    };
    Row seedRow(pp::RowAt(image, step, seedY), width, old);
    take(seedRow, seedY, seedRow.RunStart(seedX), seedRow.Find<false>(seedX + 1, width) - 1);
    while (!stack.Empty()) {
        std::uint32_t firstIndex;
        std::uint32_t lastIndex;
        stack.Pop(&firstIndex, &lastIndex);
        std::uint32_t y = static_cast<std::uint32_t>(firstIndex * reciprocal);
        if (y * w > firstIndex) {
            --y;
        } else if ((y + 1) * w <= firstIndex) {
            ++y;
        }
        const int first = static_cast<int>(firstIndex - y * w);
        const int last = first + static_cast<int>(lastIndex - firstIndex);
        // Columns whose pixels touch the run, diagonals included.
        const int from = std::max(first - 1, 0);
        const int to = std::min(last + 2, width);
        for (const int ny : {static_cast<int>(y) - 1, static_cast<int>(y) + 1}) {
            if (ny < 0 || ny >= height) {
                continue;
            }
            Row row(pp::RowAt(image, step, ny), width, old);
            for (int x = row.Find<true>(from, to); x < to; x = row.Find<true>(x, to)) {
                // Only a run met at the first column can reach further left.
                const int start = x == from ? row.RunStart(x) : x;
                const int end = row.Find<false>(x + 1, width) - 1;
                take(row, ny, start, end);
                x = end + 2;  // end + 1 holds another value
            }
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace {

HWY_EXPORT(FillRuns);

// Pixels fit the 32-bit indices, below the single-pixel flag, and the stack's byte size fits an
// int.
bool FitsBuffer(int width, int height) {
    long long pixels = static_cast<long long>(width) * height;
    return pixels <= std::numeric_limits<int>::max() / 4;
}

}  // namespace

bool PixelPrimitives::FloodFillGetSize(int width, int height, int* bufferSize) {
    if (bufferSize == nullptr || !pp::ValidSize(width, height) || !FitsBuffer(width, height)) {
        return false;
    }
    *bufferSize = 4 * width * height;
    return true;
}

bool PixelPrimitives::FloodFill_8Con_8u_C1IR(unsigned char* image, int imageStep, int width,
                                             int height, int seedX, int seedY,
                                             unsigned char newValue, unsigned char* buffer) {
    if (!pp::NonNull(image, buffer) || !pp::ValidSize(width, height) ||
        !FitsBuffer(width, height)) {
        return false;
    }
    if (seedX < 0 || seedX >= width || seedY < 0 || seedY >= height) {
        return false;
    }
    if (newValue == pp::RowAt(image, imageStep, seedY)[seedX]) {
        return true;  // the fill would change nothing
    }
    HWY_DYNAMIC_DISPATCH(FillRuns)(image, imageStep, width, height, seedX, seedY, newValue, buffer);
    return true;
}
#endif  // HWY_ONCE
