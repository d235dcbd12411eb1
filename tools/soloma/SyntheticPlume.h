#pragma once

#include "Image.h"

#include <vector>

namespace Varnik::Soloma::Cli {

// A made-up recording of a gas leak for trying the gas detectors without a camera.
//
// The scene is still: a cold sky that warms towards the horizon, with faint clouds; textured
// ground that warms towards the camera; a warm building with cold windows; a warm tank with a
// pipe on top, from whose end the gas leaks; a cold puddle and a small hot exhaust. Unless
// switched off, a small warm vehicle with a hot engine drives across the ground near the
// bottom, left to right, coming into view just after frame 0; while it is in view its engine
// is the hottest thing in the scene. The sensor adds a fixed offset per column (up to 4
// counts) and temporal noise of about 2 counts per pixel and frame. The camera wanders slowly
// by whole pixels, up to `jitter` each way; frame 0 is the unmoved view.
//
// The gas absorbs: it lowers the signal, by up to `plumeCounts` where it is densest. The leak
// opens at frame 0, which shows no gas; from then on the gas leaves the pipe's end and the
// wind carries it downwind (up and to the right) at about 4 pixels per frame on a 512-pixel
// frame, in a cone that widens and thins as it goes. Its density is turbulent: several
// octaves of value noise carried with the wind and evolving as they go, so that denser
// patches form, drift and dissolve.
//
// Positions and lengths are fractions of the frame size, so any size works. A frame depends
// only on the options and its index, so frames can be made in any order, and the arithmetic
// is plain single-precision steps with integer hashes for randomness (no library random
// distributions and no transcendental functions), so a given set of options gives the same
// frames on every platform and compiler.
struct PlumeSequenceOptions {
    int width = 640;
    int height = 512;
    int frames = 60;
    int jitter = 3;  // largest camera movement from frame 0, whole pixels each way
    // Largest lowering of the signal by the gas, in counts; a negative value makes the gas
    // emit instead, raising the signal.
    float plumeCounts = 40.0f;
    bool vehicle = true;  // the warm vehicle driving across
    unsigned seed = 1;
};

// Where a mask pixel is set: the gas lowers the signal by more than this many counts.
constexpr float kPlumeMaskCounts = 4.0f;

struct PlumeFrame {
    Gray16Image frame;
    // How far the scene's content moved from where it is in frame 0, in whole pixels:
    // frame(x, y) shows what frame 0 shows at (x - jitterX, y - jitterY), noise aside.
    int jitterX = 0;
    int jitterY = 0;
    // width x height, row by row: 255 where the gas lowers this frame's signal by more than
    // kPlumeMaskCounts, 0 elsewhere.
    std::vector<unsigned char> plumeMask;
    // The part of the frame the vehicle covers (its body and engine, clipped to the frame);
    // empty while it is out of view or switched off.
    PixelRect vehicle;
    // Where its engine is hottest, in frame pixels (it may lie outside the frame).
    int engineX = 0;
    int engineY = 0;
};

class PlumeSequence {
public:
    // Negative sizes, frame counts and jitter count as 0.
    explicit PlumeSequence(const PlumeSequenceOptions& options = {});

    const PlumeSequenceOptions& Options() const { return _options; }
    int Count() const { return _options.frames; }

    // Frame `index`, 0 .. Count() - 1; any other index gives an empty frame.
    PlumeFrame Frame(int index) const;

    // The camera movement of frame `index` alone (as in PlumeFrame), for any index >= 0.
    void Jitter(int index, int* jitterX, int* jitterY) const;

private:
    PlumeSequenceOptions _options;
    int _sceneWidth = 0;  // the frame plus `jitter` pixels on every side
    int _sceneHeight = 0;
    std::vector<float> _scene;          // the still scene, before sensor effects
    std::vector<float> _columnOffsets;  // fixed pattern, one per sensor column
};

}  // namespace Varnik::Soloma::Cli
