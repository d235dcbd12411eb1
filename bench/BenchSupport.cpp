// The benchmark program: input frames, the shared floors, the ratio lines and the allocation
// check, and main(). The cases themselves live in the *Benchmarks.cpp files.
#include "BenchSupport.h"

#include "AllocationCount.h"
#include "PngIo.h"
#include "SyntheticFrame.h"

#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/PixelPrimitives.h>

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

bool singleThreaded = true;
int ratioCount = 0;
std::set<std::string> contextKeys;  // ratios and notes are added once per input: keep the first

bool FirstTime(const std::string& key) {
    return contextKeys.insert(key).second;
}

std::size_t FrameBytes(const Frame& f) {
    return static_cast<std::size_t>(f.Pitch()) * static_cast<std::size_t>(f.Height());
}

void Memcpy(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    for (auto _ : state) {
        std::memcpy(dst.Data(), src.Data(), FrameBytes(src));
        benchmark::ClobberMemory();
    }
    SetBytes(state, src);
}

// OpenCV's LUT takes 8-bit input only, so the 16-bit table peer is this plain loop.
__attribute__((noinline)) void TablePassLoop(const unsigned short* src, unsigned short* dst,
                                             std::size_t n, const unsigned short* table) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = table[src[i]];
    }
}

void TablePass(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    std::vector<unsigned short> table(65536);
    for (int v = 0; v < 65536; ++v) {
        table[v] = static_cast<unsigned short>(65535 - v);
    }
    const std::size_t pixels = FrameBytes(src) / sizeof(unsigned short);
    for (auto _ : state) {
        TablePassLoop(src.Data(), dst.Data(), pixels, table.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, src);
}

std::unique_ptr<BenchInput> MakeInput(std::string name, std::unique_ptr<Frame> frame) {
    auto in = std::make_unique<BenchInput>();
    in->name = std::move(name);
    in->frame = std::move(frame);
    const Frame& f = *in->frame;
    PixelPrimitives::MinMax_16u_C1(f.Data(), f.Pitch(), f.Width(), f.Height(), &in->min, &in->max);
    return in;
}

std::string DataDir() {
    const char* dir = std::getenv("SOLOMA_DATA_DIR");
    return dir != nullptr ? dir : SOLOMA_BENCH_DATA_DIR;
}

// The command-line tool's built-in frame at two sizes, and a real frame when present.
std::vector<std::unique_ptr<BenchInput>> MakeInputs() {
    namespace Cli = Varnik::Soloma::Cli;
    std::vector<std::unique_ptr<BenchInput>> inputs;
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
    return inputs;
}

// "--soloma_threads=default" selects the run with the default thread count.
void TakeThreadsArgument(int* argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (std::strcmp(argv[i], "--soloma_threads=default") == 0) {
            singleThreaded = false;
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
}

}  // namespace

benchmark::internal::Benchmark* AddCase(const BenchInput& input, const std::string& caseName,
                                        BenchFunction function) {
    auto* b = benchmark::RegisterBenchmark((caseName + "/" + input.name).c_str(), function, &input)
                  ->Unit(benchmark::kMicrosecond);
    if (!singleThreaded) {
        b->UseRealTime();
    }
    return b;
}

void AddRatio(const std::string& label, const std::string& numerator,
              const std::vector<std::string>& denominators, double target) {
    if (!FirstTime("ratio " + label)) {
        return;
    }
    // Handed to ratios.py through the result's context: "label|numerator|d1,d2|target".
    std::string text = label + "|" + numerator + "|";
    for (std::size_t i = 0; i < denominators.size(); ++i) {
        text += (i > 0 ? "," : "") + denominators[i];
    }
    text += "|" + (target < 0 ? std::string() : std::to_string(target));
    char key[32];
    std::snprintf(key, sizeof key, "ratio_%03d", ratioCount++);
    benchmark::AddCustomContext(key, text);
}

void AddRate(const std::string& label, const std::string& caseName) {
    static int rateCount = 0;
    if (!FirstTime("rate " + label)) {
        return;
    }
    // Handed to ratios.py like the ratios: "label|case".
    char key[32];
    std::snprintf(key, sizeof key, "rate_%03d", rateCount++);
    benchmark::AddCustomContext(key, label + "|" + caseName);
}

void AddNote(const std::string& key, const std::string& text) {
    if (FirstTime("note " + key)) {
        benchmark::AddCustomContext("note_" + key, text);
    }
}

bool SingleThreaded() {
    return singleThreaded;
}

void SetBytes(benchmark::State& state, const Frame& frame) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(frame.Width()) * frame.Height() * 2);
}

void ReportAllocations(benchmark::State& state, long long mark) {
    const long long allocations = AllocationMark() - mark;
    state.counters["allocations_after_first"] = static_cast<double>(allocations);
    if (allocations != 0) {
        state.SkipWithError("allocated after the first call at the same size");
    }
}

