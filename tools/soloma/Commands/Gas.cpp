#include "CommandSupport.h"
#include "Commands.h"
#include "NumberOptions.h"

#include "../ColourImage.h"
#include "../Paths.h"
#include "../PngIo.h"
#include "../SyntheticPlume.h"

#include <Varnik/Soloma/ImageProcessing.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace Varnik::Soloma::Cli {
namespace {

namespace fs = std::filesystem;
using ImageProcessing::Palettes;

const char* const kCommand = "gas";
const char* const kDefaultOutput = "out/gas.png";
const char* const kDefaultSequenceOutput = "out/gas";
// Without files, frame 0 of the built-in plume sequence is the reference and this later frame,
// with the camera moved and the plume grown, the current frame.
constexpr int kDemoFrame = 45;

// Options that only one of the two detectors has.
const char* const kPsdOnly[] = {"psd-mode",  "window",  "step",
                                "threshold", "damping", "previous-mean"};
const char* const kDifferenceOnly[] = {"sensitivity"};

CommandUsage GasUsage() {
    return {
        kCommand,
        "[--ref FILE --input FILE | --sequence DIR] [--colour FILE | --palette NAME] "
        "[--method psd|difference] [detector options] [--output PATH]",
        "Finds gas in a 16-bit frame by comparing it with a reference frame, and writes an\n"
        "8-bit RGBA overlay: the colour image of the frame tinted where gas is found. The\n"
        "colour image is --colour, or the frame coloured by --palette over its 1st..99th\n"
        "percentile. With --sequence, every frame of the folder in name order is compared\n"
        "with the chosen reference through one detector, so that its damping acts. Without\n"
        "files, frame " +
            std::to_string(kDemoFrame) +
            " of a built-in synthetic leak is compared with its gas-free frame 0.\n"
            "The options of one method are refused with the other.",
        {{"ref", "FILE", "reference frame, a 16-bit grayscale PNG"},
         {"input", "FILE", "frame to search for gas, the same size"},
         {"colour", "FILE", "8-bit RGB or RGBA PNG of the input frame, the same size"},
         {"palette", "NAME", "grey, iron or rainbow, when there is no --colour (default: grey)"},
         {"sequence", "DIR", "every *.png of DIR in name order, instead of --ref/--input"},
         {"reference", "WHICH",
          "with --sequence: first, previous or a frame index N from 0 (default: first)"},
         {"output", "PATH",
          std::string("overlay (default: ") + kDefaultOutput + "); with --sequence a folder (" +
              kDefaultSequenceOutput + ")"},
         {"method", "NAME", "psd (power spectral density) or difference (default: psd)"},
         {"stabilize", "on|off", "align the reference with the frame first (default: on)"},
         {"edge-factor", "N", "suppression of the difference on edges, 0..1000 (default: 8)"},
         {"colorization", "0|1|2", "tint: 0 grey, 1 darken, 2 green/magenta (default: 0)"},
         {"psd-mode", "0|1|2",
          "psd: spectra along 0 rows, 1 columns, 2 the smaller of both (default: 2)"},
         {"window", "N", "psd: side of the square blocks, 2..1024 (default: 32)"},
         {"step", "N", "psd: distance between blocks, 1..1024 (default: 16)"},
         {"threshold", "F", "psd: cut at F times the mean block measure (default: 3.5)"},
         {"damping", "F", "psd: weight of earlier frames' mean level, 0..1 (default: 0)"},
         {"previous-mean", "", "psd: cut at the previous frame's mean level (default: off)"},
         {"sensitivity", "N",
          "difference: smallest smoothed difference in counts, 0..65535 (default: 20)"}}};
}

// A mistake in what was asked for: one line on stderr, exit code 2.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\n", kCommand, message.c_str());
    return kExitUsage;
}

struct Settings {
    bool difference = false;  // the method: false psd, true difference
    bool stabilize = true;
    int edgeFactor = 8;
    int colorization = 0;
    int psdMode = 2;
    int window = 32;
    int step = 16;
    float threshold = 3.5f;
    float damping = 0.0f;
    bool previousMean = false;
    int sensitivity = 20;
    Palettes::Kind palette = Palettes::Grey;
    std::string paletteName = "grey";
};

// The numbers of the detector options, in the wording of the other commands but on one line.
bool ReadInteger(const Options& options, const char* name, long lo, long hi, int* value,
                 int* exitCode) {
    if (options.Has(name) && !ParseInteger(options.Get(name), lo, hi, value)) {
        *exitCode =
            Refuse(std::string("--") + name + " wants a whole number from " + std::to_string(lo) +
                   " to " + std::to_string(hi) + ", not '" + options.Get(name) + "'");
        return false;
    }
    return true;
}

