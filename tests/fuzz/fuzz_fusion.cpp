#include <Varnik/Soloma/ImageProcessing/Fusion.h>

#include "FuzzImage.h"

#include <vector>

using Varnik::Soloma::ImageProcessing::Fusion;
using namespace Varnik::Soloma::Fuzz;

namespace {

// The palette needs entries only for the values written: exactly up to the largest of them.
std::vector<int> DrawPalette(FuzzInput& input, const FuzzImage<unsigned short>& src, int low,
                             int high) {
    const unsigned span = static_cast<unsigned>(high) - static_cast<unsigned>(low);
    unsigned largest = 0;
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            const unsigned v = src.Row(y)[x];
            if (v - static_cast<unsigned>(low) <= span && v > largest) {
                largest = v;
            }
        }
    }
    std::vector<int> palette(largest + 1);
    for (int& entry : palette) {
        entry = static_cast<int>(input.Bits32());
    }
    return palette;
}

void Colour(FuzzInput& input, int width, int height) {
    const auto src = DrawImage<unsigned short>(input, width, height);
    auto dst = DrawImage<int>(input, width, height);
    const int low = input.IntParam(0, 65535);
    const int high = input.IntParam(0, 65535);
    const std::vector<int> palette = DrawPalette(input, src, low, high);
    Fusion::ColorIRImage(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), palette.data(), low,
                         high, width, height);
}

void Combine(FuzzInput& input, int width, int height) {
    const auto src = DrawImage<unsigned char>(input, width, height, 4);
    const auto luma = DrawImage<float>(input, width, height, 3);
    auto dst = DrawImage<unsigned char>(input, width, height, 4);
    const auto marginX = static_cast<short>(input.Bool() ? 0 : input.IntParam(-2, 40));
    const auto marginY = static_cast<short>(input.Bool() ? 0 : input.IntParam(-2, 40));
    Fusion::CombineIRAndDC(src.Data(), src.Pitch(), luma.Data(), luma.Pitch(), dst.Data(),
                           dst.Pitch(), width, height, marginX, marginY);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ForEachSize(input, 3, 1 << 15, [&](int width, int height) {
        if (input.Bool()) {
            Colour(input, width, height);
        } else {
            Combine(input, width, height);
        }
    });
    return 0;
}
