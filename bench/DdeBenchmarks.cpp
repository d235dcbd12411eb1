// Detail enhancement in steady state with the two window sizes a host uses, next to OpenCV's
// bilateral filter of the same diameter.
#include "BenchSupport.h"

#include <Varnik/Soloma/ImageProcessing/DDE.h>

#include <string>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::ImageProcessing::DDE;

// The command-line tool's defaults.
constexpr float kSigma = 2.0f;
constexpr float kBaseSharpen = 0.5f;
constexpr float kDetailGain = 2.0f;

template <int KernelSize>
void Create(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    DDE dde(KernelSize, kSigma);
    auto run = [&] {
        dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), kBaseSharpen, kDetailGain,
                   src.Width(), src.Height());
    };
    TimeSteadyState(state, src, run);
}

#ifdef SOLOMA_BENCH_OPENCV
// The bilateral filter alone, on a float copy of the frame made once, with the range Gaussian
// about as wide as our triangle.
template <int Diameter>
void CvBilateral(benchmark::State& state, const BenchInput* in) {
    cv::Mat input;
    AsMat(*in->frame).convertTo(input, CV_32F);
    const double sigmaColor = 0.75 * (in->max - in->min);
    cv::Mat output;
    for (auto _ : state) {
        cv::bilateralFilter(input, output, Diameter, sigmaColor, kSigma, cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterDdeBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640) {
        return;
    }
    AddCase(input, "DDE_Create_k5", Create<5>);
    AddCase(input, "DDE_Create_k9", Create<9>);
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_bilateralFilter_d5", CvBilateral<5>);
    AddCase(input, "cv_bilateralFilter_d9", CvBilateral<9>);
    AddNote("cv_bilateralFilter",
            "bilateralFilter on a CV_32F copy (made outside the loop), sigmaColor 0.75 * range, "
            "sigmaSpace 2, BORDER_REPLICATE; its window is the disc of diameter d (13 taps for "
            "d = 5, 49 for d = 9, against our 25 and 81), and it has no second pass");
    AddRatio("DDE k=5 / cv::bilateralFilter d=5", "DDE_Create_k5", {"cv_bilateralFilter_d5"}, 0.4);
    AddRatio("DDE k=9 / cv::bilateralFilter d=9", "DDE_Create_k9", {"cv_bilateralFilter_d9"}, 0.25);
#endif
}
