// The colour and composition classes on a 640x512 frame in steady state, each next to a memcpy
// that moves as many bytes through memory as it reads and writes, and RGB to YUV 4:2:2 next to
// OpenCV's colour conversion.
#include "BenchSupport.h"

#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>
#include <Varnik/Soloma/ImageProcessing/Blending.h>
#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>
#include <Varnik/Soloma/ImageProcessing/Fusion.h>
#include <Varnik/Soloma/ImageProcessing/Palettes.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace Varnik::Soloma::ImageProcessing;

constexpr int kWidth = 640;
constexpr int kHeight = 512;
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;

// The images the cases start from, made from the frame outside the timed loops: its colouring
// by two palettes over its display range, their 3-byte forms, the palette indices of its
// pixels, a float image and overlays that are empty (zero) outside a disk.
struct ColourScene {
    int low = 0;
    int high = 0;
    std::vector<unsigned char> iron;     // 4 bytes per pixel: blue, green, red, 255
    std::vector<unsigned char> rainbow;  // the same by the rainbow palette
    std::vector<unsigned char> rgb;      // iron, 3 bytes per pixel
    std::vector<unsigned short> indices;
    std::vector<float> luma;  // three floats per pixel; the first is added to the luma
    std::vector<unsigned char> overlay3;
    std::vector<unsigned char> overlay4;
    std::vector<unsigned short> overlay16;

    explicit ColourScene(const Frame& frame)
        : iron(4 * kPixels),
          rainbow(4 * kPixels),
          rgb(3 * kPixels),
          indices(kPixels),
          luma(3 * kPixels),
          overlay3(3 * kPixels),
          overlay4(4 * kPixels),
          overlay16(kPixels) {
        Palettes::DisplayRange(frame.Data(), frame.Pitch(), kWidth, kHeight, &low, &high);
        Palettes::Apply(frame.Data(), frame.Pitch(), Palettes::Iron, low, high, iron.data(),
                        4 * kWidth, kWidth, kHeight);
        Palettes::Apply(frame.Data(), frame.Pitch(), Palettes::Rainbow, low, high, rainbow.data(),
                        4 * kWidth, kWidth, kHeight);
        ColorTransformation::RGBAToRGB(iron.data(), 4 * kWidth, rgb.data(), 3 * kWidth, kWidth,
                                       kHeight);
        const double mid = 0.5 * (low + high);
        const double scale = 65535.0 / (high - low);
        for (int y = 0; y < kHeight; ++y) {
            const unsigned short* row = frame.Row(y);
            for (int x = 0; x < kWidth; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * kWidth + x;
                const double index = std::clamp((row[x] - low) * scale, 0.0, 65535.0);
                indices[i] = static_cast<unsigned short>(std::lround(index));
                luma[3 * i] = static_cast<float>((row[x] - mid) * 0.02);
                const bool inside = std::hypot(x - 0.6 * kWidth, y - 0.5 * kHeight) < 150.0;
                for (int c = 0; c < 3; ++c) {
                    overlay3[3 * i + c] = inside ? rainbow[4 * i + c] : 0;
                    overlay4[4 * i + c] = inside ? rainbow[4 * i + c] : 0;
                }
                overlay4[4 * i + 3] = 255;
                overlay16[i] = inside ? static_cast<unsigned short>(row[x] + 100) : 0;
            }
        }
    }
};

bool IsBenchFrame(const Frame& frame) {
    return frame.Width() == kWidth && frame.Height() == kHeight;
}

// The floors: memcpy of kBytes bytes per pixel of the frame.
template <int kBytes>
void MemcpyFloor(benchmark::State& state, const BenchInput* in) {
    const std::size_t bytes = kBytes * kPixels;
    std::vector<unsigned char> src(bytes, 1), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}

void FusionColorIRImage(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<int> palette(65536);
    std::memcpy(palette.data(), Palettes::Table(Palettes::Iron), palette.size() * sizeof(int));
    std::vector<int> dst(kPixels, 0);
    const Frame& f = *in->frame;
    TimeSteadyState(state, f, [&] {
        Fusion::ColorIRImage(f.Data(), f.Pitch(), dst.data(), 4 * kWidth, palette.data(), scene.low,
                             scene.high, kWidth, kHeight);
    });
}

void FusionCombineIRAndDC(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> dst(4 * kPixels);
    TimeSteadyState(state, *in->frame, [&] {
        Fusion::CombineIRAndDC(scene.iron.data(), 4 * kWidth, scene.luma.data(), 12 * kWidth,
                               dst.data(), 4 * kWidth, kWidth, kHeight, 0, 0);
    });
}

// Half the palette colour into half the rainbow colouring, which the destination keeps
// between calls.
void BlendingColorIRImage(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> dst = scene.rainbow;
    const RGBQUAD* palette = Palettes::Table(Palettes::Iron);
    TimeSteadyState(state, *in->frame, [&] {
        Blending::ColorIRImage(palette,
                               reinterpret_cast<const unsigned char*>(scene.indices.data()),
                               2 * kWidth, dst.data(), 4 * kWidth, 0.5f, 0.5f, kWidth, kHeight);
    });
}

