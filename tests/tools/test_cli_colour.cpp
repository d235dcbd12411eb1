// End to end: "soloma colour" and "soloma convert".

#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

using namespace Varnik::Soloma::Cli;
using Varnik::Soloma::ImageProcessing::ColorTransformation;
using Varnik::Soloma::ImageProcessing::Palettes;
namespace fs = std::filesystem;

namespace {

// The frame coloured by the library, as the bytes of an RGBA PNG.
std::vector<unsigned char> Coloured(const Gray16Image& frame, Palettes::Kind kind, int low,
                                    int high) {
    std::vector<unsigned char> bgra(4 * frame.pixels.size());
    Palettes::Apply(frame.pixels.data(), frame.Step(), kind, low, high, bgra.data(),
                    4 * frame.width, frame.width, frame.height);
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        std::swap(bgra[i], bgra[i + 2]);
    }
    return bgra;
}

std::vector<unsigned char> ReadRgba(const fs::path& path) {
    const Image8 image = ReadPicture(path);
    EXPECT_EQ(image.channels, 4);
    return image.pixels;
}

std::vector<unsigned char> RandomBytes(std::size_t n) {
    std::mt19937 rng(8);
    std::vector<unsigned char> bytes(n);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<unsigned char>(rng()); });
    return bytes;
}

void WriteBytes(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

std::vector<unsigned char> BytesOf(const fs::path& path) {
    const std::string text = ReadBytes(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

}  // namespace

// Without files: the built-in frame in iron over its display range. With files: a palette, a
// range, and blends with an RGB image (weights 0 and 1 give either side alone) and with
// another frame (0.5 gives the mean, rounded down).
TEST(CliColour, ColoursAndBlends) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "colour"), 0) << ReadBytes(dir / "err.txt");
    const Gray16Image synthetic = MakeSyntheticFrame();
    int low = 0, high = 0;
    Palettes::DisplayRange(synthetic.pixels.data(), synthetic.Step(), 640, 512, &low, &high);
    EXPECT_EQ(ReadRgba(dir / "out/colour.png"), Coloured(synthetic, Palettes::Iron, low, high));

    const Gray16Image frame = MakeSyntheticFrame(64, 48, 3), other = MakeSyntheticFrame(64, 48, 4);
    WriteFrame(dir / "a.png", frame);
    WriteFrame(dir / "b.png", other);
    const Image8 rgb{64, 48, 3, RandomBytes(64 * 48 * 3)};
    WritePicture(dir / "rgb.png", rgb);
    const std::string base = "colour --input a.png --palette rainbow --range 7900,8500 ";
    const auto plain = Coloured(frame, Palettes::Rainbow, 7900, 8500);
    const auto otherColour = Coloured(other, Palettes::Rainbow, 7900, 8500);
    for (const char* arguments :
         {"--output p.png", "--blend rgb.png,0 --output p.png", "--blend rgb.png,1 --output p.png",
          "--blend b.png,0.5 --output p.png"}) {
        ASSERT_EQ(RunTool(dir, base + arguments), 0) << ReadBytes(dir / "err.txt");
        const std::vector<unsigned char> result = ReadRgba(dir / "p.png");
        const std::string blend = arguments;
        for (std::size_t i = 0; i < result.size(); ++i) {
            const std::size_t c = i % 4;
            const int expected = c == 3                            ? 255
                                 : blend.find(",1 ") != blend.npos ? rgb.pixels[i / 4 * 3 + c]
                                 : blend.find(" b.png") != blend.npos
                                     ? (plain[i] + otherColour[i]) / 2
                                     : plain[i];
            ASSERT_EQ(result[i], expected) << arguments << " byte " << i;
        }
    }
}

