#include "ThermalChain.h"

#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>

namespace Varnik::Soloma::Cli {
namespace {

using ImageProcessing::Palettes;
using ImageProcessing::RadiometricStatistics;

// The display limits' histogram spans the whole 16-bit range, as `soloma limits` takes it.
constexpr int kLimitsLower = 0;
constexpr int kLimitsUpper = 65536;
// The plateau is four times the mean count of the 4096 bins, as `soloma plateau` sets it.
constexpr int kPixelsPerPlateauCount = 1024;

const char* const kStageNames[kStageCount] = {
    "statistics", "stabilize", "dde", "plateau", "palette", "gas psd", "gas diff", "wand", "region",
};
const char* const kStageCalls[kStageCount] = {
    "RadiometricStatistics::Calculate, CalculateHistogramMinMax",
    "ImageStabilization::Run",
    "DDE::Create",
    "PlateauEqualization::Create",
    "Palettes::DisplayRange, Apply",
    "GasDetection::Run",
    "GasDetectionDifference::Run",
    "MagicWand::Add",
    "RadiometricStatistics::Calculate (kelvin)",
};

// Brings an image to the frame's size; allocates only when the size changes.
void Fit(Gray16Image* image, int width, int height) {
    image->width = width;
    image->height = height;
    image->pixels.resize(static_cast<std::size_t>(width) * height);
}

void Fit(ColourImage* image, int width, int height) {
    image->width = width;
    image->height = height;
    image->bgra.resize(static_cast<std::size_t>(width) * height * 4);
}

// Runs `work` and stores the milliseconds it took.
template <typename Work>
void Timed(double* milliseconds, Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    *milliseconds = elapsed.count();
}

}  // namespace

const char* StageName(int stage) {
    return stage >= 0 && stage < kStageCount ? kStageNames[stage] : "";
}

const char* StageCall(int stage) {
    return stage >= 0 && stage < kStageCount ? kStageCalls[stage] : "";
}

ThermalChain::ThermalChain(const ChainSettings& settings)
    : _settings(settings),
      _dde(settings.ddeKernel, settings.ddeSigma),
      _psd(2, 32, 16, settings.edgeFactor, settings.psdThreshold, settings.psdDamping),
      _histogram(settings.limitBins),
      _levels(settings.limitBins + 1) {
    _plateau.SetDampingFactor(settings.damping);
    _psd.SetColorizationMethod(settings.colorization);
    _psd.SetUseImageStabilisation(true);
    _difference.SetEdgeFactor(settings.edgeFactor);
    _difference.SetSensitivityThreshold(settings.sensitivity);
    _difference.SetColorizationMethod(settings.colorization);
    _difference.SetUseImageStabilisation(true);
}

void ThermalChain::Run(const Gray16Image& frame, const Gray16Image& reference,
                       ChainResult* result) {
    const int width = frame.width;
    const int height = frame.height;
    const int step = frame.Step();
    const unsigned short* pixels = frame.pixels.data();
    double* ms = result->milliseconds;
    Fit(&result->aligned, width, height);
    Fit(&result->enhanced, width, height);
    Fit(&result->display, width, height);
    Fit(&result->colour, width, height);
    Fit(&result->grey, width, height);
    Fit(&result->psdOverlay, width, height);
    Fit(&result->differenceOverlay, width, height);
    result->wandMask.resize(frame.pixels.size());
    _regionValues.reserve(frame.pixels.size());

    Timed(&ms[kStageStatistics], [&] {
        Statistics& s = result->frameStatistics;
        RadiometricStatistics::Calculate(pixels, width, height, step, 0, 0, nullptr, 0, 0, s, true);
        RadiometricStatistics::CalculateHistogramMinMax(
            pixels, step, _histogram.data(), _levels.data(), _settings.limitBins + 1, kLimitsLower,
            kLimitsUpper, 0, 0, width, height, _settings.limitFraction, _settings.limitFraction,
            result->lowerLimit, result->upperLimit);
    });

    Timed(&ms[kStageStabilize], [&] {
        // The uncovered strip keeps the frame's own pixels.
        std::memcpy(result->aligned.pixels.data(), pixels, frame.pixels.size() * 2);
        _stabilization.Run(reference.pixels.data(), reference.Step(), pixels, step,
                           result->aligned.pixels.data(), step, width, height);
        result->dx = _stabilization.GetDx();
        result->dy = _stabilization.GetDy();
    });

    Timed(&ms[kStageDde], [&] {
        _dde.Create(pixels, step, result->enhanced.pixels.data(), step, _settings.baseSharpen,
                    _settings.detailGain, width, height);
    });

    Timed(&ms[kStagePlateau], [&] {
        const float limit =
            static_cast<float>(std::max(1, width * height / kPixelsPerPlateauCount));
        _plateau.Create(result->enhanced.pixels.data(), step, result->display.pixels.data(), step,
                        width, height, _settings.linearPercent, limit);
    });

    Timed(&ms[kStagePalette], [&] {
        Palettes::DisplayRange(result->display.pixels.data(), step, width, height,
                               &result->paletteLow, &result->paletteHigh);
        Palettes::Apply(result->display.pixels.data(), step, _settings.palette, result->paletteLow,
                        result->paletteHigh, result->colour.bgra.data(), result->colour.Step(),
                        width, height);
        Palettes::Apply(result->display.pixels.data(), step, _settings.overlayPalette,
                        result->paletteLow, result->paletteHigh, result->grey.bgra.data(),
                        result->grey.Step(), width, height);
    });

    ColourImage& colour = result->grey;
    Timed(&ms[kStageGasPsd], [&] {
        _psd.Run(pixels, step, reference.pixels.data(), reference.Step(), colour.bgra.data(),
                 colour.Step(), result->psdOverlay.bgra.data(), colour.Step(), width, height);
    });
    Timed(&ms[kStageGasDifference], [&] {
        _difference.Run(pixels, step, reference.pixels.data(), reference.Step(), colour.bgra.data(),
                        colour.Step(), result->differenceOverlay.bgra.data(), colour.Step(), width,
                        height);
    });

    Timed(&ms[kStageWand], [&] {
        // The hottest object: every pixel joined to the brightest one that lies within the
        // tolerance of it, the tolerance a share of the way down to the frame's mean.
        const Statistics& s = result->frameStatistics;
        result->seedX = s.maxX;
        result->seedY = s.maxY;
        result->tolerance =
            std::max(1.0f, _settings.wandShare * static_cast<float>(s.max - s.mean));
        std::fill(result->wandMask.begin(), result->wandMask.end(), 0);
        _wand.Add(pixels, step, result->wandMask.data(), width, result->tolerance, s.maxX, s.maxY,
                  width, height);
    });

    Timed(&ms[kStageRegion], [&] {
        // The region's pixels gathered into one row, so that the library's region statistics
        // describe exactly them. The region is small, so the mask is skipped eight bytes at a
        // time where it is empty.
        _regionValues.clear();
        const unsigned char* mask = result->wandMask.data();
        const std::size_t count = frame.pixels.size();
        std::size_t i = 0;
        for (; i + 8 <= count; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, mask + i, 8);
            for (std::size_t k = 0; word != 0 && k < 8; ++k) {
                if (mask[i + k] != 0) {
                    _regionValues.push_back(pixels[i + k]);
                }
            }
        }
        for (; i < count; ++i) {
            if (mask[i] != 0) {
                _regionValues.push_back(pixels[i]);
            }
        }
        result->regionPixels = _regionValues.size();
        result->regionStatistics = Statistics{};
        if (_regionValues.empty()) {
            return;
        }
        const int n = static_cast<int>(_regionValues.size());
        const KelvinTable& kelvin = _settings.kelvin;
        RadiometricStatistics::Calculate(_regionValues.data(), n, 1,
                                         n * static_cast<int>(sizeof(unsigned short)), 0, 0,
                                         kelvin.entries.data(), kelvin.low, kelvin.high,
                                         result->regionStatistics, kelvin.Empty());
    });
}

bool IsTinted(const ColourImage& colour, const ColourImage& overlay, int colorization,
              std::size_t i) {
    const unsigned char* pixel = &overlay.bgra[4 * i];
    const unsigned char red = colour.bgra[4 * i + 2];
    const unsigned char green = colorization == 0 ? red : colour.bgra[4 * i + 1];
    return pixel[0] != red || pixel[1] != green || pixel[2] != red;
}

TintCount CountTinted(const ColourImage& colour, const ColourImage& overlay, int colorization,
                      const std::vector<unsigned char>* truth) {
    TintCount count;
    const std::size_t pixels = overlay.bgra.size() / 4;
    for (std::size_t i = 0; i < pixels; ++i) {
        const bool tinted = IsTinted(colour, overlay, colorization, i);
        const bool inside = truth != nullptr && (*truth)[i] != 0;
        count.tinted += tinted;
        count.truth += inside;
        count.truePositives += tinted && inside;
    }
    return count;
}

}  // namespace Varnik::Soloma::Cli