// The overlays go into the colouring again and again: the rules act per pixel without
// branches, so the time does not depend on how often each applies.
void AlphaComposition8uC3(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> dst = scene.rgb;
    TimeSteadyState(state, *in->frame, [&] {
        AlphaComposition::BlendImages8u_C3(scene.overlay3.data(), 3 * kWidth, dst.data(),
                                           3 * kWidth, kWidth, kHeight);
    });
}

void AlphaComposition8uC4(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> dst = scene.iron;
    TimeSteadyState(state, *in->frame, [&] {
        AlphaComposition::BlendImages8u_C4(scene.overlay4.data(), 4 * kWidth, dst.data(),
                                           4 * kWidth, kWidth, kHeight);
    });
}

void AlphaComposition16u(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    const Frame& f = *in->frame;
    std::vector<unsigned short> dst(kPixels);
    for (int y = 0; y < kHeight; ++y) {
        std::copy(f.Row(y), f.Row(y) + kWidth,
                  dst.begin() + static_cast<std::ptrdiff_t>(y) * kWidth);
    }
    TimeSteadyState(state, f, [&] {
        AlphaComposition::BlendImages(scene.overlay16.data(), 2 * kWidth, dst.data(), 2 * kWidth, 0,
                                      kWidth, kHeight);
    });
}

void RgbToRgba(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> dst(4 * kPixels);
    TimeSteadyState(state, *in->frame, [&] {
        ColorTransformation::RGBToRGBA(scene.rgb.data(), 3 * kWidth, dst.data(), 4 * kWidth, kWidth,
                                       kHeight);
    });
}

void RgbaToRgb(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> dst(3 * kPixels);
    TimeSteadyState(state, *in->frame, [&] {
        ColorTransformation::RGBAToRGB(scene.iron.data(), 4 * kWidth, dst.data(), 3 * kWidth,
                                       kWidth, kHeight);
    });
}

void RgbToYuv422(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> dst(2 * kPixels);
    TimeSteadyState(state, *in->frame, [&] {
        ColorTransformation::RGBToYUV422(scene.rgb.data(), 3 * kWidth, dst.data(), 2 * kWidth,
                                         kWidth, kHeight);
    });
}

void Yuv422ToRgb(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    std::vector<unsigned char> yuv(2 * kPixels);
    std::vector<unsigned char> dst(3 * kPixels);
    ColorTransformation::RGBToYUV422(scene.rgb.data(), 3 * kWidth, yuv.data(), 2 * kWidth, kWidth,
                                     kHeight);
    TimeSteadyState(state, *in->frame, [&] {
        ColorTransformation::YUV422ToRGB(yuv.data(), 2 * kWidth, dst.data(), 3 * kWidth, kWidth,
                                         kHeight);
    });
}

#ifdef SOLOMA_BENCH_OPENCV
// 4:4:4 YUV to 4:2:2 (Y0 U Y1 V): each pair's chroma is the rounded mean of its two pixels'.
__attribute__((noinline)) void PackYuv422(const unsigned char* yuv, unsigned char* out,
                                          std::size_t pairs) {
    for (std::size_t i = 0; i < pairs; ++i) {
        const unsigned char* p = yuv + 6 * i;
        unsigned char* q = out + 4 * i;
        q[0] = p[0];
        q[1] = static_cast<unsigned char>((p[1] + p[4] + 1) >> 1);
        q[2] = p[3];
        q[3] = static_cast<unsigned char>((p[2] + p[5] + 1) >> 1);
    }
}

void CvRgbToYuv422(benchmark::State& state, const BenchInput* in) {
    const ColourScene scene(*in->frame);
    const cv::Mat rgb(kHeight, kWidth, CV_8UC3, const_cast<unsigned char*>(scene.rgb.data()));
    cv::Mat yuv(kHeight, kWidth, CV_8UC3);
    std::vector<unsigned char> dst(2 * kPixels);
    for (auto _ : state) {
        cv::cvtColor(rgb, yuv, cv::COLOR_RGB2YUV);
        PackYuv422(yuv.data, dst.data(), kPixels / 2);
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}
#endif

}  // namespace

