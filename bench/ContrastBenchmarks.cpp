// Histogram equalization and the three primitives it calls, next to OpenCV's nearest peers.
#include "BenchSupport.h"

#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>

#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using u16 = unsigned short;

// As the equalization uses them: 4096 bins between the frame's minimum and maximum.
constexpr int kBins = 4096;
constexpr int kLevels = kBins + 1;

void MinMax(benchmark::State& state, const BenchInput* in) {
    const Frame& f = *in->frame;
    for (auto _ : state) {
        u16 lo = 0;
        u16 hi = 0;
        PixelPrimitives::MinMax_16u_C1(f.Data(), f.Pitch(), f.Width(), f.Height(), &lo, &hi);
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
    SetBytes(state, f);
}

void HistogramEven(benchmark::State& state, const BenchInput* in) {
    const Frame& f = *in->frame;
    std::vector<int> hist(kBins);
    std::vector<int> levels(kLevels);
    for (auto _ : state) {
        PixelPrimitives::HistogramEven_16u_C1(f.Data(), f.Pitch(), f.Width(), f.Height(),
                                              hist.data(), levels.data(), kLevels, in->min,
                                              in->max);
        benchmark::ClobberMemory();
    }
    SetBytes(state, f);
}

// A monotone mapping of the frame's histogram bins, as the equalization makes.
void MakeMapping(const BenchInput& in, std::vector<int>* levels, std::vector<int>* values) {
    const Frame& f = *in.frame;
    std::vector<int> hist(kBins);
    levels->resize(kLevels);
    PixelPrimitives::HistogramEven_16u_C1(f.Data(), f.Pitch(), f.Width(), f.Height(), hist.data(),
                                          levels->data(), kLevels, in.min, in.max);
    values->resize(kLevels);
    long long cumulative = 0;
    const long long pixels = static_cast<long long>(f.Width()) * f.Height();
    for (int k = 0; k < kBins; ++k) {
        cumulative += hist[k];
        (*values)[k] = static_cast<int>(cumulative * (in.max - 1) / pixels);
    }
    (*values)[kBins] = in.max;
}

void Lut(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    std::vector<int> levels;
    std::vector<int> values;
    MakeMapping(*in, &levels, &values);
    for (auto _ : state) {
        PixelPrimitives::LUT_16u_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                                    src.Height(), values.data(), levels.data(), kLevels);
        benchmark::ClobberMemory();
    }
    SetBytes(state, src);
}

void Equalize(benchmark::State& state, const BenchInput* in) {
    using Varnik::Soloma::ImageProcessing::HistogramEqualization;
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    HistogramEqualization equalization;
    TimeSteadyState(state, src, [&] {
        equalization.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                            src.Height());
    });
}

#ifdef SOLOMA_BENCH_OPENCV
void CvMinMaxLoc(benchmark::State& state, const BenchInput* in) {
    const cv::Mat src = AsMat(*in->frame);
    for (auto _ : state) {
        double lo = 0.0;
        double hi = 0.0;
        cv::minMaxLoc(src, &lo, &hi);
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
    SetBytes(state, *in->frame);
}

// Uniform bins over [min, max): upper exclusive like ours, so pixels at the maximum are
// counted nowhere in either.
void CvCalcHist(benchmark::State& state, const BenchInput* in) {
    TimeCvCalcHist(state, *in->frame, in->min, in->max);
}
#endif

}  // namespace

void RegisterEqualizationBenchmarks(const BenchInput& input) {
    AddCase(input, "MinMax_16u_C1", MinMax);
    AddCase(input, "HistogramEven_16u_C1", HistogramEven);
    AddCase(input, "LUT_16u_C1", Lut);
    AddCase(input, "HistogramEqualization_Create", Equalize);
    AddRatio("MinMax_16u_C1 / memcpy", "MinMax_16u_C1", {"memcpy"}, 2.0);
    AddRatio("HistogramEven_16u_C1 / memcpy", "HistogramEven_16u_C1", {"memcpy"});
    AddRatio("LUT_16u_C1 / memcpy", "LUT_16u_C1", {"memcpy"});
    AddRatio("LUT_16u_C1 / table pass", "LUT_16u_C1", {"table_pass"}, 1.0);
    AddRatio("HistogramEqualization / memcpy", "HistogramEqualization_Create", {"memcpy"});
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_minMaxLoc", CvMinMaxLoc);
    AddCase(input, "cv_calcHist", CvCalcHist);
    AddNote("cv_calcHist", "4096 uniform bins over [min, max)");
    AddRatio("MinMax_16u_C1 / cv::minMaxLoc", "MinMax_16u_C1", {"cv_minMaxLoc"}, 0.5);
    AddRatio("HistogramEven_16u_C1 / cv::calcHist", "HistogramEven_16u_C1", {"cv_calcHist"}, 0.5);
    AddRatio("HistogramEqualization / (minMaxLoc + calcHist + table pass)",
             "HistogramEqualization_Create", {"cv_minMaxLoc", "cv_calcHist", "table_pass"}, 0.75);
#endif
}
