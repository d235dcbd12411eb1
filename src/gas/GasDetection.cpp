#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/SpectrumPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "frame/Rows.h"
#include "gas/ColorizeGasImage.h"
#include "gas/EdgeWeighting.h"
#include "gas/GasKernels.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The overlay tints by twice the scaled detection.
constexpr int kGain = 2;
// Largest number of floats kept for the spectra of the blocks that share a row; beyond it
// (only for blocks far denser than they are wide) each block is summed on its own.
constexpr long long kMaxSharedSums = 1 << 24;

// Number of blocks along a side of `length` pixels: positions halfWindow - 1, + step, ...
// below length - halfWindow whose block of `window` pixels fits. They form a prefix.
int UsedBlocks(int length, int window, int halfWindow, int step) {
    int used = 0;
    for (long long p = halfWindow - 1; p < length - halfWindow; p += step) {
        if (p - halfWindow + window < length) {
            ++used;
        }
    }
    return used;
}

// acc += power, element by element.
inline void Accumulate(const float* power, float* acc, int n) {
    for (int k = 0; k < n; ++k) {
        acc[k] += power[k];
    }
}

// True when every value is +0 or -0: the segment's power spectrum is then +0 everywhere, and
// adding it changes no sum (sums of powers are never -0).
inline bool AllZero(const float* segment, int n) {
    std::uint32_t bits = 0;
    for (int j = 0; j < n; ++j) {
        std::uint32_t v;
        std::memcpy(&v, segment + j, sizeof(v));
        bits |= v & 0x7FFFFFFFu;
    }
    return bits == 0;
}

// The block measure of the spectral directions in use: the row measure, the column measure,
// or the smaller of the two (the column measure unless the row measure is less).
float BlockMeasure(int psdMode, float rowMaximum, float columnMaximum) {
    if (psdMode == 0) {
        return rowMaximum;
    }
    if (psdMode == 1) {
        return columnMaximum;
    }
    return rowMaximum < columnMaximum ? rowMaximum : columnMaximum;
}

}  // namespace

GasDetection::GasDetection()
    : _stabilizer(new ImageStabilization), _interpolation(new SeparableInterpolation) {}

GasDetection::GasDetection(int psdMode, int windowSize, int psdStep, int edgeFactor,
                           float psdThreshold, float temporalDampening)
    : _psdMode(psdMode),
      _windowSize(windowSize),
      _psdStep(psdStep),
      _edgeFactor(edgeFactor),
      _psdThreshold(psdThreshold),
      _temporalDampening(temporalDampening),
      _stabilizer(new ImageStabilization),
      _interpolation(new SeparableInterpolation) {}

// Buffers are duplicated with their content by their owners; the transform object is
// scratch and is made again on the copy's first Run.
GasDetection::GasDetection(const GasDetection& other)
    : _width(other._width),
      _height(other._height),
      _reference(other._reference),
      _work(other._work),
      _current(other._current),
      _difference(other._difference),
      _filterScratch(other._filterScratch),
      _window(other._window),
      _psdMode(other._psdMode),
      _windowSize(other._windowSize),
      _psdStep(other._psdStep),
      _edgeFactor(other._edgeFactor),
      _psdThreshold(other._psdThreshold),
      _temporalDampening(other._temporalDampening),
      _grid(other._grid),
      _xMap(other._xMap),
      _yMap(other._yMap),
      _smoothedLevel(other._smoothedLevel),
      _halfWindow(other._halfWindow),
      _gridWidth(other._gridWidth),
      _gridHeight(other._gridHeight),
      _colorizationMethod(other._colorizationMethod),
      _stabilizer(other._stabilizer ? new ImageStabilization(*other._stabilizer) : nullptr),
      _useMeanFromPreviousImage(other._useMeanFromPreviousImage),
      _previousMean(other._previousMean),
      _interpolation(new SeparableInterpolation) {}

