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

namespace {

Gray16Image Enhanced(const Gray16Image& source, int kernelSize, float sigma, float baseSharpen,
                     float detailGain) {
    Gray16Image result = source;
    Varnik::Soloma::ImageProcessing::DDE dde(kernelSize, sigma);
    dde.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
               baseSharpen, detailGain, source.width, source.height);
    return result;
}

Gray16Image ReadResult(const fs::path& path) {
    Gray16Image image;
    std::string error;
    EXPECT_TRUE(ReadGray16Png(path.string(), &image, &error)) << error;
    return image;
}

}  // namespace

TEST(CliDde, DefaultsGiveTheLibrarysResultAndPreview) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "dde"), 0) << ReadBytes(dir / "err.txt");
    const Gray16Image result = ReadResult(dir / "out/dde.png");
    EXPECT_EQ(result.pixels, Enhanced(MakeSyntheticFrame(), 5, 2.0f, 0.5f, 2.0f).pixels);
    Image8 preview;
    std::string error;
    ASSERT_TRUE(ReadPng8((dir / "out/dde_preview.png").string(), &preview, &error)) << error;
    EXPECT_EQ(preview.pixels, MakePreview(result).pixels);
}

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
    EXPECT_EQ(ReadResult(dir / "a.png").pixels, Enhanced(source, 9, 3.0f, -1.5f, 4.0f).pixels);
    // The neutral gains give the frame back.
    ASSERT_EQ(RunTool(dir, "dde --input in.png --output b.png --base-sharpen 0 --detail-gain 1"),
              0);
    EXPECT_EQ(ReadResult(dir / "b.png").pixels, source.pixels);
}

TEST(CliDde, BadValuesAreUsageErrors) {
    const fs::path dir = MakeScratchDir();
    for (const char* arguments : {"--kernel 0", "--kernel 3.5", "--sigma abc", "--sigma 0",
                                  "--detail-gain nan", "--base-sharpen 1e9"}) {
        EXPECT_EQ(RunTool(dir, std::string("dde ") + arguments), 2) << arguments;
        EXPECT_NE(ReadBytes(dir / "err.txt").find("wants"), std::string::npos) << arguments;
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}
