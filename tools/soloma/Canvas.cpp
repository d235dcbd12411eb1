#include "Canvas.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace Varnik::Soloma::Cli {
namespace {

void Set(Image8* picture, int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= picture->width || y >= picture->height) {
        return;
    }
    unsigned char* pixel = &picture->pixels[(static_cast<std::size_t>(y) * picture->width + x) * 3];
    pixel[0] = colour.red;
    pixel[1] = colour.green;
    pixel[2] = colour.blue;
}

}  // namespace

Image8 MakeCanvas(int width, int height, Rgb colour) {
    Image8 canvas{width, height, 3,
                  std::vector<unsigned char>(static_cast<std::size_t>(width) * height * 3)};
    for (std::size_t i = 0; i < canvas.pixels.size(); i += 3) {
        canvas.pixels[i] = colour.red;
        canvas.pixels[i + 1] = colour.green;
        canvas.pixels[i + 2] = colour.blue;
    }
    return canvas;
}

Image8 GrayToRgb(const Image8& gray) {
    Image8 rgb{gray.width, gray.height, 3, std::vector<unsigned char>(gray.pixels.size() * 3)};
    for (std::size_t i = 0; i < gray.pixels.size(); ++i) {
        rgb.pixels[3 * i] = rgb.pixels[3 * i + 1] = rgb.pixels[3 * i + 2] = gray.pixels[i];
    }
    return rgb;
}

Image8 BgraToRgb(const unsigned char* bgra, int width, int height) {
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    Image8 rgb{width, height, 3, std::vector<unsigned char>(pixels * 3)};
    for (std::size_t i = 0; i < pixels; ++i) {
        rgb.pixels[3 * i] = bgra[4 * i + 2];
        rgb.pixels[3 * i + 1] = bgra[4 * i + 1];
        rgb.pixels[3 * i + 2] = bgra[4 * i];
    }
    return rgb;
}

Image8 Rescale(const Image8& picture, int factor) {
    const int c = picture.channels;
    if (factor < -1) {
        const int up = -factor;
        Image8 large{picture.width * up, picture.height * up, c, {}};
        large.pixels.resize(static_cast<std::size_t>(large.width) * large.height * c);
        for (int y = 0; y < large.height; ++y) {
            for (int x = 0; x < large.width; ++x) {
                std::memcpy(
                    &large.pixels[(static_cast<std::size_t>(y) * large.width + x) * c],
                    &picture
                         .pixels[(static_cast<std::size_t>(y / up) * picture.width + x / up) * c],
                    c);
            }
        }
        return large;
    }
    if (factor <= 1) {
        return picture;
    }
    Image8 small{
        (picture.width + factor - 1) / factor, (picture.height + factor - 1) / factor, c, {}};
    small.pixels.resize(static_cast<std::size_t>(small.width) * small.height * c);
    for (int y = 0; y < small.height; ++y) {
        const int y0 = y * factor;
        const int y1 = std::min(picture.height, y0 + factor);
        for (int x = 0; x < small.width; ++x) {
            const int x0 = x * factor;
            const int x1 = std::min(picture.width, x0 + factor);
            const int count = (y1 - y0) * (x1 - x0);
            for (int k = 0; k < c; ++k) {
                int sum = 0;
                for (int yy = y0; yy < y1; ++yy) {
                    for (int xx = x0; xx < x1; ++xx) {
                        sum +=
                            picture.pixels[(static_cast<std::size_t>(yy) * picture.width + xx) * c +
                                           k];
                    }
                }
                small.pixels[(static_cast<std::size_t>(y) * small.width + x) * c + k] =
                    static_cast<unsigned char>((sum + count / 2) / count);
            }
        }
    }
    return small;
}

void Paste(Image8* canvas, const Image8& picture, int x, int y) {
    const int c = canvas->channels;
    const int left = std::max(0, -x);
    const int right = std::min(picture.width, canvas->width - x);
    if (picture.channels != c || right <= left) {
        return;
    }
    for (int row = std::max(0, -y); row < picture.height && y + row < canvas->height; ++row) {
        std::memcpy(
            &canvas->pixels[(static_cast<std::size_t>(y + row) * canvas->width + x + left) * c],
            &picture.pixels[(static_cast<std::size_t>(row) * picture.width + left) * c],
            static_cast<std::size_t>(right - left) * c);
    }
}

void DrawOutline(Image8* picture, const std::vector<unsigned char>& mask, Rgb colour) {
    const int w = picture->width;
    const int h = picture->height;
    auto selected = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && mask[static_cast<std::size_t>(y) * w + x];
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (selected(x, y) && (!selected(x - 1, y) || !selected(x + 1, y) ||
                                   !selected(x, y - 1) || !selected(x, y + 1))) {
                Set(picture, x, y, colour);
            }
        }
    }
}

void Fill(Image8* picture, const std::vector<unsigned char>& mask, Rgb colour) {
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] != 0) {
            Set(picture, static_cast<int>(i % picture->width), static_cast<int>(i / picture->width),
                colour);
        }
    }
}

PixelRect BoundingBox(const std::vector<unsigned char>& mask, int width, int margin) {
    PixelRect box{width, static_cast<int>(mask.size()), 0, 0};
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] != 0) {
            const int x = static_cast<int>(i % width);
            const int y = static_cast<int>(i / width);
            box.x0 = std::min(box.x0, x);
            box.y0 = std::min(box.y0, y);
            box.x1 = std::max(box.x1, x + 1);
            box.y1 = std::max(box.y1, y + 1);
        }
    }
    if (box.Empty()) {
        return PixelRect{};
    }
    return {box.x0 - margin, box.y0 - margin, box.x1 + margin, box.y1 + margin};
}

void DrawBox(Image8* picture, const PixelRect& box, int thickness, Rgb colour) {
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            const bool edge = x < box.x0 + thickness || x >= box.x1 - thickness ||
                              y < box.y0 + thickness || y >= box.y1 - thickness;
            if (edge) {
                Set(picture, x, y, colour);
            }
        }
    }
}

}  // namespace Varnik::Soloma::Cli
