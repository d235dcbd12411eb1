#include "GasPeers.h"

#ifdef SOLOMA_BENCH_OPENCV
#include <opencv2/imgproc.hpp>

void BlockTransformsInOpenCv(const cv::Mat& difference, cv::Mat& spectrum, cv::Mat& transposed) {
    for (int y = 0; y + 32 <= difference.rows; y += 16) {
        for (int x = 0; x + 32 <= difference.cols; x += 16) {
            const cv::Mat block = difference(cv::Rect(x, y, 32, 32));
            cv::dft(block, spectrum, cv::DFT_ROWS);
            cv::transpose(block, transposed);
            cv::dft(transposed, spectrum, cv::DFT_ROWS);
        }
    }
}

void DifferenceStepsInOpenCv(const cv::Mat& src, const cv::Mat& ref, DifferenceScratch& s) {
    const cv::Size box(5, 5);
    src.convertTo(s.a, CV_32F);
    ref.convertTo(s.b, CV_32F);
    cv::subtract(s.a, s.b, s.d);
    cv::blur(s.a, s.la, box, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::absdiff(s.la, s.a, s.la);
    cv::blur(s.la, s.ea, box, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(s.b, s.lb, box, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::absdiff(s.lb, s.b, s.lb);
    cv::blur(s.lb, s.eb, box, cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::add(s.ea, s.eb, s.weight);
    double lo = 0.0, hi = 0.0;
    cv::minMaxLoc(s.weight, &lo, &hi);
    cv::threshold(s.weight * (8.0 / hi), s.weight, 1.0, 1.0, cv::THRESH_TRUNC);
    cv::subtract(s.weight, 1.0, s.weight);
    cv::multiply(s.d, s.weight, s.d);
    cv::GaussianBlur(s.d, s.smooth, cv::Size(7, 7), 1.5, 1.5, cv::BORDER_REPLICATE);
    s.magnitude = cv::abs(s.smooth);
    cv::minMaxLoc(s.magnitude, &lo, &hi);
    cv::threshold(s.smooth, s.smooth, 20.0, 0.0, cv::THRESH_TOZERO);
}
#endif
