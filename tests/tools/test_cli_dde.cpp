// End to end: "soloma dde" run as a person would.

#include "Image.h"
#include "PngIo.h"
#include "Scratch.h"
#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

using namespace Varnik::Soloma::Cli;
namespace fs = std::filesystem;

// Every option reaches the library: the file equals the library's result for the same values.
TEST(CliDde, OptionsReachTheLibrary) {
    const fs::path dir = MakeScratchDir();
    const Gray16Image source = MakeSyntheticFrame(64, 48);
    std::string error;
    ASSERT_TRUE(WriteGray16Png((dir / "in.png").string(), source, &error)) << error;
    ASSERT_EQ(RunTool(dir,
                      "dde --input in.png --output a.png --kernel 9 --sigma 3 "
                      "--base-sharpen=-1.5 --detail-gain 4"),
              0)
        << ReadBytes(dir / "err.txt");
    Gray16Image expected = source, result;
    Varnik::Soloma::ImageProcessing::DDE dde(9, 3.0f);
    dde.Create(source.pixels.data(), source.Step(), expected.pixels.data(), expected.Step(), -1.5f,
               4.0f, source.width, source.height);
    ASSERT_TRUE(ReadGray16Png((dir / "a.png").string(), &result, &error)) << error;
    EXPECT_EQ(result.pixels, expected.pixels);
}

TEST(CliDde, BadValuesAreUsageErrors) {
    const fs::path dir = MakeScratchDir();
    for (const char* arguments : {"--kernel 3.5", "--sigma 0", "--detail-gain nan"}) {
        EXPECT_EQ(RunTool(dir, std::string("dde ") + arguments), 2) << arguments;
        EXPECT_NE(ReadBytes(dir / "err.txt").find("wants"), std::string::npos) << arguments;
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}
