#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include "FuzzImage.h"
#include "FuzzStream.h"

using Varnik::Soloma::ImageProcessing::ImageStabilization;
using namespace Varnik::Soloma::Fuzz;

namespace {

// One of the three forms (into dst, in place, estimate only) for pixels of type T.
template <typename T>
void Stabilize(ImageStabilization& stabilizer, FuzzInput& input, int width, int height) {
    const auto ref = DrawImage<T>(input, width, height);
    auto src = DrawImage<T>(input, width, height);
    switch (input.Below(3)) {
        case 0: {
            auto dst = DrawImage<T>(input, width, height);
            stabilizer.Run(ref.Data(), ref.Pitch(), static_cast<const T*>(src.Data()), src.Pitch(),
                           dst.Data(), dst.Pitch(), width, height);
            break;
        }
        case 1:
            stabilizer.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), width, height);
            break;
        default: {
            int dx = 0;
            int dy = 0;
            stabilizer.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), width, height, dx, dy);
        }
    }
}

void Stabilize(ImageStabilization& stabilizer, FuzzInput& input, int width, int height) {
    if (input.Bool()) {
        Stabilize<unsigned short>(stabilizer, input, width, height);
    } else {
        Stabilize<float>(stabilizer, input, width, height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ImageStabilization stabilizer;
    RunStream(
        input, stabilizer, {1 << 16, 5, 5, 0},
        [&](ImageStabilization& s, int width, int height) { Stabilize(s, input, width, height); });
    return 0;
}
