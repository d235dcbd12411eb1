// End to end: "soloma wand" on the built-in frame and on files, and the library's selection on
// synthetic and real frames against the selection rule written out pixel by pixel.

#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

using namespace Varnik::Soloma::Cli;
using Varnik::Soloma::ImageProcessing::MagicWand;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

// The selection rule pixel by pixel: the band strictly within tolerance of the seed's value
// (bounds formed in single precision), its 8-connected part that holds the seed, then two 3x3
// maxima and two 3x3 minima that read, beyond the frame, the raw region's nearest edge pixel.
Bytes ReferenceRegion(const Gray16Image& frame, float tolerance, int seedX, int seedY) {
    const int w = frame.width, h = frame.height;
    auto at = [w](int x, int y) { return static_cast<std::size_t>(y) * w + x; };
    const float seed = frame.pixels[at(seedX, seedY)];
    const float upper = seed + tolerance, lower = seed - tolerance;
    auto inBand = [&](int x, int y) {
        const float v = frame.pixels[at(x, y)];
        return v > lower && v < upper;
    };
    Bytes raw(frame.pixels.size(), 0);
    std::vector<std::pair<int, int>> queue;
    if (inBand(seedX, seedY)) {
        raw[at(seedX, seedY)] = 255;
        queue.emplace_back(seedX, seedY);
    }
    for (std::size_t i = 0; i < queue.size(); ++i) {
        for (int n = 0; n < 9; ++n) {
            const int x = queue[i].first + n % 3 - 1, y = queue[i].second + n / 3 - 1;
            if (x >= 0 && y >= 0 && x < w && y < h && raw[at(x, y)] == 0 && inBand(x, y)) {
                raw[at(x, y)] = 255;
                queue.emplace_back(x, y);
            }
        }
    }
    Bytes region = raw;
    for (int pass = 0; pass < 4; ++pass) {
        const Bytes before = region;
        auto value = [&](int x, int y) {  // the ring holds the raw region's edge
            const bool ring = x < 0 || y < 0 || x >= w || y >= h;
            const std::size_t i = at(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
            return ring ? raw[i] : before[i];
        };
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                unsigned char v = before[at(x, y)];
                for (int n = 0; n < 9; ++n) {
                    const unsigned char s = value(x + n % 3 - 1, y + n / 3 - 1);
                    v = pass < 2 ? std::max(v, s) : std::min(v, s);
                }
                region[at(x, y)] = v;
            }
        }
    }
    return region;
}

// MagicWand::Add on an empty mask.
Bytes LibraryRegion(const Gray16Image& frame, float tolerance, int seedX, int seedY) {
    Bytes mask(frame.pixels.size(), 0);
    MagicWand wand;
    wand.Add(frame.pixels.data(), frame.Step(), mask.data(), frame.width, tolerance, seedX, seedY,
             frame.width, frame.height);
    return mask;
}

long Count(const Bytes& mask) {
    return static_cast<long>(std::count_if(mask.begin(), mask.end(), [](auto v) { return v; }));
}

Bytes ReadMask(const fs::path& path) {
    const Image8 image = ReadPicture(path);
    EXPECT_EQ(image.channels, 1);
    return image.pixels;
}

}  // namespace

// The built-in frame at two settings: the car at the command's defaults and a band of the
// background's gradient, a fifth of the frame, full of noise for the closing to mend.
TEST(CliWand, LibraryFollowsTheRuleOnTheSyntheticFrame) {
    const Gray16Image frame = MakeSyntheticFrame();
    for (auto [x, y, tolerance] : {std::tuple{420, 370, 100.0f}, {100, 150, 45.0f}}) {
        const Bytes region = LibraryRegion(frame, tolerance, x, y);
        EXPECT_EQ(region, ReferenceRegion(frame, tolerance, x, y)) << x << ", " << y;
        EXPECT_GT(Count(region), 10000);
    }
}

// A real frame, when the data are present: the young palm's leaves, selected by the library
// as the rule says, and by the command as the library does.
TEST(CliWand, SelectsTheLeavesOfARealFrame) {
    const char* data = std::getenv("SOLOMA_DATA_DIR");
    const fs::path png =
        fs::path(data != nullptr ? data : "") / "thermal/frames/palm_growth_chamber_640x512.png";
    if (data == nullptr || !fs::exists(png)) {
        GTEST_SKIP() << "no " << png;
    }
    const Gray16Image frame = ReadFrame(png);
    const Bytes region = LibraryRegion(frame, 15.0f, 390, 100);
    EXPECT_EQ(region, ReferenceRegion(frame, 15.0f, 390, 100));
    EXPECT_GT(Count(region), 5000);
    EXPECT_LT(Count(region), 20000);

    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "wand --input '" + png.string() +
                               "' --seed 390,100 --tolerance 15 --output leaves.png"),
              0)
        << ReadBytes(dir / "err.txt");
    EXPECT_EQ(ReadMask(dir / "leaves.png"), region);
    EXPECT_EQ(ReportValue(ReadBytes(dir / "out.txt"), "selected")
                  .rfind(std::to_string(Count(region)) + " of 327680 pixels", 0),
              0u);
}

