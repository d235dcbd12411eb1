#pragma once

#include <sys/wait.h>

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
