#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include "../Paths.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;
using ImageProcessing::ColorTransformation;

const char* const kCommand = "convert";

CommandUsage ConvertUsage() {
    return {kCommand,
            "--from LAYOUT --to LAYOUT --size WxH IN OUT",
            "Converts a raw 8-bit colour image from one layout to another through the library's\n"
            "ColorTransformation. Raw files hold the pixels row after row, nothing else:\n"
            "  rgb     3 bytes per pixel: red, green, blue\n"
            "  rgba    4 bytes per pixel: red, green, blue, alpha (255 when converted to)\n"
            "  yuv422  2 bytes per pixel: Y0 U Y1 V for each pair of pixels (even widths only)\n"
            "rgb and rgba keep the channels in their order; the YUV conversions take byte 0 as\n"
            "red. IN must hold exactly the bytes of a WxH image of the --from layout.",
            {{"from", "LAYOUT", "layout of IN: rgb, rgba or yuv422"},
             {"to", "LAYOUT", "layout of OUT: rgb, rgba or yuv422, not the same"},
             {"size", "WxH", "width and height of the image in pixels, 1 to 65535 each"}}};
}

// A mistake in what was asked for: one line on stderr, exit code 2.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\n", kCommand, message.c_str());
    return kExitUsage;
}

// Bytes per pixel of a layout, or 0 for an unknown name.
int BytesPerPixel(const std::string& layout) {
    return layout == "rgb" ? 3 : layout == "rgba" ? 4 : layout == "yuv422" ? 2 : 0;
}

// The words that are options (with their values) and the others, the files. Options::Parse
// refuses bare words, so the files are taken out first; a word after an option that takes a
// value is that value.
void SplitWords(const std::vector<std::string>& args, const CommandUsage& usage,
                std::vector<std::string>* optionWords, std::vector<std::string>* files) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.rfind("-", 0) != 0) {
            files->push_back(word);
            continue;
        }
        optionWords->push_back(word);
        const bool takesValue =
            word.find('=') == std::string::npos &&
            std::any_of(usage.options.begin(), usage.options.end(), [&](const OptionInfo& option) {
                return word == "--" + option.name && !option.valueName.empty();
            });
        if (takesValue && i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
            optionWords->push_back(args[++i]);
        }
    }
}

bool ParseSize(const std::string& text, int* width, int* height) {
    const std::size_t x = text.find('x');
    return x != std::string::npos && ParseInteger(text.substr(0, x), 1, 65535, width) &&
           ParseInteger(text.substr(x + 1), 1, 65535, height);
}

bool ReadRaw(const std::string& path, std::vector<unsigned char>* bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

bool WriteRaw(const std::string& path, const std::vector<unsigned char>& bytes,
              std::string* error) {
    if (!CreateParentDirectory(path, error)) {
        return false;
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::error_code ignored;
        fs::remove(path, ignored);
        *error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

struct Conversion {
    const char* from;
    const char* to;
    void (*run)(const unsigned char*, int, unsigned char*, int, int, int);
    const char* name;
};

// The conversion between two different known layouts.
const Conversion& ConversionOf(const std::string& from, const std::string& to) {
    using CT = ColorTransformation;
    static const Conversion conversions[] = {
        {"rgb", "rgba", CT::RGBToRGBA, "RGBToRGBA"},
        {"rgba", "rgb", CT::RGBAToRGB, "RGBAToRGB"},
        {"rgb", "yuv422", CT::RGBToYUV422, "RGBToYUV422"},
        {"yuv422", "rgb", CT::YUV422ToRGB, "YUV422ToRGB"},
        {"rgba", "yuv422", CT::RGBAToYUV422, "RGBAToYUV422"},
        {"yuv422", "rgba", CT::YUV422ToRGBA, "YUV422ToRGBA"},
    };
    for (const Conversion& conversion : conversions) {
        if (from == conversion.from && to == conversion.to) {
            return conversion;
        }
    }
    return conversions[0];  // not reached: the layouts were checked
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
    const CommandUsage usage = ConvertUsage();
    std::vector<std::string> optionWords;
    std::vector<std::string> files;
    SplitWords(args, usage, &optionWords, &files);
    Options options;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, optionWords, &options, &exitCode)) {
        return exitCode;
    }
    for (const char* name : {"from", "to", "size"}) {
        if (!options.Has(name)) {
            return Refuse(std::string("--") + name + " is missing");
        }
    }
    const std::string from = options.Get("from");
    const std::string to = options.Get("to");
    for (const auto& [option, layout] : {std::pair{"--from", from}, {"--to", to}}) {
        if (BytesPerPixel(layout) == 0) {
            return Refuse(std::string(option) + " wants rgb, rgba or yuv422, not '" + layout + "'");
        }
    }
    if (from == to) {
        return Refuse("--from and --to are both " + from + "; there is nothing to convert");
    }
    int width = 0;
    int height = 0;
    if (!ParseSize(options.Get("size"), &width, &height)) {
        return Refuse("--size wants WxH with each from 1 to 65535, not '" + options.Get("size") +
                      "'");
    }
    if (width % 2 != 0 && (from == "yuv422" || to == "yuv422")) {
        return Refuse("--size " + options.Get("size") +
                      ": YUV 4:2:2 holds pairs of pixels, so the width must be even");
    }
    if (files.size() != 2) {
        return Refuse("give the input and the output file, IN OUT (" +
                      std::to_string(files.size()) + " given)");
    }
    const std::string& inPath = files[0];
    const std::string& outPath = files[1];

    std::vector<unsigned char> in;
    if (!fs::exists(inPath)) {
        return Refuse("no such file '" + inPath + "'");
    }
    if (!ReadRaw(inPath, &in)) {
        return ReportFailure("cannot read '" + inPath + "'");
    }
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    const std::uint64_t expected = pixels * BytesPerPixel(from);
    if (in.size() != expected) {
        return Refuse("'" + inPath + "' holds " + std::to_string(in.size()) + " bytes; a " +
                      options.Get("size") + " " + from + " image has " + std::to_string(expected));
    }
    if (SameFile(outPath, inPath)) {
        return ReportFailure("refusing to overwrite the input '" + inPath + "'");
    }

    std::vector<unsigned char> out(pixels * BytesPerPixel(to));
    const Conversion& conversion = ConversionOf(from, to);
    const double milliseconds = TimeMilliseconds([&] {
        conversion.run(in.data(), width * BytesPerPixel(from), out.data(),
                       width * BytesPerPixel(to), width, height);
    });
    std::string error;
    if (!WriteRaw(outPath, out, &error)) {
        return ReportFailure(error);
    }
    char time[96];
    std::snprintf(time, sizeof time, "%.3f ms in ColorTransformation::%s", milliseconds,
                  conversion.name);
    std::printf("soloma convert: %s -> %s\n", from.c_str(), to.c_str());
    PrintReportLine("input", "'" + inPath + "' (" + std::to_string(in.size()) + " bytes)");
    PrintReportLine("size", std::to_string(width) + " x " + std::to_string(height));
    PrintReportLine("time", time);
    PrintReportLine("wrote", outPath + " (" + std::to_string(out.size()) + " bytes)");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