// Without files: the car of the built-in frame at the default seed and tolerance, as an 8-bit
// grayscale mask, with the count and the statistics of the selected pixels.
TEST(CliWand, BuiltInFrameReportsTheSelection) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "wand"), 0) << ReadBytes(dir / "err.txt");
    const Gray16Image frame = MakeSyntheticFrame();
    const Bytes mask = ReadMask(dir / "out/wand.png");
    ASSERT_EQ(mask, LibraryRegion(frame, 100.0f, 420, 370));
    const std::string report = ReadBytes(dir / "out.txt");
    EXPECT_EQ(ReportValue(report, "selected").rfind(std::to_string(Count(mask)) + " of 327680", 0),
              0u)
        << report;
    // The statistics of the selected pixels; each extreme at its first pixel in reading order.
    double sum = 0.0, squares = 0.0;
    std::size_t low = 0, high = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const unsigned short v = frame.pixels[i];
        if (mask[i] != 0) {
            sum += v;
            squares += static_cast<double>(v) * v;
            low = mask[low] == 0 || v < frame.pixels[low] ? i : low;
            high = mask[high] == 0 || v > frame.pixels[high] ? i : high;
        }
    }
    const double n = static_cast<double>(Count(mask)), mean = sum / n;
    EXPECT_NEAR(std::stod(ReportValue(report, "mean")), mean, 1e-3) << report;
    EXPECT_NEAR(std::stod(ReportValue(report, "std dev")), std::sqrt(squares / n - mean * mean),
                1e-3);
    EXPECT_NEAR(std::stod(ReportValue(report, "sum")), sum, 0.5);
    for (auto [label, i] : {std::pair{"min", low}, {"max", high}}) {
        EXPECT_EQ(ReportValue(report, label), std::to_string(frame.pixels[i]) + " at (" +
                                                  std::to_string(i % 640) + ", " +
                                                  std::to_string(i / 640) + ")")
            << report;
    }
}

// A file with a mask to start from: Add ORs the region into it, --remove takes it out again,
// bit by bit, as the library does.
TEST(CliWand, AddsToAndRemovesFromAGivenMask) {
    const fs::path dir = MakeScratchDir();
    const Gray16Image frame = MakeSyntheticFrame(160, 128);
    WriteFrame(dir / "frame.png", frame);
    Bytes start(frame.pixels.size());
    for (std::size_t i = 0; i < start.size(); ++i) {
        start[i] = static_cast<unsigned char>(i % 7 == 0 ? 0x81 : 0);
    }
    WritePicture(dir / "start.png", {160, 128, 1, start});
    Bytes expected = start;
    MagicWand wand;
    wand.Add(frame.pixels.data(), frame.Step(), expected.data(), 160, 100.0f, 110, 90, 160, 128);
    ASSERT_EQ(RunTool(dir,
                      "wand --input frame.png --seed 110,90 --tolerance 100 --mask start.png "
                      "--output added.png"),
              0)
        << ReadBytes(dir / "err.txt");
    EXPECT_EQ(ReadMask(dir / "added.png"), expected);
    EXPECT_GT(Count(expected), Count(start));
    wand.Remove(frame.pixels.data(), frame.Step(), expected.data(), 160, 30.0f, 100, 85, 160, 128);
    ASSERT_EQ(RunTool(dir,
                      "wand --input frame.png --seed 100,85 --tolerance=30 --mask added.png "
                      "--remove --output out/removed.png"),
              0)
        << ReadBytes(dir / "err.txt");
    EXPECT_EQ(ReadMask(dir / "out/removed.png"), expected);
    // The frame's centre is the default seed of a file.
    ASSERT_EQ(RunTool(dir, "wand --input frame.png --tolerance 20 --output centre.png"), 0);
    EXPECT_EQ(ReadMask(dir / "centre.png"), LibraryRegion(frame, 20.0f, 80, 64));
}

// Every mistake is one line on stderr, exit code 2, and nothing written.
TEST(CliWand, MistakesAreOneLineUsageErrors) {
    const fs::path dir = MakeScratchDir();
    WriteFrame(dir / "frame.png", MakeSyntheticFrame(160, 128));
    WritePicture(dir / "small.png", {80, 64, 1, Bytes(80 * 64)});
    WritePicture(dir / "rgb.png", {160, 128, 3, Bytes(160 * 128 * 3)});
    const UsageError cases[] = {
        {"--input missing.png", "missing.png"},
        {"--input small.png", "16-bit"},
        {"--input frame.png --seed 160,0", "outside the 160x128 frame"},
        {"--seed 640,10", "outside the 640x512 frame"},
        {"--seed 1,-2", "--seed"},
        {"--tolerance 0", "--tolerance"},
        {"--tolerance nan", "--tolerance"},
        {"--tolerance 1e9", "--tolerance"},
        {"--input frame.png --mask missing.png", "missing.png"},
        {"--input frame.png --mask small.png", "same size"},
        {"--input frame.png --mask rgb.png", "grayscale"},
        {"--input frame.png --mask frame.png", "frame.png"},
        {"--radius 3", "--radius"},
        {"stray", "stray"},
    };
    ExpectUsageErrors(dir, "wand --output o/x.png ", cases);
    EXPECT_FALSE(fs::exists(dir / "o/x.png"));
    // Overwriting an input is a failure of the job, exit code 1.
    const std::string before = ReadBytes(dir / "frame.png");
    EXPECT_EQ(RunTool(dir, "wand --input frame.png --output ./frame.png"), 1);
    EXPECT_NE(ReadBytes(dir / "err.txt").find("refusing to overwrite"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "frame.png"), before);
}
