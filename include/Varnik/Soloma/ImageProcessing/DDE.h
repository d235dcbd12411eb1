#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Detail enhancement of 16-bit frames. An edge-preserving bilateral filter splits the frame
// into a base layer (the filtered frame) and a detail layer (the rest); the output is the
// base, plus the base sharpened against its own Gaussian blur, plus the detail times a gain:
//   dst = (base - blur(base)) * baseSharpen + base + (src - base) * detailGain.
// The spatial weights are a normalised Gaussian table built by Init; the range weight is a
// triangle whose half-width is three quarters of the frame's own signal range. Nothing carries
// from one frame to the next; the object keeps its two float images so that a stream of frames
// of one size allocates nothing.
class SOLOMA_IMAGEPROCESSING_API DDE {
public:
    // No weight table: Init must be called before Create.
    DDE();
    DDE(int kernelSize, float sigma);
    DDE(const DDE& other);
    DDE& operator=(const DDE& other);
    virtual ~DDE();

    // Builds the weight table for a kernelSize x kernelSize window (an even size acts as the
    // odd size below it) and a Gaussian of standard deviation sigma pixels. A size below 1, or
    // one whose table would not fit an int count, leaves the object without a table.
    void Init(int kernelSize, float sigma);

    // Enhances the width x height region of src into dst (src may be dst). baseSharpen 0 and
    // detailGain 1 reproduce the source. Writes nothing without a weight table or for an
    // empty region. A frame of a single value comes back unchanged.
    void Create(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                float baseSharpen, float detailGain, int width, int height);

private:
    // Brings both images to width x height (and the border columns of the current radius):
    // nothing when that is unchanged, otherwise both are released and allocated afresh.
    void Allocate(int width, int height);
    void Cleanup();
    void DeAllocate();

    // The frame as floats, each row with repeated border columns, into source.
    static void ConvertSource(const unsigned short* src, int srcStep, float* source, int step,
                              int radius, int width, int height);
    // Pass 1: the bilateral filter of the float frame into base (src gives each tile's span).
    static void BilateralFilter(const unsigned short* src, int srcStep, const float* source,
                                float* base, int step, const float* kernel, int radius,
                                float invThreshold, float threshold, int width, int height);
    // Pass 2: recombines base, its Gaussian blur and the detail (source - base) * detailGain
    // into dst, clamped to 0..65535.
    static void MiddleFilter(const float* base, const float* source, int step, unsigned short* dst,
                             int dstStep, const float* kernel, int radius, float baseSharpen,
                             float detailGain, int width, int height);

    int _kernelSize = 0;  // side of the square window, as given to Init
    int _radius = 0;      // (kernelSize - 1) / 2: the window used is 2 * radius + 1 wide
    float _sigma = 0.0f;  // of the spatial Gaussian, in pixels
    // kernelSize² spatial weights; the (2 * radius + 1)² used ones, row by row, add up to 1.
    detail::VectorBuffer<float> _kernel;
    int _width = 0;  // frame size the images are allocated for, 0 when none
    int _height = 0;
    int _pitch = 0;  // row pitch of both images (it depends only on the width and radius)
    // Both hold each row with `radius` repeated columns on the left and at least as many on
    // the right, so that the windows read them in place.
    detail::ImageBuffer<float> _base;    // bilateral-filtered frame
    detail::ImageBuffer<float> _source;  // the frame as floats
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
