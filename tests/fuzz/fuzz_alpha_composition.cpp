#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>

#include "FuzzImage.h"

using Varnik::Soloma::ImageProcessing::AlphaComposition;
using namespace Varnik::Soloma::Fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ForEachSize(input, 3, 1 << 16, [&](int width, int height) {
        const int kind = input.Below(3);
        if (kind == 2) {
            const auto src = DrawImage<unsigned short>(input, width, height);
            auto dst = DrawImage<unsigned short>(input, width, height);
            const auto key = static_cast<unsigned short>(input.Bool() ? 0 : input.IntIn(0, 65535));
            AlphaComposition::BlendImages(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), key,
                                          width, height);
            return;
        }
        const int channels = kind == 0 ? 3 : 4;
        const auto src = DrawImage<unsigned char>(input, width, height, channels);
        auto dst = DrawImage<unsigned char>(input, width, height, channels);
        if (channels == 3) {
            AlphaComposition::BlendImages8u_C3(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                               width, height);
        } else {
            AlphaComposition::BlendImages8u_C4(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                               width, height);
        }
    });
    return 0;
}
