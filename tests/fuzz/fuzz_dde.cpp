#include <Varnik/Soloma/ImageProcessing/DDE.h>

#include "FuzzImage.h"
#include "FuzzStream.h"

using Varnik::Soloma::ImageProcessing::DDE;
using namespace Varnik::Soloma::Fuzz;

namespace {

// Usual sizes, any size up to 41, and sizes that must leave the object without a table
// (too small, or a table too large for an int count).
int DrawKernelSize(FuzzInput& input) {
    static const int kSizes[] = {1, 2, 3, 4, 5, 7, 9, 11, 15};
    static const int kInvalid[] = {0, -1, -7, INT_MIN, INT_MAX, 46341, 65536, 1 << 30};
    switch (input.Below(4)) {
        case 0:
            return kInvalid[input.Below(8)];
        case 1:
            return input.IntIn(1, 41);
        default:
            return kSizes[input.Below(9)];
    }
}

// One frame through the object, into a separate image or in place.
void Enhance(DDE& dde, FuzzInput& input, int width, int height) {
    auto src = DrawImage<unsigned short>(input, width, height);
    const float baseSharpen = input.FloatParam(-1.0f, 4.0f);
    const float detailGain = input.FloatParam(0.0f, 8.0f);
    if (input.Bool()) {
        dde.Create(src.Data(), src.Pitch(), src.Data(), src.Pitch(), baseSharpen, detailGain, width,
                   height);
    } else {
        auto dst = DrawImage<unsigned short>(input, width, height);
        dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), baseSharpen, detailGain, width,
                   height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    DDE dde = input.Bool() ? DDE() : DDE(DrawKernelSize(input), input.FloatParam(0.1f, 5.0f));
    RunStream(
        input, dde, {1 << 14, 5, 6, 1},
        [&] { return DDE(DrawKernelSize(input), input.FloatParam(0.1f, 5.0f)); },
        [&](DDE& d, int width, int height) { Enhance(d, input, width, height); },
        [&](DDE& d, int, int, int) {
            d.Init(DrawKernelSize(input), input.FloatParam(0.1f, 5.0f));
        });
    return 0;
}
