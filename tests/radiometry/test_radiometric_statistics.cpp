#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "RegionChecks.h"
#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::RadiometricStatistics;
using u16 = unsigned short;

namespace {

using Frame = TestImage<u16>;

// A region at column kX, row kY of a larger image, so that positions must include the offset.
constexpr int kX = 3, kY = 2;

struct Table {
    std::vector<float> kelvin;
    int low, high;
};

// Straightforward model: row-major scan where only a strictly smaller (larger) value replaces
// the extreme, sums in double, population deviation by two passes. With a table, signals
// outside it take the end entries with status 4 or 5.
Statistics Reference(const Frame& image, int w, int h, const Table* t) {
    Statistics s{};
    std::vector<double> values;
    for (int i = 0; i < w * h; ++i) {
        const int x = kX + i % w, y = kY + i / w, signal = image.At(x, y);
        const int status = !t ? 2 : (signal < t->low ? 4 : (signal > t->high ? 5 : 2));
        const double v = t ? t->kelvin[std::clamp(signal, t->low, t->high) - t->low] : signal;
        if (i == 0 || v < s.min) {
            std::tie(s.min, s.minStatus, s.minX, s.minY) = std::tuple(v, status, x, y);
        }
        if (i == 0 || v > s.max) {
            std::tie(s.max, s.maxStatus, s.maxX, s.maxY) = std::tuple(v, status, x, y);
        }
        values.push_back(v);
    }
    s.sum = std::accumulate(values.begin(), values.end(), 0.0);
    s.mean = s.sum / values.size();
    for (double v : values) {
        s.stdDev += (v - s.mean) * (v - s.mean) / values.size();
    }
    s.stdDev = std::sqrt(s.stdDev);
    return s;
}

Statistics Measure(const Frame& image, int width, int height, const Table* t) {
    Statistics s{};
    RadiometricStatistics::Calculate(image.Pixel(0, 0), width, height, image.Pitch(), kY, kX,
                                     t ? t->kelvin.data() : nullptr, t ? t->low : 0,
                                     t ? t->high : 0, s, t == nullptr);
    return s;
}

auto Extremes(const Statistics& s) {
    return std::tuple(s.min, s.minStatus, s.minX, s.minY, s.max, s.maxStatus, s.maxX, s.maxY);
}

using Limits = std::pair<int, int>;  // minValue, maxValue

Limits RunLimits(const Frame& image, int nLevels, int lower, int upper, float lowFraction,
                 float highFraction, std::vector<int>& hist) {
    hist.assign(std::max(nLevels - 1, 1), 1000);
    std::vector<int> levels(std::max(nLevels, 1), -77);
    u16 lo = 1, hi = 1;
    RadiometricStatistics::CalculateHistogramMinMax(
        image.Pixel(0, 0), image.Pitch(), hist.data(), levels.data(), nLevels, lower, upper, kX, kY,
        image.Width() - kX - 2, image.Height() - kY - 1, lowFraction, highFraction, lo, hi);
    return {lo, hi};
}

// The histogram counted by hand, then the cumulative counts walked from either end to the cut;
// the last bin is never a lower limit.
Limits ReferenceLimits(const Frame& image, int nLevels, int lower, int upper, float lowFraction,
                       float highFraction) {
    const int bins = nLevels - 1, w = image.Width() - kX - 2, h = image.Height() - kY - 1;
    std::vector<int> levels(nLevels, lower);
    for (int i = 1; i <= bins; ++i) {
        levels[i] = levels[i - 1] + (upper - lower) / bins + (i <= (upper - lower) % bins);
    }
    std::vector<long long> hist(bins, 0);
    for (int i = 0; i < w * h; ++i) {
        const int v = image.At(kX + i % w, kY + i / w);
        for (int k = 0; k < bins; ++k) {
            hist[k] += levels[k] <= v && v < levels[k + 1];
        }
    }
    auto walk = [&](float fraction, int k, int step, int end, int none) {
        const long long cut = std::max(1LL, static_cast<long long>(std::abs(w * h * fraction)));
        for (long long seen = 0; k != end; k += step) {
            if ((seen += hist[k]) >= cut) {
                return levels[k];
            }
        }
        return none;
    };
    const int low = walk(lowFraction, 0, 1, bins - 1, lower);
    const int high = walk(highFraction, bins - 1, -1, -1, upper - 1);
    return {low, low < high ? high : std::min(low + 1, 65535)};
}

}  // namespace

