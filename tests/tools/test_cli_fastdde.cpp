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

TEST(CliFastDde, GainFromTheCommandLineReachesTheLibrary) {
    const fs::path dir = MakeScratchDir();
    std::string error;
    Gray16Image frame = MakeSyntheticFrame(50, 30, 7), expected = frame, result;
    ASSERT_TRUE(WriteGray16Png((dir / "in.png").string(), frame, &error)) << error;
    ASSERT_EQ(RunTool(dir, "fastdde --input in.png --output r.png --detail-gain=-0.5"), 0)
        << ReadBytes(dir / "err.txt");
    Varnik::Soloma::ImageProcessing::FastDDE dde;
    dde.Create(frame.pixels.data(), frame.Step(), expected.pixels.data(), expected.Step(), -0.5f,
               frame.width, frame.height);
    ASSERT_TRUE(ReadGray16Png((dir / "r.png").string(), &result, &error)) << error;
    EXPECT_EQ(result.pixels, expected.pixels);
}

TEST(CliFastDde, BadGainIsAUsageError) {
    const fs::path dir = MakeScratchDir();
    for (const char* gain : {"2x", "nan"}) {
        EXPECT_EQ(RunTool(dir, std::string("fastdde --detail-gain ") + gain), 2) << gain;
        EXPECT_NE(ReadBytes(dir / "err.txt").find("--detail-gain"), std::string::npos) << gain;
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}
