#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/detail/FrameCache.h>
#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

struct ImageStabilizationProbe;

// Whole-pixel translation between two frames of one size, and its compensation. Each frame is
// reduced to a 0/1 edge map (a 5x5 high-pass magnitude against 0.6 times its mean), the map is
// summed along rows and along columns, and the two frames' projections are matched by the sum
// of absolute differences over shifts of up to 20 pixels each way. Only translation is
// estimated.
//
// Sign of the reported shifts: for src(x, y) = ref(x - 3, y), the 16-bit overloads report
// dx = -3 and the float overloads dx = +3 (likewise dy). Whatever the sign reported, the
// written image is src moved so that it lines up with ref; the strip the move uncovers keeps
// the destination's previous content (in place: the unmoved pixels). Frames of 60 pixels or
// fewer across (or down) leave no room for the comparison: that axis reports 0.
//
// Buffers are kept for the frame size, so a stream of equal-sized frames allocates nothing.
// A frame passed again unchanged in the same role (ref, or src) is recognised and its edge
// projections reused; this changes no result. One object serves one thread at a time.
class SOLOMA_IMAGEPROCESSING_API ImageStabilization {
public:
    ImageStabilization();
    ImageStabilization(const ImageStabilization& other);
    ImageStabilization& operator=(const ImageStabilization& other);
    virtual ~ImageStabilization();

    // Estimates the shift of src against ref and writes src, aligned with ref, into dst.
    void Run(const unsigned short* ref, int refStep, const unsigned short* src, int srcStep,
             unsigned short* dst, int dstStep, int width, int height);
    // The same, in place.
    void Run(const unsigned short* ref, int refStep, unsigned short* srcDst, int srcDstStep,
             int width, int height);
    // Estimates only; src is only read.
    void Run(const unsigned short* ref, int refStep, unsigned short* src, int srcStep, int width,
             int height, int& dx, int& dy);

    void Run(const float* ref, int refStep, const float* src, int srcStep, float* dst, int dstStep,
             int width, int height);
    void Run(const float* ref, int refStep, float* srcDst, int srcDstStep, int width, int height);
    void Run(const float* ref, int refStep, float* src, int srcStep, int width, int height, int& dx,
             int& dy);

    // The shifts of the last Run.
    int GetDx() const { return _dx; }
    int GetDy() const { return _dy; }

private:
    // Lets the tests read the edge projections of the last estimate.
    friend struct ImageStabilizationProbe;
    // The gas detectors align their reference through AlignInPlace, which tells them when it
    // could not.
    friend class GasDetection;
    friend class GasDetectionDifference;
    friend class ReferenceEdges;

    // Brings the buffers to width x height: a change of size releases them all, then every
    // absent buffer is allocated.
    void Init(int width, int height);
    // Releases the buffers; the recorded size stays.
    void Cleanup();
    // Row and column sums of the 0/1 edge map of src (float or 16-bit pixels).
    template <typename T>
    void ContourVector(const T* src, int srcStep, int width, int height, float* columnProjection,
                       float* rowProjection);
    // The shift s in -20..20 that best matches second[k + s] to first[k], the length - 60
    // entries of first away from both ends against the corresponding entries of second.
    int CalculateDiff(float* first, float* second, int length);

