#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

class ImageStabilization;
class ReferenceEdges;

// Gas plumes in a stream of 16-bit thermal frames, found by a smoothed frame difference. Each
// Run aligns the reference frame to the current one (while stabilisation is on), takes their
// difference, suppresses it on strong edges of either frame (edgeFactor above 0; the
// suppression also reverses the difference's sign), smooths it with a 7x7 Gaussian and keeps
// the values that reach sensitivityThreshold plus a thousandth of the current frame's range.
// What remains tints the host's colour image (four bytes per pixel: blue, green, red,
// reserved).
//
// Frames of 7 pixels or fewer across or down render the colour image with no detection.
// Buffers are kept for the frame size, so a steady stream allocates nothing. One object
// serves one thread at a time.
class SOLOMA_IMAGEPROCESSING_API GasDetectionDifference {
public:
    GasDetectionDifference();
    GasDetectionDifference(const GasDetectionDifference& other);
    GasDetectionDifference& operator=(const GasDetectionDifference& other);
    virtual ~GasDetectionDifference();

    // One frame pair: src is the current frame, ref the reference. colorImage and dst are
    // 4-byte colour images of the same size; dst may be colorImage.
    void Run(const unsigned short* src, int srcStep, const unsigned short* ref, int refStep,
             unsigned char* colorImage, int colorStep, unsigned char* dst, int dstStep, int width,
             int height);

    // 0 or below switches the edge suppression off.
    int GetEdgeFactor() const { return _edgeFactor; }
    void SetEdgeFactor(int edgeFactor) { _edgeFactor = edgeFactor; }
    // Smallest smoothed difference, in signal counts, that counts as gas.
    int GetSensitivityThreshold() const { return _sensitivityThreshold; }
    void SetSensitivityThreshold(int threshold) { _sensitivityThreshold = threshold; }
    int GetColorizationMethod() const { return _colorizationMethod; }
    void SetColorizationMethod(int method) { _colorizationMethod = method; }

    bool UseImageStabilization() const { return static_cast<bool>(_stabilizer); }
    // true creates a stabilizer if there is none; false destroys it.
    void SetUseImageStabilisation(bool use);

private:
    // Brings the buffers to width x height; false when one could not be allocated.
    bool Init(int width, int height);
    void Cleanup();
    // The edge routine and the debug image, shared with GasDetection.
    static void EdgeDetection(float* src, int srcStep, float* tmp, int tmpStep, int width,
                              int height, unsigned char* scratch);
    static void DebugImage(const float* src, int srcStep, unsigned char* dst, int dstStep,
                           int width, int height);

    int _width = 0;  // size the buffers were made for
    int _height = 0;
    detail::ImageBuffer<float> _difference;  // D
    detail::ImageBuffer<float> _reference;   // B
    detail::ImageBuffer<float> _current;     // A
    detail::ImageBuffer<float> _work;
    detail::VectorBuffer<unsigned char> _lowpassScratch;
    detail::VectorBuffer<unsigned char> _gaussScratch;
    float _gaussSigma = 1.5f;
    int _gaussKernelSize = 7;
    int _edgeFactor = 8;
    detail::OwnedObject<ImageStabilization, true> _stabilizer;
    // The aligned reference's edges, kept while the reference and its shift repeat.
    detail::OwnedObject<ReferenceEdges, true> _referenceEdges;
    int _sensitivityThreshold = 20;
    int _colorizationMethod = 0;
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
