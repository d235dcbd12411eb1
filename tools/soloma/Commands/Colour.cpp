#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include "../ColourImage.h"
#include "../Paths.h"
#include "../PngIo.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;
using ImageProcessing::Palettes;

const char* const kCommand = "colour";
const char* const kDefaultOutput = "out/colour.png";

CommandUsage ColourUsage() {
    return {kCommand,
            "[--input FILE] [--palette NAME] [--range LOW,HIGH] [--blend FILE,WEIGHT] "
            "[--output FILE]",
            "Colours a 16-bit frame by a built-in palette and writes an 8-bit RGBA PNG. The\n"
            "palette's first colour goes to LOW and below, its last to HIGH and above.\n"
            "--blend FILE,WEIGHT mixes the colouring with another image through the library's\n"
            "Blending: FILE is another 16-bit frame, coloured by the same palette over the same\n"
            "range, or an 8-bit RGB or RGBA PNG taken as it is (its alpha is not used); each\n"
            "channel becomes WEIGHT times FILE's plus (1 - WEIGHT) times the frame's colour.\n"
            "Without --input, the built-in synthetic frame is coloured.",
            {InputOption(),
             {"palette", "NAME", "grey, iron or rainbow (default: iron)"},
             {"range", "LOW,HIGH",
              "counts at the palette's ends, 0 <= LOW < HIGH <= 65535 (default: the frame's "
              "1st..99th percentile)"},
             {"blend", "FILE,WEIGHT",
              "mix with FILE, which gets WEIGHT from 0 to 1 (default: no blending)"},
             {"output", "FILE", std::string("8-bit RGBA PNG (default: ") + kDefaultOutput + ")"}}};
}

// A mistake in what was asked for: one line on stderr, exit code 2.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\n", kCommand, message.c_str());
    return kExitUsage;
}

// The colour Palettes::Apply gives every value from 0 to 65535 over the range, so that
// Blending, which looks colours up by the pixel's value, colours the frame exactly as Apply.
std::vector<RGBQUAD> ColourOfEveryValue(Palettes::Kind palette, int low, int high) {
    Gray16Image ramp{65536, 1, std::vector<unsigned short>(65536)};
    std::iota(ramp.pixels.begin(), ramp.pixels.end(), 0);
    const ColourImage colours = PaletteColouring(ramp, palette, low, high);
    std::vector<RGBQUAD> table(65536);
    std::memcpy(table.data(), colours.bgra.data(), colours.bgra.size());
    return table;
}

struct Settings {
    Palettes::Kind palette = Palettes::Iron;
    std::string paletteName = "iron";
    bool givenRange = false;
    int low = 0;
    int high = 0;
    std::string blendPath;  // empty without --blend
    float blendWeight = 0.0f;
};

bool ReadSettings(const Options& options, Settings* settings, int* exitCode) {
    if (options.Has("palette")) {
        settings->paletteName = options.Get("palette");
        if (!Palettes::FromName(settings->paletteName.c_str(), &settings->palette)) {
            *exitCode = Refuse("--palette wants grey, iron or rainbow, not '" +
                               settings->paletteName + "'");
            return false;
        }
    }
    if (options.Has("range")) {
        const std::string text = options.Get("range");
        const std::vector<std::string> parts = SplitList(text, ',');
        if (parts.size() != 2 || !ParseInteger(parts[0], 0, 65535, &settings->low) ||
            !ParseInteger(parts[1], 0, 65535, &settings->high) || settings->low >= settings->high) {
            *exitCode =
                Refuse("--range wants LOW,HIGH with 0 <= LOW < HIGH <= 65535, not '" + text + "'");
            return false;
        }
        settings->givenRange = true;
    }
    if (options.Has("blend")) {
        // The weight follows the last comma, so that file names may hold commas.
        const std::string text = options.Get("blend");
        const std::size_t comma = text.rfind(',');
        double weight = 0.0;
        if (comma == std::string::npos || comma == 0 ||
            !ParseNumber(text.substr(comma + 1), 0.0, 1.0, &weight)) {
            *exitCode =
                Refuse("--blend wants FILE,WEIGHT with a weight from 0 to 1, not '" + text + "'");
            return false;
        }
        settings->blendPath = text.substr(0, comma);
        settings->blendWeight = static_cast<float>(weight);
    }
    return true;
}

