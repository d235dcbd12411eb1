#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

// A test image: a region of width x height pixels placed inside a larger backing image with
// a margin of guard pixels on every side and a pitch larger than the row. The guard pixels
// hold a known pattern so that tests can prove an operation never wrote outside its region.
template <typename T>
class TestImage {
public:
    TestImage(int width, int height, int margin = 3, int extraPitchBytes = 24)
        : width_(width),
          height_(height),
          margin_(margin),
          pitch_(static_cast<int>((width + 2 * margin) * sizeof(T)) + extraPitchBytes),
          bytes_(static_cast<std::size_t>(pitch_) * (height + 2 * margin), 0) {
        for (std::size_t i = 0; i < bytes_.size(); ++i) {
            bytes_[i] = static_cast<unsigned char>(0xA5 ^ (i * 31));
        }
        pristine_ = bytes_;
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return pitch_; }

    // First pixel of the region.
    T* Data() { return Pixel(0, 0); }
    const T* Data() const { return Pixel(0, 0); }

    // Pixel (x, y) of the region; x and y may reach into the margin.
    T* Pixel(int x, int y) {
        return reinterpret_cast<T*>(bytes_.data() +
                                    static_cast<std::ptrdiff_t>(y + margin_) * pitch_ +
                                    static_cast<std::ptrdiff_t>(x + margin_) * sizeof(T));
    }
    const T* Pixel(int x, int y) const { return const_cast<TestImage*>(this)->Pixel(x, y); }
    T& At(int x, int y) { return *Pixel(x, y); }
    T At(int x, int y) const { return *Pixel(x, y); }

    // Fills the region (and, with includeMargin, the margin too) with uniform random values
    // in [lo, hi]; records the result as the reference state of the guard bytes.
    void FillRandom(std::mt19937& rng, double lo, double hi, bool includeMargin = false) {
        int m = includeMargin ? margin_ : 0;
        for (int y = -m; y < height_ + m; ++y) {
            for (int x = -m; x < width_ + m; ++x) {
                At(x, y) = RandomValue(rng, lo, hi);
            }
        }
        pristine_ = bytes_;
    }

    template <typename F>
    void Fill(F f) {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                At(x, y) = static_cast<T>(f(x, y));
            }
        }
        pristine_ = bytes_;
    }

    // True when every byte outside the region is as it was after the last fill.
    bool OutsideUntouched() const {
        for (int row = 0; row < height_ + 2 * margin_; ++row) {
            for (int b = 0; b < pitch_; ++b) {
                std::size_t i = static_cast<std::size_t>(row) * pitch_ + b;
                bool inside = row >= margin_ && row < margin_ + height_ &&
                              b >= static_cast<int>(margin_ * sizeof(T)) &&
                              b < static_cast<int>((margin_ + width_) * sizeof(T));
                if (!inside && bytes_[i] != pristine_[i]) {
                    return false;
                }
            }
        }
        return true;
    }

    // True when no byte at all changed since the last fill.
    bool Untouched() const { return bytes_ == pristine_; }

    // Marks the current content as the reference state.
    void Snapshot() { pristine_ = bytes_; }

private:
    static T RandomValue(std::mt19937& rng, double lo, double hi) {
        if constexpr (std::is_floating_point_v<T>) {
            return static_cast<T>(std::uniform_real_distribution<double>(lo, hi)(rng));
        } else {
            return static_cast<T>(std::uniform_int_distribution<long long>(
                static_cast<long long>(lo), static_cast<long long>(hi))(rng));
        }
    }

    int width_;
    int height_;
    int margin_;
    int pitch_;
    std::vector<unsigned char> bytes_;
    std::vector<unsigned char> pristine_;
};

// A width x height 16-bit frame of uniform random values in [lo, hi], the same for one seed.
inline TestImage<unsigned short> RandomFrame(int width, int height, int lo, int hi, unsigned seed) {
    std::mt19937 rng(seed);
    TestImage<unsigned short> frame(width, height);
    frame.FillRandom(rng, lo, hi);
    return frame;
}

// The region's pixels in row-major order, as ints, for comparing whole images.
template <typename T>
std::vector<int> Pixels(const TestImage<T>& image) {
    std::vector<int> pixels;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            pixels.push_back(static_cast<int>(image.At(x, y)));
        }
    }
    return pixels;
}

// The region shapes every primitive is checked on: odd sizes, a single pixel, one row, one
// column and a frame-sized region.
struct RegionSize {
    int width;
    int height;
};
inline const std::vector<RegionSize>& TestRegionSizes() {
    static const std::vector<RegionSize> sizes{{1, 1},   {1, 7},  {13, 1}, {17, 5},
                                               {31, 23}, {64, 3}, {97, 41}};
    return sizes;
}
