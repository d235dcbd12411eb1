// End to end: the single-frame commands (equalize, plateau, dde, fastdde, stats, limits) run
// as a person would, each file checked against the library's result for the same values.

#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

using namespace Varnik::Soloma::Cli;
using namespace Varnik::Soloma::ImageProcessing;
namespace fs = std::filesystem;

TEST(Cli, BuiltInFrameGivesResultAndPreview) {
    const fs::path dir = MakeScratchDir();
    ASSERT_EQ(RunTool(dir, "equalize"), 0) << ReadBytes(dir / "err.txt");
    const Gray16Image source = MakeSyntheticFrame();
    const Gray16Image result = ReadFrame(dir / "out/equalized.png");
    Gray16Image expected = source;
    HistogramEqualization().Create(source.pixels.data(), source.Step(), expected.pixels.data(),
                                   expected.Step(), source.width, source.height);
    EXPECT_EQ(result.pixels, expected.pixels);
    EXPECT_EQ(ReadPicture(dir / "out/equalized_preview.png").pixels, MakePreview(result).pixels);
}

// A missing input, and an output that would land on the input (spelled differently, or as the
// output's preview), fail and write nothing; a sound run makes the output's folder.
TEST(Cli, FileInput) {
    const fs::path dir = MakeScratchDir();
    WriteFrame(dir / "x_preview.png", MakeSyntheticFrame(9, 9));
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

// Every option reaches the library: the files equal the library's results for the same values.
TEST(Cli, DdeOptionsReachTheLibrary) {
    const fs::path dir = MakeScratchDir();
    Gray16Image source = MakeSyntheticFrame(64, 48);  // FastDDE reads through a non-const pointer
    WriteFrame(dir / "in.png", source);
    ASSERT_EQ(RunTool(dir,
                      "dde --input in.png --output a.png --kernel 9 --sigma 3 "
                      "--base-sharpen=-1.5 --detail-gain 4"),
              0)
        << ReadBytes(dir / "err.txt");
    ASSERT_EQ(RunTool(dir, "fastdde --input in.png --output b.png --detail-gain=-0.5"), 0)
        << ReadBytes(dir / "err.txt");
    Gray16Image expected = source;
    DDE(9, 3.0f).Create(source.pixels.data(), source.Step(), expected.pixels.data(),
                        expected.Step(), -1.5f, 4.0f, source.width, source.height);
    EXPECT_EQ(ReadFrame(dir / "a.png").pixels, expected.pixels);
    FastDDE().Create(source.pixels.data(), source.Step(), expected.pixels.data(), expected.Step(),
                     -0.5f, source.width, source.height);
    EXPECT_EQ(ReadFrame(dir / "b.png").pixels, expected.pixels);
}

// A folder's frames go through one processor in name order, so the damping carries. The
// defaults: linear 10 %, plateau width * height / 1024, damping 0.5.
TEST(Cli, PlateauSequenceThroughOneProcessor) {
    const fs::path dir = MakeScratchDir();
    fs::create_directory(dir / "in");
    std::vector<Gray16Image> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(MakeSyntheticFrame(64, 48, 10 + i));
        WriteFrame(dir / ("in/f" + std::to_string(2 - i) + ".png"), frames.back());  // backwards
    }
    ASSERT_EQ(RunTool(dir, "plateau --sequence in --window 7000,9000 --output res"), 0)
        << ReadBytes(dir / "err.txt");
    PlateauEqualization plateau;
    for (int i = 2; i >= 0; --i) {
        Gray16Image expected = frames[i];
        plateau.Create(frames[i].pixels.data(), frames[i].Step(), expected.pixels.data(),
                       expected.Step(), 64, 48, 10.0f, 64 * 48 / 1024, 7000, 9000);
        const std::string stem = "res/f" + std::to_string(2 - i);
        EXPECT_EQ(ReadFrame(dir / (stem + ".png")).pixels, expected.pixels) << stem;
    }
    // Writing into the frames' own folder is refused.
    EXPECT_EQ(RunTool(dir, "plateau --sequence in --output in/."), 1);
    EXPECT_FALSE(fs::exists(dir / "in/f0_preview.png"));
}

// Kelvin through 280 K at signal 7900 rising 0.025 K per count to signal 8700, in a region that
// holds signals on both sides of the table; then display limits of the whole frame.
TEST(Cli, StatsAndLimitsReportWhatTheLibraryGives) {
    const fs::path dir = MakeScratchDir();
    const Gray16Image frame = MakeSyntheticFrame();
    ASSERT_EQ(RunTool(dir, "stats --roi 200,100,240,300 --kelvin 7900:280,8700:300"), 0)
        << ReadBytes(dir / "err.txt");
    std::vector<float> table;
    for (int signal = 7900; signal <= 8700; ++signal) {
        table.push_back(static_cast<float>(280.0 + 0.025 * (signal - 7900)));
    }
    Statistics s{};
    RadiometricStatistics::Calculate(frame.pixels.data(), 240, 300, frame.Step(), 100, 200,
                                     table.data(), 7900, 8700, s, false);
    std::string report = ReadBytes(dir / "out.txt");
    for (auto [name, value, status, x, y] : {std::tuple{"min", s.min, s.minStatus, s.minX, s.minY},
                                             {"max", s.max, s.maxStatus, s.maxX, s.maxY}}) {
        double v = -1;  // the row reads: value, status and its word, position
        int vs = -1, px = -1, py = -1;
        std::sscanf(ReportValue(report, name).c_str(), "%lf %d %*[^(](%d, %d)", &v, &vs, &px, &py);
        EXPECT_NEAR(v, value, 1e-4) << report;
        EXPECT_TRUE(vs == status && px == x && py == y) << report;
    }
    EXPECT_NEAR(std::stod(ReportValue(report, "mean")), s.mean, 1e-4);
    EXPECT_NEAR(std::stod(ReportValue(report, "std dev")), s.stdDev, 1e-4);

    ASSERT_EQ(RunTool(dir, "limits --fractions 0.2,0.05 --bins 256"), 0);
    std::vector<int> hist(256), levels(257);
    unsigned short lower = 0, upper = 0;
    RadiometricStatistics::CalculateHistogramMinMax(frame.pixels.data(), frame.Step(), hist.data(),
                                                    levels.data(), 257, 0, 65536, 0, 0, frame.width,
                                                    frame.height, 0.2f, 0.05f, lower, upper);
    report = ReadBytes(dir / "out.txt");
    EXPECT_EQ(ReportValue(report, "lower"), std::to_string(lower));
    EXPECT_EQ(ReportValue(report, "upper"), std::to_string(upper));
}

// Bad values are usage errors that name the option (these commands add a line pointing to their
// help), and no command writes a file.
TEST(Cli, BadValuesAreUsageErrors) {
    const fs::path dir = MakeScratchDir();
    const UsageError cases[] = {
        {"dde --kernel 3.5", "wants"},
        {"dde --sigma 0", "wants"},
        {"dde --detail-gain nan", "wants"},
        {"fastdde --detail-gain 2x", "--detail-gain"},
        {"fastdde --detail-gain nan", "--detail-gain"},
        {"plateau --damping 1.5", "--damping"},
        {"plateau --window 9000,7000", "--window"},
        {"stats --roi 600,0,41,10", "does not lie inside the 640 x 512 frame"},
        {"limits --bins 65537", "--bins"}};
    for (const UsageError& c : cases) {
        EXPECT_EQ(RunTool(dir, c.arguments), 2) << c.arguments;
        EXPECT_NE(ReadBytes(dir / "err.txt").find(c.mentions), std::string::npos) << c.arguments;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}
