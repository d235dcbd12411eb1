// Radiometric statistics, histogram limits and the float look-up, next to OpenCV's nearest
// peers and the floors.
#include "BenchSupport.h"

#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include <cstring>
#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using u16 = unsigned short;
using Varnik::Soloma::ImageProcessing::RadiometricStatistics;

// The limits as the command-line tool takes them by default: 4096 bins over 0..65536 and
// 1 % of the pixels cut at each end.
constexpr int kBins = 4096;
constexpr int kLevels = kBins + 1;
constexpr float kCut = 0.01f;

// A linear kelvin table a little narrower than the frame's range, so that the extremes lie
// outside it and the pass takes its clamping path as a real scene with hot spots would.
struct KelvinTable {
    std::vector<float> entries;
    int low = 0;
    int high = 0;
};

KelvinTable MakeKelvinTable(const BenchInput& in) {
    KelvinTable table;
    table.low = in.min + 16;
    table.high = in.max > table.low + 16 ? in.max - 16 : table.low;
    for (int s = table.low; s <= table.high; ++s) {
        table.entries.push_back(250.0f + 0.01f * static_cast<float>(s - table.low));
    }
    return table;
}

void Measure(benchmark::State& state, const BenchInput* in, bool useSignal) {
    const Frame& f = *in->frame;
    const KelvinTable table = MakeKelvinTable(*in);
    Statistics statistics{};
    auto run = [&] {
        RadiometricStatistics::Calculate(f.Data(), f.Width(), f.Height(), f.Pitch(), 0, 0,
                                         table.entries.data(), table.low, table.high, statistics,
                                         useSignal);
    };
    // The results land in memory the benchmark keeps, so the calls cannot be dropped.
    TimeSteadyState(state, f, run);
}

void CalculateSignal(benchmark::State& state, const BenchInput* in) {
    Measure(state, in, true);
}

void CalculateKelvin(benchmark::State& state, const BenchInput* in) {
    Measure(state, in, false);
}

void HistogramLimits(benchmark::State& state, const BenchInput* in) {
    const Frame& f = *in->frame;
    std::vector<int> hist(kBins);
    std::vector<int> levels(kLevels);
    u16 lo = 0;
    u16 hi = 0;
    auto run = [&] {
        RadiometricStatistics::CalculateHistogramMinMax(f.Data(), f.Pitch(), hist.data(),
                                                        levels.data(), kLevels, 0, 65536, 0, 0,
                                                        f.Width(), f.Height(), kCut, kCut, lo, hi);
    };
    // The results land in memory the benchmark keeps, so the calls cannot be dropped.
    TimeSteadyState(state, f, run);
}

void FillFromLut(benchmark::State& state, const BenchInput* in) {
    const Frame& f = *in->frame;
    std::vector<float> lut(65536);
    for (int s = 0; s < 65536; ++s) {
        lut[s] = 200.0f + 0.01f * static_cast<float>(s);
    }
    std::vector<float> dst(static_cast<std::size_t>(f.Width()) * f.Height());
    const int dstStep = f.Width() * static_cast<int>(sizeof(float));
    auto run = [&] {
        RadiometricStatistics::FillFromLUT(f.Data(), f.Pitch(), dst.data(), dstStep, lut.data(),
                                           f.Width(), f.Height());
    };
    TimeSteadyState(state, f, run);
}

// The bytes FillFromLUT writes, copied: a float image of the frame's size.
void MemcpyFloatFrame(benchmark::State& state, const BenchInput* in) {
    const Frame& f = *in->frame;
    const std::size_t n = static_cast<std::size_t>(f.Width()) * f.Height();
    std::vector<float> src(n, 1.0f);
    std::vector<float> dst(n);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n * sizeof(float));
        benchmark::ClobberMemory();
    }
    SetBytes(state, f);
}

