#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>

#include "FuzzImage.h"

using Varnik::Soloma::ImageProcessing::ColorTransformation;
using namespace Varnik::Soloma::Fuzz;

namespace {

using Conversion = void (*)(const unsigned char*, int, unsigned char*, int, int, int);

struct Layouts {
    Conversion convert;
    int srcChannels;  // bytes per pixel; 2 for YUV 4:2:2
    int dstChannels;
};

const Layouts kConversions[] = {
    {ColorTransformation::RGBAToRGB, 4, 3},    {ColorTransformation::RGBToRGBA, 3, 4},
    {ColorTransformation::RGBToYUV422, 3, 2},  {ColorTransformation::YUV422ToRGB, 2, 3},
    {ColorTransformation::RGBAToYUV422, 4, 2}, {ColorTransformation::YUV422ToRGBA, 2, 4},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ForEachSize(input, 4, 1 << 16, [&](int width, int height) {
        const Layouts& layouts = kConversions[input.Below(6)];
        const auto src = DrawImage<unsigned char>(input, width, height, layouts.srcChannels);
        auto dst = DrawImage<unsigned char>(input, width, height, layouts.dstChannels);
        layouts.convert(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), width, height);
    });
    return 0;
}
