// Shift estimation between two frames, next to OpenCV's phase correlation on the same pair.
#include "BenchSupport.h"

#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::ImageProcessing::ImageStabilization;

// The second frame of each pair is the first with its content moved by this much; the strip
// the move uncovers keeps the first frame's pixels, as a camera's next frame would differ.
constexpr int kMoveX = 3;
constexpr int kMoveY = -2;

// A pair of float frames (the frame and its moved copy) with one pitch.
struct FloatPair {
    std::vector<float> ref;
    std::vector<float> src;
    int width = 0;
    int height = 0;
    int Pitch() const { return width * static_cast<int>(sizeof(float)); }
};

FloatPair MakeFloatPair(const Frame& frame) {
    FloatPair pair;
    pair.width = frame.Width();
    pair.height = frame.Height();
    pair.ref.resize(static_cast<size_t>(pair.width) * pair.height);
    PixelPrimitives::Convert_16u32f_C1(frame.Data(), frame.Pitch(), pair.ref.data(), pair.Pitch(),
                                       pair.width, pair.height);
    pair.src = pair.ref;
    PixelPrimitives::Resize_32f_C1(pair.ref.data(), pair.Pitch(), pair.width, pair.height,
                                   pair.src.data(), pair.Pitch(), pair.width, pair.height, 1.0f,
                                   kMoveX, kMoveY, false);
    return pair;
}

void Estimate32f(benchmark::State& state, const BenchInput* in) {
    FloatPair pair = MakeFloatPair(*in->frame);
    ImageStabilization stabilization;
    int dx = 0, dy = 0;
    auto run = [&] {
        stabilization.Run(pair.ref.data(), pair.Pitch(), pair.src.data(), pair.Pitch(), pair.width,
                          pair.height, dx, dy);
    };
    TimeSteadyState(state, *in->frame, run);
}

void Estimate16u(benchmark::State& state, const BenchInput* in) {
    const Frame& ref = *in->frame;
    Frame src(ref.Width(), ref.Height());
    PixelPrimitives::Copy_16u_C1(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), ref.Width(),
                                 ref.Height());
    PixelPrimitives::Resize_16u_C1(ref.Data(), ref.Pitch(), ref.Width(), ref.Height(), src.Data(),
                                   src.Pitch(), ref.Width(), ref.Height(), 1.0f, kMoveX, kMoveY,
                                   false);
    ImageStabilization stabilization;
    int dx = 0, dy = 0;
    auto run = [&] {
        stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), ref.Width(),
                          ref.Height(), dx, dy);
    };
    TimeSteadyState(state, ref, run);
}

// What the gas detectors do every frame: estimate and move the float frame in place.
void AlignInPlace32f(benchmark::State& state, const BenchInput* in) {
    FloatPair pair = MakeFloatPair(*in->frame);
    const std::vector<float> moved = pair.src;
    ImageStabilization stabilization;
    auto run = [&] {
        pair.src = moved;
        stabilization.Run(pair.ref.data(), pair.Pitch(), pair.src.data(), pair.Pitch(), pair.width,
                          pair.height);
    };
    TimeSteadyState(state, *in->frame, run);
}

void CopyFloatFrame(benchmark::State& state, const BenchInput* in) {
    FloatPair pair = MakeFloatPair(*in->frame);
    const std::vector<float> moved = pair.src;
    for (auto _ : state) {
        pair.src = moved;
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}

#ifdef SOLOMA_BENCH_OPENCV
void CvPhaseCorrelate(benchmark::State& state, const BenchInput* in) {
    FloatPair pair = MakeFloatPair(*in->frame);
    const cv::Mat ref(pair.height, pair.width, CV_32F, pair.ref.data());
    const cv::Mat src(pair.height, pair.width, CV_32F, pair.src.data());
    for (auto _ : state) {
        cv::Point2d shift = cv::phaseCorrelate(ref, src);
        benchmark::DoNotOptimize(shift);
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterStabilizationBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640) {
        return;
    }
    AddCase(input, "Stabilize_Estimate_32f", Estimate32f);
    AddCase(input, "Stabilize_Estimate_16u", Estimate16u);
    AddCase(input, "Stabilize_AlignInPlace_32f", AlignInPlace32f);
    AddCase(input, "copy_float_frame", CopyFloatFrame);
    AddRatio("Stabilize align in place 32f (incl. frame copy) / float frame copy",
             "Stabilize_AlignInPlace_32f", {"copy_float_frame"});
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_phaseCorrelate", CvPhaseCorrelate);
    AddNote("cv_phaseCorrelate",
            "cv::phaseCorrelate of the float pair, no window: sub-pixel shift from the "
            "cross-power spectrum");
    AddRatio("Stabilize estimate 32f / cv::phaseCorrelate", "Stabilize_Estimate_32f",
             {"cv_phaseCorrelate"}, 0.05);
    AddRatio("Stabilize estimate 16u / cv::phaseCorrelate", "Stabilize_Estimate_16u",
             {"cv_phaseCorrelate"});
#endif
}
