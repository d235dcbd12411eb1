#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

#include <cstddef>

class SpectrumPrimitives;

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

class ImageStabilization;
class SeparableInterpolation;
class ReferenceEdges;
struct GasDetectionProbe;

// Gas plumes in a stream of 16-bit thermal frames, found by their spatial spectral power.
// Each Run compares the current frame with a reference frame chosen by the host: the reference
// is aligned to the current frame (while stabilisation is on), their difference is suppressed
// on strong edges of either frame, and on a grid of square blocks (windowSize pixels, psdStep
// apart) the largest Hamming-windowed power spectral density summed over the block's rows
// and/or columns measures how much texture the difference has. The block measures are
// interpolated to pixel resolution, cut at psdThreshold times their mean level (optionally
// smoothed over frames), and weight the difference, which tints the host's colour image.
//
// Colour images have four bytes per pixel (blue, green, red, reserved). Parameters that
// cannot be processed (psdStep below 1, windowSize below 2 or not smaller than both frame
// sides) render the colour image with no detection and leave the carried state alone.
//
// Buffers are kept for the frame size and parameters, so a steady stream allocates nothing.
// One object serves one thread at a time.
class SOLOMA_IMAGEPROCESSING_API GasDetection {
public:
    GasDetection();
    GasDetection(int psdMode, int windowSize, int psdStep, int edgeFactor, float psdThreshold,
                 float temporalDampening);
    GasDetection(const GasDetection& other);
    GasDetection& operator=(const GasDetection& other);
    virtual ~GasDetection();

    // One frame pair: src is the current frame, ref the reference. colorImage and dst are
    // 4-byte colour images of the same size; dst may be colorImage.
    void Run(const unsigned short* src, int srcStep, const unsigned short* ref, int refStep,
             unsigned char* colorImage, int colorStep, unsigned char* dst, int dstStep, int width,
             int height);

    // 0: spectra along rows; 1: along columns; any other value: the smaller of the two.
    int GetPsdMode() const { return _psdMode; }
    void SetPsdMode(int psdMode) { _psdMode = psdMode; }
    int GetEdgeFactor() const { return _edgeFactor; }
    void SetEdgeFactor(int edgeFactor) { _edgeFactor = edgeFactor; }
    float GetPsdThreshold() const { return _psdThreshold; }
    void SetPsdThreshold(float psdThreshold) { _psdThreshold = psdThreshold; }
    // Weight of the previous frames' level in the smoothed level; 0 or below: no smoothing.
    float GetTemporalDampening() const { return _temporalDampening; }
    void SetTemporalDampening(float temporalDampening) { _temporalDampening = temporalDampening; }
    int GetColorizationMethod() const { return _colorizationMethod; }
    void SetColorizationMethod(int method) { _colorizationMethod = method; }
    // Threshold each frame against the mean of the previous frame processed this way.
    bool UseMeanFromPreviousImage() const { return _useMeanFromPreviousImage; }
    void SetUseMeanFromPreviousImage(bool use) { _useMeanFromPreviousImage = use; }

    // A new block size or block distance releases the buffers; the next Run rebuilds them.
    int GetWindowSize() const { return _windowSize; }
    void SetWindowSize(int windowSize);
    int GetPsdStep() const { return _psdStep; }
    void SetPsdStep(int psdStep);

    bool UseImageStabilization() const { return static_cast<bool>(_stabilizer); }
    // true creates a stabilizer if there is none; false destroys it.
    void SetUseImageStabilisation(bool use);

private:
    friend struct GasDetectionProbe;

    // Brings the buffers, the window, the grid and the maps to width x height; false when one
    // could not be allocated.
    bool Init(int width, int height);
    void Cleanup();
    // Block measures of src into the grid image dst, one row of dst per row of blocks.
    void MaxFFT2(const float* src, int srcStep, float* dst, int dstStep, int width, int height);
    // Smoothed high-pass magnitude of src, in place, with tmp as work image; scratch as for
    // the 5x5 low-pass of width x height.
    static void DetectEdges(float* src, int srcStep, float* tmp, int tmpStep, int width, int height,
                            unsigned char* scratch);
    // Clears 4 x width bytes of each row of dst.
    static void DebugImage(const float* src, int srcStep, unsigned char* dst, int dstStep,
                           int width, int height);

    // True when the parameters and the frame size can be processed.
    bool CanProcess(int width, int height) const;
    // The level the threshold uses for a frame whose measures have the given mean; updates
    // the smoothed level and the previous mean (unless the mean is not finite).
    float UpdateLevel(double mean);
    // Sizes the kept spectra and sums of MaxFFT2 for the current block grid.
    bool PrepareSpectra(int width);
    static void AllocateSpectra(detail::VectorBuffer<float>& spectra, int length);
    // The power spectra of count windowSize-pixel segments, stride floats apart, into power,
    // one windowSize-float spectrum after another.
    void TransformSegments(const float* first, std::ptrdiff_t stride, int count, float* power);
    // The largest entry of the sum, in order, of the spectra at the offsets.
    float LargestSum(const float* spectra, const int* offsets);

    int _width = 0;  // size the buffers were made for
    int _height = 0;
    detail::ImageBuffer<float> _reference;  // B
    detail::ImageBuffer<float> _work;
    detail::ImageBuffer<float> _current;     // A
    detail::ImageBuffer<float> _difference;  // D
    detail::VectorBuffer<unsigned char> _filterScratch;
    detail::VectorBuffer<float> _window;
    int _psdMode = 2;
    int _windowSize = 32;
    int _psdStep = 16;
    int _edgeFactor = 8;
    float _psdThreshold = 3.5f;
    float _temporalDampening = 0.0f;
    detail::ImageBuffer<float> _grid;
    detail::ImageBuffer<float> _xMap;
    detail::ImageBuffer<float> _yMap;
    float _smoothedLevel = 0.0f;
    int _halfWindow = 0;
    int _gridWidth = 0;
    int _gridHeight = 0;
    int _colorizationMethod = 0;
    detail::OwnedObject<ImageStabilization, true> _stabilizer;
    // The aligned reference's edges, kept while the reference and its shift repeat.
    detail::OwnedObject<ReferenceEdges, true> _referenceEdges;
    bool _useMeanFromPreviousImage = false;
    float _previousMean = 0.0f;

    // Interpolates the block measures along the maps, which vary along one axis each.
    detail::OwnedObject<SeparableInterpolation, true> _interpolation;

    // Kept by MaxFFT2 between frames: the transform, the spectra of the last windowSize rows
    // (absent when too large: each block is then transformed alone), the columns of one band
    // of rows and their spectra, a block's sum of spectra, the offsets of the spectra it sums,
    // a spare spectrum and the row measures of every block.
    detail::OwnedObject<SpectrumPrimitives, false> _spectrum;
    detail::VectorBuffer<float> _rowSpectra;
    detail::ImageBuffer<float> _bandColumns;
    detail::VectorBuffer<float> _columnSpectra;
    detail::VectorBuffer<float> _blockSum;
    detail::VectorBuffer<int> _offsets;
    detail::VectorBuffer<float> _power;
    detail::VectorBuffer<float> _rowMaxima;
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