GasDetection& GasDetection::operator=(const GasDetection& other) {
    if (this != &other) {
        GasDetection copy(other);
        Cleanup();
        _width = copy._width;
        _height = copy._height;
        _reference.Swap(copy._reference);
        _work.Swap(copy._work);
        _current.Swap(copy._current);
        _difference.Swap(copy._difference);
        _filterScratch.Swap(copy._filterScratch);
        _window.Swap(copy._window);
        _psdMode = copy._psdMode;
        _windowSize = copy._windowSize;
        _psdStep = copy._psdStep;
        _edgeFactor = copy._edgeFactor;
        _psdThreshold = copy._psdThreshold;
        _temporalDampening = copy._temporalDampening;
        _grid.Swap(copy._grid);
        _xMap.Swap(copy._xMap);
        _yMap.Swap(copy._yMap);
        _smoothedLevel = copy._smoothedLevel;
        _halfWindow = copy._halfWindow;
        _gridWidth = copy._gridWidth;
        _gridHeight = copy._gridHeight;
        _colorizationMethod = copy._colorizationMethod;
        _stabilizer.swap(copy._stabilizer);
        _useMeanFromPreviousImage = copy._useMeanFromPreviousImage;
        _previousMean = copy._previousMean;
    }
    return *this;
}

GasDetection::~GasDetection() {
    Cleanup();
}

void GasDetection::SetWindowSize(int windowSize) {
    if (windowSize != _windowSize) {
        _windowSize = windowSize;
        Cleanup();
    }
}

void GasDetection::SetPsdStep(int psdStep) {
    if (psdStep != _psdStep) {
        _psdStep = psdStep;
        Cleanup();
    }
}

void GasDetection::SetUseImageStabilisation(bool use) {
    if (!use) {
        _stabilizer.reset();
    } else if (!_stabilizer) {
        _stabilizer.reset(new (std::nothrow) ImageStabilization);
    }
}

void GasDetection::DetectEdges(float* src, int srcStep, float* tmp, int tmpStep, int width,
                               int height, unsigned char* scratch) {
    ImageProcessing::DetectEdges(src, srcStep, tmp, tmpStep, width, height, scratch);
}

void GasDetection::DebugImage(const float* src, int srcStep, unsigned char* dst, int dstStep,
                              int width, int height) {
    ClearDebugImage(src, srcStep, dst, dstStep, width, height);
}

bool GasDetection::CanProcess(int width, int height) const {
    return _psdStep >= 1 && _windowSize >= 2 && _windowSize < width && _windowSize < height;
}

bool GasDetection::Init(int width, int height) {
    if (width != _width || height != _height) {
        Cleanup();
    }
    _difference.AllocateIfAbsent(width, height);
    _reference.AllocateIfAbsent(width, height);
    _work.AllocateIfAbsent(width, height);
    _current.AllocateIfAbsent(width, height);
    if (!_filterScratch) {
        int bytes = 0;
        PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(width, height, &bytes);
        _filterScratch.Allocate(bytes);
    }
    if (!_window) {
        _window.Allocate(_windowSize);
        VectorPrimitives::Set_32f(1.0f, _window.Get(), _windowSize);
        VectorPrimitives::WinHamming_32f_I(_window.Get(), _windowSize);
    }
    _halfWindow = static_cast<int>(static_cast<float>(_windowSize) * 0.5f);
    _gridWidth =
        static_cast<int>(static_cast<float>((width - 2 * _halfWindow) / _psdStep) + 0.5f) + 1;
    _gridHeight =
        static_cast<int>(static_cast<float>((height - 2 * _halfWindow) / _psdStep) + 0.5f) + 1;
    _grid.AllocateIfAbsent(_gridWidth, _gridHeight);

    const int mapWidth = width - _windowSize;
    const int mapHeight = height - _windowSize;
    if (!_xMap) {
        // Every row holds column i mapped to i x gridWidth / mapWidth.
        _xMap.Allocate(mapWidth, mapHeight);
        if (_xMap) {
            float* first = _xMap.Get();
            VectorPrimitives::VectorSlope_32f(
                first, mapWidth, 0.0f,
                static_cast<float>(_gridWidth) / static_cast<float>(mapWidth));
            for (int y = 1; y < mapHeight; ++y) {
                VectorPrimitives::Copy_32f(first, RowAt(first, _xMap.Pitch(), y), mapWidth);
            }
        }
    }
    if (!_yMap) {
        // Every column holds row j mapped to j x gridHeight / mapHeight.
        _yMap.Allocate(mapWidth, mapHeight);
        detail::VectorBuffer<float> slope;
        slope.Allocate(mapHeight);
        if (_yMap && slope) {
            VectorPrimitives::VectorSlope_32f(
                slope.Get(), mapHeight, 0.0f,
                static_cast<float>(_gridHeight) / static_cast<float>(mapHeight));
            for (int x = 0; x < mapWidth; ++x) {
                PixelPrimitives::Copy_32f_C1(slope.Get(), static_cast<int>(sizeof(float)),
                                             _yMap.Get() + x, _yMap.Pitch(), 1, mapHeight);
            }
        } else {
            _yMap.Release();
        }
    }
    if (!*_interpolation && _xMap && _yMap) {
        _interpolation->Init(_xMap.Get(), _xMap.Pitch(), _yMap.Get(), _yMap.Pitch(), mapWidth,
                             mapHeight, _gridWidth, _gridHeight);
    }
    _width = width;
    _height = height;
    return *_interpolation && _difference && _reference && _work && _current && _filterScratch &&
           _window && _grid && _xMap && _yMap && PrepareSpectra(width);
}

