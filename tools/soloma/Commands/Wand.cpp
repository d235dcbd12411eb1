#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include "../Paths.h"
#include "../PngIo.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;

const char* const kCommand = "wand";
const char* const kDefaultOutput = "out/wand.png";
// On the built-in frame the default seed lies on the car's body; elsewhere it is the frame's
// centre.
constexpr int kDemoSeedX = 420;
constexpr int kDemoSeedY = 370;
constexpr double kDefaultTolerance = 100.0;
// Tolerances beyond the 16-bit range select the same as the range itself.
constexpr double kLargestTolerance = 65536.0;

CommandUsage WandUsage() {
    char tolerance[32];
    std::snprintf(tolerance, sizeof tolerance, "%g", kDefaultTolerance);
    return {kCommand,
            "[--input FILE] [--seed X,Y] [--tolerance T] [--mask FILE] [--remove] [--output FILE]",
            "Selects the region of a 16-bit frame that holds the seed pixel: every pixel whose\n"
            "value lies strictly within T counts of the seed's and that touches the seed through\n"
            "such pixels (diagonals count), smoothed by a 3x3 closing (two dilations, then two\n"
            "erosions). The region is added to the mask (or cut out of it with --remove) and the\n"
            "mask is written as an 8-bit grayscale PNG, 255 where selected. Prints how many\n"
            "pixels are selected and their statistics in signal counts.",
            {InputOption(),
             {"seed", "X,Y",
              "seed column and row (default: the frame's centre; " + std::to_string(kDemoSeedX) +
                  "," + std::to_string(kDemoSeedY) + ", the car, on the built-in frame)"},
             {"tolerance", "T",
              std::string("half-width of the value band in counts, above 0 (default: ") +
                  tolerance + ")"},
             {"mask", "FILE",
              "8-bit grayscale PNG of the frame's size to start from (default: an empty mask)"},
             {"remove", "", "cut the region out of the mask instead of adding it"},
             {"output", "FILE",
              std::string("the mask, an 8-bit grayscale PNG (default: ") + kDefaultOutput + ")"}}};
}

// A mistake in what was asked for: one line on stderr, exit code 2.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\n", kCommand, message.c_str());
    return kExitUsage;
}

bool ParseSeed(const std::string& text, int* x, int* y) {
    const std::vector<std::string> parts = SplitList(text, ',');
    return parts.size() == 2 && ParseInteger(parts[0], 0, 2147483647, x) &&
           ParseInteger(parts[1], 0, 2147483647, y);
}

bool ReadMask(const std::string& path, const Gray16Image& frame, Image8* mask, std::string* error) {
    if (!fs::exists(path)) {
        *error = "no such file '" + path + "'";
        return false;
    }
    if (!ReadPng8(path, mask, error)) {
        return false;
    }
    if (mask->channels != 1) {
        *error = "'" + path + "' has " + std::to_string(mask->channels) +
                 " channels; --mask wants an 8-bit grayscale PNG";
        return false;
    }
    if (mask->width != frame.width || mask->height != frame.height) {
        *error = "'" + path + "' is " + std::to_string(mask->width) + "x" +
                 std::to_string(mask->height) + ", the frame " + std::to_string(frame.width) + "x" +
                 std::to_string(frame.height) + "; the mask must be the same size";
        return false;
    }
    return true;
}

// The selected (non-zero) pixels of the mask, gathered into one row so that the library's
// region statistics describe exactly them; positions map back through the kept indices.
struct Selection {
    std::size_t count = 0;
    Statistics statistics{};
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
};

Selection Describe(const Gray16Image& frame, const Image8& mask) {
    Selection selection;
    std::vector<unsigned short> values;
    std::vector<std::size_t> where;
    for (std::size_t i = 0; i < mask.pixels.size(); ++i) {
        if (mask.pixels[i] != 0) {
            values.push_back(frame.pixels[i]);
            where.push_back(i);
        }
    }
    selection.count = values.size();
    if (values.empty()) {
        return selection;
    }
    const int n = static_cast<int>(values.size());
    Statistics& s = selection.statistics;
    ImageProcessing::RadiometricStatistics::Calculate(values.data(), n, 1,
                                                      n * static_cast<int>(sizeof(unsigned short)),
                                                      0, 0, nullptr, 0, 0, s, true);
    const std::size_t width = static_cast<std::size_t>(frame.width);
    selection.minX = static_cast<int>(where[s.minX] % width);
    selection.minY = static_cast<int>(where[s.minX] / width);
    selection.maxX = static_cast<int>(where[s.maxX] % width);
    selection.maxY = static_cast<int>(where[s.maxX] / width);
    return selection;
}

