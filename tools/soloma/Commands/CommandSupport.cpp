#include "CommandSupport.h"

#include "../Paths.h"
#include "../PngIo.h"
#include "../SyntheticFrame.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace Varnik::Soloma::Cli {

void PrintUsage(const CommandUsage& usage) {
    std::printf("usage: soloma %s %s\n%s\n\noptions:\n%s", usage.name.c_str(),
                usage.synopsis.c_str(), usage.summary.c_str(),
                FormatOptions(usage.options).c_str());
}

bool ParseCommandLine(const CommandUsage& usage, const std::vector<std::string>& args,
                      Options* options, int* exitCode) {
    std::string error;
    if (!options->Parse(usage.options, args, &error)) {
        // A short reminder only; the full list is one --help away.
        std::fprintf(
            stderr, "soloma %s: %s\nusage: soloma %s %s\nRun 'soloma %s --help' for the options.\n",
            usage.name.c_str(), error.c_str(), usage.name.c_str(), usage.synopsis.c_str(),
            usage.name.c_str());
        *exitCode = kExitUsage;
        return false;
    }
    if (options->Has("help")) {
        PrintUsage(usage);
        *exitCode = kExitSuccess;
        return false;
    }
    return true;
}

bool ReadFrame(const std::string& path, Gray16Image* frame, std::string* error) {
    if (!std::filesystem::exists(path)) {
        *error = "no such file '" + path + "'";
        return false;
    }
    return ReadGray16Png(path, frame, error);
}

std::string SizeMismatch(const std::string& path, const Gray16Image& frame,
                         const Gray16Image& ref) {
    return "'" + path + "' is " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
           ", the reference " + std::to_string(ref.width) + "x" + std::to_string(ref.height) +
           "; frames must be the same size";
}

bool ReadFramePair(const std::string& refPath, const std::string& framePath, Gray16Image* ref,
                   Gray16Image* frame, std::string* error) {
    if (!ReadFrame(refPath, ref, error) || !ReadFrame(framePath, frame, error)) {
        return false;
    }
    if (frame->width != ref->width || frame->height != ref->height) {
        *error = SizeMismatch(framePath, *frame, *ref);
        return false;
    }
    return true;
}

bool ReadInputPair(const Options& options, InputFrame* ref, InputFrame* frame, std::string* error) {
    ref->path = options.Get("ref");
    frame->path = options.Get("input");
    if (!ReadFramePair(ref->path, frame->path, &ref->image, &frame->image, error)) {
        return false;
    }
    ref->description = "'" + ref->path + "'";
    frame->description = "'" + frame->path + "'";
    return true;
}

bool ListFrames(const std::string& folder, std::vector<std::filesystem::path>* frames,
                std::string* error) {
    std::error_code failure;
    for (const auto& entry : std::filesystem::directory_iterator(folder, failure)) {
        if (entry.is_regular_file() && entry.path().extension() == ".png") {
            frames->push_back(entry.path());
        }
    }
    if (failure) {
        *error = "cannot read the folder '" + folder + "': " + failure.message();
        return false;
    }
    std::sort(frames->begin(), frames->end());
    if (frames->empty()) {
        *error = "no .png frames in '" + folder + "'";
        return false;
    }
    return true;
}

int ReportFailure(const std::string& message) {
    std::fprintf(stderr, "soloma: %s\n", message.c_str());
    return kExitFailure;
}

int ReportBadValue(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "soloma %s: %s\nRun 'soloma %s --help' for the options.\n",
                 command.c_str(), message.c_str(), command.c_str());
    return kExitUsage;
}

OptionInfo InputOption() {
    return {"input", "FILE",
            "16-bit grayscale PNG (default: a built-in synthetic " +
                std::to_string(kSyntheticWidth) + "x" + std::to_string(kSyntheticHeight) +
                " frame)"};
}

bool LoadInputFrame(const Options& options, InputFrame* frame, std::string* error) {
    if (!options.Has("input")) {
        frame->image = MakeSyntheticFrame();
        frame->path.clear();
        frame->description =
            "built-in synthetic frame (seed " + std::to_string(kSyntheticSeed) + ")";
        return true;
    }
    frame->path = options.Get("input");
    if (!ReadGray16Png(frame->path, &frame->image, error)) {
        return false;
    }
    frame->description = "'" + frame->path + "' (16-bit grayscale PNG)";
    return true;
}

OptionInfo OutputOption(const std::string& defaultOutput) {
    return {"output", "FILE",
            "16-bit result (default: " + defaultOutput + "), with <stem>_preview.png beside it"};
}

bool PlanOutputs(const std::string& output, const InputFrame& input, OutputFiles* files,
                 std::string* error) {
    files->frame = output;
    files->preview = PreviewPathFor(output);
    // The preview is checked too: "--input a_preview.png --output a.png" would overwrite it.
    for (const std::string& path : {files->frame, files->preview}) {
        if (!input.path.empty() && SameFile(path, input.path)) {
            *error = "refusing to overwrite the input '" + input.path + "' with '" + path + "'";
            return false;
        }
    }
    return true;
}

bool LoadInputAndPlanOutputs(const Options& options, const std::string& defaultOutput,
                             InputFrame* input, OutputFiles* outputs, int* exitCode) {
    std::string error;
    if (!LoadInputFrame(options, input, &error) ||
        !PlanOutputs(options.Get("output", defaultOutput), *input, outputs, &error)) {
        *exitCode = ReportFailure(error);
        return false;
    }
    return true;
}

bool WriteResult(const OutputFiles& files, const Gray16Image& result, std::string* error) {
    return CreateParentDirectory(files.frame, error) &&
           WriteGray16Png(files.frame, result, error) &&
           WritePng8(files.preview, MakePreview(result), error);
}

void PrintReportLine(const char* label, const std::string& text) {
    std::printf("  %-13s %s\n", label, text.c_str());
}

void PrintReportHeader(const std::string& title, const InputFrame& input) {
    std::printf("%s\n", title.c_str());
    PrintReportLine("input", input.description);
}

std::string DescribeRange(const ValueRange& range) {
    return "min " + std::to_string(range.min) + ", max " + std::to_string(range.max);
}

int FinishImageCommand(const InputFrame& input, const OutputFiles& outputs,
                       const Gray16Image& result, const ImageReport& report) {
    std::string error;
    if (!WriteResult(outputs, result, &error)) {
        return ReportFailure(error);
    }
    const Gray16Image& source = input.image;
    char time[160];
    std::snprintf(time, sizeof time, "%.3f ms in %s", report.milliseconds,
                  report.timedCall.c_str());
    PrintReportHeader(report.title, input);
    PrintReportLine("size", std::to_string(source.width) + " x " + std::to_string(source.height));
    for (const ReportLine& line : report.extraLines) {
        PrintReportLine(line.label, line.text);
    }
    PrintReportLine("input range", DescribeRange(FindRange(source)));
    PrintReportLine("output range", DescribeRange(FindRange(result)));
    PrintReportLine("time", time);
    PrintReportLine("wrote", outputs.frame + " (16-bit grayscale)");
    PrintReportLine("wrote", outputs.preview + " (8-bit preview, output min..max -> 0..255)");
    return kExitSuccess;
}

}  // namespace Varnik::Soloma::Cli
