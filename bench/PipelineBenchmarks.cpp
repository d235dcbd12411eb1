// The whole per-frame chain of `soloma demo` and `soloma pipeline` on a 640x512 pair: the
// frame's statistics and display limits, stabilisation, DDE, damped plateau equalization,
// palette colouring, both gas detectors with their overlays, the magic wand and the region's
// statistics in kelvin. Next to it, the sum of its stages' OpenCV peers, composed as the
// class benchmarks compose them.
#include "BenchSupport.h"
#include "GasPeers.h"

#include "ThermalChain.h"

#include <PixelPrimitives/PixelPrimitives.h>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::Cli::ChainResult;
using Varnik::Soloma::Cli::ChainSettings;
using Varnik::Soloma::Cli::Gray16Image;
using Varnik::Soloma::Cli::ThermalChain;

constexpr int kWidth = 640;
constexpr int kHeight = 512;

// The gas benchmarks' pair of frames, at the full frame size.
struct ChainPair {
    Gray16Image ref;
    Gray16Image src;

    explicit ChainPair(const Frame& frame) {
        ref = {kWidth, kHeight, std::vector<unsigned short>(kWidth * kHeight)};
        src = ref;
        MakeGasPair(frame, kWidth, kHeight, ref.pixels.data(), ref.Step(), src.pixels.data(),
                    src.Step());
    }
};

// The demo's settings, with its calibration table.
ChainSettings DemoSettings() {
    ChainSettings settings;
    settings.kelvin.Build(7000, 10000, 263.15, 373.15);
    return settings;
}

// Frame after frame against one reference, so that the damping and the kept buffers act as
// in a stream.
void Chain(benchmark::State& state, const BenchInput* in) {
    const ChainPair pair(*in->frame);
    ThermalChain chain(DemoSettings());
    ChainResult result;
    TimeSteadyState(state, *in->frame, [&] { chain.Run(pair.src, pair.ref, &result); });
}

