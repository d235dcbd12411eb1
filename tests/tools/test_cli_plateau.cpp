// End to end: "soloma plateau" on a folder of frames.

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

// A folder's frames go through one processor in name order, so the damping carries. The
// defaults: linear 10 %, plateau width * height / 1024, damping 0.5.
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
        Gray16Image expected = frames[i], result;
        plateau.Create(frames[i].pixels.data(), frames[i].Step(), expected.pixels.data(),
                       expected.Step(), 64, 48, 10.0f, 64 * 48 / 1024, 7000, 9000);
        const std::string stem = "res/f" + std::to_string(2 - i);
        ASSERT_TRUE(ReadGray16Png((dir / (stem + ".png")).string(), &result, &error)) << error;
        EXPECT_EQ(result.pixels, expected.pixels) << stem;
    }
    // Writing into the frames' own folder is refused; mistaken options write nothing.
    EXPECT_EQ(RunTool(dir, "plateau --sequence in --output in/."), 1);
    for (const char* arguments : {"--damping 1.5", "--window 9000,7000"}) {
        EXPECT_EQ(RunTool(dir, std::string("plateau ") + arguments), 2) << arguments;
    }
    EXPECT_FALSE(fs::exists(dir / "in/f0_preview.png") || fs::exists(dir / "out"));
}
