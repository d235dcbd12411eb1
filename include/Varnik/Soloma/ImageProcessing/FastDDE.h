#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Detail enhancement of 16-bit frames with box filters: the frame's contrast is halved about
// the middle of its own range, and the detail band, the 3x3 mean minus the 7x7 mean, is added
// back times a gain:
//   dst = 0.5 * src + 0.25 * (max + min) + detailGain * (mean3x3(src) - mean7x7(src)).
// The frame goes through in one pass, a row at a time, with the arithmetic of the
// whole-image primitives; the object only keeps its row scratch so that a stream of frames of
// one size allocates nothing. Nothing carries from one frame to the next.
class SOLOMA_IMAGEPROCESSING_API FastDDE {
public:
    FastDDE();
    FastDDE(const FastDDE& other);
    FastDDE& operator=(const FastDDE& other);
    virtual ~FastDDE();

    // Enhances the width x height region of src into dst. src is only read. An empty region
    // writes nothing.
    void Create(unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                float detailGain, int width, int height);

private:
    // Brings the scratch to rows of width pixels: nothing when the size is unchanged,
    // otherwise it is released and allocated afresh. False when it could not be allocated.
    bool Allocate(int width, int height);
    void Cleanup();

    int _width = 0;  // size the scratch is allocated for, 0 when none
    int _height = 0;
    detail::VectorBuffer<int> _rows;  // column sums of the windows
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
