#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>

#include "FuzzImage.h"

using Varnik::Soloma::ImageProcessing::HistogramEqualization;
using namespace Varnik::Soloma::Fuzz;

namespace {

void Equalize(HistogramEqualization& equalization, FuzzInput& input, int width, int height) {
    auto src = DrawImage<unsigned short>(input, width, height);
    if (input.Bool()) {
        equalization.Create(src.Data(), src.Pitch(), width, height);
    } else {
        auto dst = DrawImage<unsigned short>(input, width, height);
        equalization.Create(static_cast<const unsigned short*>(src.Data()), src.Pitch(), dst.Data(),
                            dst.Pitch(), width, height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    HistogramEqualization equalization;
    ForEachSize(input, 5, 1 << 16, [&](int width, int height) {
        switch (input.Below(4)) {
            case 0: {
                HistogramEqualization copy(equalization);
                Equalize(copy, input, width, height);
                break;
            }
            case 1: {
                HistogramEqualization other;
                Equalize(other, input, width, height);
                equalization = other;
                break;
            }
            default:
                Equalize(equalization, input, width, height);
        }
    });
    return 0;
}