// Raw files through every layout, each the library's conversion of the last.
TEST(CliConvert, ConvertsBetweenLayouts) {
    const fs::path dir = MakeScratchDir();
    const int w = 6, h = 5;
    const std::vector<unsigned char> rgb = RandomBytes(3 * w * h);
    std::vector<unsigned char> rgba(4 * w * h), yuv(2 * w * h), fromYuv(3 * w * h),
        fromYuvA(4 * w * h);
    ColorTransformation::RGBToRGBA(rgb.data(), 3 * w, rgba.data(), 4 * w, w, h);
    ColorTransformation::RGBToYUV422(rgb.data(), 3 * w, yuv.data(), 2 * w, w, h);
    ColorTransformation::YUV422ToRGB(yuv.data(), 2 * w, fromYuv.data(), 3 * w, w, h);
    ColorTransformation::YUV422ToRGBA(yuv.data(), 2 * w, fromYuvA.data(), 4 * w, w, h);
    WriteBytes(dir / "in.rgb", rgb);
    const struct {
        const char* arguments;
        const char* output;
        const std::vector<unsigned char>& expected;
    } steps[] = {{"--from rgb --to rgba --size 6x5 in.rgb out/a.rgba", "out/a.rgba", rgba},
                 {"--size=6x5 out/a.rgba back.rgb --from rgba --to=rgb", "back.rgb", rgb},
                 {"--from rgba --to yuv422 --size 6x5 out/a.rgba a.yuv", "a.yuv", yuv},
                 {"--from yuv422 --to rgb --size 6x5 a.yuv b.rgb", "b.rgb", fromYuv},
                 {"--from yuv422 --to rgba --size 6x5 a.yuv b.rgba", "b.rgba", fromYuvA}};
    for (const auto& step : steps) {
        ASSERT_EQ(RunTool(dir, std::string("convert ") + step.arguments), 0)
            << ReadBytes(dir / "err.txt");
        EXPECT_EQ(BytesOf(dir / step.output), step.expected) << step.arguments;
    }
    for (std::size_t p = 0; p < rgba.size(); p += 4) {
        ASSERT_EQ(rgba[p + 3], 255);
    }
}

// Every mistake is one line on stderr with exit code 2 and writes nothing; overwriting an
// input is a failure of the job, exit code 1.
TEST(CliColour, MistakesOfBothCommands) {
    const fs::path dir = MakeScratchDir();
    WriteFrame(dir / "a.png", MakeSyntheticFrame(32, 24));
    WriteFrame(dir / "small.png", MakeSyntheticFrame(16, 24));
    WritePicture(dir / "gray8.png", {32, 24, 1, RandomBytes(32 * 24)});
    WriteBytes(dir / "a.rgb", std::vector<unsigned char>(60, 7));  // 5x4 or 4x5 rgb
    const UsageError colourCases[] = {{"--input missing.png", "missing.png"},
                                      {"--input gray8.png", "16-bit"},
                                      {"--palette sepia", "'sepia'"},
                                      {"--range 500,400", "--range"},
                                      {"--range 0,70000", "--range"},
                                      {"--range 400", "--range"},
                                      {"--input a.png --blend a.png", "--blend"},
                                      {"--input a.png --blend a.png,1.5", "--blend"},
                                      {"--input a.png --blend none.png,0.5", "none.png"},
                                      {"--input a.png --blend small.png,0.5", "same size"},
                                      {"--input a.png --blend gray8.png,0.5", "gray"}};
    const UsageError convertCases[] = {
        {"--from rgb --to rgba --size 4x4 a.rgb o/x.raw", "holds 60 bytes"},
        {"--from rgb --to rgba --size 4x5 missing.rgb o/x.raw", "missing.rgb"},
        {"--from rgb --to yuv422 --size 5x4 a.rgb o/x.raw", "even"},
        {"--from bgr --to rgba --size 4x5 a.rgb o/x.raw", "'bgr'"},
        {"--from rgb --to rgb --size 4x5 a.rgb o/x.raw", "both rgb"},
        {"--from rgb --to rgba a.rgb o/x.raw", "--size"},
        {"--from rgb --to rgba --size 4x0 a.rgb o/x.raw", "--size"},
        {"--from rgb --to rgba --size 4x5 a.rgb", "IN OUT"}};
    ExpectUsageErrors(dir, "colour ", colourCases, " --output o/x.png");
    ExpectUsageErrors(dir, "convert ", convertCases);
    EXPECT_FALSE(fs::exists(dir / "o"));
    const std::string before = ReadBytes(dir / "a.png");
    EXPECT_EQ(RunTool(dir, "colour --input a.png --output ./a.png"), 1);
    EXPECT_EQ(RunTool(dir, "colour --input a.png --blend small.png,0.2 --output small.png"), 1);
    EXPECT_EQ(RunTool(dir, "convert --from rgb --to rgba --size 4x5 a.rgb ./a.rgb"), 1);
    EXPECT_NE(ReadBytes(dir / "err.txt").find("refusing to overwrite"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "a.png"), before);
    EXPECT_EQ(BytesOf(dir / "a.rgb"), std::vector<unsigned char>(60, 7));
    // The help tells the defaults.
    ASSERT_EQ(RunTool(dir, "colour --help"), 0);
    for (const char* text : {"(default: iron)", "(default: out/colour.png)", "1st..99th"}) {
        EXPECT_NE(ReadBytes(dir / "out.txt").find(text), std::string::npos) << text;
    }
}
