// Plateau equalization in steady state, both families, next to the peer composed of OpenCV's
// histogram and the plain table pass.
#include "BenchSupport.h"

#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Varnik::Soloma::ImageProcessing::PlateauEqualization;

// The command-line tool's defaults.
constexpr float kLinearPercent = 10.0f;
constexpr int kPixelsPerPlateauCount = 1024;

// Frame after frame through one processor, so that the damping runs as in a stream.
template <bool Windowed>
void Create(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    PlateauEqualization plateau;
    const float limit = static_cast<float>(src.Width() * src.Height() / kPixelsPerPlateauCount);
    auto run = [&] {
        if (Windowed) {
            plateau.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                           src.Height(), kLinearPercent, limit, in->min, in->max);
        } else {
            plateau.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                           src.Height(), kLinearPercent, limit);
        }
    };
    TimeSteadyState(state, src, run);
}

#ifdef SOLOMA_BENCH_OPENCV
// 4096 uniform bins over what each family histograms: the whole 16-bit range, or the window.
template <bool Windowed>
void CvCalcHist(benchmark::State& state, const BenchInput* in) {
    TimeCvCalcHist(state, *in->frame, Windowed ? static_cast<float>(in->min) : 0.0f,
                   Windowed ? static_cast<float>(in->max) + 1.0f : 65536.0f);
}
#endif

}  // namespace

void RegisterPlateauBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640) {
        return;
    }
    AddCase(input, "Plateau_Create_full", Create<false>);
    AddCase(input, "Plateau_Create_window", Create<true>);
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_calcHist4096_full", CvCalcHist<false>);
    AddCase(input, "cv_calcHist4096_window", CvCalcHist<true>);
    AddNote("cv_calcHist4096",
            "calcHist with 4096 uniform bins over [0, 65536) or [min, max + 1); with table_pass "
            "it stands for one histogram and one look-up pass, without our division, damping "
            "and interpolated mapping");
    AddRatio("Plateau full / (cv::calcHist + table pass)", "Plateau_Create_full",
             {"cv_calcHist4096_full", "table_pass"}, 0.45);
    AddRatio("Plateau window / (cv::calcHist + table pass)", "Plateau_Create_window",
             {"cv_calcHist4096_window", "table_pass"}, 1.0);
#endif
}
