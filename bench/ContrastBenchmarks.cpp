// Single-threaded timings of histogram equalization and of the three primitives it calls,
// next to memcpy of the frame (the floor) and OpenCV's nearest peers, so that bench/run.sh
// can print their ratios from one run.
#include "Frames.h"
#include "PngIo.h"
#include "SyntheticFrame.h"

#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/PixelPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using u16 = unsigned short;
namespace Cli = Varnik::Soloma::Cli;

// As the equalization uses them: 4096 bins between the frame's minimum and maximum.
constexpr int kBins = 4096;
constexpr int kLevels = kBins + 1;

struct Input {
    std::string name;
    std::unique_ptr<Frame> frame;
    u16 min = 0;
    u16 max = 0;
    std::vector<int> levels;  // the histogram's levels over [min, max]
    std::vector<int> values;  // a monotone mapping of the bins, as the equalization makes
};

std::unique_ptr<Input> MakeInput(std::string name, std::unique_ptr<Frame> frame) {
    auto in = std::make_unique<Input>();
    in->name = std::move(name);
    in->frame = std::move(frame);
    const Frame& f = *in->frame;
    PixelPrimitives::MinMax_16u_C1(f.Data(), f.Pitch(), f.Width(), f.Height(), &in->min, &in->max);
    std::vector<int> hist(kBins);
    in->levels.resize(kLevels);
    PixelPrimitives::HistogramEven_16u_C1(f.Data(), f.Pitch(), f.Width(), f.Height(), hist.data(),
                                          in->levels.data(), kLevels, in->min, in->max);
    in->values.resize(kLevels);
    long long cumulative = 0;
    const long long pixels = static_cast<long long>(f.Width()) * f.Height();
    for (int k = 0; k < kBins; ++k) {
        cumulative += hist[k];
        in->values[k] = static_cast<int>(cumulative * (in->max - 1) / pixels);
    }
    in->values[kBins] = in->max;
    return in;
}

std::size_t FrameBytes(const Frame& f) {
    return static_cast<std::size_t>(f.Pitch()) * static_cast<std::size_t>(f.Height());
}

void SetBytes(benchmark::State& state, const Frame& f) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(f.Width()) * f.Height() * 2);
}

void Memcpy(benchmark::State& state, const Input* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    for (auto _ : state) {
        std::memcpy(dst.Data(), src.Data(), FrameBytes(src));
        benchmark::ClobberMemory();
    }
    SetBytes(state, src);
}

void MinMax(benchmark::State& state, const Input* in) {
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

void HistogramEven(benchmark::State& state, const Input* in) {
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

void Lut(benchmark::State& state, const Input* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    for (auto _ : state) {
        PixelPrimitives::LUT_16u_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                                    src.Height(), in->values.data(), in->levels.data(), kLevels);
        benchmark::ClobberMemory();
    }
    SetBytes(state, src);
}

void Equalize(benchmark::State& state, const Input* in) {
    using Varnik::Soloma::ImageProcessing::HistogramEqualization;
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    HistogramEqualization equalization;
    // The first call allocates the tables; every later call at this size must not.
    equalization.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                        src.Height());
    const long long before = PixelPrimitivesAllocationCount();
    for (auto _ : state) {
        equalization.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                            src.Height());
        benchmark::ClobberMemory();
    }
    const long long allocations = PixelPrimitivesAllocationCount() - before;
    state.counters["allocations_after_first"] = static_cast<double>(allocations);
    if (allocations != 0) {
        std::fprintf(stderr,
                     "ERROR: HistogramEqualization::Create allocated %lld times after "
                     "the first call at the same size\n",
                     allocations);
        state.SkipWithError("Create allocated after the first call");
    }
    SetBytes(state, src);
}

// The peer of LUT_16u_C1: OpenCV's LUT takes 8-bit input only, so the peer is the plain
// loop over a ready 65536-entry table.
__attribute__((noinline)) void TablePassLoop(const u16* src, u16* dst, std::size_t n,
                                             const u16* table) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = table[src[i]];
    }
}

