#include "Frames.h"

#include <PixelPrimitives/PixelPrimitives.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <vector>

Frame::Frame(int width, int height)
    : width_(width),
      height_(height),
      data_(PixelPrimitives::Malloc_16u_C1(width, height, &pitch_)) {
    if (data_ == nullptr) {
        throw std::runtime_error("cannot allocate a frame");
    }
}

Frame::~Frame() {
    PixelPrimitives::Free(data_);
}

unsigned short* Frame::Row(int y) const {
    return reinterpret_cast<unsigned short*>(reinterpret_cast<unsigned char*>(data_) +
                                             static_cast<std::ptrdiff_t>(pitch_) * y);
}

void FillSyntheticScene(Frame& frame) {
    struct Blob {
        double x, y, radius, heat;  // position and radius relative to the frame width
    };
    const Blob blobs[] = {{0.20, 0.30, 0.05, 2600},
                          {0.55, 0.55, 0.09, 1800},
                          {0.80, 0.25, 0.03, 3200},
                          {0.35, 0.75, 0.06, 1200},
                          {0.70, 0.80, 0.04, 2200}};
    std::mt19937 rng(2024);
    std::normal_distribution<double> noise(0.0, 25.0);
    const double w = frame.Width();
    const double h = frame.Height();
    const double pi = 3.14159265358979;
    for (int y = 0; y < frame.Height(); ++y) {
        unsigned short* row = frame.Row(y);
        for (int x = 0; x < frame.Width(); ++x) {
            const double u = x / w;
            const double v = y / h;
            double t = 8000.0 + 300.0 * (v - 0.5) +
                       150.0 * std::sin(2.0 * pi * 1.5 * u) * std::cos(2.0 * pi * 0.8 * v);
            for (const Blob& b : blobs) {
                const double dx = u - b.x;
                const double dy = (v - b.y) * h / w;
                t += b.heat * std::exp(-(dx * dx + dy * dy) / (2.0 * b.radius * b.radius));
            }
            t += noise(rng);
            row[x] = static_cast<unsigned short>(std::clamp(std::lround(t), 0L, 65535L));
        }
    }
}

namespace {

// libpng reports errors by longjmp; these wrappers keep that inside one function.
struct PngFile {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;

    explicit PngFile(const std::string& path) : file(std::fopen(path.c_str(), "rb")) {
        if (file != nullptr) {
            png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
            info = png != nullptr ? png_create_info_struct(png) : nullptr;
        }
    }
    ~PngFile() {
        png_destroy_read_struct(&png, &info, nullptr);
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    bool Ok() const { return info != nullptr; }
};

}  // namespace

bool PngSize(const std::string& path, int* width, int* height) {
    PngFile f(path);
    if (!f.Ok() || setjmp(png_jmpbuf(f.png))) {
        return false;
    }
    png_init_io(f.png, f.file);
    png_read_info(f.png, f.info);
    *width = static_cast<int>(png_get_image_width(f.png, f.info));
    *height = static_cast<int>(png_get_image_height(f.png, f.info));
    return true;
}

bool ReadGreyPng(const std::string& path, Frame& frame) {
    // Everything with a destructor exists before setjmp, which a libpng error returns to.
    std::vector<unsigned char> row(2 * static_cast<std::size_t>(frame.Width()));
    PngFile f(path);
    if (!f.Ok() || setjmp(png_jmpbuf(f.png))) {
        return false;
    }
    png_init_io(f.png, f.file);
    png_read_info(f.png, f.info);
    const int width = static_cast<int>(png_get_image_width(f.png, f.info));
    const int height = static_cast<int>(png_get_image_height(f.png, f.info));
    const int depth = png_get_bit_depth(f.png, f.info);
    if (png_get_color_type(f.png, f.info) != PNG_COLOR_TYPE_GRAY || width != frame.Width() ||
        height != frame.Height() || (depth != 8 && depth != 16)) {
        return false;
    }
    if (depth == 16) {
        png_set_swap(f.png);  // PNG stores big-endian samples
    }
    png_read_update_info(f.png, f.info);
    if (png_get_rowbytes(f.png, f.info) > row.size()) {
        return false;
    }
    for (int y = 0; y < height; ++y) {
        png_read_row(f.png, row.data(), nullptr);
        unsigned short* out = frame.Row(y);
        for (int x = 0; x < width; ++x) {
            out[x] = depth == 16 ? static_cast<unsigned short>(row[2 * x] | row[2 * x + 1] << 8)
                                 : static_cast<unsigned short>(row[x] * 257);
        }
    }
    return true;
}
