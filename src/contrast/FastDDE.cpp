#include <Varnik/Soloma/ImageProcessing/FastDDE.h>

#include "frame/ImageArgs.h"

#include <cstddef>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The single-precision weights of the two box means, pinned to their bit patterns
// (0x3DE38E39 and 0x3CA72F05) so that a change of rounding cannot slip in unnoticed.
constexpr float kOneNinth = 1.0f / 9.0f;
constexpr float kOneFortyNinth = 1.0f / 49.0f;
static_assert(kOneNinth == 0x1.c71c72p-4f, "1/9 must be the float 0x3DE38E39");
static_assert(kOneFortyNinth == 0x1.4e5e0ap-6f, "1/49 must be the float 0x3CA72F05");

template <std::size_t N>
constexpr std::array<float, N> Uniform(float value) {
    std::array<float, N> kernel{};
    for (float& entry : kernel) {
        entry = value;
    }
    return kernel;
}

// The 7x7 window reaches three pixels beyond the frame on every side.
constexpr int kBorder = 3;

}  // namespace

const std::array<float, 9> FastDDE::_kernel3x3 = Uniform<9>(kOneNinth);
const std::array<float, 49> FastDDE::_kernel7x7 = Uniform<49>(kOneFortyNinth);

FastDDE::FastDDE() = default;
FastDDE::FastDDE(const FastDDE& other) = default;
FastDDE& FastDDE::operator=(const FastDDE& other) = default;
FastDDE::~FastDDE() {
    Cleanup();
}

bool FastDDE::Allocated() const {
    return _mean3x3 && _filterBuffer && _mean7x7 && _padded && _input && _output;
}

void FastDDE::Allocate(int width, int height) {
    if (width == _width && height == _height && Allocated()) {
        return;
    }
    Cleanup();
    _mean3x3.Allocate(width, height);
    int bufferSize = 0;
    PixelPrimitives::FilterLowpassGetBufferSize3x3_32f_C1R(width, height, &bufferSize);
    _filterBuffer.Allocate(bufferSize);
    _mean7x7.Allocate(width, height);
    _padded.Allocate(width + 2 * kBorder, height + 2 * kBorder);
    _paddedPitch = _padded.Pitch();
    _input.Allocate(width, height);
    _output.Allocate(width, height);
    // Without every buffer the object holds none, and the next call allocates afresh.
    if (!Allocated()) {
        Cleanup();
        return;
    }
    // One pitch serves all four frame-sized images: the allocator's pitch depends only on
    // the width.
    _pitch = _output.Pitch();
    _width = width;
    _height = height;
}

void FastDDE::Cleanup() {
    _mean3x3.Release();
    _filterBuffer.Release();
    _mean7x7.Release();
    _padded.Release();
    _input.Release();
    _output.Release();
    _width = 0;
    _height = 0;
    _pitch = 0;
    _paddedPitch = 0;
}

void FastDDE::Create(unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                     float detailGain, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(dst, dstStep, width, height)) {
        return;
    }
    Allocate(width, height);
    if (!Allocated()) {
        return;
    }
    unsigned short minValue = 0;
    unsigned short maxValue = 0;
    PixelPrimitives::MinMax_16u_C1(src, srcStep, width, height, &minValue, &maxValue);
    float* input = _input.Get();
    float* mean3x3 = _mean3x3.Get();
    float* mean7x7 = _mean7x7.Get();
    float* output = _output.Get();
    PixelPrimitives::Convert_16u32f_C1(src, srcStep, input, _pitch, width, height);
    PixelPrimitives::FilterLowpassBorder3x3_32f_C1R(input, _pitch, mean3x3, _pitch, width, height,
                                                    _filterBuffer.Get());
    Lowpass7x7(input, _pitch, mean7x7, _pitch, _padded.Get(), _paddedPitch, width, height);
    // Halve the contrast about the middle of the frame's range: [min, max] lands on its
    // middle half. The sum is formed as an integer before it becomes a float.
    PixelPrimitives::MulC_32f_C1(input, _pitch, 0.5f, output, _pitch, width, height);
    PixelPrimitives::AddC_32f_C1I(static_cast<float>(maxValue + minValue) * 0.25f, output, _pitch,
                                  width, height);
    // Sub gives its second operand minus its first: the detail band mean3x3 - mean7x7.
    PixelPrimitives::Sub_32f_C1(mean7x7, _pitch, mean3x3, _pitch, input, _pitch, width, height);
    PixelPrimitives::MulC_32f_C1I(detailGain, input, _pitch, width, height);
    PixelPrimitives::Add_32f_C1I(input, _pitch, output, _pitch, width, height);
    PixelPrimitives::Convert_32f16u_C1(output, _pitch, dst, dstStep, width, height);
}

void FastDDE::Lowpass7x7(const float* src, int srcStep, float* dst, int dstStep, float* padded,
                         int paddedStep, int width, int height) {
    const int side = 2 * kBorder + 1;
    PixelPrimitives::CopyReplicateBorder_32f_C1(src, srcStep, width, height, padded, paddedStep,
                                                width + 2 * kBorder, height + 2 * kBorder, kBorder,
                                                kBorder);
    // The general filter reads the 3-pixel ring round its region, which the padded copy holds.
    const float* centre =
        reinterpret_cast<const float*>(reinterpret_cast<const unsigned char*>(padded) +
                                       static_cast<std::ptrdiff_t>(paddedStep) * kBorder) +
        kBorder;
    PixelPrimitives::Filter_32f_C1(centre, paddedStep, dst, dstStep, width, height,
                                   _kernel7x7.data(), side, side, kBorder, kBorder);
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
