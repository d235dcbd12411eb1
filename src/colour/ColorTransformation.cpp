#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/ImageArgs.h"
#include "frame/Parallel.h"
#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

SOLOMA_MULTIVERSION void DropAlphaRow(const unsigned char* __restrict src,
                                      unsigned char* __restrict dst, int width) {
    for (int x = 0; x < width; ++x) {
        const unsigned char* s = src + 4 * static_cast<std::ptrdiff_t>(x);
        unsigned char* d = dst + 3 * static_cast<std::ptrdiff_t>(x);
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

// Four pixels at a time as three 4-byte words in and four out, which vectorises far better
// than the bytes one by one; the pixels left over go byte by byte.
SOLOMA_MULTIVERSION void AddAlphaRow(const unsigned char* __restrict src,
                                     unsigned char* __restrict dst, int width) {
    const int groups = width / 4;
    for (int g = 0; g < groups; ++g) {
        const unsigned char* s = src + 12 * static_cast<std::ptrdiff_t>(g);
        unsigned char* d = dst + 16 * static_cast<std::ptrdiff_t>(g);
        std::uint32_t in0, in1, in2;
        std::memcpy(&in0, s, 4);
        std::memcpy(&in1, s + 4, 4);
        std::memcpy(&in2, s + 8, 4);
        const std::uint32_t out0 = in0 | 0xFF000000u;
        const std::uint32_t out1 = (in0 >> 24) | (in1 << 8) | 0xFF000000u;
        const std::uint32_t out2 = (in1 >> 16) | (in2 << 16) | 0xFF000000u;
        const std::uint32_t out3 = (in2 >> 8) | 0xFF000000u;
        std::memcpy(d, &out0, 4);
        std::memcpy(d + 4, &out1, 4);
        std::memcpy(d + 8, &out2, 4);
        std::memcpy(d + 12, &out3, 4);
    }
    for (int x = 4 * groups; x < width; ++x) {
        const unsigned char* s = src + 3 * static_cast<std::ptrdiff_t>(x);
        unsigned char* d = dst + 4 * static_cast<std::ptrdiff_t>(x);
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
    }
}

// A temporary RGB image for the chained conversions, released when it goes out of scope.
class TemporaryRgb {
public:
    TemporaryRgb(int width, int height)
        : _data(PixelPrimitives::Malloc_8u_C3(width, height, &_step)) {}
    ~TemporaryRgb() { PixelPrimitives::Free(_data); }
    TemporaryRgb(const TemporaryRgb&) = delete;
    TemporaryRgb& operator=(const TemporaryRgb&) = delete;

    unsigned char* Data() const { return _data; }
    int Step() const { return _step; }

private:
    int _step = 0;
    unsigned char* _data;
};

}  // namespace

ColorTransformation& ColorTransformation::operator=(const ColorTransformation&) {
    return *this;
}

void ColorTransformation::RGBAToRGB(const unsigned char* src, int srcStep, unsigned char* dst,
                                    int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 4) ||
        !ValidImage(dst, dstStep, width, height, 3)) {
        return;
    }
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        DropAlphaRow(RowAt(src, srcStep, y), RowAt(dst, dstStep, y), width);
    }
}

void ColorTransformation::RGBToRGBA(const unsigned char* src, int srcStep, unsigned char* dst,
                                    int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 3) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
#pragma omp parallel for schedule(static) if (useParallel)
    for (int y = 0; y < height; ++y) {
        AddAlphaRow(RowAt(src, srcStep, y), RowAt(dst, dstStep, y), width);
    }
}

void ColorTransformation::RGBToYUV422(const unsigned char* src, int srcStep, unsigned char* dst,
                                      int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 3) ||
        !ValidImage(dst, dstStep, width, height, 2)) {
        return;
    }
    PixelPrimitives::RGBToYUV422_8u_C3C2R(src, srcStep, dst, dstStep, width, height);
}

void ColorTransformation::YUV422ToRGB(const unsigned char* src, int srcStep, unsigned char* dst,
                                      int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 2) ||
        !ValidImage(dst, dstStep, width, height, 3)) {
        return;
    }
    PixelPrimitives::YUV422ToRGB_8u_C2C3R(src, srcStep, dst, dstStep, width, height);
}

void ColorTransformation::RGBAToYUV422(const unsigned char* src, int srcStep, unsigned char* dst,
                                       int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 4) ||
        !ValidImage(dst, dstStep, width, height, 2)) {
        return;
    }
    const TemporaryRgb rgb(width, height);
    if (rgb.Data() == nullptr) {
        return;  // no memory: nothing to convert
    }
    RGBAToRGB(src, srcStep, rgb.Data(), rgb.Step(), width, height);
    PixelPrimitives::RGBToYUV422_8u_C3C2R(rgb.Data(), rgb.Step(), dst, dstStep, width, height);
}

void ColorTransformation::YUV422ToRGBA(const unsigned char* src, int srcStep, unsigned char* dst,
                                       int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height, 2) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
    const TemporaryRgb rgb(width, height);
    if (rgb.Data() == nullptr) {
        return;
    }
    PixelPrimitives::YUV422ToRGB_8u_C2C3R(src, srcStep, rgb.Data(), rgb.Step(), width, height);
    // The primitive leaves the last column of an odd width unwritten; so does this, rather
    // than copying the temporary's uninitialised bytes into the destination.
    RGBToRGBA(rgb.Data(), rgb.Step(), dst, dstStep, width & ~1, height);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
