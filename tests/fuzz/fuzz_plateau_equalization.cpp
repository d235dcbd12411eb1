#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>

#include "FuzzImage.h"
#include "FuzzStream.h"

#include <vector>

using Varnik::Soloma::ImageProcessing::PlateauEqualization;
using namespace Varnik::Soloma::Fuzz;

namespace {

int DrawBinCount(FuzzInput& input) {
    static const int kCounts[] = {-5, 0, 1, 2, 3, 16, 255, 256, 1024, 4096, 65536};
    return input.Bool() ? kCounts[input.Below(11)] : input.IntIn(-2, 5000);
}

// A colour look-up of a drawn size against a full palette.
struct ColourTables {
    explicit ColourTables(FuzzInput& input)
        : palette(65536), lut(input.Below(4) == 0 ? input.IntIn(1, 70000) : 65536) {
        for (int& entry : palette) {
            entry = static_cast<int>(input.Byte()) * 0x01010101;
        }
    }
    std::vector<int> palette;
    std::vector<int> lut;
};

void Equalize(PlateauEqualization& plateau, FuzzInput& input, int width, int height) {
    auto src = DrawImage<unsigned short>(input, width, height);
    const float linearPercent = input.FloatParam(0.0f, 100.0f);
    const float plateauLimit = input.FloatParam(0.0f, 1000.0f);
    const int rangeMin = input.IntParam(0, 65535);
    const int rangeMax = input.IntParam(0, 65535);
    switch (input.Below(6)) {
        case 0:
            plateau.Create(src.Data(), src.Pitch(), width, height, linearPercent, plateauLimit);
            break;
        case 1: {
            auto dst = DrawImage<unsigned short>(input, width, height);
            plateau.Create(static_cast<const unsigned short*>(src.Data()), src.Pitch(), dst.Data(),
                           dst.Pitch(), width, height, linearPercent, plateauLimit);
            break;
        }
        case 2:
            plateau.Create(src.Data(), src.Pitch(), width, height, linearPercent, plateauLimit,
                           rangeMin, rangeMax);
            break;
        case 3: {
            auto dst = DrawImage<unsigned short>(input, width, height);
            plateau.Create(static_cast<const unsigned short*>(src.Data()), src.Pitch(), dst.Data(),
                           dst.Pitch(), width, height, linearPercent, plateauLimit, rangeMin,
                           rangeMax);
            break;
        }
        case 4: {
            ColourTables tables(input);
            plateau.Create(src.Data(), src.Pitch(), width, height, linearPercent, plateauLimit,
                           rangeMin, rangeMax, tables.palette.data(), tables.lut.data(),
                           static_cast<int>(tables.lut.size()));
            break;
        }
        default: {
            ColourTables tables(input);
            plateau.UpdateRGBLUT(tables.palette.data(), tables.lut.data(),
                                 static_cast<int>(tables.lut.size()));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    PlateauEqualization plateau(DrawBinCount(input));
    RunStream(
        input, plateau, {1 << 16, 6, 8, 2},
        [&] { return PlateauEqualization(DrawBinCount(input)); },
        [&](PlateauEqualization& p, int width, int height) { Equalize(p, input, width, height); },
        [&](PlateauEqualization& p, int step, int, int) {
            if (step == 0) {
                p.SetDampingFactor(input.FloatParam(0.0f, 1.0f));
            } else {
                p.Reset();
            }
        });
    return 0;
}
