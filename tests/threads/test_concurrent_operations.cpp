// The static operations called from several host threads at once, each thread with its own
// outputs and all reading the same inputs: every thread's result equals a single-threaded
// run's, and a run's result does not depend on the size of the library's thread team. The
// concurrent calls come first, so that lazily built tables (palettes, the primitives' per-thread
// tables) are also first made concurrently.
#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>
#include <Varnik/Soloma/ImageProcessing/Blending.h>
#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>
#include <Varnik/Soloma/ImageProcessing/Fusion.h>
#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>
#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>
#include <Varnik/Soloma/ImageProcessing/LogicalOperations.h>
#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>
#include <Varnik/Soloma/ImageProcessing/Palettes.h>
#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

#include "Concurrency.h"
#include "TestImage.h"

using namespace Varnik::Soloma::ImageProcessing;
using u16 = unsigned short;
using u8 = unsigned char;

namespace {

constexpr int kThreads = 4;
constexpr int kRepeats = 3;  // calls per thread, so that calls overlap in every phase
constexpr int kWidth = 98;   // even: YUV 4:2:2 pairs pixels
constexpr int kHeight = 61;

// What every operation reads; made once and shared by all threads.
struct Inputs {
    TestImage<u16> frame{kWidth, kHeight};
    TestImage<u8> mask{kWidth, kHeight};
    TestImage<u8> otherMask{kWidth, kHeight};
    TestImage<u8> rgba{4 * kWidth, kHeight};
    TestImage<u8> overlay{4 * kWidth, kHeight};
    TestImage<float> luma{kWidth, kHeight};
    std::vector<float> lut = std::vector<float>(65536);
    std::vector<int> intPalette = std::vector<int>(65536);