void GasDetection::Cleanup() {
    _difference.Release();
    _reference.Release();
    _work.Release();
    _current.Release();
    _grid.Release();
    _xMap.Release();
    _yMap.Release();
    _filterScratch.Release();
    _window.Release();
    _interpolation->Release();
    _spectrum.reset();
    _power.Release();
    _sums.Release();
    _bandColumns.Release();
    _rowMaxima.Release();
    _columnMaxima.Release();
}

bool GasDetection::PrepareSpectra(int width) {
    const int n = _windowSize;
    if (!_spectrum) {
        _spectrum.reset(new (std::nothrow) SpectrumPrimitives(n));
    }
    _power.AllocateIfAbsent(n);
    // Blocks that share a row or a column: at most ceil(n / step) of them at a time.
    const long long shared = (static_cast<long long>(n) + _psdStep - 1) / _psdStep;
    const long long sums = shared * _gridWidth * n;
    if (!_sums && sums <= kMaxSharedSums) {
        _sums.Allocate(static_cast<int>(sums));
    }
    if (!_sums) {
        _sums.AllocateIfAbsent(n);  // one block at a time
    }
    _bandColumns.AllocateIfAbsent(n, width);
    _rowMaxima.AllocateIfAbsent(_gridWidth * _gridHeight);
    _columnMaxima.AllocateIfAbsent(_gridWidth);
    return _spectrum && _power && _sums && _bandColumns && _rowMaxima && _columnMaxima;
}

float GasDetection::UpdateLevel(double mean) {
    if (!std::isfinite(mean)) {
        // A frame without a usable measure keeps the threshold of the frames before it.
        return _smoothedLevel;
    }
    float used = static_cast<float>(mean);
    if (_useMeanFromPreviousImage) {
        used = _previousMean;
        _previousMean = static_cast<float>(mean);
    }
    if (_temporalDampening > 0.0f) {
        _smoothedLevel = (1.0f - _temporalDampening) * used + _temporalDampening * _smoothedLevel;
    } else {
        _smoothedLevel = used;
    }
    return _smoothedLevel;
}

