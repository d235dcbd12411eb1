#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>

#include "FuzzImage.h"

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
    int width = 0;
    int height = 0;
    input.Size(1 << 15, &width, &height);
    for (int step = 0; step < 6 && !input.Exhausted(); ++step) {
        switch (input.Below(7)) {
            case 0: {
                GasDetectionDifference copy(gas);
                Detect(copy, input, width, height);
                break;
            }
            case 1: {
                GasDetectionDifference other;
                ChangeParameters(other, input);
                Detect(other, input, width, height);
                if (input.Bool()) {
                    gas = other;
                } else {
                    other = gas;
                    Detect(other, input, width, height);
                }
                break;
            }
            case 2:
                ChangeParameters(gas, input);
                break;
            case 3:
                input.Size(1 << 15, &width, &height);
                [[fallthrough]];
            default:
                Detect(gas, input, width, height);
        }
    }
    return 0;
}