    Inputs() {
        std::mt19937 rng(41);
        frame.FillRandom(rng, 2000, 14000, true);
        mask.FillRandom(rng, 0, 255, true);
        otherMask.FillRandom(rng, 0, 255, true);
        rgba.FillRandom(rng, 0, 255, true);
        overlay.Fill([&](int x, int y) { return (x / 4 + y) % 3 ? 0 : rng() % 256; });
        luma.FillRandom(rng, -40.0, 40.0);
        for (int v = 0; v < 65536; ++v) {
            lut[v] = 250.0f + 0.01f * static_cast<float>(v);
            intPalette[v] = v * 97;
        }
    }
};

Bytes PalettesAndColourConversions(const Inputs& in) {
    int low = 0, high = 0;
    Palettes::DisplayRange(in.frame.Data(), in.frame.Pitch(), kWidth, kHeight, &low, &high);
    TestImage<u8> out(4 * kWidth, kHeight);
    Palettes::Apply(in.frame.Data(), in.frame.Pitch(), Palettes::Iron, low, high, out.Data(),
                    out.Pitch(), kWidth, kHeight);
    Bytes bytes = RegionBytes(out);
    AppendBytes(bytes, low);
    AppendBytes(bytes, high);
    TestImage<u8> yuv(2 * kWidth, kHeight), rgb(3 * kWidth, kHeight), back(4 * kWidth, kHeight);
    ColorTransformation::RGBAToYUV422(in.rgba.Data(), in.rgba.Pitch(), yuv.Data(), yuv.Pitch(),
                                      kWidth, kHeight);
    ColorTransformation::YUV422ToRGB(yuv.Data(), yuv.Pitch(), rgb.Data(), rgb.Pitch(), kWidth,
                                     kHeight);
    ColorTransformation::RGBToRGBA(rgb.Data(), rgb.Pitch(), back.Data(), back.Pitch(), kWidth,
                                   kHeight);
    AppendBytes(bytes, yuv);
    AppendBytes(bytes, back);
    return bytes;
}

Bytes MasksAndGeometry(const Inputs& in) {
    TestImage<u8> closed(kWidth, kHeight), combined(kWidth, kHeight);
    MorphologicalOperations::Dilate3x3(in.mask.Data(), in.mask.Pitch(), closed.Data(),
                                       closed.Pitch(), kWidth, kHeight);
    MorphologicalOperations::Erode3x3(closed.Data(), closed.Pitch(), kWidth, kHeight);
    LogicalOperations::Xor(in.mask.Data(), in.mask.Pitch(), in.otherMask.Data(),
                           in.otherMask.Pitch(), combined.Data(), combined.Pitch(), kWidth,
                           kHeight);
    LogicalOperations::AndC(combined.Data(), combined.Pitch(), 0x5C, kWidth, kHeight);
    LogicalOperations::Or(closed.Data(), closed.Pitch(), combined.Data(), combined.Pitch(), kWidth,
                          kHeight);
    LogicalOperations::Not(combined.Data(), combined.Pitch(), kWidth, kHeight);
    Bytes bytes = RegionBytes(closed);
    AppendBytes(bytes, combined);
    const int bigWidth = kWidth * 3 / 2, bigHeight = kHeight * 3 / 2;
    TestImage<u16> resized(bigWidth, bigHeight);
    TestImage<u8> rotated(4 * kWidth, kHeight);
    GeometricTransforms::Resize_16u_C1(in.frame.Data(), in.frame.Pitch(), kWidth, kHeight,
                                       resized.Data(), resized.Pitch(), bigWidth, bigHeight, 1.5f,
                                       2, -1, true);
    GeometricTransforms::RotateCenter_8u_C4(in.rgba.Data(), in.rgba.Pitch(), rotated.Data(),
                                            rotated.Pitch(), kWidth, kHeight, 17.5f);
    AppendBytes(bytes, resized);
    AppendBytes(bytes, rotated);
    return bytes;
}

Bytes BlendingCompositionAndFusion(const Inputs& in) {
    TestImage<u8> blended = in.rgba, composed = in.rgba;
    Blending::ColorIRImage(Palettes::Table(Palettes::Rainbow),
                           reinterpret_cast<const u8*>(in.frame.Data()), in.frame.Pitch(),
                           blended.Data(), blended.Pitch(), 0.7f, 0.4f, kWidth, kHeight);
    AlphaComposition::BlendImages8u_C4(in.overlay.Data(), in.overlay.Pitch(), composed.Data(),
                                       composed.Pitch(), kWidth, kHeight);
    Bytes bytes = RegionBytes(blended);
    AppendBytes(bytes, composed);
    TestImage<int> coloured(kWidth, kHeight);
    TestImage<u8> fused(4 * kWidth, kHeight);
    Fusion::ColorIRImage(in.frame.Data(), in.frame.Pitch(), coloured.Data(), coloured.Pitch(),
                         in.intPalette.data(), 4000, 12000, kWidth, kHeight);
    Fusion::CombineIRAndDC(in.rgba.Data(), in.rgba.Pitch(), in.luma.Data(), in.luma.Pitch(),
                           fused.Data(), fused.Pitch(), kWidth, kHeight, 3, 2);
    AppendBytes(bytes, coloured);
    AppendBytes(bytes, fused);
    return bytes;
}

// The rows' sums of squares are added in the order the team's threads finish, so the last
// bits of the standard deviation may vary: it is compared in single precision.
void AppendStatistics(Bytes& bytes, const Statistics& s) {
    for (double value : {s.min, s.max, s.mean, s.sum}) {
        AppendBytes(bytes, value);
    }
    AppendBytes(bytes, static_cast<float>(s.stdDev));
    for (int value : {s.minStatus, s.maxStatus, s.meanStatus, s.sumStatus, s.stdDevStatus, s.minX,
                      s.minY, s.maxX, s.maxY}) {
        AppendBytes(bytes, value);
    }
}

Bytes IntensityAndRadiometry(const Inputs& in) {
    TestImage<float> sum(kWidth, kHeight);
    sum.Fill([](int x, int y) { return 0.5f * static_cast<float>(x - y); });
    IntensityTransformation::AddFromLUT(in.frame.Data(), in.frame.Pitch(), sum.Data(), sum.Pitch(),
                                        in.lut.data(), kWidth, kHeight);
    IntensityTransformation::SubFromLUT(in.frame.Data(), in.frame.Pitch(), sum.Data(), sum.Pitch(),
                                        in.lut.data(), 0.25f, kWidth, kHeight);
    std::vector<int> source(300), table(1000);
    std::iota(source.begin(), source.end(), 5000);
    IntensityTransformation::CalculateLUT(source.data(), 300, table.data(), 1000, 100, 899);
    Bytes bytes = RegionBytes(sum);
    for (int value : table) {
        AppendBytes(bytes, value);
    }
    Statistics counts{}, kelvin{};
    RadiometricStatistics::Calculate(in.frame.Pixel(3, 2), kWidth - 5, kHeight - 4,
                                     in.frame.Pitch(), 2, 3, nullptr, 0, 0, counts, true);
    RadiometricStatistics::Calculate(in.frame.Pixel(3, 2), kWidth - 5, kHeight - 4,
                                     in.frame.Pitch(), 2, 3, in.lut.data() + 1000, 1000, 60000,
                                     kelvin, false);
    AppendStatistics(bytes, counts);
    AppendStatistics(bytes, kelvin);
    std::vector<int> hist(255), levels(256);
    u16 low = 0, high = 0;
    RadiometricStatistics::CalculateHistogramMinMax(in.frame.Data(), in.frame.Pitch(), hist.data(),
                                                    levels.data(), 256, 0, 16384, 0, 0, kWidth,
                                                    kHeight, 0.02f, 0.01f, low, high);
    AppendBytes(bytes, low);
    AppendBytes(bytes, high);
    TestImage<float> values(kWidth, kHeight);
    TestImage<u16> signal(kWidth, kHeight);
    RadiometricStatistics::FillFromLUT(in.frame.Data(), in.frame.Pitch(), values.Data(),
                                       values.Pitch(), in.lut.data(), kWidth, kHeight);
    RadiometricStatistics::OutputToSignal(values.Data(), values.Pitch(), signal.Data(),
                                          signal.Pitch(), kWidth, kHeight, 260.0, 380.0, 100, 60000,
                                          1.0);
    AppendBytes(bytes, values);
    AppendBytes(bytes, signal);
    return bytes;
}

}  // namespace

// The operations keep nothing between calls: the thread index plays no part.
TEST(ConcurrentOperations, ResultsDoNotDependOnThreads) {
    const Inputs inputs;
    auto on = [&inputs](Bytes (*operation)(const Inputs&)) {
        return [&inputs, operation](int) { return operation(inputs); };
    };
    ExpectIndependentOfThreads(
        {{"palettes and colour conversions", on(PalettesAndColourConversions)},
         {"masks and geometry", on(MasksAndGeometry)},
         {"blending, composition and fusion", on(BlendingCompositionAndFusion)},
         {"intensity and radiometry", on(IntensityAndRadiometry)}},
        kThreads, kRepeats);
}
