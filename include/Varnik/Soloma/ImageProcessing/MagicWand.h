#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Region selection on a 16-bit frame, merged into an 8-bit selection mask that the caller
// keeps. The new region is every pixel whose value lies strictly within `tolerance` of the
// seed pixel's value and that is joined to the seed through such pixels, diagonal neighbours
// included. It is smoothed by a closing, two 3x3 dilations then two 3x3 erosions, that reads
// beyond the frame's edge a copy of the raw region's edge pixels made once before the first
// pass; selected pixels next to the edge can therefore be lost. The smoothed region (255
// inside, 0 outside) is then merged bit by bit: Add makes the mask region OR mask, Remove mask
// AND NOT region, so a mask holding other values keeps their bits where the rule says.
//
// A seed outside the width x height region, or a region of no pixels, leaves the mask as it
// was and reads nothing. Buffers are kept for the frame size, so a stream of frames of one
// size allocates nothing. One object serves one thread at a time; copies share no buffer.
class SOLOMA_IMAGEPROCESSING_API MagicWand {
public:
    MagicWand();
    MagicWand(const MagicWand& other);
    MagicWand& operator=(const MagicWand& other);
    virtual ~MagicWand();

    // seedX is the seed's column and seedY its row, counted from the pixel at src; src and
    // mask are both width x height. tolerance is in signal counts: 0 or below (or NaN)
    // selects nothing.
    void Add(const unsigned short* src, int srcStep, unsigned char* mask, int maskStep,
             float tolerance, int seedX, int seedY, int width, int height);
    void Remove(const unsigned short* src, int srcStep, unsigned char* mask, int maskStep,
                float tolerance, int seedX, int seedY, int width, int height);

    // Brings the buffers to width x height: nothing when that is the allocated size already,
    // otherwise everything is released and allocated afresh. A size of 0 or below, or one whose
    // buffers cannot all be allocated, leaves the object without buffers.
    void Init(int width, int height);
    // Releases every buffer; the next call allocates again. Safe to call at any time.
    void Cleanup();

protected:
    // Writes the smoothed new region into mask and keeps the mask as it was in the saved
    // image. Returns false, having read and written nothing, when the seed lies outside the
    // region, the region is empty or a buffer could not be allocated.
    bool CreateNewRegion(const unsigned short* src, int srcStep, unsigned char* mask, int maskStep,
                         float tolerance, int seedX, int seedY, int width, int height);

private:
    // True when every buffer is held.
    bool Allocated() const;
    // Rows y to y + rows - 1 of the saved mask, the float image and the band with its
    // complement; src and mask point at row y of the caller's images.
    void FormBand(const unsigned short* src, int srcStep, const unsigned char* mask, int maskStep,
                  float seed, float tolerance, int y, int rows, int width);

    int _width = 0;  // size the buffers are allocated for, 0 when none
    int _height = 0;
    int _pitch8 = 0;   // row pitch of the five 8-bit images (the allocator's pitch depends
                       // only on the width)
    int _pitch32 = 0;  // row pitch of the float image
    detail::ImageBuffer<float> _source;         // the frame as floats
    detail::ImageBuffer<unsigned char> _below;  // 1 below the band's upper bound
    detail::ImageBuffer<unsigned char> _above;  // 1 above the band's lower bound
    detail::ImageBuffer<unsigned char> _band;   // 255 inside the band; Remove's scratch
    detail::ImageBuffer<unsigned char> _fill;   // outside the band, then the seed's component
    detail::ImageBuffer<unsigned char> _saved;  // the caller's mask as the call found it
    int _ringPitch = 0;
    detail::ImageBuffer<unsigned char> _ringed;       // the region with a one-pixel ring round it
    detail::VectorBuffer<unsigned char> _fillBuffer;  // scratch of the flood fill
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
