// Separate objects of every stateful class in separate host threads: each thread copies a
// prototype that has already seen a frame (so that carried state, such as damped histograms
// and smoothed levels, travels with the copy) and runs a stream of frames through it. Every
// thread's results equal those of the same stream run alone, and no stream depends on the
// size of the library's thread team.
#include <Varnik/Soloma/ImageProcessing/DDE.h>
#include <Varnik/Soloma/ImageProcessing/FastDDE.h>
#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>
#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Concurrency.h"
#include "SyntheticPlume.h"

using namespace Varnik::Soloma::ImageProcessing;
using u16 = unsigned short;
using u8 = unsigned char;

namespace {

constexpr int kThreads = 4;
constexpr int kWidth = 128;
constexpr int kHeight = 96;
constexpr int kStep = kWidth * 2;
constexpr int kStreamFrames = 4;

using Frame = std::vector<std::uint16_t>;

// A jittering camera looking at a gas leak; frame 0 is the reference of the gas detectors.
struct Recording {
    std::vector<Frame> frames;
    std::vector<u8> colour;  // a grey rendering of frame 0, 4 bytes a pixel

    Recording() {
        const SyntheticPlume scene(kWidth, kHeight);
        for (int t = 0; t < kThreads + kStreamFrames + 1; ++t) {
            frames.push_back(scene.Frame(t, t % 3 - 1, (t * 2) % 5 - 2, t > 0));
        }
        for (std::uint16_t value : frames[0]) {
            const u8 grey = static_cast<u8>(value >> 6);
            colour.insert(colour.end(), {grey, grey, grey, 255});
        }
    }
};

void AppendFrame(Bytes& bytes, const std::vector<u16>& frame) {
    for (u16 value : frame) {
        AppendBytes(bytes, value);
    }
}

// One frame through one object; appends what the call gave.
template <typename Processor>
using Step = std::function<void(Processor&, const Recording&, int frame, Bytes&)>;

void Equalize(HistogramEqualization& equalization, const Recording& r, int i, Bytes& out) {
    std::vector<u16> dst(r.frames[i].size());
    equalization.Create(r.frames[i].data(), kStep, dst.data(), kStep, kWidth, kHeight);
    AppendFrame(out, dst);
}

void Plateau(PlateauEqualization& plateau, const Recording& r, int i, Bytes& out) {
    std::vector<u16> full(r.frames[i].size()), window(r.frames[i].size());
    plateau.Create(r.frames[i].data(), kStep, full.data(), kStep, kWidth, kHeight, 10.0f, 300.0f);
    plateau.Create(r.frames[i].data(), kStep, window.data(), kStep, kWidth, kHeight, 10.0f, 300.0f,
                   2800, 4800);
    std::vector<int> palette(65536), rgbLut(8192);
    for (int v = 0; v < 65536; ++v) {
        palette[v] = v * 131;
    }
    plateau.Create(r.frames[i].data(), kStep, kWidth, kHeight, 10.0f, 300.0f, 2800, 4800,
                   palette.data(), rgbLut.data(), static_cast<int>(rgbLut.size()));
    AppendFrame(out, full);
    AppendFrame(out, window);
    for (int value : rgbLut) {
        AppendBytes(out, value);
    }
}

void EnhanceDetail(DDE& dde, const Recording& r, int i, Bytes& out) {
    std::vector<u16> dst(r.frames[i].size());
    dde.Create(r.frames[i].data(), kStep, dst.data(), kStep, 0.5f, 2.0f, kWidth, kHeight);
    AppendFrame(out, dst);
}

void EnhanceDetailFast(FastDDE& dde, const Recording& r, int i, Bytes& out) {
    std::vector<u16> src = r.frames[i], dst(src.size());
    dde.Create(src.data(), kStep, dst.data(), kStep, 2.0f, kWidth, kHeight);
    AppendFrame(out, dst);
}

void Stabilize(ImageStabilization& stabilization, const Recording& r, int i, Bytes& out) {
    std::vector<u16> moved = r.frames[i];
    int dx = 0, dy = 0;
    stabilization.Run(r.frames[0].data(), kStep, moved.data(), kStep, kWidth, kHeight, dx, dy);
    AppendBytes(out, dx);
    AppendBytes(out, dy);
    AppendFrame(out, moved);
    std::vector<float> reference(r.frames[0].begin(), r.frames[0].end());
    std::vector<float> floats(r.frames[i].begin(), r.frames[i].end());
    stabilization.Run(reference.data(), kWidth * 4, floats.data(), kWidth * 4, kWidth, kHeight);
    for (float value : floats) {
        AppendBytes(out, value);
    }
}

template <typename Detector>
void DetectGas(Detector& detector, const Recording& r, int i, Bytes& out) {
    std::vector<u8> colour = r.colour, overlay(r.colour.size());
    detector.Run(r.frames[i].data(), kStep, r.frames[0].data(), kStep, colour.data(), kWidth * 4,
                 overlay.data(), kWidth * 4, kWidth, kHeight);
    out.insert(out.end(), overlay.begin(), overlay.end());
}

void SelectRegions(MagicWand& wand, const Recording& r, int i, Bytes& out) {
    const Frame& frame = r.frames[i];
    const int hottest =
        static_cast<int>(std::max_element(frame.begin(), frame.end()) - frame.begin());
    std::vector<u8> mask(frame.size(), 0);
    wand.Add(frame.data(), kStep, mask.data(), kWidth, 40.0f, hottest % kWidth, hottest / kWidth,
             kWidth, kHeight);
    wand.Add(frame.data(), kStep, mask.data(), kWidth, 25.0f, kWidth / 2, kHeight / 2, kWidth,
             kHeight);
    wand.Remove(frame.data(), kStep, mask.data(), kWidth, 10.0f, kWidth / 3, kHeight / 3, kWidth,
                kHeight);
    out.insert(out.end(), mask.begin(), mask.end());
}

// A stream of frames from a prototype warmed on the last frame of the recording; thread t
// starts it at frame 1 + t, so that the threads work on different frames.
template <typename Processor>
std::function<Bytes(int)> MakeStream(Processor prototype, const Recording& recording,
                                     Step<Processor> step) {
    Bytes ignored;
    step(prototype, recording, static_cast<int>(recording.frames.size()) - 1, ignored);
    return [prototype = std::move(prototype), step, &recording](int thread) {
        Processor processor(prototype);
        Bytes bytes;
        for (int i = 0; i < kStreamFrames; ++i) {
            step(processor, recording, 1 + thread + i, bytes);
        }
        return bytes;
    };
}

std::vector<NamedRun> Streams(const Recording& recording) {
    GasDetection damped;
    damped.SetTemporalDampening(0.5f);
    GasDetection unstabilized;
    unstabilized.SetUseImageStabilisation(false);
    unstabilized.SetColorizationMethod(1);
    PlateauEqualization plateau;
    plateau.SetDampingFactor(0.7f);
    return {
        {"HistogramEqualization", MakeStream<HistogramEqualization>({}, recording, Equalize)},
        {"PlateauEqualization", MakeStream(plateau, recording, Step<PlateauEqualization>(Plateau))},
        {"DDE", MakeStream(DDE(5, 2.0f), recording, Step<DDE>(EnhanceDetail))},
        {"FastDDE", MakeStream<FastDDE>({}, recording, EnhanceDetailFast)},
        {"ImageStabilization", MakeStream<ImageStabilization>({}, recording, Stabilize)},
        {"GasDetection",
         MakeStream(damped, recording, Step<GasDetection>(DetectGas<GasDetection>))},
        {"GasDetection without stabilisation",
         MakeStream(unstabilized, recording, Step<GasDetection>(DetectGas<GasDetection>))},
        {"GasDetectionDifference",
         MakeStream<GasDetectionDifference>({}, recording, DetectGas<GasDetectionDifference>)},
        {"MagicWand", MakeStream<MagicWand>({}, recording, SelectRegions)},
    };
}

}  // namespace

TEST(ConcurrentObjects, StreamsDoNotDependOnThreads) {
    const Recording recording;
    ExpectIndependentOfThreads(Streams(recording), kThreads, 1);
}
