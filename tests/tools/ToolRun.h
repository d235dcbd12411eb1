#pragma once

#include "Image.h"
#include "PngIo.h"
#include "Scratch.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

// Runs "soloma <arguments>" in `dir` with its output in out.txt and err.txt there, and returns
// its exit code (-1 when it did not exit normally). SOLOMA_TOOL_PATH is set by the build.
inline int RunTool(const std::filesystem::path& dir, const std::string& arguments) {
    const std::string command = "cd '" + dir.string() + "' && '" SOLOMA_TOOL_PATH "' " + arguments +
                                " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void WriteFrame(const std::filesystem::path& path,
                       const Varnik::Soloma::Cli::Gray16Image& frame) {
    std::string error;
    ASSERT_TRUE(Varnik::Soloma::Cli::WriteGray16Png(path.string(), frame, &error)) << error;
}

inline void WritePicture(const std::filesystem::path& path,
                         const Varnik::Soloma::Cli::Image8& picture) {
    std::string error;
    ASSERT_TRUE(Varnik::Soloma::Cli::WritePng8(path.string(), picture, &error)) << error;
}

inline Varnik::Soloma::Cli::Gray16Image ReadFrame(const std::filesystem::path& path) {
    Varnik::Soloma::Cli::Gray16Image frame;
    std::string error;
    EXPECT_TRUE(Varnik::Soloma::Cli::ReadGray16Png(path.string(), &frame, &error)) << error;
    return frame;
}

inline Varnik::Soloma::Cli::Image8 ReadPicture(const std::filesystem::path& path) {
    Varnik::Soloma::Cli::Image8 picture;
    std::string error;
    EXPECT_TRUE(Varnik::Soloma::Cli::ReadPng8(path.string(), &picture, &error)) << error;
    return picture;
}

// The text after `label` and its padding on the report line that starts with it.
inline std::string ReportValue(const std::string& report, const std::string& label) {
    const std::size_t at = report.find("\n  " + label + " ");
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t start = report.find_first_not_of(' ', at + label.size() + 3);
    return report.substr(start, report.find('\n', start) - start);
}

struct UsageError {
    const char* arguments;
    const char* mentions;
};

// Each mistake is a usage error: exit code 2 and one line on stderr that mentions the culprit.
template <std::size_t N>
void ExpectUsageErrors(const std::filesystem::path& dir, const std::string& prefix,
                       const UsageError (&cases)[N], const std::string& suffix = "") {
    for (const UsageError& c : cases) {
        EXPECT_EQ(RunTool(dir, prefix + c.arguments + suffix), 2) << c.arguments;
        const std::string message = ReadBytes(dir / "err.txt");
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1)
            << c.arguments << ": " << message;
        EXPECT_NE(message.find(c.mentions), std::string::npos) << c.arguments << ": " << message;
    }
}