bool ReadNumber(const Options& options, const char* name, double lo, double hi, float* value,
                int* exitCode) {
    double parsed = 0.0;
    if (!options.Has(name)) {
        return true;
    }
    if (!ParseNumber(options.Get(name), lo, hi, &parsed)) {
        char range[64];
        std::snprintf(range, sizeof range, " from %g to %g", lo, hi);
        *exitCode = Refuse(std::string("--") + name + " wants a number" + range + ", not '" +
                           options.Get(name) + "'");
        return false;
    }
    *value = static_cast<float>(parsed);
    return true;
}

// The option of another method, if any was given.
template <std::size_t N>
const char* GivenOf(const Options& options, const char* const (&names)[N]) {
    for (const char* name : names) {
        if (options.Has(name)) {
            return name;
        }
    }
    return nullptr;
}

bool ReadSettings(const Options& options, Settings* settings, int* exitCode) {
    const std::string method = options.Get("method", "psd");
    if (method != "psd" && method != "difference") {
        *exitCode = Refuse("--method wants psd or difference, not '" + method + "'");
        return false;
    }
    settings->difference = method == "difference";
    const char* foreign =
        settings->difference ? GivenOf(options, kPsdOnly) : GivenOf(options, kDifferenceOnly);
    if (foreign != nullptr) {
        *exitCode = Refuse(std::string("--") + foreign + " belongs to --method " +
                           (settings->difference ? "psd" : "difference") + ", not " + method);
        return false;
    }
    const std::string stabilize = options.Get("stabilize", "on");
    if (stabilize != "on" && stabilize != "off") {
        *exitCode = Refuse("--stabilize wants on or off, not '" + stabilize + "'");
        return false;
    }
    settings->stabilize = stabilize == "on";
    if (options.Has("palette")) {
        settings->paletteName = options.Get("palette");
        if (!Palettes::FromName(settings->paletteName.c_str(), &settings->palette)) {
            *exitCode = Refuse("--palette wants grey, iron or rainbow, not '" +
                               settings->paletteName + "'");
            return false;
        }
    }
    if (options.Has("palette") && options.Has("colour")) {
        *exitCode = Refuse("give either --colour or --palette, not both");
        return false;
    }
    settings->previousMean = options.Has("previous-mean");
    return ReadInteger(options, "edge-factor", 0, 1000, &settings->edgeFactor, exitCode) &&
           ReadInteger(options, "colorization", 0, 2, &settings->colorization, exitCode) &&
           ReadInteger(options, "psd-mode", 0, 2, &settings->psdMode, exitCode) &&
           ReadInteger(options, "window", 2, 1024, &settings->window, exitCode) &&
           ReadInteger(options, "step", 1, 1024, &settings->step, exitCode) &&
           ReadNumber(options, "threshold", 0, 1000, &settings->threshold, exitCode) &&
           ReadNumber(options, "damping", 0, 1, &settings->damping, exitCode) &&
           ReadInteger(options, "sensitivity", 0, 65535, &settings->sensitivity, exitCode);
}

std::string DescribeSettings(const Settings& s) {
    char text[256];
    if (s.difference) {
        std::snprintf(text, sizeof text, "sensitivity %d", s.sensitivity);
    } else {
        std::snprintf(text, sizeof text,
                      "psd-mode %d, window %d, step %d, threshold %g, damping %g, previous-mean %s",
                      s.psdMode, s.window, s.step, s.threshold, s.damping,
                      s.previousMean ? "on" : "off");
    }
    return std::string(text) + ", edge-factor " + std::to_string(s.edgeFactor) + ", colorization " +
           std::to_string(s.colorization) + ", stabilize " + (s.stabilize ? "on" : "off");
}

// Frames the detector can work on: the psd blocks must fit inside them, and the difference
// method's 7x7 smoothing needs more than 7 pixels each way.
bool CheckFrameSize(const Settings& settings, int width, int height, int* exitCode) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (settings.difference && (width < 8 || height < 8)) {
        *exitCode = Refuse("the frames are " + size +
                           "; --method difference needs 8 pixels or more each way");
        return false;
    }
    if (!settings.difference && (settings.window >= width || settings.window >= height)) {
        *exitCode =
            Refuse("the frames are " + size + "; --window " + std::to_string(settings.window) +
                   " needs frames larger than the window each way");
        return false;
    }
    return true;
}

