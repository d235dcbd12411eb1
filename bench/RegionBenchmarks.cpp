// The magic wand on a 640x512 frame, with a seed and tolerance that select about a fifth of
// it, and the 3x3 dilation and erosion of a mask, next to OpenCV's nearest operations.
#include "BenchSupport.h"

#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>

#include <cmath>
#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::ImageProcessing::MagicWand;
using Varnik::Soloma::ImageProcessing::MorphologicalOperations;

constexpr int kWidth = 640;
constexpr int kHeight = 512;

// A seed and tolerance per input; each selects about a fifth of its frame.
struct WandSetting {
    const char* input;
    int seedX;
    int seedY;
    float tolerance;
};
const WandSetting kSettings[] = {
    // The background's gradient in a band across the frame.
    {"synthetic_640x512", 100, 150, 45.0f},
    // The near car's body.
    {"outdoor_parked_cars_640x512", 200, 400, 45.0f},
};

const WandSetting* SettingFor(const BenchInput& input) {
    for (const WandSetting& setting : kSettings) {
        if (input.name == setting.input) {
            return &setting;
        }
    }
    return nullptr;
}

// An 8-bit mask, 255 where the frame lies above the middle of its range, inside a buffer with
// a one-pixel ring (the ring replicates the edge) as the 3x3 operations need.
struct RingedMask {
    int pitch = 0;
    unsigned char* data = nullptr;

    explicit RingedMask(const BenchInput& in) {
        const Frame& f = *in.frame;
        data = PixelPrimitives::Malloc_8u_C1(kWidth + 2, kHeight + 2, &pitch);
        std::vector<unsigned char> mask(static_cast<std::size_t>(kWidth) * kHeight);
        const int middle = (in.min + in.max) / 2;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                mask[static_cast<std::size_t>(y) * kWidth + x] = f.Row(y)[x] > middle ? 255 : 0;
            }
        }
        PixelPrimitives::CopyReplicateBorder_8u_C1(mask.data(), kWidth, kWidth, kHeight, data,
                                                   pitch, kWidth + 2, kHeight + 2, 1, 1);
    }
    ~RingedMask() { PixelPrimitives::Free(data); }
    RingedMask(const RingedMask&) = delete;
    RingedMask& operator=(const RingedMask&) = delete;

    unsigned char* Interior() const { return data + pitch + 1; }
};

// A frame-sized 8-bit image of the primitives' allocator.
struct Mask8 {
    int pitch = 0;
    unsigned char* data = PixelPrimitives::Malloc_8u_C1(kWidth, kHeight, &pitch);
    Mask8() = default;
    ~Mask8() { PixelPrimitives::Free(data); }
    Mask8(const Mask8&) = delete;
    Mask8& operator=(const Mask8&) = delete;
};

void WandAdd(benchmark::State& state, const BenchInput* in) {
    const WandSetting& s = *SettingFor(*in);
    const Frame& frame = *in->frame;
    Mask8 mask;
    MagicWand wand;
    auto run = [&] {
        // A fresh mask each time, as a host selecting anew would pass; the clearing is a
        // fraction of the wand's own passes.
        PixelPrimitives::AndC_8u_C1I(mask.data, mask.pitch, 0, kWidth, kHeight);
        wand.Add(frame.Data(), frame.Pitch(), mask.data, mask.pitch, s.tolerance, s.seedX, s.seedY,
                 kWidth, kHeight);
    };
    TimeSteadyState(state, frame, run);
    // How much the setting selects, for the record.
    long selected = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            selected += mask.data[static_cast<std::ptrdiff_t>(y) * mask.pitch + x] != 0;
        }
    }
    state.counters["selected_share"] = static_cast<double>(selected) / (kWidth * kHeight);
}

template <bool kDilate>
void Morphology(benchmark::State& state, const BenchInput* in) {
    const RingedMask src(*in);
    Mask8 dst;
    TimeSteadyState(state, *in->frame, [&] {
        if (kDilate) {
            MorphologicalOperations::Dilate3x3(src.Interior(), src.pitch, dst.data, dst.pitch,
                                               kWidth, kHeight);
        } else {
            MorphologicalOperations::Erode3x3(src.Interior(), src.pitch, dst.data, dst.pitch,
                                              kWidth, kHeight);
        }
    });
}

