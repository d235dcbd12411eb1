#include <Varnik/Soloma/ImageProcessing/FastDDE.h>

#include "FuzzImage.h"
#include "FuzzStream.h"

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
    RunStream(input, dde, {1 << 16, 5, 5, 0},
              [&](FastDDE& d, int width, int height) { Enhance(d, input, width, height); });
    return 0;
}
