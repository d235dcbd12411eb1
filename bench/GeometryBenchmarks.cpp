// Geometric transforms in steady state: the whole-pixel shift an image stabiliser applies to
// every frame, against the memory-copy floor, and bilinear enlargement, rotation and remapping,
// against OpenCV's nearest peers.
#include "BenchSupport.h"

#include <PixelPrimitives/PixelPrimitives.h>

#include <cmath>
#include <cstring>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using PP = PixelPrimitives;

// The shift a stabiliser might apply: a few whole pixels in each direction.
constexpr int kShiftX = 3;
constexpr int kShiftY = -2;
constexpr float kAngle = 30.0f;

// A smooth map: a slight rotation and a gentle swirl, every point within a few pixels of its
// own position, so that most destination pixels find a source.
void FillSmoothMap(FloatImage& xMap, FloatImage& yMap) {
    const double cx = xMap.Width() / 2.0;
    const double cy = xMap.Height() / 2.0;
    for (int y = 0; y < xMap.Height(); ++y) {
        float* xs = reinterpret_cast<float*>(reinterpret_cast<char*>(xMap.Data()) +
                                             static_cast<std::ptrdiff_t>(xMap.Pitch()) * y);
        float* ys = reinterpret_cast<float*>(reinterpret_cast<char*>(yMap.Data()) +
                                             static_cast<std::ptrdiff_t>(yMap.Pitch()) * y);
        for (int x = 0; x < xMap.Width(); ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            xs[x] = static_cast<float>(x + 0.02 * dy + 3.0 * std::sin(y / 40.0));
            ys[x] = static_cast<float>(y - 0.02 * dx + 3.0 * std::cos(x / 50.0));
        }
    }
}

void MemcpyFloat(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    FloatImage dst(src.Width(), src.Height());
    const std::size_t bytes = static_cast<std::size_t>(src.Pitch()) * src.Height();
    for (auto _ : state) {
        std::memcpy(dst.Data(), src.Data(), bytes);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}

void ShiftU16(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    TimeSteadyState(state, src, [&] {
        PP::Resize_16u_C1(src.Data(), src.Pitch(), src.Width(), src.Height(), dst.Data(),
                          dst.Pitch(), dst.Width(), dst.Height(), 1.0f, kShiftX, kShiftY, true);
    });
}

void ShiftF32(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    FloatImage dst(src.Width(), src.Height());
    TimeSteadyState(state, *in->frame, [&] {
        PP::Resize_32f_C1(src.Data(), src.Pitch(), src.Width(), src.Height(), dst.Data(),
                          dst.Pitch(), dst.Width(), dst.Height(), 1.0f, kShiftX, kShiftY, true);
    });
}

void EnlargeU16(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(2 * src.Width(), 2 * src.Height());
    TimeSteadyState(state, src, [&] {
        PP::Resize_16u_C1(src.Data(), src.Pitch(), src.Width(), src.Height(), dst.Data(),
                          dst.Pitch(), dst.Width(), dst.Height(), 2.0f, 0, 0, true);
    });
}

void EnlargeF32(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    FloatImage dst(2 * src.Width(), 2 * src.Height());
    TimeSteadyState(state, *in->frame, [&] {
        PP::Resize_32f_C1(src.Data(), src.Pitch(), src.Width(), src.Height(), dst.Data(),
                          dst.Pitch(), dst.Width(), dst.Height(), 2.0f, 0, 0, true);
    });
}

void RotateF32(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    FloatImage dst(src.Width(), src.Height());
    TimeSteadyState(state, *in->frame, [&] {
        PP::RotateCenter_32f_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                                src.Height(), kAngle);
    });
}

void RemapF32(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    FloatImage dst(src.Width(), src.Height());
    FloatImage xMap(src.Width(), src.Height());
    FloatImage yMap(src.Width(), src.Height());
    FillSmoothMap(xMap, yMap);
    TimeSteadyState(state, *in->frame, [&] {
        PP::Remap_32f_C1R(src.Data(), src.Width(), src.Height(), src.Pitch(), 0, 0, src.Width(),
                          src.Height(), xMap.Data(), xMap.Pitch(), yMap.Data(), yMap.Pitch(),
                          dst.Data(), dst.Pitch(), dst.Width(), dst.Height(), true);
    });
}

