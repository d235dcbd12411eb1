#pragma once

#include "FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <type_traits>

namespace Varnik::Soloma::Fuzz {

// An image of exactly the bytes its size and pitch need, the last row without padding, so
// that AddressSanitizer reports any read or write past it. Pixels start at zero.
template <typename T>
class FuzzImage {
public:
    // channels values of type T per pixel; paddingElements of T after every row but the last.
    FuzzImage(int width, int height, int channels = 1, int paddingElements = 0)
        : _width(width),
          _height(height),
          _channels(channels),
          _pitch(static_cast<int>((static_cast<std::size_t>(width) * channels + paddingElements) *
                                  sizeof(T))) {
        const std::size_t rowBytes = static_cast<std::size_t>(width) * channels * sizeof(T);
        _bytes = height > 0 ? static_cast<std::size_t>(_pitch) * (height - 1) + rowBytes : 0;
        _storage.reset(new unsigned char[_bytes > 0 ? _bytes : 1]());
    }

    int Width() const { return _width; }
    int Height() const { return _height; }
    int Pitch() const { return _pitch; }
    T* Data() { return reinterpret_cast<T*>(_storage.get()); }
    const T* Data() const { return reinterpret_cast<const T*>(_storage.get()); }
    T* Row(int y) {
        return reinterpret_cast<T*>(_storage.get() + static_cast<std::size_t>(y) * _pitch);
    }
    const T* Row(int y) const {
        return reinterpret_cast<const T*>(_storage.get() + static_cast<std::size_t>(y) * _pitch);
    }

    // Fills every value from a pattern the input chooses: noise over the whole range, a
    // narrow band, a flat frame, gradients with noise, blocks (strong edges) or raw input
    // bytes. Float images may also get NaN and infinities sprinkled in.
    void Fill(FuzzInput& input) {
        Pattern pattern(input);
        const Conversion conversion(input);
        for (int y = 0; y < _height; ++y) {
            T* row = Row(y);
            for (int x = 0; x < _width * _channels; ++x) {
                row[x] = conversion.template To<T>(pattern.Next(x / _channels, y, input));
            }
        }
    }

    // The largest value held (for tables that need an entry per value).
    T Max() const {
        T best = std::numeric_limits<T>::lowest();
        for (int y = 0; y < _height; ++y) {
            const T* row = Row(y);
            for (int x = 0; x < _width * _channels; ++x) {
                best = row[x] > best ? row[x] : best;
            }
        }
        return best;
    }

private:
    // 16-bit values from a seeded generator, so that large images need few input bytes.
    class Pattern {
    public:
        explicit Pattern(FuzzInput& input)
            : _kind(input.Below(7)),
              _state(input.Bits32() | 1u),
              _base(input.IntIn(0, 65535)),
              _span(1 + input.Below(256)),
              _slopeX(input.IntIn(-300, 300)),
              _slopeY(input.IntIn(-300, 300)),
              _block(1 + input.Below(16)) {}

        unsigned Next(int x, int y, FuzzInput& input) {
            switch (_kind) {
                case 0:
                    return Random() & 0xFFFFu;
                case 1:
                    return Clamp(_base + static_cast<int>(Random() % _span));
                case 2:
                    return static_cast<unsigned>(_base);
                case 3:
                    return Clamp(_base + _slopeX * x + _slopeY * y +
                                 static_cast<int>(Random() % _span));
                case 4: {
                    const unsigned cell = Hash((x / _block) * 7919u + (y / _block) * 104729u);
                    return Clamp(_base + static_cast<int>(cell % (64u * _span)));
                }
                case 5:
                    return (Random() % 3 == 0) ? static_cast<unsigned>(_base) : 0u;
                default:
                    return input.Exhausted()
                               ? Random() & 0xFFFFu
                               : (static_cast<unsigned>(input.Byte()) << 8) | input.Byte();
            }
        }

    private:
        unsigned Random() {
            _state ^= _state << 13;
            _state ^= _state >> 17;
            _state ^= _state << 5;
            return _state;
        }
        static unsigned Hash(unsigned v) {
            v ^= v >> 16;
            v *= 0x7feb352du;
            v ^= v >> 15;
            v *= 0x846ca68bu;
            return v ^ (v >> 16);
        }
        static unsigned Clamp(int v) {
            return static_cast<unsigned>(v < 0 ? 0 : v > 65535 ? 65535 : v);
        }

        int _kind;
        unsigned _state;
        int _base;
        unsigned _span;
        int _slopeX;
        int _slopeY;
        int _block;
    };

    // How a 16-bit pattern value becomes a value of T.
    class Conversion {
    public:
        explicit Conversion(FuzzInput& input)
            : _byteKind(input.Below(3)),
              _scale(input.FloatParam(-2.0f, 2.0f)),
              _offset(input.FloatParam(-1000.0f, 1000.0f)),
              _specials(input.Below(4) == 0) {}

        template <typename U>
        U To(unsigned value) const {
            if constexpr (std::is_same_v<U, unsigned short>) {
                return static_cast<unsigned short>(value);
            } else if constexpr (std::is_same_v<U, unsigned char>) {
                return _byteKind == 0   ? static_cast<unsigned char>(value >> 8)
                       : _byteKind == 1 ? static_cast<unsigned char>(value)
                                        : static_cast<unsigned char>((value & 1u) ? 255 : 0);
            } else if constexpr (std::is_same_v<U, int>) {
                return static_cast<int>(value * 65537u);
            } else {
                static_assert(std::is_same_v<U, float>);
                if (_specials && value % 97 == 0) {
                    const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                              std::numeric_limits<float>::infinity(),
                                              -std::numeric_limits<float>::infinity(), 3e38f};
                    return kSpecial[(value / 97) % 4];
                }
                return static_cast<float>(value) * _scale + _offset;
            }
        }

    private:
        int _byteKind;
        float _scale;
        float _offset;
        bool _specials;
    };

    int _width;
    int _height;
    int _channels;
    int _pitch;
    std::size_t _bytes = 0;
    std::unique_ptr<unsigned char[]> _storage;
};

// An image with a random size, padding and content.
template <typename T>
FuzzImage<T> DrawImage(FuzzInput& input, int width, int height, int channels = 1) {
    FuzzImage<T> image(width, height, channels, input.Padding());
    image.Fill(input);
    return image;
}

}  // namespace Varnik::Soloma::Fuzz
