#include <Varnik/Soloma/ImageProcessing/Blending.h>

#include "FuzzImage.h"

#include <vector>

using Varnik::Soloma::ImageProcessing::Blending;
using namespace Varnik::Soloma::Fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ForEachSize(input, 3, 1 << 16, [&](int width, int height) {
        const auto src = DrawImage<unsigned short>(input, width, height);
        auto dst = DrawImage<unsigned char>(input, width, height, 4);
        // Exactly one entry per index up to the largest that occurs.
        std::vector<RGBQUAD> palette(src.Max() + 1u);
        for (RGBQUAD& entry : palette) {
            entry = {input.Byte(), input.Byte(), input.Byte(), input.Byte()};
        }
        const float paletteWeight = input.FloatParam(0.0f, 1.0f);
        const float dstWeight = input.FloatParam(0.0f, 1.0f);
        Blending::ColorIRImage(palette.data(), reinterpret_cast<const unsigned char*>(src.Data()),
                               src.Pitch(), dst.Data(), dst.Pitch(), paletteWeight, dstWeight,
                               width, height);
    });
    return 0;
}