#ifdef SOLOMA_BENCH_OPENCV
void CvMeanStdDev(benchmark::State& state, const BenchInput* in) {
    const cv::Mat src = AsMat(*in->frame);
    for (auto _ : state) {
        cv::Scalar mean;
        cv::Scalar stdDev;
        cv::meanStdDev(src, mean, stdDev);
        benchmark::DoNotOptimize(mean);
        benchmark::DoNotOptimize(stdDev);
    }
    SetBytes(state, *in->frame);
}

void CvMinMaxLocWithLocations(benchmark::State& state, const BenchInput* in) {
    const cv::Mat src = AsMat(*in->frame);
    for (auto _ : state) {
        double lo = 0.0;
        double hi = 0.0;
        cv::Point loAt;
        cv::Point hiAt;
        cv::minMaxLoc(src, &lo, &hi, &loAt, &hiAt);
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
        benchmark::DoNotOptimize(loAt);
        benchmark::DoNotOptimize(hiAt);
    }
    SetBytes(state, *in->frame);
}

void CvSum(benchmark::State& state, const BenchInput* in) {
    const cv::Mat src = AsMat(*in->frame);
    for (auto _ : state) {
        cv::Scalar total = cv::sum(src);
        benchmark::DoNotOptimize(total);
    }
    SetBytes(state, *in->frame);
}

// The peer of the limits: the same 4096 bins over [0, 65536), then both cumulative scans.
void CvCalcHistLimits(benchmark::State& state, const BenchInput* in) {
    const cv::Mat src = AsMat(*in->frame);
    const int channels[] = {0};
    const int histSize[] = {kBins};
    const float range[] = {0.0f, 65536.0f};
    const float* ranges[] = {range};
    const float cut = kCut * static_cast<float>(src.total());
    cv::Mat hist;
    for (auto _ : state) {
        cv::calcHist(&src, 1, channels, cv::Mat(), hist, 1, histSize, ranges, true, false);
        const float* bins = hist.ptr<float>();
        int lo = 0;
        for (float seen = 0.0f; lo < kBins - 1 && (seen += bins[lo]) < cut; ++lo) {
        }
        int hi = kBins - 1;
        for (float seen = 0.0f; hi > 0 && (seen += bins[hi]) < cut; --hi) {
        }
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterRadiometryBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640) {
        return;
    }
    AddCase(input, "RadiometricStatistics_Calculate_signal", CalculateSignal);
    AddCase(input, "RadiometricStatistics_Calculate_kelvin", CalculateKelvin);
    AddCase(input, "RadiometricStatistics_CalculateHistogramMinMax", HistogramLimits);
    AddCase(input, "RadiometricStatistics_FillFromLUT", FillFromLut);
    AddCase(input, "memcpy_float_frame", MemcpyFloatFrame);
    AddNote("memcpy_float_frame",
            "memcpy of a float image of the frame's size, the bytes "
            "FillFromLUT writes");
    AddRatio("FillFromLUT / table pass", "RadiometricStatistics_FillFromLUT", {"table_pass"}, 1.0);
    AddRatio("FillFromLUT / memcpy of its output", "RadiometricStatistics_FillFromLUT",
             {"memcpy_float_frame"});
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_meanStdDev", CvMeanStdDev);
    AddCase(input, "cv_minMaxLoc_locations", CvMinMaxLocWithLocations);
    AddCase(input, "cv_sum", CvSum);
    AddCase(input, "cv_calcHist_limits", CvCalcHistLimits);
    AddNote("cv_calcHist_limits",
            "cv::calcHist with 4096 uniform bins over [0, 65536), then both cumulative scans");
    const std::vector<std::string> composite = {"cv_meanStdDev", "cv_minMaxLoc_locations",
                                                "cv_sum"};
    AddRatio("Calculate signal / (meanStdDev + minMaxLoc + sum)",
             "RadiometricStatistics_Calculate_signal", composite, 0.25);
    AddRatio("Calculate kelvin / (meanStdDev + minMaxLoc + sum)",
             "RadiometricStatistics_Calculate_kelvin", composite, 1.0);
    AddRatio("CalculateHistogramMinMax / (calcHist + scans)",
             "RadiometricStatistics_CalculateHistogramMinMax", {"cv_calcHist_limits"}, 0.5);
#endif
}
