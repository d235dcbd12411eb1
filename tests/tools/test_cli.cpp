// End to end: runs the built soloma binary as a person would and checks what it leaves.

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

Gray16Image Equalized(const Gray16Image& source) {
    Gray16Image result = source;
    Varnik::Soloma::ImageProcessing::HistogramEqualization equalization;
    equalization.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
                        source.width, source.height);
    return result;
}

}  // namespace

TEST(Cli, BuiltInFrameGivesResultAndPreview) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "equalize"), 0) << ReadBytes(dir / "err.txt");
    Gray16Image result;
    Image8 preview;
    std::string error;
    ASSERT_TRUE(ReadGray16Png((dir / "out/equalized.png").string(), &result, &error)) << error;
    ASSERT_TRUE(ReadPng8((dir / "out/equalized_preview.png").string(), &preview, &error)) << error;
    EXPECT_EQ(result.pixels, Equalized(MakeSyntheticFrame()).pixels);
    EXPECT_EQ(preview.pixels, MakePreview(result).pixels);
}

// A missing input, and an output that would land on the input (spelled differently, or as the
// output's preview), fail and write nothing; a sound run makes the output's folder.
TEST(Cli, FileInput) {
    const fs::path dir = MakeScratchDir();
    std::string error;
    ASSERT_TRUE(WriteGray16Png((dir / "x_preview.png").string(), MakeSyntheticFrame(9, 9), &error));
    const std::string before = ReadBytes(dir / "x_preview.png");
    fs::create_directory(dir / "sub");
    const std::pair<const char*, const char*> failures[] = {
        {"missing.png", "'missing.png'"},
        {"x_preview.png --output sub/../x_preview.png", "refusing to overwrite"},
        {"x_preview.png --output x.png", "refusing to overwrite"}};
    for (const auto& [arguments, message] : failures) {
        EXPECT_EQ(RunTool(dir, std::string("equalize --input ") + arguments), 1) << arguments;
        EXPECT_NE(ReadBytes(dir / "err.txt").find(message), std::string::npos) << arguments;
    }
    EXPECT_EQ(ReadBytes(dir / "x_preview.png"), before);
    EXPECT_FALSE(fs::exists(dir / "out") || fs::exists(dir / "x.png"));
    EXPECT_EQ(RunTool(dir, "equalize --input x_preview.png --output a/b/r.png"), 0);
    EXPECT_TRUE(fs::exists(dir / "a/b/r.png") && fs::exists(dir / "a/b/r_preview.png"));
}
