// The command-line tool's PNG reader on arbitrary file contents.
#include "PngIo.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

using namespace Varnik::Soloma::Cli;

namespace {

// One scratch file per process, removed at exit.
class ScratchFile {
public:
    ScratchFile() : _path("/tmp/soloma_fuzz_png_" + std::to_string(getpid()) + ".png") {}
    ~ScratchFile() { std::remove(_path.c_str()); }
    const std::string& Path() const { return _path; }

private:
    std::string _path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFile scratch;
    std::FILE* file = std::fopen(scratch.Path().c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    std::string error;
    Gray16Image gray;
    if (ReadGray16Png(scratch.Path(), &gray, &error) &&
        gray.pixels.size() != static_cast<std::size_t>(gray.width) * gray.height) {
        __builtin_trap();
    }
    Image8 colour;
    if (ReadPng8(scratch.Path(), &colour, &error) &&
        colour.pixels.size() !=
            static_cast<std::size_t>(colour.width) * colour.height * colour.channels) {
        __builtin_trap();
    }
    return 0;
}
