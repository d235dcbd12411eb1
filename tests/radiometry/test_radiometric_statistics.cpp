#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <vector>

#include "RegionChecks.h"
#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::RadiometricStatistics;
using u16 = unsigned short;

namespace {

using Frame = TestImage<u16>;

// A region at column kX, row kY of a larger image, so that positions must include the offset.
constexpr int kX = 3;
constexpr int kY = 2;

struct Table {
    std::vector<float> kelvin;
    int low;
    int high;
};

// Straightforward model: row-major scan, a strictly smaller (larger) value replaces the
// extreme, sums in double, population deviation by two passes. With a table, signals outside
// it take the end entries with status 4 or 5.
Statistics Reference(const Frame& image, int width, int height, const Table* table) {
    Statistics s{};
    s.min = 1e300;
    s.max = -1e300;
    std::vector<double> values;
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const int signal = image.At(kX + c, kY + r);
            double v = signal;
            int status = 2;
            if (table != nullptr) {
                status = signal < table->low ? 4 : (signal > table->high ? 5 : 2);
                const int index = std::min(std::max(signal, table->low), table->high) - table->low;
                v = table->kelvin[index];
            }
            if (v < s.min) {
                s.min = v, s.minStatus = status, s.minX = kX + c, s.minY = kY + r;
            }
            if (v > s.max) {
                s.max = v, s.maxStatus = status, s.maxX = kX + c, s.maxY = kY + r;
            }
            values.push_back(v);
            s.sum += v;
        }
    }
    s.mean = s.sum / values.size();
    for (double v : values) {
        s.stdDev += (v - s.mean) * (v - s.mean);
    }
    s.stdDev = std::sqrt(s.stdDev / values.size());
    return s;
}

Statistics Measure(const Frame& image, int width, int height, const Table* table) {
    Statistics s{};
    RadiometricStatistics::Calculate(image.Pixel(0, 0), width, height, image.Pitch(), kY, kX,
                                     table ? table->kelvin.data() : nullptr, table ? table->low : 0,
                                     table ? table->high : 0, s, table == nullptr);
    return s;
}

void ExpectSame(const Statistics& got, const Statistics& want) {
    EXPECT_TRUE(got.min == want.min && got.minStatus == want.minStatus && got.minX == want.minX &&
                got.minY == want.minY)
        << got.min << " " << got.minStatus << " " << got.minX << ", " << got.minY;
    EXPECT_TRUE(got.max == want.max && got.maxStatus == want.maxStatus && got.maxX == want.maxX &&
                got.maxY == want.maxY)
        << got.max << " " << got.maxStatus << " " << got.maxX << ", " << got.maxY;
    EXPECT_NEAR(got.sum, want.sum, 1e-12 * std::abs(want.sum));
    EXPECT_NEAR(got.mean, want.mean, 1e-12 * std::abs(want.mean));
    EXPECT_NEAR(got.stdDev, want.stdDev, 1e-7 * (1.0 + want.stdDev));
    EXPECT_TRUE(got.meanStatus == 2 && got.sumStatus == 2 && got.stdDevStatus == 2);
}

Frame RandomImage(int width, int height, int lo, int hi, std::mt19937& rng) {
    Frame image(width + kX + 2, height + kY + 1);
    image.FillRandom(rng, lo, hi);
    return image;
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
            const Frame image = RandomImage(w, h, 0, top, rng);
            Table table{{}, top / 4, top - top / 4};
            for (int s = table.low; s <= table.high; ++s) {
                table.kelvin.push_back(250.0f + std::uniform_real_distribution<float>(0, 80)(rng));
            }
            for (int threads : {1, 3}) {
                omp_set_num_threads(threads);
                ExpectSame(Measure(image, w, h, nullptr), Reference(image, w, h, nullptr));
                ExpectSame(Measure(image, w, h, &table), Reference(image, w, h, &table));
            }
        }
    }
    omp_set_num_threads(omp_get_num_procs());
}

