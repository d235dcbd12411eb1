// The two gas detectors on a 640x480 pair (the frame's first 480 rows, and the same rows moved
// by a few pixels with an absorbing patch added), next to the same steps in OpenCV.
#include "BenchSupport.h"
#include "GasPeers.h"

#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>

#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::ImageProcessing::GasDetection;
using Varnik::Soloma::ImageProcessing::GasDetectionDifference;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A 640x480 pair of 16-bit frames and a 4-byte colour image of the current one.
struct GasPair {
    Frame ref{kWidth, kHeight};
    Frame src{kWidth, kHeight};
    std::vector<unsigned char> colour;
    std::vector<unsigned char> overlay;

    explicit GasPair(const Frame& frame) {
        MakeGasPair(frame, kWidth, kHeight, ref.Data(), ref.Pitch(), src.Data(), src.Pitch());
        colour.resize(static_cast<std::size_t>(kWidth) * kHeight * 4);
        overlay.resize(colour.size());
        for (int y = 0; y < kHeight; ++y) {
            const unsigned short* row = src.Row(y);
            for (int x = 0; x < kWidth; ++x) {
                const auto grey = static_cast<unsigned char>(row[x] >> 8);
                unsigned char* p = &colour[(static_cast<std::size_t>(y) * kWidth + x) * 4];
                p[0] = p[1] = p[2] = grey;
                p[3] = 255;
            }
        }
    }
};

template <typename Detector>
void TimeDetector(benchmark::State& state, const BenchInput* in, Detector& detector) {
    GasPair pair(*in->frame);
    auto run = [&] {
        detector.Run(pair.src.Data(), pair.src.Pitch(), pair.ref.Data(), pair.ref.Pitch(),
                     pair.colour.data(), kWidth * 4, pair.overlay.data(), kWidth * 4, kWidth,
                     kHeight);
    };
    TimeSteadyState(state, pair.ref, run);
}

void PsdStabilized(benchmark::State& state, const BenchInput* in) {
    GasDetection detector;
    TimeDetector(state, in, detector);
}

void PsdUnstabilized(benchmark::State& state, const BenchInput* in) {
    GasDetection detector;
    detector.SetUseImageStabilisation(false);
    TimeDetector(state, in, detector);
}

void DifferenceUnstabilized(benchmark::State& state, const BenchInput* in) {
    GasDetectionDifference detector;
    detector.SetUseImageStabilisation(false);
    TimeDetector(state, in, detector);
}

void DifferenceStabilized(benchmark::State& state, const BenchInput* in) {
    GasDetectionDifference detector;
    TimeDetector(state, in, detector);
}

#ifdef SOLOMA_BENCH_OPENCV
// The transforms alone: cv::dft of the 32 rows of every 32x32 block 16 pixels apart, and of
// the rows of its transposition.
void CvBlockDft(benchmark::State& state, const BenchInput* in) {
    GasPair pair(*in->frame);
    cv::Mat a, b, d;
    cv::Mat(kHeight, kWidth, CV_16U, pair.src.Data(), pair.src.Pitch()).convertTo(a, CV_32F);
    cv::Mat(kHeight, kWidth, CV_16U, pair.ref.Data(), pair.ref.Pitch()).convertTo(b, CV_32F);
    cv::subtract(a, b, d);
    cv::Mat spectrum, transposed;
    for (auto _ : state) {
        BlockTransformsInOpenCv(d, spectrum, transposed);
        benchmark::DoNotOptimize(spectrum.data);
    }
    SetBytes(state, pair.ref);
}

// The difference detector's steps.
void CvDifferenceSteps(benchmark::State& state, const BenchInput* in) {
    GasPair pair(*in->frame);
    const cv::Mat src(kHeight, kWidth, CV_16U, pair.src.Data(), pair.src.Pitch());
    const cv::Mat ref(kHeight, kWidth, CV_16U, pair.ref.Data(), pair.ref.Pitch());
    DifferenceScratch scratch;
    for (auto _ : state) {
        DifferenceStepsInOpenCv(src, ref, scratch);
        benchmark::DoNotOptimize(scratch.smooth.data);
    }
    SetBytes(state, pair.ref);
}
#endif

}  // namespace

void RegisterGasBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != kWidth || input.frame->Height() < kHeight) {
        return;
    }
    AddCase(input, "Gas_Psd_Stabilized", PsdStabilized);
    AddCase(input, "Gas_Psd_Unstabilized", PsdUnstabilized);
    AddCase(input, "Gas_Difference_Unstabilized", DifferenceUnstabilized);
    AddCase(input, "Gas_Difference_Stabilized", DifferenceStabilized);
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_block_dft", CvBlockDft);
    AddCase(input, "cv_difference_steps", CvDifferenceSteps);
    AddNote("cv_block_dft",
            "cv::dft (DFT_ROWS) of every 32x32 block 16 pixels apart and of its transposition, "
            "on the 640x480 frame difference: the transforms alone");
    AddNote("cv_difference_steps",
            "the difference detector's steps in OpenCV: convertTo x2, blur 5x5 x4, absdiff, "
            "add, minMaxLoc x2, threshold x2, multiply, GaussianBlur 7x7 sigma 1.5");
    AddRatio("Gas PSD detector (stabilised) / cv::dft of the blocks", "Gas_Psd_Stabilized",
             {"cv_block_dft"}, 1.0);
    AddRatio("Gas PSD detector (unstabilised) / cv::dft of the blocks", "Gas_Psd_Unstabilized",
             {"cv_block_dft"});
    AddRatio("Gas difference detector (unstabilised) / its steps in OpenCV",
             "Gas_Difference_Unstabilized", {"cv_difference_steps"}, 0.5);
    AddRatio("Gas difference detector (stabilised) / its steps in OpenCV",
             "Gas_Difference_Stabilized", {"cv_difference_steps"});
#endif
}
