#include <Varnik/Soloma/ImageProcessing/FastDDE.h>

#include "contrast/FastDdePass.h"
#include "frame/ImageArgs.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

FastDDE::FastDDE() = default;
FastDDE::FastDDE(const FastDDE& other) = default;
FastDDE& FastDDE::operator=(const FastDDE& other) = default;
FastDDE::~FastDDE() {
    Cleanup();
}

bool FastDDE::Allocate(int width, int height) {
    if (width == _width && height == _height && _rows) {
        return true;
    }
    Cleanup();
    const int ints = FastDdeScratchInts(width);
    if (ints == 0) {
        return false;
    }
    _rows.Allocate(ints);
    if (!_rows) {
        return false;
    }
    _width = width;
    _height = height;
    return true;
}

void FastDDE::Cleanup() {
    _rows.Release();
    _width = 0;
    _height = 0;
}

void FastDDE::Create(unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                     float detailGain, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    if (!Allocate(width, height)) {
        return;
    }
    unsigned short minValue = 0;
    unsigned short maxValue = 0;
    PixelPrimitives::MinMax_16u_C1(src, srcStep, width, height, &minValue, &maxValue);
    // Halve the contrast about the middle of the frame's range: [min, max] lands on its
    // middle half.
    FastDdePass(src, srcStep, dst, dstStep, maxValue + minValue, detailGain, width, height,
                _rows.Get());
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
