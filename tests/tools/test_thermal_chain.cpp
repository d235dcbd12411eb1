// The per-frame chain the demo, the pipeline command and the benchmarks share, on frames of
// the synthetic recording whose truth is known, and its calibration table.

#include "Commands/KelvinOption.h"
#include "SyntheticPlume.h"
#include "ThermalChain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Varnik::Soloma::Cli;

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 208;

ChainSettings Calibrated() {
    ChainSettings settings;
    EXPECT_TRUE(settings.kelvin.Build(7000, 10000, 263.15, 373.15));
    return settings;
}

}  // namespace

// A late frame against the first: the shift is the camera's, the aligned frame is the frame
// moved by it, the wand's region is the vehicle's engine and its kelvin come from the table,
// and the spectral detector tints inside the plume.
TEST(ThermalChain, FindsTheShiftTheHottestObjectAndTheGas) {
    PlumeSequenceOptions options;
    options.width = kWidth;
    options.height = kHeight;
    const PlumeSequence recording(options);
    const PlumeFrame reference = recording.Frame(0);
    const PlumeFrame current = recording.Frame(40);
    ASSERT_TRUE(current.jitterX != 0 || current.jitterY != 0);
    const ChainSettings settings = Calibrated();
    ThermalChain chain(settings);
    ChainResult r;
    chain.Run(current.frame, reference.frame, &r);

    EXPECT_EQ(r.dx, -current.jitterX);
    EXPECT_EQ(r.dy, -current.jitterY);
    for (int y = 8; y < kHeight - 8; y += 7) {
        for (int x = 8; x < kWidth - 8; x += 5) {
            ASSERT_EQ(r.aligned.pixels[y * kWidth + x],
                      current.frame.pixels[(y - r.dy) * kWidth + (x - r.dx)])
                << x << ", " << y;
        }
    }

    const auto brightest =
        std::max_element(current.frame.pixels.begin(), current.frame.pixels.end());
    const int at = static_cast<int>(brightest - current.frame.pixels.begin());
    EXPECT_EQ(r.seedX, at % kWidth);
    EXPECT_EQ(r.seedY, at / kWidth);
    EXPECT_EQ(r.frameStatistics.max, *brightest);
    ASSERT_GT(r.regionPixels, 0u);
    std::size_t selected = 0;
    for (std::size_t i = 0; i < r.wandMask.size(); ++i) {
        if (r.wandMask[i] != 0) {
            ++selected;
            ASSERT_TRUE(current.vehicle.Contains(static_cast<int>(i % kWidth),
                                                 static_cast<int>(i / kWidth)))
                << "the region should be the engine, not the exhaust";
        }
    }
    EXPECT_EQ(selected, r.regionPixels);
    EXPECT_NEAR(r.regionStatistics.max, settings.kelvin.Kelvin(*brightest), 1e-3);
    EXPECT_LT(r.regionStatistics.min, r.regionStatistics.max);
    EXPECT_LT(r.lowerLimit, r.upperLimit);
    EXPECT_LT(r.paletteLow, r.paletteHigh);

    const TintCount psd =
        CountTinted(r.grey, r.psdOverlay, settings.colorization, &current.plumeMask);
    EXPECT_GT(psd.truePositives, psd.truth / 2);
    // Against itself the first frame shows no gas, and every stage was timed.
    chain.Run(reference.frame, reference.frame, &r);
    EXPECT_EQ(CountTinted(r.grey, r.psdOverlay, settings.colorization).tinted, 0u);
    EXPECT_EQ(CountTinted(r.grey, r.differenceOverlay, settings.colorization).tinted, 0u);
    EXPECT_EQ(r.dx, 0);
    for (double ms : r.milliseconds) {
        EXPECT_GE(ms, 0.0);
    }
}

// The calibration: ends inside 0..65535 in order, values clamped to them, and the option's
// text taken whole or not at all.
TEST(ThermalChain, KelvinTableAndItsOption) {
    KelvinTable table;
    EXPECT_FALSE(table.Build(10, 10, 0.0, 1.0));
    EXPECT_FALSE(table.Build(-1, 10, 0.0, 1.0));
    EXPECT_FALSE(table.Build(0, 65536, 0.0, 1.0));
    EXPECT_TRUE(table.Empty());
    EXPECT_EQ(table.Kelvin(1234.0), 1234.0) << "without a table, signal counts";
    ASSERT_TRUE(table.Build(1000, 2000, 250.0, 350.0));
    ASSERT_EQ(table.entries.size(), 1001u);
    EXPECT_FLOAT_EQ(table.entries[500], 300.0f);
    EXPECT_DOUBLE_EQ(table.Kelvin(1500.0), 300.0);
    EXPECT_DOUBLE_EQ(table.Kelvin(0.0), 250.0);
    EXPECT_DOUBLE_EQ(table.Kelvin(60000.0), 350.0);

    KelvinTable parsed;
    ASSERT_TRUE(ParseKelvinTable("7000:263.15,10000:373.15", &parsed));
    EXPECT_EQ(parsed.low, 7000);
    EXPECT_EQ(parsed.high, 10000);
    EXPECT_NEAR(parsed.Kelvin(8500.0), 318.15, 1e-9);
    for (const char* bad :
         {"5", "1:2", "1:2,3", "10:1,5:2", "0:1,70000:2", "0:x,1:2", "0:1,1:2,2:3", "0:1;1:2"}) {
        KelvinTable rejected;
        EXPECT_FALSE(ParseKelvinTable(bad, &rejected)) << bad;
    }
}