// Narrow ranges give ties (the first in row-major order wins, whichever thread holds it); the
// table covers only the middle of the range, so extremes come from its ends with statuses 4
// and 5. The region sits at an offset, which the positions must include; the deviation is the
// population's, which differs most on small regions.
TEST(RadiometricStatistics, MatchesReferenceOnRandomRegions) {
    std::mt19937 rng(5);
    for (auto [w, h] : TestRegionSizes()) {
        for (int top : {7, 60000}) {
            Frame image(w + kX + 2, h + kY + 1);
            image.FillRandom(rng, 0, top);
            Table table{{}, top / 4, top - top / 4};
            for (int s = table.low; s <= table.high; ++s) {
                table.kelvin.push_back(250.0f + std::uniform_real_distribution<float>(0, 80)(rng));
            }
            omp_set_num_threads(1 + (w + h) % 3);
            for (const Table* t : std::initializer_list<const Table*>{nullptr, &table}) {
                const Statistics got = Measure(image, w, h, t), want = Reference(image, w, h, t);
                EXPECT_EQ(Extremes(got), Extremes(want)) << w << "x" << h << " top " << top;
                EXPECT_NEAR(got.sum, want.sum, 1e-12 * std::abs(want.sum));
                EXPECT_NEAR(got.mean, want.mean, 1e-12 * std::abs(want.mean));
                EXPECT_NEAR(got.stdDev, want.stdDev, 1e-7 * (1.0 + want.stdDev));
                EXPECT_TRUE(got.meanStatus == 2 && got.sumStatus == 2 && got.stdDevStatus == 2);
            }
        }
    }
    omp_set_num_threads(omp_get_num_procs());
}

// Tables that cover no signal of the frame, or a single one: a table lying wholly below signal
// 0 gives every pixel its last entry, reported as above the table; a one-entry table gives
// every pixel its entry, with the pixel's own status, and finite moments.
TEST(RadiometricStatistics, DegenerateKelvinTables) {
    Frame image(9, 7);
    image.Fill([](int x, int y) { return 4990 + 3 * x + 5 * y; });  // around 5000..5040
    const int w = 6, h = 4;
    const Table below{{210.0f, 220.0f, 230.5f}, -12, -10};
    const Table single{{301.25f}, 5030, 5030};
    for (const Table* t : {&below, &single}) {
        const Statistics got = Measure(image, w, h, t), want = Reference(image, w, h, t);
        const double entry = t->kelvin.back();
        EXPECT_EQ(Extremes(got), Extremes(want)) << t->low;
        EXPECT_DOUBLE_EQ(got.sum, entry * w * h);
        EXPECT_DOUBLE_EQ(got.mean, entry);
        EXPECT_TRUE(std::isfinite(got.stdDev) && got.stdDev < 1e-4) << got.stdDev;
    }
}

// No pixels: the start values of the kelvin pass, and a mean of 0 times an infinite
// reciprocal. A table without entries is measured the same way rather than read outside.
TEST(RadiometricStatistics, EmptyRegions) {
    Frame image(8, 8);
    image.Fill([](int x, int y) { return x + y; });
    const Table table{{250.0f}, 5, 5}, empty{{250.0f}, 6, 5};
    for (auto [w, h, t] :
         {std::tuple{0, 4, &table}, {4, 0, &table}, {-2, 3, &table}, {4, 4, &empty}}) {
        const Statistics s = Measure(image, w, h, t);
        EXPECT_EQ(Extremes(s), std::tuple(2147483647.0, 2, 2147483647, 2147483647, -2147483648.0, 2,
                                          INT_MIN, INT_MIN));
        EXPECT_TRUE(s.sum == 0.0 && s.stdDev == 0.0 && std::isnan(s.mean));
    }
}

// Random regions against the reference (negative fractions act as their absolute values),
// then the corners.
TEST(RadiometricStatistics, HistogramLimits) {
    std::mt19937 rng(8);
    std::vector<int> hist;
    for (auto [w, h] : TestRegionSizes()) {
        Frame image(w + kX + 2, h + kY + 1);
        image.FillRandom(rng, 1000, 9000);
        for (auto [nLevels, lower, upper] : {std::tuple{65, 0, 65536}, {33, 2000, 8000}}) {
            for (float fraction : {0.0f, 0.05f, 0.3f}) {
                omp_set_num_threads(1 + (w + h) % 3);
                const Limits want = ReferenceLimits(image, nLevels, lower, upper, fraction, 0.1f);
                EXPECT_EQ(RunLimits(image, nLevels, lower, upper, fraction, 0.1f, hist), want)
                    << w << "x" << h << " " << fraction;
                EXPECT_EQ(RunLimits(image, nLevels, lower, upper, -fraction, -0.1f, hist), want);
            }
        }
    }
    omp_set_num_threads(omp_get_num_procs());
    Frame image(10 + kX + 2, 4 + kY + 1);
    // All pixels in bin 3 of 16-wide bins: both limits are its lower edge, then the fix-up.
    image.Fill([](int, int) { return 3 * 16 + 5; });
    EXPECT_EQ(RunLimits(image, 11, 0, 160, 0.0f, 0.0f, hist), Limits(48, 49));
    // One bin: the lower section examines nothing.
    EXPECT_EQ(RunLimits(image, 2, 40, 60, 0.2f, 0.2f, hist), Limits(40, 41));
    // A cut too large to reach, or a NaN fraction (taken as 0), never read past the bins.
    image.Fill([](int x, int) { return x == 4 ? 20 : (x == 7 ? 150 : 100); });
    EXPECT_EQ(RunLimits(image, 11, 0, 160, 1e30f, std::nanf(""), hist), Limits(0, 144));
    // A lower limit of 65535 has no successor: the upper limit stays 65535.
    image.Fill([](int, int) { return 65535; });
    EXPECT_EQ(RunLimits(image, 3, 65535, 65536, 0.0f, 0.0f, hist), Limits(65535, 65535));
    // A histogram that cannot be made is not read: the start values, then the fix-up.
    EXPECT_EQ(RunLimits(image, 1, 100, 200, 0.0f, 0.0f, hist), Limits(100, 199));
    EXPECT_EQ(hist[0], 1000);
}

