#include <Varnik/Soloma/ImageProcessing/MagicWand.h>

#include <PixelPrimitives/PixelPrimitives.h>

#include <algorithm>

#include "frame/ImageArgs.h"
#include "frame/Rows.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// Rows per strip of the band's steps: about 16 KiB of the float image, so that a strip's images
// (about three times that) stay in the core's first caches from one step to the next.
int StripRows(int width) {
    return std::max(1, 4096 / width);
}

}  // namespace

MagicWand::MagicWand() = default;
// Every buffer is rewritten before it is read, so a copy could start empty; duplicating them
// keeps the copy's first call free of allocation, like its source's.
MagicWand::MagicWand(const MagicWand& other) = default;
MagicWand& MagicWand::operator=(const MagicWand& other) = default;

MagicWand::~MagicWand() {
    Cleanup();
}

bool MagicWand::Allocated() const {
    return _source && _below && _above && _band && _fill && _saved && _ringed && _fillBuffer;
}

void MagicWand::Init(int width, int height) {
    if (width == _width && height == _height && Allocated()) {
        return;
    }
    Cleanup();
    if (width <= 0 || height <= 0) {
        return;
    }
    _source.Allocate(width, height);
    _pitch32 = _source.Pitch();
    _below.Allocate(width, height);
    _above.Allocate(width, height);
    _band.Allocate(width, height);
    _fill.Allocate(width, height);
    _saved.Allocate(width, height);
    _pitch8 = _saved.Pitch();
    _ringed.Allocate(width + 2, height + 2);
    _ringPitch = _ringed.Pitch();
    int bytes = 0;
    PixelPrimitives::FloodFillGetSize(width, height, &bytes);
    _fillBuffer.Allocate(bytes);
    if (!Allocated()) {
        // Nothing is kept of a size that could not be allocated whole: the next call tries again.
        Cleanup();
        return;
    }
    _width = width;
    _height = height;
}

void MagicWand::Cleanup() {
    _source.Release();
    _below.Release();
    _above.Release();
    _band.Release();
    _fill.Release();
    _saved.Release();
    _ringed.Release();
    _fillBuffer.Release();
    _width = 0;
    _height = 0;
    _pitch8 = 0;
    _pitch32 = 0;
    _ringPitch = 0;
}

void MagicWand::FormBand(const unsigned short* src, int srcStep, const unsigned char* mask,
                         int maskStep, float seed, float tolerance, int y, int rows, int width) {
    float* source = RowAt(_source.Get(), _pitch32, y);
    unsigned char* below = RowAt(_below.Get(), _pitch8, y);
    unsigned char* above = RowAt(_above.Get(), _pitch8, y);
    unsigned char* band = RowAt(_band.Get(), _pitch8, y);
    unsigned char* fill = RowAt(_fill.Get(), _pitch8, y);
    unsigned char* saved = RowAt(_saved.Get(), _pitch8, y);
    PixelPrimitives::Copy_8u_C1(mask, maskStep, saved, _pitch8, width, rows);
    PixelPrimitives::Convert_16u32f_C1(src, srcStep, source, _pitch32, width, rows);
    // Both bounds excluded: 1 below seed + tolerance, 1 above seed - tolerance (the sums formed
    // in single precision), and their product stretched to 255.
    PixelPrimitives::CompareCLess_32f_C1R(source, _pitch32, seed + tolerance, below, _pitch8, width,
                                          rows);
    PixelPrimitives::ThresholdGreater_Val_8u_C1IR(below, _pitch8, width, rows, 0, 1);
    PixelPrimitives::CompareCGreater_32f_C1R(source, _pitch32, seed - tolerance, above, _pitch8,
                                             width, rows);
    PixelPrimitives::ThresholdGreater_Val_8u_C1IR(above, _pitch8, width, rows, 0, 1);
    PixelPrimitives::Mul_8u_C1(below, _pitch8, above, _pitch8, band, _pitch8, width, rows, 0);
    PixelPrimitives::ThresholdGreater_Val_8u_C1IR(band, _pitch8, width, rows, 0, 255);
    // The band's pixels are the 0s of its complement.
    PixelPrimitives::Not_8u_C1(band, _pitch8, fill, _pitch8, width, rows);
}

