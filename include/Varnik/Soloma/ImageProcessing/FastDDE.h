#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

#include <array>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Detail enhancement of 16-bit frames with box filters: the frame's contrast is halved about
// the middle of its own range, and the detail band, the 3x3 mean minus the 7x7 mean, is added
// back times a gain:
//   dst = 0.5 * src + 0.25 * (max + min) + detailGain * (mean3x3(src) - mean7x7(src)).
// Every step is a whole-image primitive; the object only keeps its float images so that a
// stream of frames of one size allocates nothing. Nothing carries from one frame to the next.
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
    // Brings the buffers to width x height: nothing when the size is unchanged, otherwise
    // everything is released and allocated afresh.
    void Allocate(int width, int height);
    // True when every buffer is held.
    bool Allocated() const;
    void Cleanup();
    // 7x7 box mean of src into dst, the border replicated through the padded image.
    static void Lowpass7x7(const float* src, int srcStep, float* dst, int dstStep, float* padded,
                           int paddedStep, int width, int height);

    // The box kernels. The 3x3 low-pass primitive has its weights built in; the 7x7 mean goes
    // through the general filter.
    static const std::array<float, 9> _kernel3x3;   // 1/9 each
    static const std::array<float, 49> _kernel7x7;  // 1/49 each

    int _width = 0;  // size the buffers are allocated for, 0 when none
    int _height = 0;
    int _pitch = 0;  // row pitch of the four width x height images (the allocator's pitch
                     // depends only on the width)
    int _paddedPitch = 0;
    detail::ImageBuffer<float> _mean3x3;                // 3x3 box mean of the frame
    detail::VectorBuffer<unsigned char> _filterBuffer;  // scratch of the 3x3 low-pass
    detail::ImageBuffer<float> _mean7x7;                // 7x7 box mean of the frame
    detail::ImageBuffer<float> _padded;                 // the frame with a replicated 3-pixel ring
    detail::ImageBuffer<float> _input;   // the frame as floats, then the scaled detail
    detail::ImageBuffer<float> _output;  // the result before conversion to 16 bits
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