// Nearest-lower sampling that reaches the last source entry; a single destination entry takes
// the first; an empty range on either side writes nothing.
TEST(RadiometricStatistics, SignalLutResamplesRange) {
    std::vector<int> src(300);
    std::iota(src.begin(), src.end(), 1);
    auto run = [&](int dstFirst, int dstLast, int srcFirst, int srcLast) {
        std::vector<int> dst(400, -1);
        RadiometricStatistics::CalculateSignalLUT(src.data(), dst.data(), dstFirst, dstLast,
                                                  srcFirst, srcLast, 0, 0);
        return dst;
    };
    const int ranges[][4] = {{10, 390, 20, 119}, {0, 40, 100, 299}, {5, 6, 0, 9}, {50, 50, 30, 90},
                             {50, 49, 0, 9},     {0, 9, 5, 4},      {3, 3, 5, 3}};
    for (auto [df, dl, sf, sl] : ranges) {
        const float step = 1.0f / (static_cast<float>(dl - df) / static_cast<float>(sl - sf + 1));
        const std::vector<int> dst = run(df, dl, sf, sl);
        for (int i = 0; i < 400; ++i) {
            const bool written = df <= i && i <= dl && sf <= sl;
            const int index = written && i > df ? sf + static_cast<int>((i - df) * step) : sf;
            ASSERT_EQ(dst[i], written ? src[std::min(index, sl)] : -1)
                << i << " of " << df << ".." << dl;
        }
    }
}

// Through a table into floats and back to signal, on every region shape; then the ends of
// the linear map.
TEST(RadiometricStatistics, FillFromLutAndOutputToSignal) {
    std::mt19937 rng(9);
    std::vector<float> lut(65536);
    std::iota(lut.begin(), lut.end(), -30000.25f);
    for (auto [w, h] : TestRegionSizes()) {
        TestImage<u16> src(w, h), signal(w, h);
        TestImage<float> values(w, h);
        src.FillRandom(rng, 0, 65535);
        RadiometricStatistics::FillFromLUT(src.Data(), src.Pitch(), values.Data(), values.Pitch(),
                                           lut.data(), w, h);
        EXPECT_TRUE(values.OutsideUntouched());
        RadiometricStatistics::OutputToSignal(values.Data(), values.Pitch(), signal.Data(),
                                              signal.Pitch(), w, h, -30000.0, 30000.0, 1000, 61000,
                                              1.0);
        ExpectRegion(signal, [&](int x, int y) {
            const int v = src.At(x, y);
            return v < 1 ? 1000 : (v > 60000 ? 61000 : v + 1000);
        });
    }
    auto convert = [](float v, double low, double high, int signalLow, double scale) {
        u16 out = 1;
        RadiometricStatistics::OutputToSignal(&v, 4, &out, 2, 1, 1, low, high, signalLow, 900,
                                              scale);
        return out;
    };
    EXPECT_EQ(convert(10.0f, 10.0, 20.0, 100, 80.0), 100);  // 0.5 then truncation
    EXPECT_EQ(convert(20.0f, 10.0, 20.0, 0, 95.0), 950);    // linear, not signalHigh
    EXPECT_EQ(convert(std::nanf(""), 10.0, 20.0, 100, 80.0), 100);
    EXPECT_EQ(convert(15.0f, 10.0, 20.0, 100, 0.0), 900);
    EXPECT_EQ(convert(15.0f, 10.0, 20.0, 100, std::nan("")), 900);
    EXPECT_EQ(convert(15.0f, 10.0, 20.0, 65536 + 7, 1.0), 12);  // low 16 bits
    // Beyond 64 bits, or not a number after the map: defined results.
    EXPECT_EQ(convert(3e38f, 0.0, INFINITY, 0, 1e300), 65535);
    EXPECT_EQ(convert(1.0f, std::nan(""), 20.0, 100, 80.0), 0);
}
