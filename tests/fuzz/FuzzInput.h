#pragma once

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace Varnik::Soloma::Fuzz {

// Turns the fuzzer's bytes into sizes, parameters and seeds. Every draw consumes a few bytes
// from the front; once they run out every draw gives 0, so any input is a valid sequence of
// calls. The lists below bias the draws towards the values where loops and kernels change
// behaviour (borders, window sizes, the 60-pixel limit of the shift search) and towards
// values that callers should never pass but hosts sometimes do (NaN, infinities, extremes).
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : _data(data), _size(size) {}

    bool Exhausted() const { return _position >= _size; }

    std::uint8_t Byte() { return _position < _size ? _data[_position++] : 0; }

    std::uint32_t Bits32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | Byte();
        }
        return value;
    }

    bool Bool() { return (Byte() & 1) != 0; }

    // 0 .. count - 1.
    int Below(int count) {
        if (count <= 1) {
            return 0;
        }
        const std::uint32_t raw = count <= 256 ? Byte() : count <= 65536 ? Word() : Bits32();
        return static_cast<int>(raw % static_cast<std::uint32_t>(count));
    }

    // lo .. hi, both included.
    int IntIn(int lo, int hi) {
        const long long span = static_cast<long long>(hi) - lo + 1;
        if (span <= 1) {
            return lo;
        }
        const std::uint32_t raw = span <= 256 ? Byte() : span <= 65536 ? Word() : Bits32();
        return static_cast<int>(lo +
                                static_cast<long long>(raw % static_cast<std::uint64_t>(span)));
    }

    // Any int, most often one of the values that break arithmetic.
    int AnyInt() {
        static const int kSpecial[] = {
            0,      1,       -1,      2,       -2,      3,           7,           8,
            16,     32,      60,      61,      255,     256,         65535,       65536,
            -65536, 1 << 20, 1 << 30, INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1, -(1 << 30)};
        const int choice = Byte();
        if (choice < 128) {
            return kSpecial[choice % (sizeof kSpecial / sizeof kSpecial[0])];
        }
        if (choice < 192) {
            return IntIn(-300, 300);
        }
        return static_cast<int>(Bits32());
    }

    // A parameter that is usually in lo .. hi and sometimes anything at all.
    int IntParam(int lo, int hi) { return Below(4) == 0 ? AnyInt() : IntIn(lo, hi); }

    // lo .. hi in 65536 steps.
    float FloatIn(float lo, float hi) {
        return lo + (hi - lo) * (static_cast<float>(Word()) / 65535.0f);
    }

    float AnyFloat() {
        constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
        constexpr float kInf = std::numeric_limits<float>::infinity();
        static const float kSpecial[] = {0.0f,          -0.0f,    1.0f,         -1.0f, 0.5f,
                                         2.0f,          kNaN,     kInf,         -kInf, FLT_MAX,
                                         -FLT_MAX,      FLT_MIN,  FLT_TRUE_MIN, 1e10f, -1e10f,
                                         2147483648.0f, 65535.5f, 1e-10f};
        const int choice = Byte();
        if (choice < 128) {
            return kSpecial[choice % (sizeof kSpecial / sizeof kSpecial[0])];
        }
        if (choice < 192) {
            return FloatIn(-1000.0f, 1000.0f);
        }
        const std::uint32_t bits = Bits32();
        float value;
        static_assert(sizeof value == sizeof bits);
        __builtin_memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A parameter that is usually in lo .. hi and sometimes anything at all.
    float FloatParam(float lo, float hi) { return Below(4) == 0 ? AnyFloat() : FloatIn(lo, hi); }

    double DoubleParam(double lo, double hi) {
        if (Below(4) == 0) {
            return AnyFloat();
        }
        return lo + (hi - lo) * (static_cast<double>(Bits32()) / 4294967295.0);
    }

    // An image side: mostly from the list, sometimes any size up to 300, rarely long.
    int Side() {
        static const int kSides[] = {1,  1,  2,  2,  3,  4,  5,   6,   7,   8,   9,   11, 13,
                                     15, 16, 17, 20, 31, 32, 33,  41,  59,  60,  61,  62, 63,
                                     64, 65, 66, 80, 81, 96, 100, 127, 128, 129, 160, 200};
        const int choice = Byte();
        if (choice < 216) {
            return kSides[choice % (sizeof kSides / sizeof kSides[0])];
        }
        if (choice < 248) {
            return IntIn(1, 300);
        }
        return IntIn(1000, 4200);
    }

    // Width and height of an image of at most maxPixels pixels: a long side shortens the
    // other one, so that 4097 x 3 occurs but 4097 x 4097 does not.
    void Size(int maxPixels, int* width, int* height) {
        int w = Side();
        int h = Side();
        if (static_cast<long long>(w) * h > maxPixels) {
            if (w >= h) {
                h = w > maxPixels ? 1 : maxPixels / w;
            } else {
                w = h > maxPixels ? 1 : maxPixels / h;
            }
        }
        *width = w > maxPixels ? maxPixels : w;
        *height = h > maxPixels ? maxPixels : h;
    }

    // Elements of padding after each row: none half of the time.
    int Padding() {
        const int choice = Byte();
        if (choice < 128) {
            return 0;
        }
        if (choice < 224) {
            return 1 + choice % 8;
        }
        return IntIn(9, 100);
    }

private:
    std::uint32_t Word() { return (static_cast<std::uint32_t>(Byte()) << 8) | Byte(); }

    const std::uint8_t* _data;
    std::size_t _size;
    std::size_t _position = 0;
};

// Up to `calls` calls while the input lasts, each on a new size of at most maxPixels pixels.
template <typename Call>
void ForEachSize(FuzzInput& input, int calls, int maxPixels, Call call) {
    for (int i = 0; i < calls && !input.Exhausted(); ++i) {
        int width = 0;
        int height = 0;
        input.Size(maxPixels, &width, &height);
        call(width, height);
    }
}

}  // namespace Varnik::Soloma::Fuzz
