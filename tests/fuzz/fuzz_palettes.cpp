#include <Varnik/Soloma/ImageProcessing/Palettes.h>

#include "FuzzImage.h"

#include <string>

using Varnik::Soloma::ImageProcessing::Palettes;
using namespace Varnik::Soloma::Fuzz;

namespace {

void Name(FuzzInput& input) {
    std::string name;
    const int length = input.Below(10);
    for (int i = 0; i < length; ++i) {
        name.push_back(static_cast<char>(input.Byte()));
    }
    Palettes::Kind kind = Palettes::Grey;
    Palettes::FromName(input.Below(8) == 0 ? nullptr : name.c_str(), &kind);
    // A kind outside the enumeration gives the grey table.
    const auto drawn = static_cast<Palettes::Kind>(input.IntParam(0, 2));
    const RGBQUAD* table = Palettes::Table(input.Bool() ? kind : drawn);
    const volatile unsigned char last = table[65535].rgbRed;
    (void)last;
}

void Colour(FuzzInput& input, int width, int height) {
    const auto src = DrawImage<unsigned short>(input, width, height);
    int low = 0;
    int high = 65535;
    if (input.Bool()) {
        Palettes::DisplayRange(src.Data(), src.Pitch(), width, height,
                               input.Bool() ? &low : nullptr, input.Bool() ? &high : nullptr);
    } else {
        low = input.IntParam(0, 65535);
        high = input.IntParam(0, 65535);
    }
    auto dst = DrawImage<unsigned char>(input, width, height, 4);
    Palettes::Apply(src.Data(), src.Pitch(), static_cast<Palettes::Kind>(input.IntParam(0, 2)), low,
                    high, dst.Data(), dst.Pitch(), width, height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    for (int call = 0; call < 3 && !input.Exhausted(); ++call) {
        if (input.Below(4) == 0) {
            Name(input);
            continue;
        }
        int width = 0;
        int height = 0;
        input.Size(1 << 16, &width, &height);
        Colour(input, width, height);
    }
    return 0;
}
