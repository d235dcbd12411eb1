// A long run as a camera host makes it: one object of every stateful class kept for the whole
// run, 10,000 frames of the synthetic gas-leak recording through all of them, the frame size
// changing every 1,000 frames (five sizes, twice round). At the end of every block it records
// the peak and the current resident memory and the allocations made after the block's first
// frame, and the heap in use. Neither the peak nor the heap may grow once every size has been
// seen: the run prints FLAT or GROWING for each and exits with 1 when one grows or when a
// block allocates after its first frame.
//
// Usage: soloma_soak [--frames-per-size N] [--cycles N]
#include "AllocationCount.h"
#include "Image.h"
#include "SyntheticPlume.h"

#include <PixelPrimitives/AllocationCounter.h>
#include <Varnik/Soloma/ImageProcessing/DDE.h>
#include <Varnik/Soloma/ImageProcessing/FastDDE.h>
#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>
#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
#include <Varnik/Soloma/ImageProcessing/Palettes.h>
#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>
#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace IP = Varnik::Soloma::ImageProcessing;
namespace Cli = Varnik::Soloma::Cli;

namespace {

struct Size {
    int width;
    int height;
};

// A camera's full frame, then smaller ones; odd sizes among them, so that no row pitch is a
// multiple of the vector width by luck.
const Size kSizes[] = {{640, 512}, {321, 241}, {160, 120}, {97, 75}, {256, 201}};
constexpr int kRecordedFrames = 8;  // frames of each size, used in turn
// Allowed growth of the peak resident memory after the first cycle: the C library's heap
// settling as buffers of other sizes come and go, not a leak.
constexpr double kToleranceMiB = 2.0;
// Allowed growth of the heap in use: caches of the runtimes that fill once (some 50 KiB); one
// lost float image of 321x241 or larger exceeds it.
constexpr double kHeapToleranceMiB = 0.25;

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

double CurrentResidentMiB() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// Bytes the program holds from the C library's allocator (heap and mapped blocks): unlike the
// resident memory, it does not depend on how much freed memory the allocator keeps.
double HeapInUseMiB() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// The recording at one size: frame 0 is the gas detectors' reference; its grey rendering is
// the colour image they tint.
struct Recording {
    Size size;
    std::vector<Cli::Gray16Image> frames;
    std::vector<unsigned char> colour;
};

Recording MakeRecording(Size size) {
    Cli::PlumeSequenceOptions options;
    options.width = size.width;
    options.height = size.height;
    options.frames = kRecordedFrames;
    const Cli::PlumeSequence sequence(options);
    Recording recording{size, {}, {}};
    for (int i = 0; i < kRecordedFrames; ++i) {
        recording.frames.push_back(sequence.Frame(i).frame);
    }
    recording.colour.resize(static_cast<std::size_t>(size.width) * size.height * 4);
    const Cli::Gray16Image& first = recording.frames[0];
    int low = 0, high = 0;
    IP::Palettes::DisplayRange(first.pixels.data(), first.Step(), size.width, size.height, &low,
                               &high);
    IP::Palettes::Apply(first.pixels.data(), first.Step(), IP::Palettes::Grey, low, high,
                        recording.colour.data(), size.width * 4, size.width, size.height);
    return recording;
}

// The host's own buffers, made once for the largest frame, so that only the library's memory
// can change during the run.
struct Outputs {
    std::vector<unsigned short> display, enhanced, aligned, work;
    std::vector<unsigned char> colour, overlay, mask;
    std::vector<int> paletteLut;
    std::vector<int> histogram, levels;

    explicit Outputs(std::size_t pixels)
        : display(pixels),
          enhanced(pixels),
          aligned(pixels),
          work(pixels),
          colour(pixels * 4),
          overlay(pixels * 4),
          mask(pixels),
          paletteLut(65536),
          histogram(4096),
          levels(4097) {}
};

// One object of every stateful class, as a host keeps them for its stream.
struct Processors {
    IP::HistogramEqualization equalization;
    IP::PlateauEqualization plateau;
    IP::DDE dde{5, 2.0f};
    IP::FastDDE fastDde;
    IP::ImageStabilization stabilization;
    IP::GasDetection gas;
    IP::GasDetectionDifference gasDifference;
    IP::MagicWand wand;
    std::vector<int> palette = std::vector<int>(65536);  // grey, 0x00RRGGBB

    Processors() {
        gas.SetTemporalDampening(0.5f);
        for (int i = 0; i < 65536; ++i) {
            palette[i] = (i >> 8) * 0x010101;
        }
    }