ColourImage PaletteColouring(const Gray16Image& frame, Palettes::Kind palette, int* low,
                             int* high) {
    Palettes::DisplayRange(frame.pixels.data(), frame.Step(), frame.width, frame.height, low, high);
    return PaletteColouring(frame, palette, *low, *high);
}

bool ReadColour(const std::string& path, int width, int height, ColourImage* colour,
                std::string* error) {
    Image8 image;
    if (!fs::exists(path)) {
        *error = "no such file '" + path + "'";
        return false;
    }
    if (!ReadPng8(path, &image, error)) {
        return false;
    }
    if (image.channels < 3) {
        *error = "'" + path + "' is a gray PNG; --colour wants an 8-bit RGB or RGBA PNG";
        return false;
    }
    if (image.width != width || image.height != height) {
        *error = "'" + path + "' is " + std::to_string(image.width) + "x" +
                 std::to_string(image.height) + ", the frames " + std::to_string(width) + "x" +
                 std::to_string(height) + "; the colour image must be the same size";
        return false;
    }
    *colour = FromRgb(image);
    return true;
}

// Whether pixel i of the overlay differs from the overlay of a zero detection, in which the
// library's tint leaves blue and red at the colour image's red, and green at its green (at its
// red for the grey tint, colorization 0).
bool IsTinted(const ColourImage& colour, const std::vector<unsigned char>& overlay,
              int colorization, std::size_t i) {
    const unsigned char* pixel = &overlay[4 * i];
    const unsigned char red = colour.bgra[4 * i + 2];
    const unsigned char green = colorization == 0 ? red : colour.bgra[4 * i + 1];
    return pixel[0] != red || pixel[1] != green || pixel[2] != red;
}

std::size_t CountTinted(const ColourImage& colour, const std::vector<unsigned char>& overlay,
                        int colorization) {
    std::size_t tinted = 0;
    for (std::size_t i = 0; i < overlay.size() / 4; ++i) {
        tinted += IsTinted(colour, overlay, colorization, i);
    }
    return tinted;
}

bool WriteOverlay(const std::string& path, const std::vector<unsigned char>& overlay, int width,
                  int height, std::string* error) {
    return CreateParentDirectory(path, error) &&
           WriteColourPng(path, ColourImage{width, height, overlay}, error);
}

// One of the two detectors, set up from the options; kept for a whole sequence.
class Detector {
public:
    explicit Detector(const Settings& settings) {
        if (settings.difference) {
            _difference = std::make_unique<ImageProcessing::GasDetectionDifference>();
            _difference->SetEdgeFactor(settings.edgeFactor);
            _difference->SetSensitivityThreshold(settings.sensitivity);
            _difference->SetColorizationMethod(settings.colorization);
            _difference->SetUseImageStabilisation(settings.stabilize);
        } else {
            _psd = std::make_unique<ImageProcessing::GasDetection>(
                settings.psdMode, settings.window, settings.step, settings.edgeFactor,
                settings.threshold, settings.damping);
            _psd->SetColorizationMethod(settings.colorization);
            _psd->SetUseMeanFromPreviousImage(settings.previousMean);
            _psd->SetUseImageStabilisation(settings.stabilize);
        }
    }

    const char* Title() const {
        return _psd ? "soloma gas: gas detection by power spectral density"
                    : "soloma gas: gas detection by frame difference";
    }
    const char* CallName() const {
        return _psd ? "GasDetection::Run" : "GasDetectionDifference::Run";
    }

    // The overlay of `frame` against `ref`; returns the milliseconds the detector took.
    double Run(const Gray16Image& frame, const Gray16Image& ref, ColourImage& colour,
               std::vector<unsigned char>* overlay) {
        overlay->assign(colour.bgra.size(), 0);
        return TimeMilliseconds([&] {
            if (_psd) {
                _psd->Run(frame.pixels.data(), frame.Step(), ref.pixels.data(), ref.Step(),
                          colour.bgra.data(), colour.Step(), overlay->data(), colour.Step(),
                          frame.width, frame.height);
            } else {
                _difference->Run(frame.pixels.data(), frame.Step(), ref.pixels.data(), ref.Step(),
                                 colour.bgra.data(), colour.Step(), overlay->data(), colour.Step(),
                                 frame.width, frame.height);
            }
        });
    }

private:
    std::unique_ptr<ImageProcessing::GasDetection> _psd;
    std::unique_ptr<ImageProcessing::GasDetectionDifference> _difference;
};