// No pixels: the start values of the kelvin pass, and a mean of 0 times an infinite
// reciprocal. A table without entries is measured the same way rather than read outside.
TEST(RadiometricStatistics, EmptyRegions) {
    Frame image(8, 8);
    image.Fill([](int x, int y) { return x + y; });
    const Table table{{250.0f}, 5, 5};
    const Table empty{{250.0f}, 6, 5};
    for (auto [w, h, t] :
         {std::tuple{0, 4, &table}, {4, 0, &table}, {-2, 3, &table}, {4, 4, &empty}}) {
        const Statistics s = Measure(image, w, h, t);
        EXPECT_TRUE(s.min == 2147483647.0 && s.max == -2147483648.0 && s.minStatus == 2 &&
                    s.maxStatus == 2);
        EXPECT_TRUE(s.minX == 2147483647 && s.minY == 2147483647 && s.maxX == -2147483647 - 1 &&
                    s.maxY == -2147483647 - 1);
        EXPECT_TRUE(s.sum == 0.0 && s.stdDev == 0.0 && std::isnan(s.mean));
    }
}

namespace {

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

// The histogram counted by hand, then both cumulative counts walked to the cut.
Limits ReferenceLimits(const Frame& image, int nLevels, int lower, int upper, float lowFraction,
                       float highFraction) {
    const int bins = nLevels - 1;
    std::vector<int> levels(nLevels, lower);
    for (int i = 1; i <= bins; ++i) {
        levels[i] = levels[i - 1] + (upper - lower) / bins + (i <= (upper - lower) % bins);
    }
    std::vector<long long> hist(bins, 0);
    const int w = image.Width() - kX - 2, h = image.Height() - kY - 1;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const int v = image.At(kX + c, kY + r);
            for (int k = 0; k < bins; ++k) {
                hist[k] += levels[k] <= v && v < levels[k + 1];
            }
        }
    }
    auto cut = [&](float f) { return std::max(1LL, static_cast<long long>(std::abs(w * h * f))); };
    Limits limits{lower, upper - 1};
    for (long long k = 0, seen = 0; k < bins - 1; ++k) {
        if ((seen += hist[k]) >= cut(lowFraction)) {
            limits.first = levels[k];
            break;
        }
    }
    for (long long k = bins - 1, seen = 0; k >= 0; --k) {
        if ((seen += hist[k]) >= cut(highFraction)) {
            limits.second = levels[k];
            break;
        }
    }
    if (limits.first >= limits.second) {
        limits.second = limits.first + 1;
    }
    return limits;
}

}  // namespace

