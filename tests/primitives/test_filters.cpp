#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "TestImage.h"

using PP = PixelPrimitives;
using Image = TestImage<float>;

// Every filter against the direct double sum of kernel[i * kw + j] * pixel(x + ax - j, y + ay - i).
// The filters accumulate in float, so the tolerance scales with the sum of the terms' magnitudes.
// Filter_32f_C1 reads around the region, the others read only the region (every margin value read
// shows as a wrong sum) and replicate it or use a constant. Asymmetric kernels and anchors tell
// convolution from correlation.
TEST(Filters, MatchTheDirectSum) {
    enum Kind { kGeneral, kUniform, kLowpass, kLowpassConst, kGauss };
    struct Case {
        Kind kind;
        int kw, kh, ax, ay;
        float sigma;
    };
    // Uniform kernels take the general filter's window-sum path (windows taller than eight rows
    // sum their shared rows in a loop of their own); 81 taps pass the general path's block of
    // tap pointers.
    const Case cases[] = {
        {kGeneral, 3, 3, 1, 1, 0},  {kGeneral, 7, 7, 3, 3, 0},      {kGeneral, 4, 2, 0, 1, 0},
        {kGeneral, 1, 5, 0, 4, 0},  {kGeneral, 9, 9, 2, 6, 0},      {kUniform, 7, 7, 3, 3, 0},
        {kUniform, 5, 2, 4, 0, 0},  {kUniform, 4, 3, 1, 2, 0},      {kUniform, 1, 3, 0, 1, 0},
        {kUniform, 6, 1, 5, 0, 0},  {kUniform, 3, 11, 1, 6, 0},     {kLowpass, 3, 3, 1, 1, 0},
        {kLowpass, 5, 5, 2, 2, 0},  {kLowpassConst, 5, 5, 2, 2, 0}, {kGauss, 3, 3, 1, 1, 1.5f},
        {kGauss, 7, 7, 3, 3, 1.5f}, {kGauss, 15, 15, 7, 7, 5.5f}};
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> weight(-1.0f, 1.0f);
    for (const Case& c : cases) {
        const int n = c.kw;
        // Separable weights g for the box and Gaussian kernels; random weights for the general one.
        std::vector<double> g(n, 1.0);
        for (int i = 0; c.kind == kGauss && i < n; ++i) {
            g[i] = std::exp(-std::pow(i - n / 2, 2) / (2.0 * c.sigma * c.sigma));
        }
        const double sum = std::accumulate(g.begin(), g.end(), 0.0);
        if (c.kind == kGauss && n == 7) {  // IPP's published weight
            EXPECT_NEAR(g[3] / sum, 0.2706821, 1e-7);
        }
        std::vector<float> kernel(c.kw * c.kh);
        for (int i = 0; i < c.kw * c.kh; ++i) {
            kernel[i] = c.kind == kGeneral   ? weight(rng)
                        : c.kind == kUniform ? 1.0f / (c.kw * c.kh)
                                             : g[i / n] / sum * g[i % n] / sum;
        }
        // The window-sum path works on strips of output columns; a wide region crosses several.
        std::vector<RegionSize> sizes = TestRegionSizes();
        sizes.push_back({2600, 3});
        for (const RegionSize& size : sizes) {
            const int w = size.width, h = size.height;  // plain names: the lambdas capture them
            Image src(w, h, 7), dst(w, h);
            src.FillRandom(rng, 0.0, 1000.0, true);
            int bytes = 0;
            const bool general = c.kind == kGeneral || c.kind == kUniform;
            ASSERT_TRUE(general ||
                        (c.kind == kGauss ? PP::FilterGaussGetBufferSize_32f_C1(w, h, n, &bytes)
                         : n == 3         ? PP::FilterLowpassGetBufferSize3x3_32f_C1R(w, h, &bytes)
                                  : PP::FilterLowpassGetBufferSize5x5_32f_C1R(w, h, &bytes)));
            std::vector<unsigned char> buffer(bytes);
            const float* s = src.Data();
            float* d = dst.Data();
            const int sp = src.Pitch(), dp = dst.Pitch();
            unsigned char* b = buffer.data();
            ASSERT_TRUE(general ? PP::Filter_32f_C1(s, sp, d, dp, w, h, kernel.data(), c.kw, c.kh,
                                                    c.ax, c.ay)
                        : c.kind == kGauss
                            ? PP::FilterGaussBorder_32f_C1R(s, sp, d, dp, w, h, n, c.sigma, b)
                        : c.kind == kLowpassConst
                            ? PP::FilterLowpassBorderConst5x5_32f_C1R(s, sp, d, dp, w, h, 7.5f, b)
                        : n == 3 ? PP::FilterLowpassBorder3x3_32f_C1R(s, sp, d, dp, w, h, b)
                                 : PP::FilterLowpassBorder5x5_32f_C1R(s, sp, d, dp, w, h, b));
            EXPECT_TRUE(dst.OutsideUntouched());
            auto pixel = [&](int x, int y) {
                const int cx = std::clamp(x, 0, w - 1), cy = std::clamp(y, 0, h - 1);
                const bool border = !general && (cx != x || cy != y);
                return !border ? src.At(x, y) : c.kind == kLowpassConst ? 7.5f : src.At(cx, cy);
            };
            for (int p = 0; p < w * h; ++p) {
                const int x = p % w, y = p / w;
                double want = 0.0, magnitude = 0.0;
                for (int i = 0; i < c.kw * c.kh; ++i) {
                    const double term = kernel[i] * pixel(x + c.ax - i % c.kw, y + c.ay - i / c.kw);
                    want += term;
                    magnitude += std::fabs(term);
                }
                ASSERT_NEAR(dst.At(x, y), want, 1e-6 * magnitude + 1e-30) << x << ", " << y;
            }
        }
    }
}

