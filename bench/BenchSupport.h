#pragma once

// What the benchmark files share: the input frames, case registration, the ratio table's
// lines, and the steady-state allocation check. Each file registers its cases for every input
// through one Register...Benchmarks function, called by main().

#include "AllocationCount.h"
#include "Frames.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

struct BenchInput {
    std::string name;  // e.g. "synthetic_640x512"
    std::unique_ptr<Frame> frame;
    unsigned short min = 0;  // the frame's extremes
    unsigned short max = 0;
};

using BenchFunction = void (*)(benchmark::State&, const BenchInput*);

// Registers the case "<caseName>/<input name>", reported in microseconds. In the run with the
// default thread count the case is timed by the wall clock, otherwise by CPU time.
benchmark::internal::Benchmark* AddCase(const BenchInput& input, const std::string& caseName,
                                        BenchFunction function);

// One line of the ratio table: the best time of `numerator` over the sum of the best times of
// `denominators` (case names without the input), with a target (none when negative).
void AddRatio(const std::string& label, const std::string& numerator,
              const std::vector<std::string>& denominators, double target = -1.0);

// A line under the ratio table: how many calls of `caseName` (without the input) run in a
// second, from its best time.
void AddRate(const std::string& label, const std::string& caseName);

// A note printed above the table, e.g. on how a peer differs from our operation.
void AddNote(const std::string& key, const std::string& text);

// True in the single-threaded run; false in the run with the default thread count.
bool SingleThreaded();

// Counts bytes processed as two bytes per pixel of the frame.
void SetBytes(benchmark::State& state, const Frame& frame);

// Steady-state allocation check (TimeSteadyState does it all): take a mark after the warm-up
// call and before the timed loop, then report. Counts the primitives module's allocations and every
// operator new of the process; any allocation sets the counter "allocations_after_first" and fails
// the case. AllocationMark() is in AllocationCount.h.
void ReportAllocations(benchmark::State& state, long long mark);

// Times call() as a stream of frames: one call first, which may allocate its buffers, then the
// timed calls, which must not allocate. Bytes are counted as the frame's pixels.
template <typename Call>
void TimeSteadyState(benchmark::State& state, const Frame& frame, Call call) {
    call();
    const long long mark = AllocationMark();
    for (auto _ : state) {
        call();
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, mark);
    SetBytes(state, frame);
}

// A pair of frames as a camera gives them, from the first `height` rows of the input frame:
// ref, and src, the same rows with their content moved by (3, -2) and a textured patch that
// lowers the signal by up to 60 counts. Each has a couple of counts of its own temporal noise:
// without it the aligned frames would agree exactly outside the patch, which real frames never
// do, and the gas detectors would skip most of their work.
void MakeGasPair(const Frame& frame, int width, int height, unsigned short* ref, int refStep,
                 unsigned short* src, int srcStep);

#ifdef SOLOMA_BENCH_OPENCV
// A CV_16U view of the frame (no copy).
cv::Mat AsMat(const Frame& frame);
// A CV_32F view of the image (no copy).
cv::Mat FloatMat(const FloatImage& image);

// Times cv::calcHist of the frame with 4096 uniform bins over [lower, upper).
void TimeCvCalcHist(benchmark::State& state, const Frame& frame, float lower, float upper);
#endif

// The floors every ratio table may use, registered once per input by main():
//   "memcpy"      memcpy of the frame's bytes;
//   "table_pass"  dst[i] = table[src[i]] over a 65536-entry 16-bit table.

void RegisterEqualizationBenchmarks(const BenchInput& input);
void RegisterPlateauBenchmarks(const BenchInput& input);
void RegisterDdeBenchmarks(const BenchInput& input);
void RegisterFastDdeBenchmarks(const BenchInput& input);
void RegisterRadiometryBenchmarks(const BenchInput& input);
void RegisterIntensityBenchmarks(const BenchInput& input);
void RegisterGeometryBenchmarks(const BenchInput& input);
void RegisterStabilizationBenchmarks(const BenchInput& input);
void RegisterGasBenchmarks(const BenchInput& input);
void RegisterRegionBenchmarks(const BenchInput& input);
void RegisterColourBenchmarks(const BenchInput& input);
void RegisterPipelineBenchmarks(const BenchInput& input);
void RegisterPrimitiveFloorBenchmarks(const BenchInput& input);
