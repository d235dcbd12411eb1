// Shift estimation between two frames, next to OpenCV's phase correlation on the same pair.
#include "BenchSupport.h"

#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::ImageProcessing::ImageStabilization;

// The second frame of each pair is the first with its content moved by this much; the strip
// the move uncovers keeps the first frame's pixels, as a camera's next frame would differ.
constexpr int kMoveX = 3;
constexpr int kMoveY = -2;

// The second frame of a pair: the first with its content moved, the strip the move uncovers
// keeping the first frame's pixels.
void Move(const FloatImage& ref, FloatImage& moved) {
    PixelPrimitives::Copy_32f_C1(ref.Data(), ref.Pitch(), moved.Data(), moved.Pitch(), ref.Width(),
                                 ref.Height());
    PixelPrimitives::Resize_32f_C1(ref.Data(), ref.Pitch(), ref.Width(), ref.Height(), moved.Data(),
                                   moved.Pitch(), ref.Width(), ref.Height(), 1.0f, kMoveX, kMoveY,
                                   false);
}

void Estimate32f(benchmark::State& state, const BenchInput* in) {
    const FloatImage ref(*in->frame);
    FloatImage src(ref.Width(), ref.Height());
    Move(ref, src);
    ImageStabilization stabilization;
    int dx = 0, dy = 0;
    auto run = [&] {
        stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), ref.Width(),
                          ref.Height(), dx, dy);
    };
    TimeSteadyState(state, *in->frame, run);
}

// A pair that changes every call: the frame and a copy moved by one pixel alternate as ref,
// src alternates the other way, so neither operand repeats and every call works out both
// frames' edge projections.
void EstimateNewPair32f(benchmark::State& state, const BenchInput* in) {
    FloatImage first(*in->frame);
    FloatImage second(first.Width(), first.Height());
    Move(first, second);
    ImageStabilization stabilization;
    int dx = 0, dy = 0;
    bool swap = false;
    auto run = [&] {
        const FloatImage& ref = swap ? second : first;
        FloatImage& src = swap ? first : second;
        stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), ref.Width(),
                          ref.Height(), dx, dy);
        swap = !swap;
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

// The 16-bit pair that changes every call, as EstimateNewPair32f: each call converts both
// frames and works out their edge projections.
void EstimateNewPair16u(benchmark::State& state, const BenchInput* in) {
    const Frame& first = *in->frame;
    Frame second(first.Width(), first.Height());
    PixelPrimitives::Copy_16u_C1(first.Data(), first.Pitch(), second.Data(), second.Pitch(),
                                 first.Width(), first.Height());
    PixelPrimitives::Resize_16u_C1(first.Data(), first.Pitch(), first.Width(), first.Height(),
                                   second.Data(), second.Pitch(), first.Width(), first.Height(),
                                   1.0f, kMoveX, kMoveY, false);
    ImageStabilization stabilization;
    int dx = 0, dy = 0;
    bool swap = false;
    auto run = [&] {
        const Frame& ref = swap ? second : first;
        const Frame& src = swap ? first : second;
        stabilization.Run(ref.Data(), ref.Pitch(), const_cast<unsigned short*>(src.Data()),
                          src.Pitch(), ref.Width(), ref.Height(), dx, dy);
        swap = !swap;
    };
    TimeSteadyState(state, first, run);
}

// What the gas detectors do every frame: estimate and move the float frame in place. The
// moved frame is restored before each call.
void AlignInPlace32f(benchmark::State& state, const BenchInput* in) {
    const FloatImage ref(*in->frame);
    FloatImage moved(ref.Width(), ref.Height());
    FloatImage work(ref.Width(), ref.Height());
    Move(ref, moved);
    ImageStabilization stabilization;
    auto run = [&] {
        PixelPrimitives::Copy_32f_C1(moved.Data(), moved.Pitch(), work.Data(), work.Pitch(),
                                     ref.Width(), ref.Height());
        stabilization.Run(ref.Data(), ref.Pitch(), work.Data(), work.Pitch(), ref.Width(),
                          ref.Height());
    };
    TimeSteadyState(state, *in->frame, run);
}

// The gas detectors' stream: each call's ref is a new frame (here two alternate), the frame
// moved in place is their fixed reference, restored before each call.
void AlignInPlaceNewRef32f(benchmark::State& state, const BenchInput* in) {
    const FloatImage first(*in->frame);
    FloatImage second(first.Width(), first.Height());
    FloatImage work(first.Width(), first.Height());
    Move(first, second);
    ImageStabilization stabilization;
    bool swap = false;
    auto run = [&] {
        const FloatImage& ref = swap ? second : first;
        PixelPrimitives::Copy_32f_C1(first.Data(), first.Pitch(), work.Data(), work.Pitch(),
                                     first.Width(), first.Height());
        stabilization.Run(ref.Data(), ref.Pitch(), work.Data(), work.Pitch(), first.Width(),
                          first.Height());
        swap = !swap;
    };
    TimeSteadyState(state, *in->frame, run);
}

void CopyFloatFrame(benchmark::State& state, const BenchInput* in) {
    const FloatImage ref(*in->frame);
    FloatImage work(ref.Width(), ref.Height());
    for (auto _ : state) {
        PixelPrimitives::Copy_32f_C1(ref.Data(), ref.Pitch(), work.Data(), work.Pitch(),
                                     ref.Width(), ref.Height());
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}

#ifdef SOLOMA_BENCH_OPENCV
void CvPhaseCorrelate(benchmark::State& state, const BenchInput* in) {
    const FloatImage first(*in->frame);
    FloatImage second(first.Width(), first.Height());
    Move(first, second);
    const cv::Mat ref = FloatMat(first);
    const cv::Mat src = FloatMat(second);
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
    AddCase(input, "Stabilize_Estimate_32f_NewPair", EstimateNewPair32f);
    AddCase(input, "Stabilize_Estimate_16u_NewPair", EstimateNewPair16u);
    AddCase(input, "Stabilize_AlignInPlace_32f", AlignInPlace32f);
    AddCase(input, "Stabilize_AlignInPlace_32f_NewRef", AlignInPlaceNewRef32f);
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
    AddRatio("Stabilize estimate 32f, new pair every call / cv::phaseCorrelate",
             "Stabilize_Estimate_32f_NewPair", {"cv_phaseCorrelate"});
    AddRatio("Stabilize estimate 16u, new pair every call / cv::phaseCorrelate",
             "Stabilize_Estimate_16u_NewPair", {"cv_phaseCorrelate"});
    AddRatio("Stabilize align in place 32f, new ref every call / cv::phaseCorrelate",
             "Stabilize_AlignInPlace_32f_NewRef", {"cv_phaseCorrelate"});
#endif
}
