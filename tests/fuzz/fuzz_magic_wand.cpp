#include <Varnik/Soloma/ImageProcessing/MagicWand.h>

#include "FuzzImage.h"
#include "FuzzStream.h"

using Varnik::Soloma::ImageProcessing::MagicWand;
using namespace Varnik::Soloma::Fuzz;

namespace {

// A seed coordinate: usually inside 0 .. side - 1, sometimes just outside or anywhere.
int DrawSeed(FuzzInput& input, int side) {
    switch (input.Below(8)) {
        case 0:
            return input.AnyInt();
        case 1:
            return input.Bool() ? -1 : side;
        default:
            return input.IntIn(0, side - 1);
    }
}

void Select(MagicWand& wand, FuzzInput& input, int width, int height) {
    const auto src = DrawImage<unsigned short>(input, width, height);
    auto mask = DrawImage<unsigned char>(input, width, height);
    const float tolerance = input.FloatParam(0.0f, 2000.0f);
    const int seedX = DrawSeed(input, width);
    const int seedY = DrawSeed(input, height);
    if (input.Bool()) {
        wand.Add(src.Data(), src.Pitch(), mask.Data(), mask.Pitch(), tolerance, seedX, seedY, width,
                 height);
    } else {
        wand.Remove(src.Data(), src.Pitch(), mask.Data(), mask.Pitch(), tolerance, seedX, seedY,
                    width, height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    MagicWand wand;
    RunStream(
        input, wand, {1 << 15, 6, 8, 2}, [] { return MagicWand(); },
        [&](MagicWand& w, int width, int height) { Select(w, input, width, height); },
        [&](MagicWand& w, int step, int width, int height) {
            if (step == 0) {
                // Sizes of 0 and below leave the object without buffers.
                w.Init(input.Bool() ? input.IntIn(-2, 300) : width,
                       input.Bool() ? input.IntIn(-2, 300) : height);
            } else {
                w.Cleanup();
            }
        });
    return 0;
}
