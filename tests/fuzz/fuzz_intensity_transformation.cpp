#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>

#include "FuzzImage.h"

#include <vector>

using Varnik::Soloma::ImageProcessing::IntensityTransformation;
using namespace Varnik::Soloma::Fuzz;

namespace {

// A table with exactly one entry per value up to the largest in src.
std::vector<float> DrawTable(FuzzInput& input, const FuzzImage<unsigned short>& src) {
    std::vector<float> table(src.Max() + 1u);
    const float scale = input.FloatParam(-1.0f, 1.0f);
    const float offset = input.FloatParam(-100.0f, 400.0f);
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = offset + scale * static_cast<float>(i);
    }
    return table;
}

void Accumulate(FuzzInput& input) {
    int width = 0;
    int height = 0;
    input.Size(1 << 16, &width, &height);
    const auto src = DrawImage<unsigned short>(input, width, height);
    auto dst = DrawImage<float>(input, width, height);
    const std::vector<float> table = DrawTable(input, src);
    const float factor = input.FloatParam(-4.0f, 4.0f);
    switch (input.Below(3)) {
        case 0:
            IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                                table.data(), width, height);
            break;
        case 1:
            IntensityTransformation::AddFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                                table.data(), factor, width, height);
            break;
        default:
            IntensityTransformation::SubFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                                table.data(), factor, width, height);
    }
}

// Tables within the documented bounds: 0 <= dstFirst <= dstLast < dstCount, srcCount >= 1.
void Resample(FuzzInput& input) {
    const int srcCount = input.Below(4) == 0 ? input.IntIn(1, 70000) : input.IntIn(1, 300);
    const int dstCount = input.Below(4) == 0 ? input.IntIn(1, 70000) : input.IntIn(1, 300);
    const int dstFirst = input.IntIn(0, dstCount - 1);
    const int dstLast = input.IntIn(dstFirst, dstCount - 1);
    std::vector<int> srcTable(srcCount);
    for (int& entry : srcTable) {
        entry = input.AnyInt();
    }
    std::vector<int> dstTable(dstCount);
    IntensityTransformation::CalculateLUT(srcTable.data(), srcCount, dstTable.data(), dstCount,
                                          dstFirst, dstLast);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    for (int call = 0; call < 3 && !input.Exhausted(); ++call) {
        if (input.Below(3) == 0) {
            Resample(input);
        } else {
            Accumulate(input);
        }
    }
    return 0;
}
