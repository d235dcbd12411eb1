#include <Varnik/Soloma/ImageProcessing/FastDDE.h>

#include "FuzzImage.h"

using Varnik::Soloma::ImageProcessing::FastDDE;
using namespace Varnik::Soloma::Fuzz;

namespace {

void Enhance(FastDDE& dde, FuzzInput& input, int width, int height) {
    auto src = DrawImage<unsigned short>(input, width, height);
    auto dst = DrawImage<unsigned short>(input, width, height);
    dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), input.FloatParam(0.0f, 8.0f),
               width, height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    FastDDE dde;
    int width = 0;
    int height = 0;
    input.Size(1 << 16, &width, &height);
    for (int step = 0; step < 5 && !input.Exhausted(); ++step) {
        switch (input.Below(5)) {
            case 0: {
                FastDDE copy(dde);
                Enhance(copy, input, width, height);
                break;
            }
            case 1: {
                FastDDE other;
                Enhance(other, input, width, height);
                if (input.Bool()) {
                    dde = other;
                } else {
                    other = dde;
                    Enhance(other, input, width, height);
                }
                break;
            }
            case 2:
                input.Size(1 << 16, &width, &height);
                [[fallthrough]];
            default:
                Enhance(dde, input, width, height);
        }
    }
    return 0;
}