#ifdef SOLOMA_BENCH_OPENCV

// cv::resize to twice the size; the destination Mat keeps its buffer between iterations.
void TimeCvEnlarge(benchmark::State& state, const Frame& frame, const cv::Mat& src) {
    cv::Mat dst;
    for (auto _ : state) {
        cv::resize(src, dst, cv::Size(2 * src.cols, 2 * src.rows), 0.0, 0.0, cv::INTER_LINEAR);
        benchmark::ClobberMemory();
    }
    SetBytes(state, frame);
}

void CvEnlargeU16(benchmark::State& state, const BenchInput* in) {
    TimeCvEnlarge(state, *in->frame, AsMat(*in->frame));
}

void CvEnlargeF32(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    TimeCvEnlarge(state, *in->frame, FloatMat(src));
}

void CvRotateF32(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    const cv::Mat s = FloatMat(src);
    const cv::Point2f centre((s.cols - 1) / 2.0f, (s.rows - 1) / 2.0f);
    const cv::Mat rotation = cv::getRotationMatrix2D(centre, kAngle, 1.0);
    cv::Mat dst;
    for (auto _ : state) {
        cv::warpAffine(s, dst, rotation, s.size(), cv::INTER_LINEAR);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}

void CvRemapF32(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    FloatImage xMap(src.Width(), src.Height());
    FloatImage yMap(src.Width(), src.Height());
    FillSmoothMap(xMap, yMap);
    const cv::Mat s = FloatMat(src);
    cv::Mat dst;
    for (auto _ : state) {
        cv::remap(s, dst, FloatMat(xMap), FloatMat(yMap), cv::INTER_LINEAR);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterGeometryBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640) {
        return;
    }
    AddCase(input, "memcpy_32f", MemcpyFloat);
    AddCase(input, "Resize_16u_shift", ShiftU16);
    AddCase(input, "Resize_32f_shift", ShiftF32);
    AddRatio("Resize 16u, scale 1, shift (3, -2) / memcpy", "Resize_16u_shift", {"memcpy"}, 1.5);
    AddRatio("Resize 32f, scale 1, shift (3, -2) / memcpy 32f", "Resize_32f_shift", {"memcpy_32f"},
             1.5);
    AddCase(input, "Resize_16u_x2", EnlargeU16);
    AddCase(input, "Resize_32f_x2", EnlargeF32);
    AddCase(input, "RotateCenter_32f_30", RotateF32);
    AddCase(input, "Remap_32f_smooth", RemapF32);
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_Resize_16u_x2", CvEnlargeU16);
    AddCase(input, "cv_Resize_32f_x2", CvEnlargeF32);
    AddCase(input, "cv_Rotate_32f_30_warpAffine", CvRotateF32);
    AddCase(input, "cv_Remap_32f_smooth", CvRemapF32);
    AddNote("cv_Rotate_32f_30_warpAffine",
            "warpAffine INTER_LINEAR with getRotationMatrix2D about ((w-1)/2, (h-1)/2), "
            "zero border; OpenCV quantises positions to 1/32 pixel and blends in float");
    AddNote("cv_Resize_16u_x2", "resize INTER_LINEAR to 2w x 2h; OpenCV blends in float");
    // The primitives work in the calling thread while OpenCV spreads these over its own threads,
    // so the targets hold for one thread against one thread.
    const double target = SingleThreaded() ? 1.0 : -1.0;
    AddRatio("Resize 16u bilinear x2 / cv::resize", "Resize_16u_x2", {"cv_Resize_16u_x2"}, target);
    AddRatio("Resize 32f bilinear x2 / cv::resize", "Resize_32f_x2", {"cv_Resize_32f_x2"}, target);
    AddRatio("RotateCenter 32f 30 deg / cv::warpAffine", "RotateCenter_32f_30",
             {"cv_Rotate_32f_30_warpAffine"}, target);
    AddRatio("Remap 32f bilinear, smooth map / cv::remap", "Remap_32f_smooth",
             {"cv_Remap_32f_smooth"});
#endif
}
