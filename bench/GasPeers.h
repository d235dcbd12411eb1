#pragma once

// The gas detectors' OpenCV peers, shared by the gas and the whole-chain benchmarks.
#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/core.hpp>

// The spectral detector's transforms alone: cv::dft of the rows of every 32x32 block 16 pixels
// apart of the float frame difference, and of the rows of its transposition.
void BlockTransformsInOpenCv(const cv::Mat& difference, cv::Mat& spectrum, cv::Mat& transposed);

// The difference detector's steps on a 16-bit pair: conversions, the edge magnitudes of both
// frames (four 5x5 box filters), the weighting, the 7x7 Gaussian, the threshold and the
// extremes. The images are kept between calls.
struct DifferenceScratch {
    cv::Mat a, b, d, la, lb, ea, eb, weight, smooth, magnitude;
};
void DifferenceStepsInOpenCv(const cv::Mat& src, const cv::Mat& ref, DifferenceScratch& s);
#endif
