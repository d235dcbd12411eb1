// End to end: "soloma stabilize" on pairs and folders of frames.

#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

using namespace Varnik::Soloma::Cli;
namespace fs = std::filesystem;

namespace {

// The width x height window of `scene` whose top left corner is (x, y).
Gray16Image Crop(const Gray16Image& scene, int x, int y, int width, int height) {
    Gray16Image crop{width, height, {}};
    for (int row = 0; row < height; ++row) {
        const auto* first = &scene.pixels[(y + row) * scene.width + x];
        crop.pixels.insert(crop.pixels.end(), first, first + width);
    }
    return crop;
}

}  // namespace

// Crops of a real frame taken at known offsets: the shift is recovered exactly and the
// written frame lines up with the reference wherever the crop has content.
TEST(CliStabilize, RecoversCropOffsetsOfARealFrame) {
    const char* data = std::getenv("SOLOMA_DATA_DIR");
    const fs::path path =
        fs::path(data ? data : "") / "thermal/frames/outdoor_parked_cars_640x512.png";
    Gray16Image scene;
    std::string error;
    if (data == nullptr || !ReadGray16Png(path.string(), &scene, &error)) {
        GTEST_SKIP() << "no real frame at " << path;
    }
    const fs::path dir = MakeScratchDir();
    const int width = 560, height = 440, x0 = 40, y0 = 36;
    const Gray16Image ref = Crop(scene, x0, y0, width, height);
    WriteFrame(dir / "ref.png", ref);
    struct Move {
        int x, y;
    };
    for (Move move : {Move{7, -4}, Move{-15, 11}, Move{0, 19}}) {
        // Content moved by (x, y): the camera looked (x, y) further up and left.
        WriteFrame(dir / "in.png", Crop(scene, x0 - move.x, y0 - move.y, width, height));
        ASSERT_EQ(RunTool(dir, "stabilize --ref ref.png --input in.png --output out/a.png"), 0)
            << ReadBytes(dir / "err.txt");
        const std::string expected =
            "dx " + std::to_string(-move.x) + ", dy " + std::to_string(-move.y);
        EXPECT_NE(ReadBytes(dir / "out.txt").find(expected), std::string::npos)
            << ReadBytes(dir / "out.txt");
        const Gray16Image aligned = ReadFrame(dir / "out/a.png");
        ASSERT_EQ(aligned.pixels.size(), ref.pixels.size());
        for (int y = std::max(0, -move.y); y < height - std::max(0, move.y); ++y) {
            for (int x = std::max(0, -move.x); x < width - std::max(0, move.x); ++x) {
                ASSERT_EQ(aligned.pixels[y * width + x], ref.pixels[y * width + x])
                    << "at " << x << "," << y << " for move " << move.x << "," << move.y;
            }
        }
    }
}

TEST(CliStabilize, SequenceIsAlignedWithItsFirstFrame) {
    const fs::path dir = MakeScratchDir();
    fs::create_directory(dir / "in");
    const Gray16Image scene = MakeSyntheticFrame(200, 160, 3);
    const int moves[][2] = {{0, 0}, {3, 2}, {-6, 1}};
    for (int i = 0; i < 3; ++i) {
        WriteFrame(dir / ("in/f" + std::to_string(i) + ".png"),
                   Crop(scene, 20 - moves[i][0], 20 - moves[i][1], 150, 110));
    }
    ASSERT_EQ(RunTool(dir, "stabilize --sequence in --output res"), 0)
        << ReadBytes(dir / "err.txt");
    const std::string report = ReadBytes(dir / "out.txt");
    EXPECT_NE(report.find("[2/3] f1.png  dx -3  dy -2"), std::string::npos) << report;
    EXPECT_NE(report.find("[3/3] f2.png  dx 6  dy -1"), std::string::npos) << report;
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(fs::exists(dir / ("res/f" + std::to_string(i) + ".png")));
    }
}

// Every mistake is one line on stderr, exit code 2, and nothing written.
TEST(CliStabilize, MistakesAreOneLineUsageErrors) {
    const fs::path dir = MakeScratchDir();
    WriteFrame(dir / "a.png", MakeSyntheticFrame(80, 70, 1));
    WriteFrame(dir / "small.png", MakeSyntheticFrame(70, 70, 1));
    WritePicture(dir / "gray8.png", {80, 70, 1, std::vector<unsigned char>(5600)});
    fs::create_directory(dir / "mixed");
    fs::copy(dir / "a.png", dir / "mixed/1.png");
    fs::copy(dir / "small.png", dir / "mixed/2.png");
    const UsageError cases[] = {
        {"--ref a.png --input missing.png --output o/x.png", "missing.png"},
        {"--ref a.png --input small.png --output o/x.png", "same size"},
        {"--ref gray8.png --input a.png --output o/x.png", "16-bit"},
        {"--ref a.png --output o/x.png", "--input"},
        {"--sequence mixed --output seq", "same size"},
        {"--sequence nowhere --output seq", "nowhere"},
    };
    ExpectUsageErrors(dir, "stabilize ", cases);
    EXPECT_FALSE(fs::exists(dir / "o/x.png"));
}