// The spectra of a block are sums, over its n rows (or columns) in order, of the power
// spectra of n-pixel segments. Neighbouring blocks overlap, so each segment belongs to up to
// ceil(n / step) blocks along the direction of the sum. The sweeps below take every segment
// once, in order, and add its spectrum to each block that contains it; a block's sum thus
// receives exactly the additions of summing the block alone, in the same order, and its
// maximum is the same to the bit.
namespace {

struct SegmentSweep {
    int n;           // segment length and block side
    int bins;        // spectrum entries summed: all n, or the first n / 2 + 1 of a mirrored one
    int step;        // distance between blocks
    int blocks;      // blocks along the sweep
    int lanes;       // blocks per position (columns of blocks for a row sweep)
    int slots;       // blocks that can share a segment
    float* sums;     // slots x lanes x n
    float* maxima;   // blocks x lanes, row by row
    int maximaStep;  // floats between the maxima of consecutive blocks
};

// Block of the sweep that segment position p starts (or -1), and the block it ends.
inline bool StartsBlock(const SegmentSweep& s, int p, int* block) {
    if (p % s.step != 0 || p / s.step >= s.blocks) {
        return false;
    }
    *block = p / s.step;
    return true;
}

inline bool EndsBlock(const SegmentSweep& s, int p, int* block) {
    const int top = p - s.n + 1;
    if (top < 0 || top % s.step != 0 || top / s.step >= s.blocks) {
        return false;
    }
    *block = top / s.step;
    return true;
}

inline float* SlotOf(const SegmentSweep& s, int block, int lane) {
    return s.sums + (static_cast<long long>(block % s.slots) * s.lanes + lane) * s.n;
}

// Runs the sweep over segment positions 0 .. (blocks - 1) x step + n - 1; power(p, lane)
// computes the spectrum of the segment at position p for the lane's block and returns it, or
// null when the spectrum is +0 everywhere.
template <typename Power>
void Sweep(const SegmentSweep& s, Power power) {
    const int end = (s.blocks - 1) * s.step + s.n;
    for (int p = 0; p < end; ++p) {
        int block = 0;
        if (StartsBlock(s, p, &block)) {
            std::fill_n(SlotOf(s, block, 0), static_cast<long long>(s.lanes) * s.n, 0.0f);
        }
        const int first = p >= s.n ? (p - s.n + s.step) / s.step : 0;
        const int last = std::min(p / s.step, s.blocks - 1);
        if (first <= last) {
            for (int lane = 0; lane < s.lanes; ++lane) {
                const float* spectrum = power(p, lane);
                if (spectrum == nullptr) {
                    continue;
                }
                for (int b = first; b <= last; ++b) {
                    Accumulate(spectrum, SlotOf(s, b, lane), s.bins);
                }
            }
        }
        if (EndsBlock(s, p, &block)) {
            for (int lane = 0; lane < s.lanes; ++lane) {
                VectorPrimitives::Max_32f(
                    SlotOf(s, block, lane), s.bins,
                    s.maxima + static_cast<long long>(block) * s.maximaStep + lane);
            }
        }
    }
}

}  // namespace

void GasDetection::MaxFFT2(const float* src, int srcStep, float* dst, int dstStep, int width,
                           int height) {
    const int n = _windowSize;
    const int step = _psdStep;
    const int blockRows = UsedBlocks(height, n, _halfWindow, step);
    const int blockColumns = UsedBlocks(width, n, _halfWindow, step);
    if (blockRows == 0 || blockColumns == 0) {
        return;
    }
    const int slots = (n + step - 1) / step;
    const bool shared =
        static_cast<long long>(_sums.Length()) >= static_cast<long long>(slots) * blockColumns * n;
    float* power = _power.Get();
    const float* window = _window.Get();
    SpectrumPrimitives& spectrum = *_spectrum;
    // An even length's spectrum mirrors about n / 2 to the bit, so its upper half repeats
    // values the lower half already adds and maximises.
    const int bins = n % 2 == 0 ? n / 2 + 1 : n;
    auto segmentPower = [&](const float* segment) -> const float* {
        if (AllZero(segment, n)) {
            return nullptr;
        }
        spectrum.PsdFFT(segment, window, power, n);
        return power;
    };

    // Row measures of every block.
    float* rowMaxima = _rowMaxima.Get();
    if (_psdMode != 1) {
        if (shared) {
            SegmentSweep rows{n,     bins,        step,      blockRows,   blockColumns,
                              slots, _sums.Get(), rowMaxima, blockColumns};
            Sweep(rows, [&](int y, int i) {
                return segmentPower(RowAt(src, srcStep, y) + static_cast<long long>(i) * step);
            });
        } else {
            for (int j = 0; j < blockRows; ++j) {
                for (int i = 0; i < blockColumns; ++i) {
                    SegmentSweep one{
                        n, bins, n, 1, 1, 1, _sums.Get(), rowMaxima + j * blockColumns + i, 1};
                    Sweep(one, [&](int y, int) {
                        return segmentPower(RowAt(src, srcStep, j * step + y) +
                                            static_cast<long long>(i) * step);
                    });
                }
            }
        }
    }

    // Column measures, one row of blocks at a time: the band of rows is transposed, so that
    // each column of the band is a row of floats, as the blocks' own transpositions hold it.
    const int bandWidth = (blockColumns - 1) * step + n;
    float* columnMaxima = _columnMaxima.Get();
    float* columns = _bandColumns.Get();
    const int columnsStep = _bandColumns.Pitch();
    for (int j = 0; j < blockRows; ++j) {
        const float* band = RowAt(src, srcStep, j * step);
        if (_psdMode != 0) {
            PixelPrimitives::Transpose_32f_C1R(band, srcStep, columns, columnsStep, bandWidth, n);
            if (shared) {
                SegmentSweep across{n,           bins,         step, blockColumns, 1, slots,
                                    _sums.Get(), columnMaxima, 1};
                Sweep(across,
                      [&](int x, int) { return segmentPower(RowAt(columns, columnsStep, x)); });
            } else {
                for (int i = 0; i < blockColumns; ++i) {
                    SegmentSweep one{n, bins, n, 1, 1, 1, _sums.Get(), columnMaxima + i, 1};
                    Sweep(one, [&](int x, int) {
                        return segmentPower(RowAt(columns, columnsStep, i * step + x));
                    });
                }
            }
        }
        float* out = RowAt(dst, dstStep, j);
        for (int i = 0; i < blockColumns; ++i) {
            out[i] = BlockMeasure(_psdMode, rowMaxima[j * blockColumns + i], columnMaxima[i]);
        }
    }
}

