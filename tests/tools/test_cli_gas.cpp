// End to end: "soloma gas" on pairs and folders of frames, and on its built-in pair.

#include "SyntheticFrame.h"
#include "SyntheticPlume.h"
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

using namespace Varnik::Soloma::Cli;
namespace fs = std::filesystem;

namespace {

// Frames of the synthetic plume small enough to keep the tests quick.
PlumeSequence SmallPlume() {
    PlumeSequenceOptions options;
    options.width = 160;
    options.height = 128;
    return PlumeSequence(options);
}

// The N of the report's first "tinted N of ..." , or -1.
long TintedIn(const std::string& report) {
    const std::size_t at = report.find("tinted ");
    long tinted = -1;
    if (at != std::string::npos) {
        std::sscanf(report.c_str() + at + 7, " %ld of", &tinted);
    }
    return tinted;
}

}  // namespace

// Without files: frame 45 of the built-in sequence against its frame 0, which has no gas;
// the overlay has the frame's size and the detector tints some of the true plume.
TEST(CliGas, BuiltInPairWritesAnOverlay) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "gas"), 0) << ReadBytes(dir / "err.txt");
    const Image8 overlay = ReadPicture(dir / "out/gas.png");
    EXPECT_EQ(overlay.width, 640);
    EXPECT_EQ(overlay.height, 512);
    EXPECT_EQ(overlay.channels, 4);
    const std::string report = ReadBytes(dir / "out.txt");
    EXPECT_GT(TintedIn(report), 0) << report;
    EXPECT_NE(report.find("true plume"), std::string::npos) << report;
}

// Identical frames show no gas with either method, and the overlay is then the colour image
// as the untinted overlay renders it: with the green/magenta tint, the given RGB image with its
// red copied into blue.
TEST(CliGas, IdenticalFramesTintNothing) {
    const fs::path dir = MakeScratchDir();
    const Gray16Image frame = SmallPlume().Frame(40).frame;
    WriteFrame(dir / "a.png", frame);
    WriteFrame(dir / "b.png", frame);
    Image8 colour{160, 128, 3, std::vector<unsigned char>(160 * 128 * 3)};
    for (std::size_t i = 0; i < colour.pixels.size(); ++i) {
        colour.pixels[i] = static_cast<unsigned char>(i * 7 % 251);
    }
    WritePicture(dir / "colour.png", colour);

    for (const char* method : {"psd", "difference"}) {
        ASSERT_EQ(RunTool(dir, std::string("gas --ref a.png --input b.png --method ") + method +
                                   " --output grey.png"),
                  0)
            << ReadBytes(dir / "err.txt");
        EXPECT_EQ(TintedIn(ReadBytes(dir / "out.txt")), 0) << method;
    }
    // A colour image with the green/magenta tint keeps its red and green.
    ASSERT_EQ(RunTool(dir,
                      "gas --ref a.png --input b.png --colour colour.png --colorization 2 "
                      "--output coloured.png"),
              0)
        << ReadBytes(dir / "err.txt");
    EXPECT_EQ(TintedIn(ReadBytes(dir / "out.txt")), 0);
    const Image8 coloured = ReadPicture(dir / "coloured.png");
    for (std::size_t p = 0; p < 160 * 128; ++p) {
        const unsigned char* in = &colour.pixels[3 * p];
        const unsigned char* out = &coloured.pixels[4 * p];
        ASSERT_TRUE(out[0] == in[0] && out[1] == in[1] && out[2] == in[0] && out[3] == 255) << p;
    }
}

// A folder: one progress line per frame, one overlay per frame under its own name, and with
// --reference previous the first frame compared with itself.
TEST(CliGas, SequenceReportsEveryFrame) {
    const fs::path dir = MakeScratchDir();
    fs::create_directory(dir / "in");
    const PlumeSequence plume = SmallPlume();
    const int indices[] = {0, 20, 40, 59};
    for (int i : indices) {
        WriteFrame(dir / "in" / ("f" + std::to_string(i) + ".png"), plume.Frame(i).frame);
    }
    ASSERT_EQ(RunTool(dir, "gas --sequence in --reference previous --palette iron --output res"), 0)
        << ReadBytes(dir / "err.txt");
    const std::string report = ReadBytes(dir / "out.txt");
    std::istringstream lines(report);
    std::string line;
    int progress = 0;
    while (std::getline(lines, line)) {
        progress += line.find("] f") != std::string::npos;
    }
    EXPECT_EQ(progress, 4) << report;
    EXPECT_NE(report.find("[1/4] f0.png  tinted 0 of 20480"), std::string::npos) << report;
    EXPECT_NE(report.find("[4/4] f59.png"), std::string::npos) << report;
    for (int i : indices) {
        const Image8 overlay = ReadPicture(dir / "res" / ("f" + std::to_string(i) + ".png"));
        EXPECT_EQ(overlay.width, 160);
        EXPECT_EQ(overlay.height, 128);
    }
    // Against the gas-free frame 0, the grown plume is found.
    ASSERT_EQ(RunTool(dir, "gas --sequence in --reference 0 --output res0"), 0)
        << ReadBytes(dir / "err.txt");
    const std::string againstFirst = ReadBytes(dir / "out.txt");
    const std::size_t last = againstFirst.find("[4/4]");
    ASSERT_NE(last, std::string::npos) << againstFirst;
    EXPECT_GT(TintedIn(againstFirst.substr(last)), 0) << againstFirst;
}

