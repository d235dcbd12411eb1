#include "Paths.h"

#include <filesystem>
#include <system_error>

namespace Varnik::Soloma::Cli {

namespace fs = std::filesystem;

std::string PreviewPathFor(const std::string& output) {
    const fs::path path(output);
    std::string extension = path.extension().string();
    if (extension.empty()) {
        extension = ".png";
    }
    const fs::path name = path.stem().string() + "_preview" + extension;
    return (path.parent_path() / name).string();
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ignored;
    return fs::equivalent(a, b, ignored);
}

bool CreateParentDirectory(const std::string& path, std::string* error) {
    const fs::path parent = fs::path(path).parent_path();
    if (parent.empty()) {
        return true;
    }
    std::error_code failure;
    fs::create_directories(parent, failure);
    if (failure) {
        *error = "cannot create the folder '" + parent.string() + "': " + failure.message();
        return false;
    }
    return true;
}

}  // namespace Varnik::Soloma::Cli
