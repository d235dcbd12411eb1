#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>

#include "FuzzImage.h"

using Varnik::Soloma::ImageProcessing::MorphologicalOperations;
using namespace Varnik::Soloma::Fuzz;

namespace {

// The operations read a one-pixel ring round the region: each image is allocated one pixel
// larger on every side, exactly, and the region starts at its second row and column.
class RingedImage {
public:
    RingedImage(FuzzInput& input, int width, int height)
        : _image(DrawImage<unsigned char>(input, width + 2, height + 2)) {}
    unsigned char* Region() { return _image.Row(1) + 1; }
    int Pitch() const { return _image.Pitch(); }

private:
    FuzzImage<unsigned char> _image;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ForEachSize(input, 4, 1 << 16, [&](int width, int height) {
        RingedImage src(input, width, height);
        const bool dilate = input.Bool();
        if (input.Bool()) {
            if (dilate) {
                MorphologicalOperations::Dilate3x3(src.Region(), src.Pitch(), width, height);
            } else {
                MorphologicalOperations::Erode3x3(src.Region(), src.Pitch(), width, height);
            }
            return;
        }
        auto dst = DrawImage<unsigned char>(input, width, height);
        if (dilate) {
            MorphologicalOperations::Dilate3x3(src.Region(), src.Pitch(), dst.Data(), dst.Pitch(),
                                               width, height);
        } else {
            MorphologicalOperations::Erode3x3(src.Region(), src.Pitch(), dst.Data(), dst.Pitch(),
                                              width, height);
        }
    });
    return 0;
}