std::string DescribeShare(std::size_t count, std::size_t pixels) {
    char text[96];
    std::snprintf(text, sizeof text, "%zu of %zu pixels (%.2f %%)", count, pixels,
                  100.0 * static_cast<double>(count) / static_cast<double>(pixels));
    return text;
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

int RunWand(const std::vector<std::string>& args) {
    const CommandUsage usage = WandUsage();
    Options options;
    std::string error;
    if (!options.Parse(usage.options, args, &error)) {
        return Refuse(error + " (see 'soloma wand --help')");
    }
    if (options.Has("help")) {
        PrintUsage(usage);
        return kExitSuccess;
    }
    double tolerance = kDefaultTolerance;
    if (options.Has("tolerance") &&
        (!ParseNumber(options.Get("tolerance"), 0.0, kLargestTolerance, &tolerance) ||
         tolerance <= 0.0)) {
        return Refuse("--tolerance wants a number above 0 and up to 65536, not '" +
                      options.Get("tolerance") + "'");
    }
    int seedX = -1;
    int seedY = -1;
    if (options.Has("seed") && !ParseSeed(options.Get("seed"), &seedX, &seedY)) {
        return Refuse("--seed wants X,Y, two whole numbers from 0, not '" + options.Get("seed") +
                      "'");
    }

    InputFrame input;
    if (options.Has("input") && !fs::exists(options.Get("input"))) {
        return Refuse("no such file '" + options.Get("input") + "'");
    }
    if (!LoadInputFrame(options, &input, &error)) {
        return Refuse(error);
    }
    const Gray16Image& frame = input.image;
    if (!options.Has("seed")) {
        const bool builtIn = input.path.empty();
        seedX = builtIn ? kDemoSeedX : frame.width / 2;
        seedY = builtIn ? kDemoSeedY : frame.height / 2;
    }
    if (seedX >= frame.width || seedY >= frame.height) {
        return Refuse("--seed " + std::to_string(seedX) + "," + std::to_string(seedY) +
                      " lies outside the " + std::to_string(frame.width) + "x" +
                      std::to_string(frame.height) + " frame");
    }

    Image8 mask{frame.width, frame.height, 1, std::vector<unsigned char>(frame.pixels.size(), 0)};
    const std::string maskPath = options.Get("mask");
    if (!maskPath.empty() && !ReadMask(maskPath, frame, &mask, &error)) {
        return Refuse(error);
    }
    const std::string output = options.Get("output", kDefaultOutput);
    for (const std::string& source : {input.path, maskPath}) {
        if (!source.empty() && SameFile(output, source)) {
            return ReportFailure("refusing to overwrite the input '" + source + "'");
        }
    }

    const auto before = static_cast<std::size_t>(
        std::count_if(mask.pixels.begin(), mask.pixels.end(), [](unsigned char v) { return v; }));
    const bool remove = options.Has("remove");
    ImageProcessing::MagicWand wand;
    const double milliseconds = TimeMilliseconds([&] {
        const float t = static_cast<float>(tolerance);
        if (remove) {
            wand.Remove(frame.pixels.data(), frame.Step(), mask.pixels.data(), mask.Step(), t,
                        seedX, seedY, frame.width, frame.height);
        } else {
            wand.Add(frame.pixels.data(), frame.Step(), mask.pixels.data(), mask.Step(), t, seedX,
                     seedY, frame.width, frame.height);
        }
    });
    if (!CreateParentDirectory(output, &error) || !WritePng8(output, mask, &error)) {
        return ReportFailure(error);
    }

    const std::size_t seedIndex = static_cast<std::size_t>(seedY) * frame.width + seedX;
    const Selection selection = Describe(frame, mask);
    const std::size_t pixels = frame.pixels.size();
    PrintReportHeader("soloma wand: magic-wand selection", input);
    PrintReportLine("size", std::to_string(frame.width) + " x " + std::to_string(frame.height));
    PrintReportLine("seed", "(" + std::to_string(seedX) + ", " + std::to_string(seedY) +
                                "), value " + std::to_string(frame.pixels[seedIndex]));
    PrintReportLine("tolerance", Format("%g counts", tolerance) + ", band " +
                                     Format("%.6g", frame.pixels[seedIndex] - tolerance) + " .. " +
                                     Format("%.6g", frame.pixels[seedIndex] + tolerance) +
                                     ", both excluded");
    PrintReportLine("mask", maskPath.empty() ? std::string("empty")
                                             : "'" + maskPath + "', " +
                                                   DescribeShare(before, pixels) + " selected");
    PrintReportLine("operation",
                    remove ? "remove the region from the mask" : "add the region to the mask");
    PrintReportLine("selected", DescribeShare(selection.count, pixels));
    if (selection.count > 0) {
        const Statistics& s = selection.statistics;
        PrintReportLine("min", Format("%.0f", s.min) + " at (" + std::to_string(selection.minX) +
                                   ", " + std::to_string(selection.minY) + ")");
        PrintReportLine("max", Format("%.0f", s.max) + " at (" + std::to_string(selection.maxX) +
                                   ", " + std::to_string(selection.maxY) + ")");
        PrintReportLine("mean", Format("%.4f", s.mean));
        PrintReportLine("sum", Format("%.0f", s.sum));
        PrintReportLine("std dev", Format("%.4f", s.stdDev));
    }
    PrintReportLine("time", Format("%.3f ms", milliseconds) + " in MagicWand::" +
                                (remove ? "Remove" : "Add") + " (first call, with allocation)");
    PrintReportLine("wrote", output + " (8-bit grayscale mask, 255 selected)");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
