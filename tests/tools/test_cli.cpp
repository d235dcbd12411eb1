// End to end: runs the built soloma binary as a person would and checks what it leaves.

#include "Image.h"
#include "PngIo.h"
#include "Scratch.h"
#include "SyntheticFrame.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Varnik::Soloma::Cli;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs "soloma <arguments>" in `dir`; the arguments are passed to the shell as written.
Outcome RunTool(const fs::path& dir, const std::string& arguments) {
    const std::string command = "cd '" + dir.string() + "' && '" SOLOMA_TOOL_PATH "' " + arguments +
                                " > stdout.txt 2> stderr.txt";
    const int status = std::system(command.c_str());
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadBytes(dir / "stdout.txt");
    outcome.err = ReadBytes(dir / "stderr.txt");
    return outcome;
}

Gray16Image Equalized(const Gray16Image& source) {
    Gray16Image result = source;
    Varnik::Soloma::ImageProcessing::HistogramEqualization equalization;
    equalization.Create(source.pixels.data(), source.Step(), result.pixels.data(), result.Step(),
                        source.width, source.height);
    return result;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(Cli, BuiltInFrameGivesResultAndPreview) {
    const fs::path dir = MakeScratchDir();
    const Outcome run = RunTool(dir, "equalize");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_TRUE(Contains(run.out, "640 x 512")) << run.out;
    EXPECT_TRUE(Contains(run.out, "out/equalized.png")) << run.out;
    EXPECT_TRUE(Contains(run.out, "out/equalized_preview.png")) << run.out;
    EXPECT_TRUE(Contains(run.out, " ms")) << run.out;

    Gray16Image result;
    std::string error;
    ASSERT_TRUE(ReadGray16Png((dir / "out" / "equalized.png").string(), &result, &error)) << error;
    EXPECT_EQ(result.pixels, Equalized(MakeSyntheticFrame()).pixels);

    Image8 preview;
    ASSERT_TRUE(ReadPng8((dir / "out" / "equalized_preview.png").string(), &preview, &error))
        << error;
    EXPECT_EQ(preview.width, 640);
    EXPECT_EQ(preview.height, 512);
    EXPECT_EQ(preview.channels, 1);
    EXPECT_EQ(preview.pixels, MakePreview(result).pixels);
}

TEST(Cli, FileInputGoesIntoANewFolder) {
    const fs::path dir = MakeScratchDir();
    const Gray16Image source = MakeSyntheticFrame(33, 17, 5);
    std::string error;
    ASSERT_TRUE(WriteGray16Png((dir / "in.png").string(), source, &error)) << error;
    const Outcome run = RunTool(dir, "equalize --input in.png --output a/b/result.png");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Gray16Image result;
    ASSERT_TRUE(ReadGray16Png((dir / "a/b/result.png").string(), &result, &error)) << error;
    EXPECT_EQ(result.pixels, Equalized(source).pixels);
    EXPECT_TRUE(fs::exists(dir / "a/b/result_preview.png"));
}

TEST(Cli, UnusableInputFailsNamingTheFile) {
    const fs::path dir = MakeScratchDir();
    Image8 gray8;
    gray8.width = gray8.height = 2;
    gray8.pixels.assign(4, 1);
    std::string error;
    ASSERT_TRUE(WritePng8((dir / "gray8.png").string(), gray8, &error)) << error;
    for (const char* file : {"missing.png", "gray8.png"}) {
        SCOPED_TRACE(file);
        const Outcome run = RunTool(dir, std::string("equalize --input ") + file);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Contains(run.err, file)) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

TEST(Cli, NeverOverwritesTheInput) {
    const fs::path dir = MakeScratchDir();
    std::string error;
    ASSERT_TRUE(WriteGray16Png((dir / "x_preview.png").string(), MakeSyntheticFrame(9, 9), &error));
    fs::create_directory(dir / "sub");
    const std::string before = ReadBytes(dir / "x_preview.png");
    // The output itself, the same file spelled differently, and the output's preview.
    for (const char* output : {"x_preview.png", "sub/../x_preview.png", "x.png"}) {
        SCOPED_TRACE(output);
        const Outcome run =
            RunTool(dir, std::string("equalize --input x_preview.png --output ") + output);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Contains(run.err, "refusing to overwrite")) << run.err;
        EXPECT_EQ(ReadBytes(dir / "x_preview.png"), before);
    }
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST(Cli, BadCommandLinesShowUsage) {
    const fs::path dir = MakeScratchDir();
    for (const char* arguments :
         {"equalize --bogus", "equalize --input", "equalize in.png", "frobnicate", ""}) {
        SCOPED_TRACE(arguments);
        const Outcome run = RunTool(dir, arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(Contains(run.err, "usage: soloma")) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(Cli, HelpListsTheCommands) {
    const fs::path dir = MakeScratchDir();
    for (const char* arguments : {"--help", "help"}) {
        const Outcome run = RunTool(dir, arguments);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(Contains(run.out, "equalize")) << run.out;
    }
    const Outcome run = RunTool(dir, "help equalize");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, "--output FILE")) << run.out;
}