    void Process(const Recording& recording, int index, Outputs& out) {
        const int width = recording.size.width, height = recording.size.height;
        const int step16 = width * 2, step32 = width * 4;
        const Cli::Gray16Image& frame = recording.frames[index % kRecordedFrames];
        const Cli::Gray16Image& reference = recording.frames[0];
        const unsigned short* src = frame.pixels.data();

        Statistics statistics{};
        IP::RadiometricStatistics::Calculate(src, width, height, step16, 0, 0, nullptr, 0, 0,
                                             statistics, true);
        unsigned short low = 0, high = 0;
        IP::RadiometricStatistics::CalculateHistogramMinMax(src, step16, out.histogram.data(),
                                                            out.levels.data(), 4097, 0, 65536, 0, 0,
                                                            width, height, 0.01f, 0.01f, low, high);

        equalization.Create(src, step16, out.display.data(), step16, width, height);
        plateau.Create(src, step16, out.display.data(), step16, width, height, 10.0f, 300.0f);
        plateau.Create(src, step16, out.display.data(), step16, width, height, 10.0f, 300.0f, low,
                       high);
        plateau.Create(src, step16, width, height, 10.0f, 300.0f, low, high, palette.data(),
                       out.paletteLut.data(), 65536);
        dde.Create(src, step16, out.enhanced.data(), step16, 0.5f, 2.0f, width, height);
        std::copy(src, src + frame.pixels.size(), out.work.begin());
        fastDde.Create(out.work.data(), step16, out.enhanced.data(), step16, 2.0f, width, height);
        stabilization.Run(reference.pixels.data(), step16, src, step16, out.aligned.data(), step16,
                          width, height);

        std::copy(recording.colour.begin(), recording.colour.end(), out.colour.begin());
        gas.Run(src, step16, reference.pixels.data(), step16, out.colour.data(), step32,
                out.overlay.data(), step32, width, height);
        gasDifference.Run(src, step16, reference.pixels.data(), step16, out.colour.data(), step32,
                          out.overlay.data(), step32, width, height);

        std::fill(out.mask.begin(), out.mask.begin() + static_cast<std::ptrdiff_t>(width) * height,
                  0);
        wand.Add(src, step16, out.mask.data(), width, 40.0f, statistics.maxX, statistics.maxY,
                 width, height);
        wand.Remove(src, step16, out.mask.data(), width, 10.0f, width / 3, height / 3, width,
                    height);
    }
};

struct BlockResult {
    Size size;
    double msPerFrame;
    double peakMiB;
    double currentMiB;
    double heapMiB;
    long long allocationsAfterFirst;
};

int ParseCount(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::max(1, std::atoi(argv[i + 1]));
        }
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int framesPerSize = ParseCount(argc, argv, "--frames-per-size", 1000);
    const int cycles = ParseCount(argc, argv, "--cycles", 2);

    std::vector<Recording> recordings;
    std::size_t largest = 0;
    for (Size size : kSizes) {
        recordings.push_back(MakeRecording(size));
        largest = std::max(largest, static_cast<std::size_t>(size.width) * size.height);
    }
    Outputs outputs(largest);
    Processors processors;

    std::printf("%d frames: %d cycles of %zu sizes, %d frames each\n\n",
                framesPerSize * cycles * static_cast<int>(recordings.size()), cycles,
                recordings.size(), framesPerSize);
    std::printf("%6s %6s %10s %10s %14s %17s %17s %24s\n", "cycle", "block", "size", "ms/frame",
                "peak RSS MiB", "current RSS MiB", "heap in use MiB", "allocations after first");
    std::vector<BlockResult> results;
    results.reserve(static_cast<std::size_t>(cycles) *
                    recordings.size());  // no heap growth of ours
    for (int cycle = 0; cycle < cycles; ++cycle) {
        for (const Recording& recording : recordings) {
            const auto start = std::chrono::steady_clock::now();
            processors.Process(recording, 0, outputs);
            const long long mark = AllocationMark();
            for (int i = 1; i < framesPerSize; ++i) {
                processors.Process(recording, i, outputs);
            }
            const std::chrono::duration<double, std::milli> elapsed =
                std::chrono::steady_clock::now() - start;
            const BlockResult block{recording.size,    elapsed.count() / framesPerSize,
                                    PeakResidentMiB(), CurrentResidentMiB(),
                                    HeapInUseMiB(),    AllocationMark() - mark};
            results.push_back(block);
            const std::string size =
                std::to_string(block.size.width) + "x" + std::to_string(block.size.height);
            std::printf("%6d %6zu %10s %10.2f %14.1f %17.1f %17.2f %24lld\n", cycle + 1,
                        results.size(), size.c_str(), block.msPerFrame, block.peakMiB,
                        block.currentMiB, block.heapMiB, block.allocationsAfterFirst);
            std::fflush(stdout);
        }
    }

    // After the first cycle every size has been seen: the peak may not grow beyond the
    // tolerance, nor the heap in use at the end of a block beyond that of the first cycle's
    // block of the same size. (The current resident figure is shown, not checked: how much
    // freed memory the C library keeps depends on the order of the sizes.)
    const std::size_t perCycle = recordings.size();
    const double firstCyclePeak = results[perCycle - 1].peakMiB;
    bool growing = false;
    bool heapGrowing = false;
    bool allocating = false;
    for (std::size_t i = 0; i < results.size(); ++i) {
        allocating |= results[i].allocationsAfterFirst != 0;
        if (i >= perCycle) {
            growing |= results[i].peakMiB > firstCyclePeak + kToleranceMiB;
            heapGrowing |= results[i].heapMiB > results[i % perCycle].heapMiB + kHeapToleranceMiB;
        }
    }
    if (cycles < 2) {
        std::printf("\nOne cycle only: nothing to compare\n");
    } else {
        std::printf(
            "\nPeak resident memory after the first cycle: %s (%.1f MiB, then %.1f MiB; "
            "tolerance %.1f MiB)\n",
            growing ? "GROWING" : "FLAT", firstCyclePeak, results.back().peakMiB, kToleranceMiB);
        std::printf("Heap in use after the first cycle, size by size: %s (tolerance %.2f MiB)\n",
                    heapGrowing ? "GROWING" : "FLAT", kHeapToleranceMiB);
    }
    std::printf("Allocations after a block's first frame: %s\n",
                allocating ? "SOME (steady state must not allocate)" : "none");
    return growing || heapGrowing || allocating ? 1 : 0;
}
