// End to end: soloma stats and soloma limits report what the library gives for the same frame.

#include "Image.h"
#include "Scratch.h"
#include "SyntheticFrame.h"
#include "ToolRun.h"

#include <Varnik/Soloma/ImageProcessing.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

using namespace Varnik::Soloma::Cli;
using Varnik::Soloma::ImageProcessing::RadiometricStatistics;
namespace fs = std::filesystem;

namespace {

// The text after `label` and its padding on the report line that starts with it.
std::string ReportValue(const std::string& report, const std::string& label) {
    const std::size_t at = report.find("\n  " + label + " ");
    const std::size_t start = report.find_first_not_of(' ', at + label.size() + 3);
    return at == std::string::npos ? "" : report.substr(start, report.find('\n', start) - start);
}

}  // namespace

// Kelvin through 280 K at signal 7900 rising 0.025 K per count to signal 8700, in a region that
// holds signals on both sides of the table; then display limits of the whole frame.
TEST(CliRadiometry, ReportsWhatTheLibraryGives) {
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

// Bad values are usage errors with a message; neither command writes a file.
TEST(CliRadiometry, RejectsBadValues) {
    const fs::path dir = MakeScratchDir();
    for (const auto& [arguments, message] :
         {std::pair{"stats --roi 600,0,41,10", "does not lie inside the 640 x 512 frame"},
          {"limits --bins 65537", "--bins"}}) {
        EXPECT_EQ(RunTool(dir, arguments), 2) << arguments;
        EXPECT_NE(ReadBytes(dir / "err.txt").find(message), std::string::npos) << arguments;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}