std::string DescribeShare(std::size_t tinted, std::size_t pixels) {
    char text[96];
    std::snprintf(text, sizeof text, "%zu of %zu pixels (%.2f %%)", tinted, pixels,
                  pixels == 0 ? 0.0 : 100.0 * static_cast<double>(tinted) / pixels);
    return text;
}

// The pair to compare: two files, or two frames of the built-in plume sequence, whose true
// plume mask then comes along in *plumeMask.
bool LoadPair(const Options& options, InputFrame* ref, InputFrame* frame,
              std::vector<unsigned char>* plumeMask, int* exitCode) {
    std::string error;
    if (options.Has("ref") != options.Has("input")) {
        *exitCode = Refuse("give both --ref and --input, or neither");
        return false;
    }
    if (!options.Has("ref")) {
        const PlumeSequence sequence;
        ref->image = sequence.Frame(0).frame;
        PlumeFrame current = sequence.Frame(kDemoFrame);
        frame->image = std::move(current.frame);
        *plumeMask = std::move(current.plumeMask);
        ref->description = "built-in plume sequence, frame 0 (seed 1)";
        frame->description = "built-in plume sequence, frame " + std::to_string(kDemoFrame) +
                             " (camera moved by " + std::to_string(current.jitterX) + ", " +
                             std::to_string(current.jitterY) + ")";
        return true;
    }
    if (!ReadInputPair(options, ref, frame, &error)) {
        *exitCode = Refuse(error);
        return false;
    }
    return true;
}

int RunPair(const Options& options, const Settings& settings) {
    InputFrame ref;
    InputFrame frame;
    std::vector<unsigned char> plumeMask;
    int exitCode = kExitSuccess;
    if (!LoadPair(options, &ref, &frame, &plumeMask, &exitCode) ||
        !CheckFrameSize(settings, frame.image.width, frame.image.height, &exitCode)) {
        return exitCode;
    }
    const Gray16Image& image = frame.image;
    std::string error;
    ColourImage colour;
    std::string colourDescription;
    if (options.Has("colour")) {
        if (!ReadColour(options.Get("colour"), image.width, image.height, &colour, &error)) {
            return Refuse(error);
        }
        colourDescription = "'" + options.Get("colour") + "'";
    } else {
        int low = 0;
        int high = 0;
        colour = PaletteColouring(image, settings.palette, &low, &high);
        colourDescription = settings.paletteName + " palette over " + std::to_string(low) + ".." +
                            std::to_string(high) + " (1st..99th percentile)";
    }
    const std::string output = options.Get("output", kDefaultOutput);
    for (const std::string& input : {ref.path, frame.path, options.Get("colour")}) {
        if (!input.empty() && SameFile(output, input)) {
            return ReportFailure("refusing to overwrite the input '" + input + "'");
        }
    }

    Detector detector(settings);
    std::vector<unsigned char> overlay;
    const double milliseconds = detector.Run(image, ref.image, colour, &overlay);
    const std::size_t tinted = CountTinted(colour, overlay, settings.colorization);
    if (!WriteOverlay(output, overlay, image.width, image.height, &error)) {
        return ReportFailure(error);
    }

    char time[128];
    std::snprintf(time, sizeof time, "%.3f ms in %s (first call, with allocation)", milliseconds,
                  detector.CallName());
    std::printf("%s\n", detector.Title());
    PrintReportLine("reference", ref.description);
    PrintReportLine("input", frame.description);
    PrintReportLine("size", std::to_string(image.width) + " x " + std::to_string(image.height));
    PrintReportLine("colour", colourDescription);
    PrintReportLine("settings", DescribeSettings(settings));
    PrintReportLine("tinted", DescribeShare(tinted, image.pixels.size()));
    if (!plumeMask.empty()) {
        // How the detection compares with the truth the generator knows.
        std::size_t plume = 0;
        std::size_t found = 0;
        for (std::size_t i = 0; i < plumeMask.size(); ++i) {
            plume += plumeMask[i] != 0;
            found += plumeMask[i] != 0 && IsTinted(colour, overlay, settings.colorization, i);
        }
        PrintReportLine("true plume", std::to_string(plume) + " pixels, of which " +
                                          std::to_string(found) + " tinted");
    }
    PrintReportLine("time", time);
    PrintReportLine("wrote", output + " (8-bit RGBA overlay)");
    return kExitSuccess;
}

// --reference: the first frame, the previous one, or a frame index.
struct ReferenceChoice {
    bool previous = false;
    std::size_t index = 0;
};

