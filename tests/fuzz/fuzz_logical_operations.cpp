#include <Varnik/Soloma/ImageProcessing/LogicalOperations.h>

#include "FuzzImage.h"

using Varnik::Soloma::ImageProcessing::LogicalOperations;
using namespace Varnik::Soloma::Fuzz;

namespace {

using Image = FuzzImage<unsigned char>;
using TwoSources = void (*)(const unsigned char*, int, const unsigned char*, int, unsigned char*,
                            int, int, int);
using InPlace = void (*)(const unsigned char*, int, unsigned char*, int, int, int);
using ConstantInPlace = void (*)(unsigned char*, int, unsigned char, int, int);
using Constant = void (*)(const unsigned char*, int, unsigned char, unsigned char*, int, int, int);

const TwoSources kTwoSources[] = {LogicalOperations::And, LogicalOperations::Or,
                                  LogicalOperations::Xor};
const InPlace kInPlace[] = {LogicalOperations::And, LogicalOperations::Or, LogicalOperations::Xor};
const ConstantInPlace kConstantInPlace[] = {LogicalOperations::AndC, LogicalOperations::OrC,
                                            LogicalOperations::XorC};
const Constant kConstant[] = {LogicalOperations::AndC, LogicalOperations::OrC,
                              LogicalOperations::XorC};

void Operate(FuzzInput& input, int width, int height) {
    const Image src1 = DrawImage<unsigned char>(input, width, height);
    const Image src2 = DrawImage<unsigned char>(input, width, height);
    Image dst = DrawImage<unsigned char>(input, width, height);
    const unsigned char value = input.Byte();
    const int which = input.Below(3);
    switch (input.Below(6)) {
        case 0: {
            // Two read-only sources may be one image.
            const Image& second = input.Bool() ? src1 : src2;
            kTwoSources[which](src1.Data(), src1.Pitch(), second.Data(), second.Pitch(), dst.Data(),
                               dst.Pitch(), width, height);
            break;
        }
        case 1:
            kInPlace[which](src1.Data(), src1.Pitch(), dst.Data(), dst.Pitch(), width, height);
            break;
        case 2:
            kConstantInPlace[which](dst.Data(), dst.Pitch(), value, width, height);
            break;
        case 3:
            kConstant[which](src1.Data(), src1.Pitch(), value, dst.Data(), dst.Pitch(), width,
                             height);
            break;
        case 4:
            LogicalOperations::Not(dst.Data(), dst.Pitch(), width, height);
            break;
        default:
            LogicalOperations::Not(src1.Data(), src1.Pitch(), dst.Data(), dst.Pitch(), width,
                                   height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ForEachSize(input, 4, 1 << 16, [&](int width, int height) { Operate(input, width, height); });
    return 0;
}
