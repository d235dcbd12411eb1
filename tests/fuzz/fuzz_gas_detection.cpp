#include <Varnik/Soloma/ImageProcessing/GasDetection.h>

#include "FuzzImage.h"
#include "FuzzStream.h"

using Varnik::Soloma::ImageProcessing::GasDetection;
using namespace Varnik::Soloma::Fuzz;

namespace {

int DrawWindowSize(FuzzInput& input) {
    static const int kSizes[] = {2, 3, 4, 8, 15, 16, 17, 31, 32, 33, 64};
    return input.Below(4) == 0 ? input.AnyInt() : kSizes[input.Below(11)];
}

int DrawPsdStep(FuzzInput& input) {
    return input.Below(4) == 0 ? input.AnyInt() : input.IntIn(1, 40);
}

void ChangeParameters(GasDetection& gas, FuzzInput& input) {
    switch (input.Below(9)) {
        case 0:
            gas.SetPsdMode(input.IntParam(0, 2));
            break;
        case 1:
            gas.SetEdgeFactor(input.IntParam(-2, 20));
            break;
        case 2:
            gas.SetPsdThreshold(input.FloatParam(0.0f, 10.0f));
            break;
        case 3:
            gas.SetTemporalDampening(input.FloatParam(-0.5f, 1.0f));
            break;
        case 4:
            gas.SetColorizationMethod(input.IntParam(0, 3));
            break;
        case 5:
            gas.SetUseMeanFromPreviousImage(input.Bool());
            break;
        case 6:
            gas.SetWindowSize(DrawWindowSize(input));
            break;
        case 7:
            gas.SetPsdStep(DrawPsdStep(input));
            break;
        default:
            gas.SetUseImageStabilisation(input.Bool());
    }
}

// One frame pair; the result goes into a separate image or over the colour image.
void Detect(GasDetection& gas, FuzzInput& input, int width, int height) {
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
    GasDetection gas =
        input.Bool() ? GasDetection()
                     : GasDetection(input.IntParam(0, 2), DrawWindowSize(input), DrawPsdStep(input),
                                    input.IntParam(-2, 20), input.FloatParam(0.0f, 10.0f),
                                    input.FloatParam(-0.5f, 1.0f));
    RunStream(
        input, gas, {1 << 15, 6, 7, 1},
        [&] {
            GasDetection other;
            ChangeParameters(other, input);
            return other;
        },
        [&](GasDetection& g, int width, int height) { Detect(g, input, width, height); },
        [&](GasDetection& g, int, int, int) { ChangeParameters(g, input); });
    return 0;
}