// The image to blend with, as 4-byte colour: another frame coloured like the input, or an
// RGB or RGBA PNG.
bool ReadBlendImage(const Settings& settings, const Gray16Image& frame, ColourImage* colour,
                    std::string* kind, std::string* error) {
    const std::string& path = settings.blendPath;
    if (!fs::exists(path)) {
        *error = "no such file '" + path + "'";
        return false;
    }
    Gray16Image other;
    Image8 image;
    std::string frameError;
    int width = 0;
    int height = 0;
    if (ReadGray16Png(path, &other, &frameError)) {
        width = other.width;
        height = other.height;
        *kind = "16-bit frame, coloured alike";
    } else if (ReadPng8(path, &image, error)) {
        if (image.channels < 3) {
            *error = "'" + path + "' is a gray 8-bit PNG; --blend wants a 16-bit frame or an " +
                     "8-bit RGB or RGBA PNG";
            return false;
        }
        width = image.width;
        height = image.height;
        *kind = image.channels == 3 ? "8-bit RGB" : "8-bit RGBA, alpha not used";
    } else {
        return false;
    }
    if (width != frame.width || height != frame.height) {
        *error = "'" + path + "' is " + std::to_string(width) + "x" + std::to_string(height) +
                 ", the frame " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                 "; --blend wants an image of the same size";
        return false;
    }
    if (!other.pixels.empty()) {
        *colour = PaletteColouring(other, settings.palette, settings.low, settings.high);
        return true;
    }
    *colour = FromRgb(image);
    return true;
}

bool WriteRgba(const std::string& path, const ColourImage& colour, std::string* error) {
    return CreateParentDirectory(path, error) && WriteColourPng(path, colour, error);
}

}  // namespace

int RunColour(const std::vector<std::string>& args) {
    const CommandUsage usage = ColourUsage();
    Options options;
    Settings settings;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode) ||
        !ReadSettings(options, &settings, &exitCode)) {
        return exitCode;
    }
    InputFrame input;
    std::string error;
    if (options.Has("input")) {
        input.path = options.Get("input");
        if (!ReadFrame(input.path, &input.image, &error)) {
            return Refuse(error);
        }
        input.description = "'" + input.path + "' (16-bit grayscale PNG)";
    } else if (!LoadInputFrame(options, &input, &error)) {
        return ReportFailure(error);
    }
    const Gray16Image& frame = input.image;
    std::string rangeText = " (given)";
    if (!settings.givenRange) {
        Palettes::DisplayRange(frame.pixels.data(), frame.Step(), frame.width, frame.height,
                               &settings.low, &settings.high);
        rangeText = " (about the 1st..99th percentile)";
    }
    const std::string output = options.Get("output", kDefaultOutput);
    for (const std::string& source : {input.path, settings.blendPath}) {
        if (!source.empty() && SameFile(output, source)) {
            return ReportFailure("refusing to overwrite the input '" + source + "'");
        }
    }

    ColourImage colour;
    std::string blendText = "none";
    std::string timedCall = "Palettes::Apply";
    double milliseconds = 0.0;
    if (settings.blendPath.empty()) {
        milliseconds = TimeMilliseconds([&] {
            colour = PaletteColouring(frame, settings.palette, settings.low, settings.high);
        });
    } else {
        std::string kind;
        if (!ReadBlendImage(settings, frame, &colour, &kind, &error)) {
            return Refuse(error);
        }
        const std::vector<RGBQUAD> table =
            ColourOfEveryValue(settings.palette, settings.low, settings.high);
        const float weight = settings.blendWeight;
        milliseconds = TimeMilliseconds([&] {
            ImageProcessing::Blending::ColorIRImage(
                table.data(), reinterpret_cast<const unsigned char*>(frame.pixels.data()),
                frame.Step(), colour.bgra.data(), colour.Step(), 1.0f - weight, weight, frame.width,
                frame.height);
        });
        char text[64];
        std::snprintf(text, sizeof text, "%g of ", weight);
        blendText = text + ("'" + settings.blendPath + "' (" + kind + ")");
        timedCall = "Blending::ColorIRImage";
    }
    if (!WriteRgba(output, colour, &error)) {
        return ReportFailure(error);
    }

    char time[128];
    std::snprintf(time, sizeof time, "%.3f ms in %s", milliseconds, timedCall.c_str());
    PrintReportHeader("soloma colour: palette colouring", input);
    PrintReportLine("size", std::to_string(frame.width) + " x " + std::to_string(frame.height));
    PrintReportLine("palette", settings.paletteName);
    PrintReportLine(
        "range", std::to_string(settings.low) + ".." + std::to_string(settings.high) + rangeText);
    PrintReportLine("blend", blendText);
    PrintReportLine("time", time);
    PrintReportLine("wrote", output + " (8-bit RGBA)");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