// The window sums across a row add in one fixed order wherever a pixel falls (vector bodies,
// the last vector of a row, rows narrower than a vector), so results do not depend on the
// width or on the instruction set. One-row images make the column sums easy to write down.
TEST(Filters, WindowSumsAddInOneOrderAtEveryWidth) {
    std::mt19937 rng(11);
    std::vector<unsigned char> buffer(1 << 16);
    const std::vector<float> kernel(7, 0.3f);
    for (int w = 1; w <= 70; ++w) {
        Image src(w, 1), seven(w, 1), box3(w, 1), box5(w, 1);
        src.FillRandom(rng, -1000.0, 1000.0, true);
        const float* s = src.Data();
        const int p = src.Pitch();  // every image of one width has the same pitch
        unsigned char* b = buffer.data();
        ASSERT_TRUE(PP::Filter_32f_C1(s, p, seven.Data(), p, w, 1, kernel.data(), 7, 1, 3, 0) &&
                    PP::FilterLowpassBorder3x3_32f_C1R(s, p, box3.Data(), p, w, 1, b) &&
                    PP::FilterLowpassBorder5x5_32f_C1R(s, p, box5.Data(), p, w, 1, b));
        EXPECT_TRUE(seven.OutsideUntouched() && box3.OutsideUntouched() && box5.OutsideUntouched());
        for (int x = 0; x < w; ++x) {
            // Seven columns: adjacent pairs, then the pairs and the last column in turn.
            auto v = [&](int i) { return src.At(x + i, 0); };
            const float pairs = ((v(-3) + v(-2)) + (v(-1) + v(0))) + (v(1) + v(2));
            ASSERT_EQ(seven.At(x, 0), (pairs + v(3)) * 0.3f) << w << ": " << x;
            // The box means: each column sum adds the replicated row `taps` times.
            auto e = [&](int i) { return src.At(std::clamp(x + i, 0, w - 1), 0); };
            auto c3 = [&](int i) { return e(i) + e(i) + e(i); };
            auto c5 = [&](int i) { return e(i) + e(i) + e(i) + e(i) + e(i); };
            ASSERT_EQ(box3.At(x, 0), (c3(-1) + c3(0) + c3(1)) / 9.0f) << w << ": " << x;
            ASSERT_EQ(box5.At(x, 0), (c5(-2) + c5(-1) + c5(0) + c5(1) + c5(2)) / 25.0f) << w;
        }
    }
}

// Sums of integers (scaled by powers of two, down to results below the normal range) are
// exact in any order, so the mean must be exactly that sum divided by 9 or 25 in float.
TEST(FilterLowpass, MeanIsACorrectlyRoundedDivision) {
    std::mt19937 rng(8);
    std::vector<unsigned char> buffer(1 << 16);
    for (const float scale : {1.0f, 0x1p-30f, 0x1p-140f}) {
        for (const int size : {3, 5}) {
            const int w = 37, h = 12;  // an even height ends on a pair of rows
            Image src(w, h), dst(w, h);
            src.Fill([&](int, int) { return static_cast<float>(rng() % 65536) * scale; });
            auto box =
                size == 3 ? PP::FilterLowpassBorder3x3_32f_C1R : PP::FilterLowpassBorder5x5_32f_C1R;
            ASSERT_TRUE(box(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w, h, buffer.data()));
            for (int p = 0; p < w * h; ++p) {
                const int x = p % w, y = p / w;
                double sum = 0.0;
                for (int i = 0; i < size * size; ++i) {
                    const int sx = x + i % size - size / 2, sy = y + i / size - size / 2;
                    sum += src.At(std::clamp(sx, 0, w - 1), std::clamp(sy, 0, h - 1));
                }
                ASSERT_EQ(dst.At(x, y), static_cast<float>(sum) / static_cast<float>(size * size))
                    << scale << ": " << x << ", " << y;
            }
        }
    }
}

// An anchor outside the kernel and an even Gaussian kernel fail, writing nothing.
TEST(Filters, RejectBadArgumentsWritingNothing) {
    const float kernel[9] = {};
    Image src(10, 10, 2), dst(10, 10);
    std::vector<unsigned char> scratch(1 << 16);
    const float* s = src.Data();
    const int p = src.Pitch(), dp = dst.Pitch();
    EXPECT_FALSE(
        PP::Filter_32f_C1(s, p, dst.Data(), dp, 10, 10, kernel, 3, 3, 3, 1) ||
        PP::FilterGaussBorder_32f_C1R(s, p, dst.Data(), dp, 10, 10, 4, 1.0f, scratch.data()));
    EXPECT_TRUE(dst.Untouched());
}
