#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "PrimitiveHighPass.h"
#include "gas/HighPassKernels.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using Image = TestImage<float>;

// A row's sum as the stabiliser adds it: lane x % 16 in column order, lanes folded in halves.
double LaneSum(const float* row, int width) {
    double lanes[16] = {};
    for (int x = 0; x < width; ++x) {
        lanes[x % 16] += static_cast<double>(row[x]);
    }
    for (int half = 8; half > 0; half /= 2) {
        for (int j = 0; j < half; ++j) {
            lanes[j] += lanes[j + half];
        }
    }
    return lanes[0];
}

// The same value, or NaN on both sides (a NaN's payload may come from either operand).
bool Same(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// Runs the kernel over the frame in bands of `bandRows` and checks every row and every band's
// sum against the primitives on the frame as floats; rows outside the band asked for stay
// untouched.
template <typename T>
void CheckBands(const TestImage<T>& image, int bandRows) {
    const int w = image.Width(), h = image.Height();
    Image asFloat(w, h);
    asFloat.Fill([&](int x, int y) { return static_cast<float>(image.At(x, y)); });
    const Image want = PrimitiveHighPass(asFloat);
    std::vector<float> scratch(HighPassScratchLength(w));
    Image got(w, h);
    got.Fill([](int, int) { return -1.0f; });
    for (int y0 = 0; y0 < h; y0 += bandRows) {
        const int y1 = std::min(y0 + bandRows, h);
        const double sum = HighPassMagnitude(image.Data(), image.Pitch(), w, h, y0, y1, got.Data(),
                                             got.Pitch(), scratch.data());
        double wantSum = 0.0;
        for (int y = y0; y < y1; ++y) {
            wantSum += LaneSum(want.Pixel(0, y), w);
        }
        EXPECT_TRUE(sum == wantSum || (std::isnan(sum) && std::isnan(wantSum)))
            << w << "x" << h << " rows " << y0 << ".." << y1;
        if (y1 < h) {
            ASSERT_EQ(got.At(0, y1), -1.0f) << "row below the band written";
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ASSERT_TRUE(Same(got.At(x, y), want.At(x, y)))
                << w << "x" << h << " band " << bandRows << " at " << x << "," << y << ": "
                << got.At(x, y) << " vs " << want.At(x, y);
        }
    }
    EXPECT_TRUE(got.OutsideUntouched());
    EXPECT_TRUE(image.Untouched());
}

// Widths around the vector and lane counts, heights around the row pairs, 1- and 2-pixel
// strips, bands of odd and even size starting on odd and even rows; float and 16-bit frames.
TEST(HighPassKernels, EqualsTheLowPassPrimitiveForEveryBandShape) {
    std::mt19937 rng(5);
    for (int w : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 23, 33, 70}) {
        for (int h : {1, 2, 3, 4, 5, 6, 7, 66, 67}) {
            Image image(w, h);
            image.FillRandom(rng, -1000.0, 4000.0);
            TestImage<unsigned short> counts(w, h);
            counts.FillRandom(rng, 0.0, 65535.0);
            for (int band : {1, 2, 3, 64, h}) {
                SCOPED_TRACE(testing::Message() << w << "x" << h << " band " << band);
                CheckBands(image, band);
                CheckBands(counts, band);
            }
        }
    }
}

// Whole values (exact sums), huge values whose column sums overflow, infinities, NaN, signed
// zeros and subnormals all come out as the primitive gives them.
TEST(HighPassKernels, SpecialValuesMatchThePrimitive) {
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f, -0.0f, 1.0f,   25.0f,   3e38f, -3e38f, inf,
                              -inf, NAN,   1e-40f, -1e-44f, 7.0f,  1e-30f};
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> pick(0, 30);
    for (int w : {6, 19}) {
        Image image(w, 11);
        image.Fill([&](int, int) {
            const int p = pick(rng);
            return p < 13 ? specials[p] : static_cast<float>(p - 20);
        });
        CheckBands(image, 4);
        CheckBands(image, 11);
    }
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
