#pragma once

#include "ColourImage.h"
#include "Image.h"
#include "KelvinTable.h"

#include <Varnik/Soloma/ImageProcessing/DDE.h>
#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>
#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
#include <Varnik/Soloma/ImageProcessing/Palettes.h>
#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>
#include <Varnik/Soloma/ImageProcessing/Statistics.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

// The whole per-frame chain a thermal host runs on a stream of raw frames, as `soloma demo`
// and `soloma pipeline` show it and the benchmarks time it:
//
//   statistics  the frame's statistics in signal counts (its brightest pixel) and its display
//               limits from a histogram (RadiometricStatistics)
//   stabilize   the frame's whole-pixel shift against the reference (ImageStabilization)
//   dde         detail enhancement of the raw frame (DDE)
//   plateau     plateau equalization of the enhanced frame, damped over the stream
//   palette     the equalized frame coloured by a palette over its 1st..99th percentile, and
//               in grey for the gas overlay
//   gas psd     the spectral gas detector against the reference, tinting the grey frame
//   gas diff    the difference gas detector, likewise
//   wand        the hottest object: the magic-wand region grown from the brightest pixel
//   region      the region's statistics, in kelvin through a calibration table
//
// The chain keeps every buffer between frames, so a stream of frames of one size allocates
// nothing after the first frame. One object serves one thread at a time.

enum ChainStage {
    kStageStatistics,
    kStageStabilize,
    kStageDde,
    kStagePlateau,
    kStagePalette,
    kStageGasPsd,
    kStageGasDifference,
    kStageWand,
    kStageRegion,
    kStageCount
};

// Short names for tables and file names, e.g. "gas psd".
const char* StageName(int stage);
// What the stage calls, e.g. "GasDetection::Run".
const char* StageCall(int stage);

struct ChainSettings {
    ImageProcessing::Palettes::Kind palette = ImageProcessing::Palettes::Iron;
    std::string paletteName = "iron";
    // Display: the command-line tool's defaults for DDE and plateau equalization.
    int ddeKernel = 5;
    float ddeSigma = 2.0f;
    float baseSharpen = 0.5f;
    float detailGain = 2.0f;
    float linearPercent = 10.0f;
    float damping = 0.5f;  // plateau histogram carried from frame to frame
    // Display limits: 4096 bins over the whole 16-bit range, 1 % cut at each end.
    int limitBins = 4096;
    float limitFraction = 0.01f;
    // Gas: both detectors stabilised, tinting a grey rendering of the display frame green
    // where the gas lowers the signal and magenta where it raises it. The library's tints
    // write the red byte into the blue one, so they keep the look of a grey image only.
    ImageProcessing::Palettes::Kind overlayPalette = ImageProcessing::Palettes::Grey;
    int colorization = 2;
    int edgeFactor = 8;
    float psdThreshold = 3.5f;
    float psdDamping = 0.0f;
    int sensitivity = 4;
    // The wand's tolerance as a share of the way from the frame's mean to its brightest pixel.
    float wandShare = 0.5f;
    // Statistics of the region in kelvin through this table; in signal counts when empty.
    KelvinTable kelvin;
};

// Frames too small for the chain: the spectral detector's 32-pixel blocks must fit inside.
constexpr int kChainMinimumSide = 33;

// What one frame gives.
struct ChainResult {
    int dx = 0;  // the stabilizer's estimate: the move that brings the frame onto the reference
    int dy = 0;
    Statistics frameStatistics{};   // whole frame, signal counts
    unsigned short lowerLimit = 0;  // display limits, signal counts
    unsigned short upperLimit = 0;
    int seedX = 0;  // the brightest pixel, where the wand starts
    int seedY = 0;
    float tolerance = 0.0f;
    std::size_t regionPixels = 0;
    Statistics regionStatistics{};  // kelvin with a table, else signal counts
    int paletteLow = 0;             // the equalized frame's range the palette spans
    int paletteHigh = 0;
    Gray16Image aligned;   // the frame moved onto the reference
    Gray16Image enhanced;  // DDE
    Gray16Image display;   // DDE, then plateau equalization
    ColourImage colour;    // the display frame through the palette
    ColourImage grey;      // the display frame through the overlay palette, for the detectors
    ColourImage psdOverlay;
    ColourImage differenceOverlay;
    std::vector<unsigned char> wandMask;  // 255 in the region
    double milliseconds[kStageCount] = {};
};

class ThermalChain {
public:
    explicit ThermalChain(const ChainSettings& settings);

    const ChainSettings& Settings() const { return _settings; }

    // Runs every stage on `frame` against `reference` (the same size, at least
    // kChainMinimumSide each way) and times each.
    void Run(const Gray16Image& frame, const Gray16Image& reference, ChainResult* result);

private:
    ChainSettings _settings;
    ImageProcessing::ImageStabilization _stabilization;
    ImageProcessing::DDE _dde;
    ImageProcessing::PlateauEqualization _plateau;
    ImageProcessing::GasDetection _psd;
    ImageProcessing::GasDetectionDifference _difference;
    ImageProcessing::MagicWand _wand;
    std::vector<int> _histogram;
    std::vector<int> _levels;
    std::vector<unsigned short> _regionValues;
};

// Whether pixel i of an overlay differs from what the detector writes with no gas found: the
// library's tint leaves blue and red at the colour image's red and green at its green (at its
// red for the grey tint, colorization 0).
bool IsTinted(const ColourImage& colour, const ColourImage& overlay, int colorization,
              std::size_t i);

// Pixels tinted, and of them those inside `truth` (non-zero), when given.
struct TintCount {
    std::size_t tinted = 0;
    std::size_t truth = 0;  // pixels set in the truth
    std::size_t truePositives = 0;
};
TintCount CountTinted(const ColourImage& colour, const ColourImage& overlay, int colorization,
                      const std::vector<unsigned char>* truth = nullptr);

}  // namespace Varnik::Soloma::Cli
