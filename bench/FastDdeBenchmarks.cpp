// Fast detail enhancement in steady state, next to the same computation composed of OpenCV
// calls.
#include "BenchSupport.h"

#include <Varnik/Soloma/ImageProcessing/FastDDE.h>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::ImageProcessing::FastDDE;

// The command-line tool's default gain.
constexpr float kGain = 2.0f;

void Create(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    FastDDE dde;
    auto run = [&] {
        dde.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), kGain, src.Width(),
                   src.Height());
    };
    TimeSteadyState(state, src, run);
}

#ifdef SOLOMA_BENCH_OPENCV
// The same steps with OpenCV: to float, both box means with replicated borders, the
// arithmetic 0.5 * x + 0.25 * (max + min) + g * (mean3 - mean7), and back to 16 bits with
// rounding and saturation. The Mats keep their buffers from one iteration to the next.
void CvComposite(benchmark::State& state, const BenchInput* in) {
    const cv::Mat src = AsMat(*in->frame);
    cv::Mat input, mean3, mean7, detail, output, dst;
    for (auto _ : state) {
        // The frame's own extremes, as FastDDE finds them for every frame.
        double lo = 0.0;
        double hi = 0.0;
        cv::minMaxLoc(src, &lo, &hi);
        const double middle = 0.25 * (lo + hi);
        src.convertTo(input, CV_32F);
        cv::blur(input, mean3, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        cv::blur(input, mean7, cv::Size(7, 7), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        cv::subtract(mean3, mean7, detail);
        cv::addWeighted(input, 0.5, detail, kGain, middle, output);
        output.convertTo(dst, CV_16U);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterFastDdeBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640) {
        return;
    }
    AddCase(input, "FastDDE_Create", Create);
    AddRatio("FastDDE / memcpy", "FastDDE_Create", {"memcpy"});
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_fastdde_composite", CvComposite);
    AddNote("cv_fastdde_composite",
            "minMaxLoc, convertTo 32F, blur 3x3 and 7x7 (BORDER_REPLICATE), subtract, "
            "addWeighted (0.5 * x + g * detail + 0.25 * (min + max)), convertTo 16U; g = 2");
    AddRatio("FastDDE / OpenCV composite", "FastDDE_Create", {"cv_fastdde_composite"}, 0.15);
#endif
}