// Negative fractions act as their absolute values.
TEST(RadiometricStatistics, HistogramLimitsMatchReference) {
    std::mt19937 rng(8);
    std::vector<int> hist;
    for (auto [w, h] : TestRegionSizes()) {
        const Frame image = RandomImage(w, h, 1000, 9000, rng);
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
}

TEST(RadiometricStatistics, HistogramLimitsCornerCases) {
    Frame image(10 + kX + 2, 4 + kY + 1);
    std::vector<int> hist;
    // All pixels in bin 3 of 16-wide bins: both limits are its lower edge, then the fix-up.
    image.Fill([](int, int) { return 3 * 16 + 5; });
    EXPECT_EQ(RunLimits(image, 11, 0, 160, 0.0f, 0.0f, hist), Limits(48, 49));
    // One bin: the lower section examines nothing.
    EXPECT_EQ(RunLimits(image, 2, 40, 60, 0.2f, 0.2f, hist), Limits(40, 41));
    // A cut too large to reach, or a NaN fraction (taken as 0), never read past the bins; the
    // last bin is never a lower limit.
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
    for (int i = 0; i < 300; ++i) {
        src[i] = i * 7 + 1;
    }
    auto run = [&](int dstFirst, int dstLast, int srcFirst, int srcLast) {
        std::vector<int> dst(400, -1);
        RadiometricStatistics::CalculateSignalLUT(src.data(), dst.data(), dstFirst, dstLast,
                                                  srcFirst, srcLast, 0, 0);
        return dst;
    };
    for (auto [df, dl, sf, sl] : {std::tuple{10, 390, 20, 119}, {0, 40, 100, 299}, {5, 6, 0, 9}}) {
        const float step = 1.0f / (static_cast<float>(dl - df) / static_cast<float>(sl - sf + 1));
        const std::vector<int> dst = run(df, dl, sf, sl);
        for (int i = 0; i < 400; ++i) {
            const int index = std::min(sf + static_cast<int>((i - df) * step), sl);
            EXPECT_EQ(dst[i], i < df || i > dl ? -1 : src[index]) << i;
        }
        EXPECT_EQ(dst[dl], src[sl]);
    }
    EXPECT_EQ(run(50, 50, 30, 90)[50], src[30]);
    for (const std::vector<int>& dst : {run(50, 49, 0, 9), run(0, 9, 5, 4), run(3, 3, 5, 3)}) {
        EXPECT_EQ(dst, std::vector<int>(400, -1));
    }
}

TEST(RadiometricStatistics, FillFromLutAndOutputToSignal) {
    std::mt19937 rng(9);
    std::vector<float> lut(65536);
    for (float& v : lut) {
        v = std::uniform_real_distribution<float>(-1e3f, 1e3f)(rng);
    }
    for (auto [w, h] : TestRegionSizes()) {
        TestImage<u16> src(w, h), signal(w, h);
        TestImage<float> values(w, h), dst(w, h);
        src.FillRandom(rng, 0, 65535);
        values.FillRandom(rng, -10.0, 110.0);
        RadiometricStatistics::FillFromLUT(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                           lut.data(), w, h);
        ExpectRegion(dst, [&](int x, int y) { return lut[src.At(x, y)]; });
        RadiometricStatistics::OutputToSignal(values.Data(), values.Pitch(), signal.Data(),
                                              signal.Pitch(), w, h, 0.0, 100.0, 1000, 61000, 600.0);
        ExpectRegion(signal, [&](int x, int y) {
            const double v = values.At(x, y);
            return v < 0.0 ? 1000
                           : (v > 100.0 ? 61000 : static_cast<int>(v * 600.0 + 1000.0 + 0.5));
        });
    }
}

TEST(RadiometricStatistics, OutputToSignalEdges) {
    auto convert = [](float v, double low, double high, int signalLow, int signalHigh,
                      double scale) {
        u16 out = 1;
        RadiometricStatistics::OutputToSignal(&v, 4, &out, 2, 1, 1, low, high, signalLow,
                                              signalHigh, scale);
        return out;
    };
    EXPECT_EQ(convert(10.0f, 10.0, 20.0, 100, 900, 80.0), 100);  // 0.5 then truncation
    EXPECT_EQ(convert(20.0f, 10.0, 20.0, 100, 950, 80.0), 900);  // linear, not signalHigh
    EXPECT_EQ(convert(5.0f, 10.0, 20.0, 100, 900, 0.0), 100);
    EXPECT_EQ(convert(15.0f, 10.0, 20.0, 100, 900, 0.0), 900);
    EXPECT_EQ(convert(15.0f, 10.0, 20.0, 100, 900, std::nan("")), 900);
    EXPECT_EQ(convert(std::nanf(""), 10.0, 20.0, 100, 900, 80.0), 100);
    EXPECT_EQ(convert(15.0f, 10.0, 20.0, 65536 + 7, 900, 1.0), 12);  // low 16 bits
    // Beyond 64 bits, or not a number after the map: defined results.
    EXPECT_EQ(convert(3e38f, 0.0, INFINITY, 0, 0, 1e300), 65535);
    EXPECT_EQ(convert(1.0f, 0.0, 20.0, 0, 0, 1e10), 10000000000 % 65536);
    EXPECT_EQ(convert(1.0f, std::nan(""), 20.0, 100, 900, 80.0), 0);
}