namespace {

unsigned short* RowOf(unsigned short* image, int step, int y) {
    return reinterpret_cast<unsigned short*>(reinterpret_cast<unsigned char*>(image) +
                                             static_cast<std::ptrdiff_t>(step) * y);
}

void AddNoise(unsigned short* image, int step, int width, int height, unsigned seed) {
    for (int y = 0; y < height; ++y) {
        unsigned short* row = RowOf(image, step, y);
        for (int x = 0; x < width; ++x) {
            unsigned h = (static_cast<unsigned>(x) * 73856093u) ^
                         (static_cast<unsigned>(y) * 19349663u) ^ (seed * 83492791u);
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            h ^= h >> 15;
            const int noisy = row[x] + static_cast<int>(h % 5) - 2;
            row[x] = static_cast<unsigned short>(noisy < 0 ? 0 : noisy > 65535 ? 65535 : noisy);
        }
    }
}

}  // namespace

void MakeGasPair(const Frame& frame, int width, int height, unsigned short* ref, int refStep,
                 unsigned short* src, int srcStep) {
    PixelPrimitives::Copy_16u_C1(frame.Data(), frame.Pitch(), ref, refStep, width, height);
    PixelPrimitives::Copy_16u_C1(frame.Data(), frame.Pitch(), src, srcStep, width, height);
    PixelPrimitives::Resize_16u_C1(ref, refStep, width, height, src, srcStep, width, height, 1.0f,
                                   3, -2, false);
    const double cx = width * 0.55, cy = height * 0.5, radius = 80.0;
    for (int y = 0; y < height; ++y) {
        unsigned short* row = RowOf(src, srcStep, y);
        for (int x = 0; x < width; ++x) {
            const double r = std::hypot(x - cx, y - cy) / radius;
            if (r < 1.0) {
                const double texture = std::sin(x * 0.31) * std::cos(y * 0.23);
                const double drop = (1.0 - r * r) * (45.0 + 15.0 * texture);
                row[x] = static_cast<unsigned short>(row[x] > drop ? row[x] - drop : 0);
            }
        }
    }
    AddNoise(ref, refStep, width, height, 1);
    AddNoise(src, srcStep, width, height, 2);
}

#ifdef SOLOMA_BENCH_OPENCV
cv::Mat AsMat(const Frame& frame) {
    return cv::Mat(frame.Height(), frame.Width(), CV_16U, frame.Data(), frame.Pitch());
}

cv::Mat FloatMat(const FloatImage& image) {
    return cv::Mat(image.Height(), image.Width(), CV_32F, image.Data(), image.Pitch());
}

void TimeCvCalcHist(benchmark::State& state, const Frame& frame, float lower, float upper) {
    const cv::Mat src = AsMat(frame);
    const int channels[] = {0};
    const int histSize[] = {4096};
    const float range[] = {lower, upper};
    const float* ranges[] = {range};
    cv::Mat hist;
    for (auto _ : state) {
        cv::calcHist(&src, 1, channels, cv::Mat(), hist, 1, histSize, ranges, true, false);
        benchmark::ClobberMemory();
    }
    SetBytes(state, frame);
}
#endif

int main(int argc, char** argv) {
    TakeThreadsArgument(&argc, argv);
    if (singleThreaded) {
        // The library's OpenMP regions and OpenCV's pool alike.
        setenv("OMP_NUM_THREADS", "1", 1);
        omp_set_num_threads(1);
#ifdef SOLOMA_BENCH_OPENCV
        cv::setNumThreads(1);
#endif
    }
    benchmark::AddCustomContext("soloma_threads",
                                singleThreaded ? "1" : std::to_string(omp_get_max_threads()));
#ifdef SOLOMA_BENCH_OPENCV
    benchmark::AddCustomContext("opencv", CV_VERSION);
#endif
    AddNote("table_pass",
            "plain dst[i] = table[src[i]] over a 65536-entry 16-bit table; cv::LUT takes 8-bit "
            "input only");

    const std::vector<std::unique_ptr<BenchInput>> inputs = MakeInputs();
    for (const auto& in : inputs) {
        AddCase(*in, "memcpy", Memcpy);
        AddCase(*in, "table_pass", TablePass);
        RegisterEqualizationBenchmarks(*in);
        RegisterPlateauBenchmarks(*in);
        RegisterDdeBenchmarks(*in);
        RegisterFastDdeBenchmarks(*in);
        RegisterRadiometryBenchmarks(*in);
        RegisterIntensityBenchmarks(*in);
        RegisterGeometryBenchmarks(*in);
        RegisterStabilizationBenchmarks(*in);
        RegisterGasBenchmarks(*in);
        RegisterRegionBenchmarks(*in);
        RegisterColourBenchmarks(*in);
        RegisterPipelineBenchmarks(*in);
        RegisterPrimitiveFloorBenchmarks(*in);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
