// End to end: soloma fastdde as a person would run it.

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

Gray16Image Enhanced(Gray16Image source, float gain) {
    Gray16Image result = source;
    Varnik::Soloma::ImageProcessing::FastDDE dde;
    dde.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(), gain,
               source.width, source.height);
    return result;
}

Gray16Image ReadResult(const fs::path& path) {
    Gray16Image image;
    std::string error;
    EXPECT_TRUE(ReadGray16Png(path.string(), &image, &error)) << error;
    return image;
}

}  // namespace

TEST(CliFastDde, DefaultRunMatchesTheLibrary) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "fastdde"), 0) << ReadBytes(dir / "err.txt");
    const Gray16Image result = ReadResult(dir / "out/fastdde.png");
    EXPECT_EQ(result.pixels, Enhanced(MakeSyntheticFrame(), 2.0f).pixels);
    Image8 preview;
    std::string error;
    ASSERT_TRUE(ReadPng8((dir / "out/fastdde_preview.png").string(), &preview, &error)) << error;
    EXPECT_EQ(preview.pixels, MakePreview(result).pixels);
    EXPECT_NE(ReadBytes(dir / "out.txt").find("detail gain"), std::string::npos);
}

TEST(CliFastDde, GainFromTheCommandLine) {
    const fs::path dir = MakeScratchDir();
    std::string error;
    const Gray16Image frame = MakeSyntheticFrame(50, 30, 7);
    ASSERT_TRUE(WriteGray16Png((dir / "in.png").string(), frame, &error)) << error;
    ASSERT_EQ(RunTool(dir, "fastdde --input in.png --output r.png --detail-gain=-0.5"), 0)
        << ReadBytes(dir / "err.txt");
    EXPECT_EQ(ReadResult(dir / "r.png").pixels, Enhanced(frame, -0.5f).pixels);
}

TEST(CliFastDde, BadGainIsAUsageError) {
    const fs::path dir = MakeScratchDir();
    for (const char* gain : {"abc", "2x", "nan", "inf", "\"\""}) {
        EXPECT_EQ(RunTool(dir, std::string("fastdde --detail-gain ") + gain), 2) << gain;
        EXPECT_NE(ReadBytes(dir / "err.txt").find("--detail-gain"), std::string::npos) << gain;
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}
