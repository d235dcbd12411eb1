#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>

#include "FuzzImage.h"

using Varnik::Soloma::ImageProcessing::GeometricTransforms;
using namespace Varnik::Soloma::Fuzz;

namespace {

template <typename T, int Channels, typename Resize, typename Rotate>
void Transform(FuzzInput& input, Resize resize, Rotate rotate) {
    int width = 0;
    int height = 0;
    input.Size(1 << 15, &width, &height);
    const auto src = DrawImage<T>(input, width, height, Channels);
    if (input.Bool()) {
        auto dst = DrawImage<T>(input, width, height, Channels);
        rotate(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), width, height,
               input.FloatParam(-720.0f, 720.0f));
        return;
    }
    int dstWidth = 0;
    int dstHeight = 0;
    input.Size(1 << 15, &dstWidth, &dstHeight);
    auto dst = DrawImage<T>(input, dstWidth, dstHeight, Channels);
    const float scale = input.FloatParam(0.0f, 4.0f);
    const int offsetX = input.IntParam(-300, 300);
    const int offsetY = input.IntParam(-300, 300);
    resize(src.Data(), src.Pitch(), width, height, dst.Data(), dst.Pitch(), dstWidth, dstHeight,
           scale, offsetX, offsetY, input.Bool());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    for (int call = 0; call < 3 && !input.Exhausted(); ++call) {
        switch (input.Below(4)) {
            case 0:
                Transform<unsigned short, 1>(input, GeometricTransforms::Resize_16u_C1,
                                             GeometricTransforms::RotateCenter_16u_C1);
                break;
            case 1:
                Transform<float, 1>(input, GeometricTransforms::Resize_32f_C1,
                                    GeometricTransforms::RotateCenter_32f_C1);
                break;
            case 2:
                Transform<unsigned char, 3>(input, GeometricTransforms::Resize_8u_C3,
                                            GeometricTransforms::RotateCenter_8u_C3);
                break;
            default:
                Transform<unsigned char, 4>(input, GeometricTransforms::Resize_8u_C4,
                                            GeometricTransforms::RotateCenter_8u_C4);
        }
    }
    return 0;
}