bool ParseReference(const Options& options, std::size_t frameCount, ReferenceChoice* choice,
                    int* exitCode) {
    const std::string text = options.Get("reference", "first");
    int index = 0;
    if (text == "previous") {
        choice->previous = true;
    } else if (text != "first") {
        if (!ParseInteger(text, 0, 2147483647, &index)) {
            *exitCode =
                Refuse("--reference wants first, previous or a frame index, not '" + text + "'");
            return false;
        }
        if (static_cast<std::size_t>(index) >= frameCount) {
            *exitCode = Refuse("--reference " + text + " is past the last frame; the folder has " +
                               std::to_string(frameCount) + " (indices from 0)");
            return false;
        }
        choice->index = static_cast<std::size_t>(index);
    }
    return true;
}

int RunSequence(const Options& options, const Settings& settings) {
    const std::string folder = options.Get("sequence");
    const fs::path outputFolder = options.Get("output", kDefaultSequenceOutput);
    std::vector<fs::path> frames;
    std::string error;
    int exitCode = kExitSuccess;
    if (options.Has("colour")) {
        return Refuse("--colour goes with --ref and --input; a sequence is coloured by --palette");
    }
    if (!fs::is_directory(folder)) {
        return Refuse("no such folder '" + folder + "'");
    }
    if (!ListFrames(folder, &frames, &error)) {
        return Refuse(error);
    }
    ReferenceChoice choice;
    if (!ParseReference(options, frames.size(), &choice, &exitCode)) {
        return exitCode;
    }
    // The results carry the frames' names, so they must not land in the frames' folder.
    if (SameFile(folder, outputFolder.string())) {
        return ReportFailure("refusing to write the results into the input folder '" + folder +
                             "'");
    }
    Gray16Image ref;
    if (!ReadFrame(frames[choice.index].string(), &ref, &error)) {
        return Refuse(error);
    }
    if (!CheckFrameSize(settings, ref.width, ref.height, &exitCode)) {
        return exitCode;
    }
    Detector detector(settings);
    std::printf("%s\n", detector.Title());
    PrintReportLine("frames", std::to_string(frames.size()) + " from '" + folder +
                                  "', each against " +
                                  (choice.previous ? std::string("the previous one (the first "
                                                                 "against itself)")
                                                   : frames[choice.index].filename().string()));
    PrintReportLine("colour",
                    settings.paletteName + " palette over each frame's 1st..99th percentile");
    PrintReportLine("settings", DescribeSettings(settings));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Gray16Image frame;
        if (!ReadFrame(frames[i].string(), &frame, &error)) {
            return Refuse(error);
        }
        if (frame.width != ref.width || frame.height != ref.height) {
            return Refuse(SizeMismatch(frames[i].string(), frame, ref));
        }
        int low = 0;
        int high = 0;
        ColourImage colour = PaletteColouring(frame, settings.palette, &low, &high);
        std::vector<unsigned char> overlay;
        const double milliseconds = detector.Run(frame, ref, colour, &overlay);
        const std::size_t tinted = CountTinted(colour, overlay, settings.colorization);
        const std::string output = (outputFolder / frames[i].filename()).string();
        if (!WriteOverlay(output, overlay, frame.width, frame.height, &error)) {
            return ReportFailure(error);
        }
        std::printf("  [%zu/%zu] %s  tinted %s  %.3f ms  wrote %s\n", i + 1, frames.size(),
                    frames[i].filename().string().c_str(),
                    DescribeShare(tinted, frame.pixels.size()).c_str(), milliseconds,
                    output.c_str());
        if (choice.previous) {
            ref = std::move(frame);
        }
    }
    return kExitSuccess;
}

}  // namespace

int RunGas(const std::vector<std::string>& args) {
    const CommandUsage usage = GasUsage();
    Options options;
    Settings settings;
    int exitCode = kExitSuccess;
    if (!ParseCommandLine(usage, args, &options, &exitCode)) {
        return exitCode;
    }
    if (options.Has("sequence") && (options.Has("ref") || options.Has("input"))) {
        return Refuse("give either --ref and --input, or --sequence, not both");
    }
    if (options.Has("reference") && !options.Has("sequence")) {
        return Refuse("--reference goes with --sequence; a pair names its reference by --ref");
    }
    if (!ReadSettings(options, &settings, &exitCode)) {
        return exitCode;
    }
    return options.Has("sequence") ? RunSequence(options, settings) : RunPair(options, settings);
}

}  // namespace Varnik::Soloma::Cli