#ifdef SOLOMA_BENCH_OPENCV
// Every stage's peer, one after the other, each as its class benchmark times it: what those
// make once outside their loops (float copies, the frame difference) is made once here too.
void CvPeers(benchmark::State& state, const BenchInput* in) {
    const ChainPair pair(*in->frame);
    const cv::Mat src(kHeight, kWidth, CV_16U, const_cast<unsigned short*>(pair.src.pixels.data()));
    const cv::Mat ref(kHeight, kWidth, CV_16U, const_cast<unsigned short*>(pair.ref.pixels.data()));
    cv::Mat srcF, refF, difference;
    src.convertTo(srcF, CV_32F);
    ref.convertTo(refF, CV_32F);
    cv::subtract(srcF, refF, difference);
    double lowest = 0.0, highest = 0.0;
    cv::Point hottest;
    cv::minMaxLoc(src, &lowest, &highest, nullptr, &hottest);
    const double tolerance = 0.5 * (highest - cv::mean(src)[0]);
    const cv::Scalar lower(std::floor(highest - tolerance) + 1.0);
    const cv::Scalar upper(std::ceil(highest + tolerance) - 1.0);
    const double sigmaColor = 0.75 * (highest - lowest);
    std::vector<unsigned short> table(65536), mapped(kWidth * kHeight);
    for (int v = 0; v < 65536; ++v) {
        table[v] = static_cast<unsigned short>(65535 - v);
    }
    const int channels[] = {0};
    const int histSize[] = {4096};
    const float range[] = {0.0f, 65536.0f};
    const float* ranges[] = {range};
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat hist, bilateral, spectrum, transposed, eight, coloured, grey, band, fill, region;
    cv::Mat mask(kHeight, kWidth, CV_8U, cv::Scalar(0));
    DifferenceScratch gasDifference;
    for (auto _ : state) {
        // statistics: meanStdDev + minMaxLoc + sum, and the limits from calcHist and its scans
        cv::Scalar mean, deviation;
        cv::meanStdDev(src, mean, deviation);
        double lo = 0.0, hi = 0.0;
        cv::Point loAt, hiAt;
        cv::minMaxLoc(src, &lo, &hi, &loAt, &hiAt);
        benchmark::DoNotOptimize(cv::sum(src));
        cv::calcHist(&src, 1, channels, cv::Mat(), hist, 1, histSize, ranges, true, false);
        const float* bins = hist.ptr<float>();
        const float cut = 0.01f * static_cast<float>(src.total());
        int first = 0;
        for (float seen = 0.0f; first < 4095 && (seen += bins[first]) < cut; ++first) {
        }
        int last = 4095;
        for (float seen = 0.0f; last > 0 && (seen += bins[last]) < cut; --last) {
        }
        benchmark::DoNotOptimize(first + last);
        // stabilize: phaseCorrelate of the float pair
        benchmark::DoNotOptimize(cv::phaseCorrelate(refF, srcF));
        // dde: the bilateral filter, d = 5
        cv::bilateralFilter(srcF, bilateral, 5, sigmaColor, 2.0, cv::BORDER_REPLICATE);
        // plateau: calcHist 4096 over the 16-bit range and the table pass
        cv::calcHist(&src, 1, channels, cv::Mat(), hist, 1, histSize, ranges, true, false);
        for (std::size_t i = 0; i < mapped.size(); ++i) {
            mapped[i] = table[pair.src.pixels[i]];
        }
        benchmark::DoNotOptimize(mapped.data());
        // palette: the frame to 8 bits over its range, a colour map and a grey rendering
        src.convertTo(eight, CV_8U, 255.0 / (hi - lo), -lo * 255.0 / (hi - lo));
        cv::applyColorMap(eight, coloured, cv::COLORMAP_INFERNO);
        cv::cvtColor(eight, grey, cv::COLOR_GRAY2BGRA);
        // gas psd: the transforms of every 32x32 block 16 apart and of its transposition
        BlockTransformsInOpenCv(difference, spectrum, transposed);
        // gas difference: its steps
        DifferenceStepsInOpenCv(src, ref, gasDifference);
        // wand: the band, the seed's component, the closing and the merge
        cv::inRange(src, lower, upper, band);
        cv::bitwise_not(band, fill);
        cv::floodFill(fill, hottest, cv::Scalar(255), nullptr, cv::Scalar(), cv::Scalar(), 8);
        cv::bitwise_and(band, fill, region);
        cv::morphologyEx(region, region, cv::MORPH_CLOSE, kernel, cv::Point(-1, -1), 2,
                         cv::BORDER_REPLICATE);
        mask.setTo(0);
        cv::bitwise_or(region, mask, mask);
        // region: the statistics of the selected pixels
        cv::meanStdDev(src, mean, deviation, mask);
        cv::minMaxLoc(src, &lo, &hi, nullptr, nullptr, mask);
        benchmark::DoNotOptimize(mean);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterPipelineBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != kWidth || input.frame->Height() != kHeight) {
        return;
    }
    AddCase(input, "Pipeline_Chain", Chain);
    AddRate("Pipeline_Chain frames per second", "Pipeline_Chain");
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_pipeline_peers", CvPeers);
    AddNote("cv_pipeline_peers",
            "every stage's OpenCV peer in turn, as the class benchmarks compose them: "
            "meanStdDev + minMaxLoc + sum + calcHist limits; phaseCorrelate; bilateralFilter "
            "d=5; calcHist + table pass; convertTo 8U + applyColorMap + cvtColor to BGRA; dft "
            "of the 32x32 blocks and their transpositions; the difference detector's steps; "
            "inRange + floodFill + morphologyEx close + bitwise ops; meanStdDev and minMaxLoc "
            "under the region's mask");
    AddRatio("Whole chain / sum of its stages' OpenCV peers", "Pipeline_Chain",
             {"cv_pipeline_peers"}, 0.5);
#endif
}