// In place, as the wand runs them.
template <bool kDilate>
void MorphologyInPlace(benchmark::State& state, const BenchInput* in) {
    const RingedMask image(*in);
    TimeSteadyState(state, *in->frame, [&] {
        if (kDilate) {
            MorphologicalOperations::Dilate3x3(image.Interior(), image.pitch, kWidth, kHeight);
        } else {
            MorphologicalOperations::Erode3x3(image.Interior(), image.pitch, kWidth, kHeight);
        }
    });
}

#ifdef SOLOMA_BENCH_OPENCV
// The wand's steps in OpenCV on the same band: the band by inRange (its inclusive bounds set to
// the integers strictly inside the wand's), its complement filled from the seed with
// 8-connectivity, the band's part that the fill reached, a 3x3 closing of two iterations
// (OpenCV merges them into one 5x5 dilation and erosion) and the union with the mask.
void CvWandComposite(benchmark::State& state, const BenchInput* in) {
    const WandSetting& s = *SettingFor(*in);
    const cv::Mat src = AsMat(*in->frame);
    const double seedValue = src.at<unsigned short>(s.seedY, s.seedX);
    const cv::Scalar lower(std::floor(seedValue - s.tolerance) + 1.0);
    const cv::Scalar upper(std::ceil(seedValue + s.tolerance) - 1.0);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat band, fill, region, mask(kHeight, kWidth, CV_8U, cv::Scalar(0));
    for (auto _ : state) {
        mask.setTo(0);
        cv::inRange(src, lower, upper, band);
        cv::bitwise_not(band, fill);
        cv::floodFill(fill, cv::Point(s.seedX, s.seedY), cv::Scalar(255), nullptr, cv::Scalar(),
                      cv::Scalar(), 8);
        cv::bitwise_and(band, fill, region);
        cv::morphologyEx(region, region, cv::MORPH_CLOSE, kernel, cv::Point(-1, -1), 2,
                         cv::BORDER_REPLICATE);
        cv::bitwise_or(region, mask, mask);
        benchmark::DoNotOptimize(mask.data);
    }
    SetBytes(state, *in->frame);
}

// cv::dilate / cv::erode with a 3x3 rectangle on the ringed mask's interior: OpenCV reads the
// ring as the region's surroundings, as ours does.
template <bool kDilate>
void CvMorphology(benchmark::State& state, const BenchInput* in) {
    const RingedMask src(*in);
    const cv::Mat interior(kHeight, kWidth, CV_8U, src.Interior(), src.pitch);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat dst(kHeight, kWidth, CV_8U);
    for (auto _ : state) {
        if (kDilate) {
            cv::dilate(interior, dst, kernel);
        } else {
            cv::erode(interior, dst, kernel);
        }
        benchmark::DoNotOptimize(dst.data);
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterRegionBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != kWidth || input.frame->Height() != kHeight) {
        return;
    }
    const bool wand = SettingFor(input) != nullptr;
    if (wand) {
        AddCase(input, "Wand_Add", WandAdd);
    }
    AddCase(input, "Dilate3x3", Morphology<true>);
    AddCase(input, "Erode3x3", Morphology<false>);
    AddCase(input, "Dilate3x3_InPlace", MorphologyInPlace<true>);
    AddCase(input, "Erode3x3_InPlace", MorphologyInPlace<false>);
#ifdef SOLOMA_BENCH_OPENCV
    if (wand) {
        AddCase(input, "cv_wand_composite", CvWandComposite);
    }
    AddCase(input, "cv_dilate3x3", CvMorphology<true>);
    AddCase(input, "cv_erode3x3", CvMorphology<false>);
    AddNote("cv_wand_composite",
            "inRange on the same band, bitwise_not, floodFill 8-connected from the seed, "
            "bitwise_and, morphologyEx close 3x3 with 2 iterations (BORDER_REPLICATE), "
            "bitwise_or into a cleared mask");
    AddNote("cv_dilate3x3",
            "cv::dilate / cv::erode 3x3 rectangle on the interior of a mask with a one-pixel ring");
    AddRatio("MagicWand::Add / its steps in OpenCV", "Wand_Add", {"cv_wand_composite"}, 1.0);
    AddRatio("Dilate3x3 / cv::dilate", "Dilate3x3", {"cv_dilate3x3"}, 1.0);
    AddRatio("Erode3x3 / cv::erode", "Erode3x3", {"cv_erode3x3"}, 1.0);
    AddRatio("Dilate3x3 in place / cv::dilate", "Dilate3x3_InPlace", {"cv_dilate3x3"});
    AddRatio("Erode3x3 in place / cv::erode", "Erode3x3_InPlace", {"cv_erode3x3"});
#endif
}