bool MagicWand::CreateNewRegion(const unsigned short* src, int srcStep, unsigned char* mask,
                                int maskStep, float tolerance, int seedX, int seedY, int width,
                                int height) {
    // A seed outside the region would be read outside the caller's image: such a call, and a
    // region of no pixels, changes nothing.
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(mask, maskStep, width, height) ||
        seedX < 0 || seedX >= width || seedY < 0 || seedY >= height) {
        return false;
    }
    Init(width, height);
    if (!Allocated()) {
        return false;
    }
    // The seed's value is read from its row converted to float, before the band is formed.
    float* seedRow = RowAt(_source.Get(), _pitch32, seedY);
    PixelPrimitives::Convert_16u32f_C1(RowAt(src, srcStep, seedY), srcStep, seedRow, _pitch32,
                                       width, 1);
    const float seed = seedRow[seedX];

    // The saved mask, the float image and the band, strip of rows by strip of rows: the rows are
    // independent, and a strip's images stay in the cache from one step to the next instead of
    // travelling to memory and back between whole-image passes.
    const int strip = StripRows(width);
    for (int y = 0; y < height; y += strip) {
        const int rows = std::min(strip, height - y);
        FormBand(RowAt(src, srcStep, y), srcStep, RowAt(mask, maskStep, y), maskStep, seed,
                 tolerance, y, rows, width);
    }

    // Filling the seed's 8-connected set of the band's pixels, the 0s of its complement, with 255
    // leaves 0 only at band pixels the seed cannot reach.
    unsigned char* band = _band.Get();
    unsigned char* fill = _fill.Get();
    PixelPrimitives::FloodFill_8Con_8u_C1IR(fill, _pitch8, width, height, seedX, seedY, 255,
                                            _fillBuffer.Get());
    PixelPrimitives::And_8u_C1(band, _pitch8, fill, _pitch8, mask, maskStep, width, height);

    // The closing works on a copy with a ring of the raw region's edge pixels. The ring is
    // made once: every pass reads the raw region's edge beyond the frame.
    unsigned char* ringed = _ringed.Get();
    PixelPrimitives::CopyReplicateBorder_8u_C1(mask, maskStep, width, height, ringed, _ringPitch,
                                               width + 2, height + 2, 1, 1);
    unsigned char* interior = RowAt(ringed, _ringPitch, 1) + 1;
    PixelPrimitives::Dilate3x3_8u_C1I(interior, _ringPitch, width, height);
    PixelPrimitives::Dilate3x3_8u_C1I(interior, _ringPitch, width, height);
    PixelPrimitives::Erode3x3_8u_C1I(interior, _ringPitch, width, height);
    PixelPrimitives::Erode3x3_8u_C1I(interior, _ringPitch, width, height);
    PixelPrimitives::Copy_8u_C1(interior, _ringPitch, mask, maskStep, width, height);
    return true;
}

void MagicWand::Add(const unsigned short* src, int srcStep, unsigned char* mask, int maskStep,
                    float tolerance, int seedX, int seedY, int width, int height) {
    if (CreateNewRegion(src, srcStep, mask, maskStep, tolerance, seedX, seedY, width, height)) {
        PixelPrimitives::Or_8u_C1I(_saved.Get(), _pitch8, mask, maskStep, width, height);
    }
}

void MagicWand::Remove(const unsigned short* src, int srcStep, unsigned char* mask, int maskStep,
                       float tolerance, int seedX, int seedY, int width, int height) {
    if (CreateNewRegion(src, srcStep, mask, maskStep, tolerance, seedX, seedY, width, height)) {
        // previous AND (previous XOR region) is previous AND NOT region, bit by bit; the band
        // image is free by now.
        unsigned char* band = _band.Get();
        PixelPrimitives::Xor_8u_C1(_saved.Get(), _pitch8, mask, maskStep, band, _pitch8, width,
                                   height);
        PixelPrimitives::And_8u_C1(_saved.Get(), _pitch8, band, _pitch8, mask, maskStep, width,
                                   height);
    }
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