void GasDetection::Run(const unsigned short* src, int srcStep, const unsigned short* ref,
                       int refStep, unsigned char* colorImage, int colorStep, unsigned char* dst,
                       int dstStep, int width, int height) {
    if (src == nullptr || ref == nullptr || colorImage == nullptr || dst == nullptr || width <= 0 ||
        height <= 0) {
        return;
    }
    if (!CanProcess(width, height) || !Init(width, height)) {
        // Nothing can be measured: the colour image with no detection.
        ColorizeGasImage(colorImage, colorStep, nullptr, 0, _colorizationMethod, kGain, dst,
                         dstStep, width, height);
        return;
    }
    float* a = _current.Get();
    float* b = _reference.Get();
    float* d = _difference.Get();
    const int aStep = _current.Pitch();
    const int bStep = _reference.Pitch();
    const int dStep = _difference.Pitch();
    PixelPrimitives::Convert_16u32f_C1(ref, refStep, b, bStep, width, height);
    PixelPrimitives::Convert_16u32f_C1(src, srcStep, a, aStep, width, height);
    if (_stabilizer) {
        // The reference moves to line up with the current frame.
        _stabilizer->Run(a, aStep, b, bStep, width, height);
    }

    const int hw = _halfWindow;
    const int mapWidth = width - _windowSize;
    const int mapHeight = height - _windowSize;
    FrameDifference(a, aStep, b, bStep, d, dStep, width, height, hw, hw, mapWidth, mapHeight);
    WeightByEdges({a, aStep, b, bStep, d, dStep, _work.Get(), _work.Pitch(), _filterScratch.Get(),
                   width, height},
                  _edgeFactor);

    float* grid = _grid.Get();
    PixelPrimitives::Set_32f_C1(0.0f, grid, _grid.Pitch(), _gridWidth, _gridHeight);
    MaxFFT2(d, dStep, grid, _grid.Pitch(), width, height);

    // The block measures at pixel resolution, 0 in the border band.
    ClearBorder(a, aStep, width, height, hw, hw, mapWidth, mapHeight);
    _interpolation->Run(grid, _grid.Pitch(), RowAt(a, aStep, hw) + hw, aStep);
    double mean = 0.0;
    PixelPrimitives::Mean_32f_C1R(a, aStep, width, height, &mean, true);
    const float level = UpdateLevel(mean);

    // Measures above the threshold weight the difference.
    float largestMeasure = 0.0f;
    float largestDifference = 0.0f;
    ThresholdAndWeight(a, aStep, d, dStep, _psdThreshold * level, width, height, &largestMeasure,
                       &largestDifference);
    // Both maxima are never negative; a NaN fails the test as 0 does.
    const float scale = largestMeasure > 0.0f && largestDifference > 0.0f
                            ? 255.0f / (largestDifference * largestMeasure)
                            : 0.0f;
    ColorizeGasImage(colorImage, colorStep, d, dStep, _colorizationMethod, kGain, dst, dstStep,
                     width, height,
                     DetectionScaling{-std::numeric_limits<float>::infinity(), scale});
}

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
