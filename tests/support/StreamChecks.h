#pragma once

#include <cstdint>
#include <vector>

#include "GasOverlayChecks.h"
#include "SyntheticPlume.h"

// A detector that keeps things between frames must give every frame of a stream the overlay
// a fresh detector gives it. The stream repeats a fixed reference with a steady shift, then a
// new shift, then a reference changed in a single pixel, then one of another size, with
// stabilisation off and back on. Detector is either gas detector (defaults carry nothing
// from one frame to the next that changes the overlay).
template <typename Detector>
void ExpectStreamMatchesFreshDetectors() {
    using Frame = std::vector<std::uint16_t>;
    struct Step {
        int width, height, t, dx, dy;
        bool changedReference, stabilised;
    };
    const Step steps[] = {
        {160, 128, 1, 2, -1, false, true},  {160, 128, 2, 2, -1, false, true},
        {160, 128, 3, 2, -1, false, true},  {160, 128, 4, 2, -1, false, true},
        {160, 128, 5, -3, 1, false, true},  {160, 128, 6, -3, 1, false, true},
        {160, 128, 7, -3, 1, true, true},   {160, 128, 8, -3, 1, true, true},
        {160, 128, 9, -3, 1, false, true},  {144, 120, 10, 1, 1, false, true},
        {144, 120, 11, 1, 1, false, true},  {144, 120, 12, 1, 1, false, false},
        {144, 120, 13, 1, 1, false, false}, {144, 120, 14, 1, 1, false, true},
    };
    Detector kept;
    for (const Step& s : steps) {
        SyntheticPlume scene(s.width, s.height);
        Frame ref = scene.Frame(0, 0, 0, false);
        if (s.changedReference) {
            ref[static_cast<std::size_t>(s.width) * (s.height / 2) + s.width / 3] ^= 1;
        }
        const Frame src = scene.Frame(s.t, s.dx, s.dy, true);
        std::vector<unsigned char> colour = ColourImage(s.width, s.height);
        auto run = [&](Detector& detector) {
            std::vector<unsigned char> out(colour.size(), 0);
            detector.Run(src.data(), s.width * 2, ref.data(), s.width * 2, colour.data(),
                         s.width * 4, out.data(), s.width * 4, s.width, s.height);
            return out;
        };
        kept.SetUseImageStabilisation(s.stabilised);
        Detector fresh;
        fresh.SetUseImageStabilisation(s.stabilised);
        EXPECT_EQ(run(kept), run(fresh)) << "frame " << s.t;
    }
}