void TablePass(benchmark::State& state, const Input* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    // The same mapping as the LUT benchmark's: values[k] on [levels[k], levels[k+1]).
    std::vector<u16> table(65536);
    for (int v = 0; v < 65536; ++v) {
        table[v] = static_cast<u16>(v);
    }
    for (int k = kLevels - 2; k >= 0; --k) {
        for (int v = in->levels[k]; v < in->levels[k + 1]; ++v) {
            table[v] = static_cast<u16>(in->values[k]);
        }
    }
    const std::size_t pixels = FrameBytes(src) / sizeof(u16);
    for (auto _ : state) {
        TablePassLoop(src.Data(), dst.Data(), pixels, table.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, src);
}

#ifdef SOLOMA_BENCH_OPENCV
cv::Mat AsMat(const Frame& f) {
    return cv::Mat(f.Height(), f.Width(), CV_16U, f.Data(), f.Pitch());
}

void CvMinMaxLoc(benchmark::State& state, const Input* in) {
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
void CvCalcHist(benchmark::State& state, const Input* in) {
    const cv::Mat src = AsMat(*in->frame);
    const int channels[] = {0};
    const int histSize[] = {kBins};
    const float range[] = {static_cast<float>(in->min), static_cast<float>(in->max)};
    const float* ranges[] = {range};
    cv::Mat hist;
    for (auto _ : state) {
        cv::calcHist(&src, 1, channels, cv::Mat(), hist, 1, histSize, ranges, true, false);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}
#endif

void Register(const Input* in) {
    auto add = [in](const char* name, void (*fn)(benchmark::State&, const Input*)) {
        benchmark::RegisterBenchmark((std::string(name) + "/" + in->name).c_str(), fn, in)
            ->Unit(benchmark::kMicrosecond);
    };
    add("memcpy", Memcpy);
    add("MinMax_16u_C1", MinMax);
    add("HistogramEven_16u_C1", HistogramEven);
    add("LUT_16u_C1", Lut);
    add("HistogramEqualization_Create", Equalize);
    add("table_pass", TablePass);
#ifdef SOLOMA_BENCH_OPENCV
    add("cv_minMaxLoc", CvMinMaxLoc);
    add("cv_calcHist", CvCalcHist);
#endif
}

std::string DataDir() {
    const char* dir = std::getenv("SOLOMA_DATA_DIR");
    return dir != nullptr ? dir : SOLOMA_BENCH_DATA_DIR;
}

}  // namespace

int main(int argc, char** argv) {
    // Everything single-threaded: the library's OpenMP regions and OpenCV's pool.
    setenv("OMP_NUM_THREADS", "1", 1);
    omp_set_num_threads(1);
#ifdef SOLOMA_BENCH_OPENCV
    cv::setNumThreads(1);
    benchmark::AddCustomContext("opencv", CV_VERSION);
#endif
    benchmark::AddCustomContext("table_pass",
                                "plain dst[i] = table[src[i]] over a 65536-entry table; "
                                "cv::LUT takes 8-bit input only");
    benchmark::AddCustomContext("cv_calcHist", "4096 uniform bins over [min, max)");

    // The command-line tool's built-in frame at both sizes, and a real frame when present.
    std::vector<std::unique_ptr<Input>> inputs;
    for (auto [w, h] : {std::pair{640, 512}, std::pair{1280, 1024}}) {
        inputs.push_back(MakeInput("synthetic_" + std::to_string(w) + "x" + std::to_string(h),
                                   AlignedCopy(Cli::MakeSyntheticFrame(w, h))));
    }
    const std::string png = DataDir() + "/thermal/frames/outdoor_parked_cars_640x512.png";
    Cli::Gray16Image real;
    std::string error;
    if (Cli::ReadGray16Png(png, &real, &error)) {
        inputs.push_back(MakeInput("outdoor_parked_cars_640x512", AlignedCopy(real)));
    }
    for (const auto& in : inputs) {
        Register(in.get());
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
