#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include "FuzzImage.h"

#include <vector>

using Varnik::Soloma::ImageProcessing::RadiometricStatistics;
using namespace Varnik::Soloma::Fuzz;

namespace {

// A region inside the image: column x, row y, width x height.
struct Region {
    Region(FuzzInput& input, int imageWidth, int imageHeight)
        : x(input.Bool() ? 0 : input.IntIn(0, imageWidth - 1)),
          y(input.Bool() ? 0 : input.IntIn(0, imageHeight - 1)),
          width(input.Bool() ? imageWidth - x : input.IntIn(1, imageWidth - x)),
          height(input.Bool() ? imageHeight - y : input.IntIn(1, imageHeight - y)) {}
    int x;
    int y;
    int width;
    int height;
};

void RegionStatistics(FuzzInput& input, const FuzzImage<unsigned short>& image) {
    const Region region(input, image.Width(), image.Height());
    const int tableLow = input.IntIn(0, 65535);
    const int tableHigh = input.IntIn(tableLow, 65535);
    std::vector<float> kelvin(tableHigh - tableLow + 1);
    const float step = input.FloatParam(0.0f, 0.1f);
    for (std::size_t i = 0; i < kelvin.size(); ++i) {
        kelvin[i] = 200.0f + step * static_cast<float>(i);
    }
    ::Statistics statistics{};
    RadiometricStatistics::Calculate(image.Data(), region.width, region.height, image.Pitch(),
                                     region.y, region.x, kelvin.data(), tableLow, tableHigh,
                                     statistics, input.Bool());
}

void Limits(FuzzInput& input, const FuzzImage<unsigned short>& image) {
    const Region region(input, image.Width(), image.Height());
    const int nLevels = input.Below(8) == 0 ? input.IntIn(-2, 1) : input.IntIn(2, 5000);
    std::vector<int> hist(nLevels > 1 ? nLevels - 1 : 1);
    std::vector<int> levels(nLevels > 0 ? nLevels : 1);
    const int lower = input.IntParam(0, 65536);
    const int upper = input.IntParam(0, 65536);
    unsigned short minValue = 0;
    unsigned short maxValue = 0;
    RadiometricStatistics::CalculateHistogramMinMax(
        image.Row(region.y) + region.x, image.Pitch(), hist.data(), levels.data(), nLevels, lower,
        upper, 0, 0, region.width, region.height, input.FloatParam(0.0f, 0.2f),
        input.FloatParam(0.0f, 0.2f), minValue, maxValue);
    // The same region through its offsets instead of its first pixel.
    RadiometricStatistics::CalculateHistogramMinMax(
        image.Data(), image.Pitch(), hist.data(), levels.data(), nLevels, lower, upper, region.x,
        region.y, region.width, region.height, input.FloatParam(0.0f, 0.2f),
        input.FloatParam(0.0f, 0.2f), minValue, maxValue);
}

// Table ranges inside their tables, possibly empty or reversed.
void SignalTable(FuzzInput& input) {
    std::vector<int> src(input.IntIn(1, 3000));
    std::vector<int> dst(input.IntIn(1, 3000));
    for (int& entry : src) {
        entry = input.AnyInt();
    }
    const int last = static_cast<int>(dst.size()) - 1;
    const int srcLast = static_cast<int>(src.size()) - 1;
    RadiometricStatistics::CalculateSignalLUT(
        src.data(), dst.data(), input.IntIn(0, last), input.IntIn(0, last), input.IntIn(0, srcLast),
        input.IntIn(0, srcLast), input.AnyInt(), input.AnyInt());
}

void Conversions(FuzzInput& input, const FuzzImage<unsigned short>& image) {
    const int width = image.Width();
    const int height = image.Height();
    if (input.Bool()) {
        std::vector<float> table(image.Max() + 1u);
        for (std::size_t i = 0; i < table.size(); ++i) {
            table[i] = static_cast<float>(i) * 0.01f;
        }
        auto dst = DrawImage<float>(input, width, height);
        RadiometricStatistics::FillFromLUT(image.Data(), image.Pitch(), dst.Data(), dst.Pitch(),
                                           table.data(), width, height);
        return;
    }
    const auto src = DrawImage<float>(input, width, height);
    auto dst = DrawImage<unsigned short>(input, width, height);
    RadiometricStatistics::OutputToSignal(
        src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), width, height,
        input.DoubleParam(-1000.0, 1000.0), input.DoubleParam(-1000.0, 1000.0),
        input.IntParam(0, 65535), input.IntParam(0, 65535), input.DoubleParam(-100.0, 100.0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    ForEachSize(input, 4, 1 << 16, [&](int width, int height) {
        const auto image = DrawImage<unsigned short>(input, width, height);
        switch (input.Below(4)) {
            case 0:
                RegionStatistics(input, image);
                break;
            case 1:
                Limits(input, image);
                break;
            case 2:
                SignalTable(input);
                break;
            default:
                Conversions(input, image);
        }
    });
    return 0;
}
