// End to end: soloma stats and soloma limits report what the library gives for the same frame.

#include "Image.h"
#include "Scratch.h"
#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

using namespace Varnik::Soloma::Cli;
using Varnik::Soloma::ImageProcessing::RadiometricStatistics;
namespace fs = std::filesystem;

namespace {

// The text after `label` and its padding on the report line that starts with it.
std::string ReportValue(const std::string& report, const std::string& label) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  " + label + " ", 0) == 0) {
            return line.substr(line.find_first_not_of(' ', label.size() + 2));
        }
    }
    return "";
}

struct Row {
    double value = -1;
    int status = -1;
    int x = -1;
    int y = -1;
};

Row ReadRow(const std::string& report, const std::string& name) {
    Row row;
    const std::string text = ReportValue(report, name);
    std::sscanf(text.c_str(), "%lf %d", &row.value, &row.status);
    if (text.find('(') != std::string::npos) {
        std::sscanf(text.c_str() + text.find('('), "(%d, %d)", &row.x, &row.y);
    }
    return row;
}

void ExpectReportShows(const std::string& report, const Statistics& s) {
    const Row min = ReadRow(report, "min");
    const Row max = ReadRow(report, "max");
    EXPECT_NEAR(min.value, s.min, 1e-4);
    EXPECT_NEAR(max.value, s.max, 1e-4);
    EXPECT_TRUE(min.status == s.minStatus && min.x == s.minX && min.y == s.minY) << report;
    EXPECT_TRUE(max.status == s.maxStatus && max.x == s.maxX && max.y == s.maxY) << report;
    EXPECT_NEAR(ReadRow(report, "mean").value, s.mean, 1e-4);
    EXPECT_NEAR(ReadRow(report, "sum").value, s.sum, 1e-4 * std::abs(s.sum));
    EXPECT_NEAR(std::stod(ReportValue(report, "std dev")), s.stdDev, 1e-4);
}

}  // namespace

TEST(CliRadiometry, StatsOfBuiltInFrame) {
    const fs::path dir = MakeScratchDir();
    const Gray16Image frame = MakeSyntheticFrame();
    ASSERT_EQ(RunTool(dir, "stats"), 0) << ReadBytes(dir / "err.txt");
    Statistics s{};
    RadiometricStatistics::Calculate(frame.pixels.data(), frame.width, frame.height, frame.Step(),
                                     0, 0, nullptr, 0, 0, s, true);
    ExpectReportShows(ReadBytes(dir / "out.txt"), s);

    // Kelvin through 280 K at signal 7900 rising 0.025 K per count to signal 8700, in a
    // region that holds signals on both sides of the table.
    ASSERT_EQ(RunTool(dir, "stats --roi 200,100,240,300 --kelvin 7900:280,8700:300"), 0);
    std::vector<float> table;
    for (int signal = 7900; signal <= 8700; ++signal) {
        table.push_back(static_cast<float>(280.0 + 0.025 * (signal - 7900)));
    }
    RadiometricStatistics::Calculate(frame.pixels.data(), 240, 300, frame.Step(), 100, 200,
                                     table.data(), 7900, 8700, s, false);
    ExpectReportShows(ReadBytes(dir / "out.txt"), s);
    EXPECT_EQ(ReportValue(ReadBytes(dir / "out.txt"), "region"), "x 200, y 100, 240 x 300 pixels");
}

TEST(CliRadiometry, LimitsOfBuiltInFrame) {
    const fs::path dir = MakeScratchDir();
    const Gray16Image frame = MakeSyntheticFrame();
    for (const auto& [arguments, bins, low, high] :
         {std::tuple{"", 4096, 0.01f, 0.01f},
          {"--fractions 0.2,0.05 --bins 256", 256, 0.2f, 0.05f}}) {
        ASSERT_EQ(RunTool(dir, std::string("limits ") + arguments), 0)
            << ReadBytes(dir / "err.txt");
        std::vector<int> hist(bins);
        std::vector<int> levels(bins + 1);
        unsigned short lower = 0;
        unsigned short upper = 0;
        RadiometricStatistics::CalculateHistogramMinMax(
            frame.pixels.data(), frame.Step(), hist.data(), levels.data(), bins + 1, 0, 65536, 0, 0,
            frame.width, frame.height, low, high, lower, upper);
        const std::string report = ReadBytes(dir / "out.txt");
        EXPECT_EQ(ReportValue(report, "lower"), std::to_string(lower)) << arguments;
        EXPECT_EQ(ReportValue(report, "upper"), std::to_string(upper)) << arguments;
        EXPECT_LT(lower, upper);
    }
}

// Bad values are usage errors with a message; neither command writes a file.
TEST(CliRadiometry, RejectsBadValues) {
    const fs::path dir = MakeScratchDir();
    const std::pair<const char*, const char*> failures[] = {
        {"stats --roi 600,0,41,10", "does not lie inside the 640 x 512 frame"},
        {"limits --roi 0,0,0,5", "--roi '0,0,0,5'"},
        {"stats --roi 1,2,3", "--roi '1,2,3'"},
        {"stats --kelvin 9000:300,8000:280", "--kelvin"},
        {"limits --fractions 0.1", "--fractions"},
        {"limits --bins 65537", "--bins"}};
    for (const auto& [arguments, message] : failures) {
        EXPECT_EQ(RunTool(dir, arguments), 2) << arguments;
        EXPECT_NE(ReadBytes(dir / "err.txt").find(message), std::string::npos) << arguments;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}
