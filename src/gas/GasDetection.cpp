#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/SpectrumPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "frame/ImageArgs.h"
#include "frame/Rows.h"
#include "gas/ColorizeGasImage.h"
#include "gas/EdgeWeighting.h"
#include "gas/GasKernels.h"
#include "gas/ReferenceEdges.h"

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {
namespace {

// The overlay tints by twice the scaled detection.
constexpr int kGain = 2;
// Largest number of floats kept for the spectra of the rows that open blocks share.
constexpr long long kMaxRowSpectra = 1 << 24;

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

// Buffers, the stabiliser and the interpolation are duplicated with their content by their
// owners; the transform object is scratch and is made again on the copy's first Run.
GasDetection::GasDetection(const GasDetection& other) = default;
GasDetection& GasDetection::operator=(const GasDetection& other) = default;

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
        _stabilizer.Reset();
    } else if (!_stabilizer) {
        _stabilizer.Reset(new (std::nothrow) ImageStabilization);
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
    if (_referenceEdges) {
        _referenceEdges->Release();
    }
    _spectrum.Reset();
    _power.Release();
    _blockSum.Release();
    _offsets.Release();
    _rowSpectra.Release();
    _bandColumns.Release();
    _columnSpectra.Release();
    _rowMaxima.Release();
}

// A buffer of spectra, windowSize floats apiece, zeroed: the transforms write only the
// measured bins of each, and the sums read the stored bins, so the bins between stay 0.
void GasDetection::AllocateSpectra(detail::VectorBuffer<float>& spectra, int length) {
    spectra.Allocate(length);
    if (spectra) {
        std::fill_n(spectra.Get(), length, 0.0f);
    }
}

bool GasDetection::PrepareSpectra(int width) {
    const int n = _windowSize;
    if (!_spectrum) {
        _spectrum.Reset(new (std::nothrow) SpectrumPrimitives(n));
    }
    // A transform without its tables would leave the spectra unwritten: drop it, and the
    // next frame tries again.
    if (_spectrum && !_spectrum->Ready()) {
        _spectrum.Reset();
    }
    _power.AllocateIfAbsent(n);
    _blockSum.AllocateIfAbsent(n);
    _offsets.AllocateIfAbsent(n);
    // The spectra of the last n rows, for every column of blocks; beyond the limit (blocks
    // far denser than wide) each block's rows are transformed on their own.
    const long long ring = static_cast<long long>(n) * _gridWidth * n;
    if (!_rowSpectra && ring <= kMaxRowSpectra) {
        AllocateSpectra(_rowSpectra, static_cast<int>(ring));
    }
    _bandColumns.AllocateIfAbsent(n, width);
    if (!_columnSpectra && static_cast<long long>(n) * width <= std::numeric_limits<int>::max()) {
        AllocateSpectra(_columnSpectra, n * width);
    }
    _rowMaxima.AllocateIfAbsent(_gridWidth * _gridHeight);
    return _spectrum && _power && _blockSum && _offsets && _bandColumns && _columnSpectra &&
           _rowMaxima;
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

// A block's spectrum is the sum, over its n rows (or columns) in order, of the power
// spectra of n-pixel segments. Neighbouring blocks overlap, so each segment belongs to up to
// ceil(n / step) blocks. Every segment is transformed once per frame and kept while a block
// that holds it is still open; each block then adds its segments' spectra in the same order,
// from zero, as summing the block alone does, so its sums and maximum are the same to the
// bit. An all-zero segment's spectrum is +0 throughout and is stored without a transform.
namespace {

// acc = sum over k < count, in order, of spectra[offsets[k] .. + 8 kVectors), the sums held
// in vector registers: the lanes' chains of additions then run side by side.
template <int kVectors>
__attribute__((always_inline)) inline void SumInLanes(const float* spectra, const int* offsets,
                                                      int count, float* acc) {
    typedef float Vector __attribute__((vector_size(32)));
    Vector sums[kVectors] = {};
    for (int k = 0; k < count; ++k) {
        const float* s = spectra + offsets[k];
        for (int v = 0; v < kVectors; ++v) {
            Vector values;
            std::memcpy(&values, s + 8 * v, sizeof(values));
            sums[v] += values;
        }
    }
    std::memcpy(acc, sums, sizeof(sums));
}

// acc = sum over k < count, in order, of spectra[offsets[k] .. + n).
SOLOMA_MULTIVERSION void SumOfSpectra(const float* spectra, const int* offsets, int count, int n,
                                      float* acc) {
    switch (n) {
        case 8:
            return SumInLanes<1>(spectra, offsets, count, acc);
        case 16:
            return SumInLanes<2>(spectra, offsets, count, acc);
        case 24:
            return SumInLanes<3>(spectra, offsets, count, acc);
        case 32:
            return SumInLanes<4>(spectra, offsets, count, acc);
        default:
            break;
    }
    std::fill_n(acc, n, 0.0f);
    for (int k = 0; k < count; ++k) {
        const float* s = spectra + offsets[k];
        for (int j = 0; j < n; ++j) {
            acc[j] += s[j];
        }
    }
}

// Bins a block's measure looks at: an even length's spectrum mirrors about n / 2 to the bit
// (the real transform stores only the lower half), so its upper half repeats values of the
// lower half; an odd length's mirror is not exact, so all of it counts.
int MeasuredBins(int n) {
    return n % 2 == 0 ? n / 2 + 1 : n;
}

// Stored spectra are n floats apart and summed in whole vectors of 8 where they fit: the
// measured bins are followed by zeros up to the next multiple of 8 (at most n).
int StoredBins(int n) {
    return std::min(n, (MeasuredBins(n) + 7) / 8 * 8);
}

}  // namespace

void GasDetection::TransformSegments(const float* first, std::ptrdiff_t stride, int count,
                                     float* power) {
    const int n = _windowSize;
    const int bins = MeasuredBins(n);
    _spectrum->PsdFFT(first, stride, count, _window.Get(), power, n, n, bins);
}

float GasDetection::LargestSum(const float* spectra, const int* offsets) {
    const int n = _windowSize;
    const int bins = MeasuredBins(n);
    SumOfSpectra(spectra, offsets, n, StoredBins(n), _blockSum.Get());
    float largest = 0.0f;
    VectorPrimitives::Max_32f(_blockSum.Get(), bins, &largest);
    return largest;
}

void GasDetection::MaxFFT2(const float* src, int srcStep, float* dst, int dstStep, int width,
                           int height) {
    const int n = _windowSize;
    const int step = _psdStep;
    const int blockRows = UsedBlocks(height, n, _halfWindow, step);
    const int blockColumns = UsedBlocks(width, n, _halfWindow, step);
    if (blockRows == 0 || blockColumns == 0) {
        return;
    }
    int* offsets = _offsets.Get();
    float* rowMaxima = _rowMaxima.Get();
    if (_psdMode != 1) {
        if (_rowSpectra) {
            // Rows in order; row y's spectra go to ring row y % n, one n-float spectrum per
            // column of blocks. A row of blocks is summed once its last row is in.
            const int stride = blockColumns * n;
            float* ring = _rowSpectra.Get();
            const int end = (blockRows - 1) * step + n;
            for (int y = 0; y < end; ++y) {
                if (y % step >= n) {
                    continue;  // between rows of blocks
                }
                const float* row = RowAt(src, srcStep, y);
                float* spectra = ring + (y % n) * stride;
                TransformSegments(row, step, blockColumns, spectra);
                const int top = y - n + 1;
                if (top < 0 || top % step != 0) {
                    continue;
                }
                for (int k = 0; k < n; ++k) {
                    offsets[k] = ((top + k) % n) * stride;
                }
                for (int i = 0; i < blockColumns; ++i) {
                    rowMaxima[(top / step) * blockColumns + i] = LargestSum(ring + i * n, offsets);
                }
            }
        } else {
            float* power = _power.Get();
            const int bins = MeasuredBins(n);
            for (int j = 0; j < blockRows; ++j) {
                for (int i = 0; i < blockColumns; ++i) {
                    float* sum = _blockSum.Get();
                    std::fill_n(sum, bins, 0.0f);
                    for (int k = 0; k < n; ++k) {
                        TransformSegments(
                            RowAt(src, srcStep, j * step + k) + static_cast<long long>(i) * step, 0,
                            1, power);
                        VectorPrimitives::Add_32f_I(power, sum, bins);
                    }
                    VectorPrimitives::Max_32f(sum, bins, &rowMaxima[j * blockColumns + i]);
                }
            }
        }
    }

    // Columns one row of blocks at a time: the band of rows is transposed, so that each of
    // its columns is a row of floats, as a block's own transposition holds it.
    const int bandWidth = (blockColumns - 1) * step + n;
    float* columns = _bandColumns.Get();
    const int columnsStep = _bandColumns.Pitch();
    float* spectra = _columnSpectra.Get();
    for (int j = 0; j < blockRows; ++j) {
        float* out = RowAt(dst, dstStep, j);
        if (_psdMode == 0) {
            std::copy_n(rowMaxima + j * blockColumns, blockColumns, out);
            continue;
        }
        PixelPrimitives::Transpose_32f_C1R(RowAt(src, srcStep, j * step), srcStep, columns,
                                           columnsStep, bandWidth, n);
        // Runs of columns that lie in blocks; those between columns of blocks are skipped.
        const std::ptrdiff_t columnStride = columnsStep / static_cast<int>(sizeof(float));
        for (int x = 0; x < bandWidth;) {
            int end = x;
            while (end < bandWidth && end % step < n) {
                ++end;
            }
            if (end > x) {
                TransformSegments(RowAt(columns, columnsStep, x), columnStride, end - x,
                                  spectra + x * n);
            }
            x = std::max(end, x + 1);
        }
        for (int i = 0; i < blockColumns; ++i) {
            for (int k = 0; k < n; ++k) {
                offsets[k] = (i * step + k) * n;
            }
            const float columnMaximum = LargestSum(spectra, offsets);
            out[i] = BlockMeasure(_psdMode, rowMaxima[j * blockColumns + i], columnMaximum);
        }
    }
}

void GasDetection::Run(const unsigned short* src, int srcStep, const unsigned short* ref,
                       int refStep, unsigned char* colorImage, int colorStep, unsigned char* dst,
                       int dstStep, int width, int height) {
    if (!ValidImage(src, srcStep, width, height) || !ValidImage(ref, refStep, width, height) ||
        !ValidImage(colorImage, colorStep, width, height, 4) ||
        !ValidImage(dst, dstStep, width, height, 4)) {
        return;
    }
    if (!CanProcess(width, height)) {
        // Nothing can be measured: the colour image with no detection.
        ColorizeGasImage(colorImage, colorStep, nullptr, 0, _colorizationMethod, kGain, dst,
                         dstStep, width, height);
        return;
    }
    if (!Init(width, height)) {
        // Short of memory: no output, and nothing half-built for the next call.
        Cleanup();
        return;
    }
    float* a = _current.Get();
    float* b = _reference.Get();
    float* d = _difference.Get();
    const int aStep = _current.Pitch();
    const int bStep = _reference.Pitch();
    const int dStep = _difference.Pitch();
    PixelPrimitives::Convert_16u32f_C1(src, srcStep, a, aStep, width, height);
    // The reference moves to line up with the current frame; a stabiliser short of memory
    // leaves the call without output.
    int dx = 0;
    int dy = 0;
    if (!ReferenceEdges::AlignReference(ref, refStep, a, aStep, b, bStep, width, height,
                                        _stabilizer.Get(), _referenceEdges, &dx, &dy)) {
        return;
    }

    const int hw = _halfWindow;
    const int mapWidth = width - _windowSize;
    const int mapHeight = height - _windowSize;
    FrameDifference(a, aStep, b, bStep, d, dStep, width, height, hw, hw, mapWidth, mapHeight);
    EdgeWeightingImages images{
        a,     aStep, b, bStep, d, dStep, _work.Get(), _work.Pitch(), _filterScratch.Get(),
        width, height};
    WeightByEdges(images, _edgeFactor, _referenceEdges.Get(), ref, refStep, dx, dy);

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
