#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>

#include "FuzzImage.h"
#include "FuzzStream.h"

using Varnik::Soloma::ImageProcessing::GasDetectionDifference;
using namespace Varnik::Soloma::Fuzz;

namespace {

void ChangeParameters(GasDetectionDifference& gas, FuzzInput& input) {
    switch (input.Below(4)) {
        case 0:
            gas.SetEdgeFactor(input.IntParam(-2, 20));
            break;
        case 1:
            gas.SetSensitivityThreshold(input.IntParam(-10, 100));
            break;
        case 2:
            gas.SetColorizationMethod(input.IntParam(0, 3));
            break;
        default:
            gas.SetUseImageStabilisation(input.Bool());
    }
}

// One frame pair; the result goes into a separate image or over the colour image.
void Detect(GasDetectionDifference& gas, FuzzInput& input, int width, int height) {
    const auto src = DrawImage<unsigned short>(input, width, height);
    const auto ref = DrawImage<unsigned short>(input, width, height);
    auto colour = DrawImage<unsigned char>(input, width, height, 4);
    if (input.Bool()) {
        gas.Run(src.Data(), src.Pitch(), ref.Data(), ref.Pitch(), colour.Data(), colour.Pitch(),
                colour.Data(), colour.Pitch(), width, height);
    } else {
        auto dst = DrawImage<unsigned char>(input, width, height, 4);
        gas.Run(src.Data(), src.Pitch(), ref.Data(), ref.Pitch(), colour.Data(), colour.Pitch(),
                dst.Data(), dst.Pitch(), width, height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    GasDetectionDifference gas;
    RunStream(
        input, gas, {1 << 15, 6, 7, 1},
        [&] {
            GasDetectionDifference other;
            ChangeParameters(other, input);
            return other;
        },
        [&](GasDetectionDifference& g, int width, int height) { Detect(g, input, width, height); },
        [&](GasDetectionDifference& g, int, int, int) { ChangeParameters(g, input); });
    return 0;
}
