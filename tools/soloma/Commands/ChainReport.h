#pragma once

// The run of the whole chain over a sequence that `soloma demo` and `soloma pipeline` share:
// two passes (one thread, then the default thread count), the printed report and the files.

#include "CommandSupport.h"

#include "../SyntheticPlume.h"
#include "../ThermalChain.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace Varnik::Soloma::Cli {

// What the generator knows about a frame of the built-in sequence.
struct FrameTruth {
    int jitterX = 0;  // the camera's move, as PlumeFrame gives it
    int jitterY = 0;
    std::vector<unsigned char> plumeMask;
    PixelRect vehicle;
};

// The frame each frame is compared with.
struct ReferenceChoice {
    bool previous = false;  // the frame before (the first frame against itself)
    std::size_t index = 0;  // otherwise this frame
};

struct ChainJob {
    std::string title;              // the report's first line and the page's title
    std::string source;             // what the frames are, for the report
    std::vector<ReportLine> lines;  // more for the report's head, e.g. how the frames were made
    // All the same size, at least kChainMinimumSide each way, with a name each for the files
    // (e.g. "frame_000").
    std::vector<Gray16Image> frames;
    std::vector<std::string> names;
    ReferenceChoice reference;
    std::vector<FrameTruth> truth;  // one per frame, or empty when there is none
    ChainSettings settings;
    std::filesystem::path output;
    std::filesystem::path docsPicture;              // a small contact sheet, when not empty
    std::chrono::steady_clock::time_point started;  // for the wall time
};

// The frames whose stages are pictured: a third and two thirds of the way through `count`
// frames, and the last, in order and without repeats (fewer for fewer frames).
std::vector<std::size_t> ShownFrames(std::size_t count);

// Runs the chain over every frame twice, single-threaded and then with the default thread
// count, printing the progress; then prints the timing, the detection quality (with truth),
// the hottest object's statistics, and writes under job.output the pictures of every stage for
// the shown frames (stages/), the overlay of every frame (frames/psd/, frames/difference/),
// contact_sheet.png, the tables as CSV and index.html. Returns the exit code.
int RunChainJob(const ChainJob& job);

}  // namespace Varnik::Soloma::Cli