    // Estimation shared by the overloads of one pixel type; both leave _dx and _dy set, to 0
    // when a buffer could not be allocated, and then return false.
    bool Estimate(const unsigned short* ref, int refStep, const unsigned short* src, int srcStep,
                  int width, int height);
    bool Estimate(const float* ref, int refStep, const float* src, int srcStep, int width,
                  int height);
    // The edge projections of one operand into columns and rows, unless cache shows that they
    // already hold those of this very frame.
    void Project(const unsigned short* frame, int step, int width, int height,
                 detail::FrameCache& cache, float* columns, float* rows);
    void Project(const float* frame, int step, int width, int height, detail::FrameCache& cache,
                 float* columns, float* rows);
    // Estimate of a region of one pixel type; an empty region reports 0 and returns false.
    template <typename T>
    bool EstimateRegion(const T* ref, int refStep, const T* src, int srcStep, int width,
                        int height);
    // The in-place overloads: the frame goes through `copy` as the source.
    // Both return false, having written nothing, when the call is rejected or a buffer could
    // not be allocated.
    template <typename T>
    bool RunInPlace(const T* ref, int refStep, T* srcDst, int srcDstStep, int width, int height,
                    detail::ImageBuffer<T>& copy);
    bool AlignInPlace(const float* ref, int refStep, float* srcDst, int srcDstStep, int width,
                      int height);
    // The float estimate of ref against the src of the last float estimate, whose projections
    // are still held: for a caller that knows its src is unchanged. False, with nothing
    // estimated, when they are not held (another size, a 16-bit estimate since, short of
    // memory).
    bool EstimateAgainstLastSource(const float* ref, int refStep, int width, int height);
    // Moves the image in place by the last estimate, as the in-place Run does.
    bool MoveInPlace(float* image, int step, int width, int height);

    // Chooses the team for this call and sizes the per-thread scratch for it; then checks
    // that every buffer the estimate needs is held.
    bool PrepareTeam();
    // The high-pass magnitude of rows [y0, y1) of src into the edge image; returns their sum.
    template <typename T>
    double HighPassBand(const T* src, int srcStep, int width, int height, int y0, int y1,
                        int thread);
    // Counts the edges of rows [y0, y1) along rows and into columnCounts; false when a pixel
    // sits exactly at the threshold or is NaN, so that the band's edge map is not all 0 and 1.
    bool CountBand(int width, int y0, int y1, float threshold, float* rowProjection,
                   int* columnCounts);
    // Thresholds rows [y0, y1) of the edge image and sums them along rows and along columns
    // in double, whatever values the edge map holds.
    void EdgeBand(int width, int y0, int y1, float threshold, float* rowProjection,
                  double* columnSums);

    int _dx = 0;  // shifts of the last call
    int _dy = 0;
    detail::VectorBuffer<float> _refColumns;  // column projection of ref, width values
    detail::VectorBuffer<float> _srcColumns;  // column projection of src
    detail::VectorBuffer<float> _refRows;     // row projection of ref, height values
    detail::VectorBuffer<float> _srcRows;     // row projection of src
    int _width = 0;                           // size the buffers were made for
    int _height = 0;
    detail::ImageBuffer<float> _edges;   // the edge map
    int _searchRange = 20;               // largest shift tried each way
    detail::VectorBuffer<float> _costs;  // one cost per candidate shift

    // The frame is worked through in bands of rows that stay in cache. Per band: its sum of
    // high-pass magnitudes and its column sums of edges (as counts, or in double).
    detail::VectorBuffer<double> _bandSums;
    detail::VectorBuffer<int> _bandColumnCounts;
    detail::VectorBuffer<double> _bandColumnSums;
    // Per thread: the rows of column sums of the 5x5 low-pass, the search's cost vector and
    // differences. Kept, with the in-place overloads' copy of the frame, so that a steady
    // stream allocates nothing.
    detail::VectorBuffer<float> _highPassScratch;
    detail::VectorBuffer<float> _threadCosts;
    detail::VectorBuffer<float> _threadDifferences;
    int _scratchThreads = 0;  // threads the per-thread scratch is sized for
    int _team = 1;            // threads of this call's parallel regions
    detail::ImageBuffer<unsigned short> _inPlace16u;
    detail::ImageBuffer<float> _inPlace32f;
    // The frames whose projections _refColumns/_refRows and _srcColumns/_srcRows hold, when
    // they are worth recognising (the in-place overloads' src is their copy of the frame).
    detail::FrameCache _refFrame;
    detail::FrameCache _srcFrame;
    bool _sourceProjected = false;  // the src projections are those of the last float src
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