// Every mistake is one line on stderr, exit code 2, and nothing written.
TEST(CliGas, MistakesAreOneLineUsageErrors) {
    const fs::path dir = MakeScratchDir();
    const PlumeSequence plume = SmallPlume();
    WriteFrame(dir / "a.png", plume.Frame(0).frame);
    WriteFrame(dir / "b.png", plume.Frame(30).frame);
    WriteFrame(dir / "narrow.png", MakeSyntheticFrame(150, 128));
    WriteFrame(dir / "tiny.png", MakeSyntheticFrame(7, 9));
    WritePicture(dir / "gray8.png", {160, 128, 1, std::vector<unsigned char>(160 * 128)});
    WritePicture(dir / "small_rgb.png", {80, 64, 3, std::vector<unsigned char>(80 * 64 * 3)});
    fs::create_directory(dir / "seq");
    fs::copy(dir / "a.png", dir / "seq/1.png");
    fs::copy(dir / "narrow.png", dir / "seq/2.png");
    const UsageError cases[] = {
        {"--ref a.png --input missing.png", "missing.png"},
        {"--ref a.png --input narrow.png", "same size"},
        {"--ref gray8.png --input a.png", "16-bit"},
        {"--ref a.png", "--input"},
        {"--ref a.png --input b.png --method fft", "'fft'"},
        {"--ref a.png --input b.png --palette sepia", "'sepia'"},
        {"--ref a.png --input b.png --stabilize maybe", "'maybe'"},
        {"--ref a.png --input b.png --threshold x", "--threshold"},
        {"--ref a.png --input b.png --window 1", "--window"},
        {"--ref a.png --input b.png --colorization 3", "--colorization"},
        {"--ref a.png --input b.png --sensitivity 5", "--sensitivity"},
        {"--ref a.png --input b.png --method difference --window 16", "--window"},
        {"--ref a.png --input b.png --window 128", "--window 128"},
        {"--ref tiny.png --input tiny.png --method difference", "7x9"},
        {"--ref a.png --input b.png --colour small_rgb.png", "same size"},
        {"--ref a.png --input b.png --colour gray8.png", "RGB"},
        {"--ref a.png --input b.png --colour missing.png", "missing.png"},
        {"--ref a.png --input b.png --colour small_rgb.png --palette iron", "--palette"},
        {"--ref a.png --input b.png --reference 1", "--reference"},
        {"--sequence seq --colour gray8.png", "--colour"},
        {"--sequence seq --reference 2", "--reference 2"},
        {"--sequence seq --reference last", "'last'"},
        {"--sequence seq --reference 1", "same size"},
        {"--sequence nowhere", "nowhere"},
    };
    ExpectUsageErrors(dir, "gas --output o/x.png ", cases);
    EXPECT_FALSE(fs::exists(dir / "o/x.png"));
    // Overwriting an input is a failure of the job, exit code 1.
    const std::string before = ReadBytes(dir / "b.png");
    EXPECT_EQ(RunTool(dir, "gas --ref a.png --input b.png --output ./b.png"), 1);
    EXPECT_NE(ReadBytes(dir / "err.txt").find("refusing to overwrite"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "b.png"), before);
}

TEST(CliGas, HelpListsEveryOptionWithItsDefault) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "gas --help"), 0);
    const std::string help = ReadBytes(dir / "out.txt");
    const std::pair<const char*, const char*> defaults[] = {
        {"method", "psd"}, {"threshold", "3.5"}, {"sensitivity", "20"}, {"output", "out/gas.png"}};
    for (const auto& [option, value] : defaults) {
        const std::size_t at = help.find(std::string("\n  --") + option + " ");
        ASSERT_NE(at, std::string::npos) << option << "\n" << help;
        const std::string line = help.substr(at + 1, help.find('\n', at + 1) - at - 1);
        EXPECT_NE(line.find(std::string("(default: ") + value), std::string::npos) << line;
    }
}