void RegisterColourBenchmarks(const BenchInput& input) {
    if (!IsBenchFrame(*input.frame)) {
        return;
    }
    // The floor of each operation: a copy of the larger of the bytes it reads and writes per
    // pixel, as a copy of the images it reads would be when its output is no larger.
    AddCase(input, "memcpy_3B_per_px", MemcpyFloor<3>);
    AddCase(input, "memcpy_4B_per_px", MemcpyFloor<4>);
    AddCase(input, "memcpy_6B_per_px", MemcpyFloor<6>);
    AddCase(input, "memcpy_8B_per_px", MemcpyFloor<8>);
    AddCase(input, "memcpy_16B_per_px", MemcpyFloor<16>);
    // A copy of all the bytes an operation reads and writes: the other reading of the floor,
    // shown beside it without a target.
    AddCase(input, "memcpy_5B_per_px", MemcpyFloor<5>);
    AddCase(input, "memcpy_7B_per_px", MemcpyFloor<7>);
    AddCase(input, "memcpy_9B_per_px", MemcpyFloor<9>);
    AddCase(input, "memcpy_10B_per_px", MemcpyFloor<10>);
    AddCase(input, "memcpy_12B_per_px", MemcpyFloor<12>);
    AddCase(input, "memcpy_20B_per_px", MemcpyFloor<20>);
    AddNote("memcpy_6B_per_px",
            "memcpy_<n>B_per_px copies n bytes per pixel of the 640x512 frame: n is the larger of "
            "the bytes an operation reads and writes per pixel (images only, palettes not "
            "counted); a destination that is also read counts as read");

    AddCase(input, "Fusion_ColorIRImage", FusionColorIRImage);
    AddCase(input, "Fusion_CombineIRAndDC", FusionCombineIRAndDC);
    AddCase(input, "Blending_ColorIRImage", BlendingColorIRImage);
    AddCase(input, "AlphaComposition_8u_C3", AlphaComposition8uC3);
    AddCase(input, "AlphaComposition_8u_C4", AlphaComposition8uC4);
    AddCase(input, "AlphaComposition_16u", AlphaComposition16u);
    AddCase(input, "ColorTransformation_RGBToRGBA", RgbToRgba);
    AddCase(input, "ColorTransformation_RGBAToRGB", RgbaToRgb);
    AddCase(input, "ColorTransformation_RGBToYUV422", RgbToYuv422);
    AddCase(input, "ColorTransformation_YUV422ToRGB", Yuv422ToRgb);

    // The library's rows run on every thread in the default run, the copies on one, so the
    // targets hold for one thread.
    const double target = SingleThreaded() ? 3.0 : -1.0;
    const struct {
        const char* label;
        const char* name;
        const char* floor;     // the larger of the bytes read and written
        const char* allBytes;  // the bytes read and written together
    } ratios[] = {
        {"Fusion::ColorIRImage (reads 2+4, writes 4 B/px)", "Fusion_ColorIRImage",
         "memcpy_6B_per_px", "memcpy_10B_per_px"},
        {"Fusion::CombineIRAndDC (reads 4+12, writes 4 B/px)", "Fusion_CombineIRAndDC",
         "memcpy_16B_per_px", "memcpy_20B_per_px"},
        {"Blending::ColorIRImage (reads 2+4, writes 4 B/px)", "Blending_ColorIRImage",
         "memcpy_6B_per_px", "memcpy_10B_per_px"},
        {"AlphaComposition 8u C3 (reads 3+3, writes 3 B/px)", "AlphaComposition_8u_C3",
         "memcpy_6B_per_px", "memcpy_9B_per_px"},
        {"AlphaComposition 8u C4 (reads 4+4, writes 4 B/px)", "AlphaComposition_8u_C4",
         "memcpy_8B_per_px", "memcpy_12B_per_px"},
        {"AlphaComposition 16u (reads 2+2, writes 2 B/px)", "AlphaComposition_16u",
         "memcpy_4B_per_px", "memcpy_6B_per_px"},
        {"RGBToRGBA (reads 3, writes 4 B/px)", "ColorTransformation_RGBToRGBA", "memcpy_4B_per_px",
         "memcpy_7B_per_px"},
        {"RGBAToRGB (reads 4, writes 3 B/px)", "ColorTransformation_RGBAToRGB", "memcpy_4B_per_px",
         "memcpy_7B_per_px"},
        {"RGBToYUV422 (reads 3, writes 2 B/px)", "ColorTransformation_RGBToYUV422",
         "memcpy_3B_per_px", "memcpy_5B_per_px"},
        {"YUV422ToRGB (reads 2, writes 3 B/px)", "ColorTransformation_YUV422ToRGB",
         "memcpy_3B_per_px", "memcpy_5B_per_px"},
    };
    for (const auto& ratio : ratios) {
        AddRatio(std::string(ratio.label) + " / memcpy", ratio.name, {ratio.floor}, target);
    }
    for (const auto& ratio : ratios) {
        AddRatio(std::string(ratio.label) + " / memcpy of read + written bytes", ratio.name,
                 {ratio.allBytes}, -1.0);
    }
#ifdef SOLOMA_BENCH_OPENCV
    AddCase(input, "cv_RGBToYUV422", CvRgbToYuv422);
    AddNote("cv_RGBToYUV422",
            "cv::cvtColor COLOR_RGB2YUV (4:4:4, fixed point) and a plain C++ pass that packs it "
            "to 4:2:2 with the rounded mean chroma of each pair");
    AddRatio("RGBToYUV422 / cv::cvtColor + 4:2:2 packing", "ColorTransformation_RGBToYUV422",
             {"cv_RGBToYUV422"}, SingleThreaded() ? 1.0 : -1.0);
#endif
}
