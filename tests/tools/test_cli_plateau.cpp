// End to end: "soloma plateau" on the built-in frame and on a folder of frames.

#include "Image.h"
#include "PngIo.h"
#include "Scratch.h"
#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

using namespace Varnik::Soloma::Cli;
using Varnik::Soloma::ImageProcessing::PlateauEqualization;
namespace fs = std::filesystem;

namespace {

Gray16Image Read(const fs::path& path) {
    Gray16Image image;
    std::string error;
    EXPECT_TRUE(ReadGray16Png(path.string(), &image, &error)) << error;
    return image;
}

Gray16Image Through(PlateauEqualization& plateau, const Gray16Image& source, bool windowed) {
    Gray16Image result = source;
    const float limit = static_cast<float>(source.width * source.height / 1024);
    if (windowed) {
        plateau.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
                       source.width, source.height, 10.0f, limit, 7000, 9000);
    } else {
        plateau.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
                       source.width, source.height, 10.0f, limit);
    }
    return result;
}

}  // namespace

// The defaults: linear 10 %, plateau width * height / 1024, damping 0.5, full range.
TEST(CliPlateau, BuiltInFrameEqualsTheLibrary) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "plateau"), 0) << ReadBytes(dir / "err.txt");
    const Gray16Image result = Read(dir / "out/plateau.png");
    PlateauEqualization plateau;
    EXPECT_EQ(result.pixels, Through(plateau, MakeSyntheticFrame(), false).pixels);
    Image8 preview;
    std::string error;
    ASSERT_TRUE(ReadPng8((dir / "out/plateau_preview.png").string(), &preview, &error)) << error;
    EXPECT_EQ(preview.pixels, MakePreview(result).pixels);
}

// A folder's frames go through one processor in name order, so the damping carries.
TEST(CliPlateau, SequenceThroughOneProcessor) {
    const fs::path dir = MakeScratchDir();
    fs::create_directory(dir / "in");
    std::vector<Gray16Image> frames;
    std::string error;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(MakeSyntheticFrame(64, 48, 10 + i));
        const std::string name = "in/f" + std::to_string(2 - i) + ".png";  // names run backwards
        ASSERT_TRUE(WriteGray16Png((dir / name).string(), frames.back(), &error)) << error;
    }
    ASSERT_EQ(RunTool(dir, "plateau --sequence in --window 7000,9000 --output res"), 0)
        << ReadBytes(dir / "err.txt");
    PlateauEqualization plateau;
    for (int i = 2; i >= 0; --i) {
        const std::string stem = "res/f" + std::to_string(2 - i);
        EXPECT_EQ(Read(dir / (stem + ".png")).pixels, Through(plateau, frames[i], true).pixels);
        EXPECT_TRUE(fs::exists(dir / (stem + "_preview.png")));
    }
    EXPECT_NE(ReadBytes(dir / "out.txt").find("[3/3] f2.png"), std::string::npos);
    // Writing into the frames' own folder is refused; mistaken options write nothing.
    EXPECT_EQ(RunTool(dir, "plateau --sequence in --output in/."), 1);
    for (const char* arguments : {"--damping 1.5", "--window 9000,7000", "--plateau-limit x",
                                  "--linear-percent 101", "--input a.png --sequence in"}) {
        EXPECT_EQ(RunTool(dir, std::string("plateau ") + arguments), 2) << arguments;
    }
    EXPECT_FALSE(fs::exists(dir / "in/f0_preview.png") || fs::exists(dir / "out"));
}
