#include "SyntheticPlume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace Varnik::Soloma::Cli;

namespace {

PlumeSequenceOptions Small(float plumeCounts = 40.0f, unsigned seed = 1, bool vehicle = true) {
    PlumeSequenceOptions options;
    options.width = 160;
    options.height = 128;
    options.frames = 60;
    options.plumeCounts = plumeCounts;
    options.vehicle = vehicle;
    options.seed = seed;
    return options;
}

// FNV-1a over a frame's little-endian bytes and its plume mask.
std::uint64_t HashOf(const PlumeFrame& recorded) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const unsigned value : recorded.frame.pixels) {
        hash = ((hash ^ (value & 0xFF)) * 0x100000001B3ull ^ (value >> 8)) * 0x100000001B3ull;
    }
    for (const unsigned value : recorded.plumeMask) {
        hash = (hash ^ value) * 0x100000001B3ull;
    }
    return hash;
}

int CountSet(const std::vector<unsigned char>& mask) {
    return static_cast<int>(std::count(mask.begin(), mask.end(), 255));
}

}  // namespace

// Frames come from the options and the index alone: the same in any order and from any
// object, and different for another seed.
TEST(SyntheticPlume, FramesAreDeterministicAndRandomAccess) {
    const PlumeSequence a(Small()), b(Small());
    ASSERT_EQ(a.Count(), 60);
    const PlumeFrame late = a.Frame(31);
    const PlumeFrame early = b.Frame(7);
    const PlumeFrame again = b.Frame(31);
    EXPECT_EQ(late.frame.pixels, again.frame.pixels);
    EXPECT_EQ(late.plumeMask, again.plumeMask);
    EXPECT_EQ(early.frame.pixels, a.Frame(7).frame.pixels);
    EXPECT_NE(late.frame.pixels, PlumeSequence(Small(40.0f, 2)).Frame(31).frame.pixels);
    ASSERT_EQ(late.frame.pixels.size(), 160u * 128u);
    ASSERT_EQ(late.plumeMask.size(), 160u * 128u);
    // Recorded runs refer to these frames, so they must not drift between platforms,
    // compilers or releases unnoticed. Without the vehicle the frames are those recorded
    // before it was added.
    EXPECT_EQ(HashOf(a.Frame(30)), 0xF966DEB90CCD19F0ull);
    EXPECT_EQ(HashOf(PlumeSequence(Small(40.0f, 1, false)).Frame(30)), 0x8B5F3F8DDDD0FE6Dull);
}

// The camera starts at rest, stays within the bound, moves by at most a pixel a frame, and
// does move. (The stabilizer's exact recovery of each move in the CLI's chain and demo tests
// shows the content moves the way the frame reports.)
TEST(SyntheticPlume, JitterStartsAtRestAndStaysWithinBounds) {
    const PlumeSequence sequence(Small(0.0f, 1, false));
    int previousX = 0, previousY = 0, largest = 0;
    for (int i = 0; i < sequence.Count(); ++i) {
        int x = 0, y = 0;
        sequence.Jitter(i, &x, &y);
        EXPECT_LE(std::max(std::abs(x - previousX), std::abs(y - previousY)), 1) << i;
        largest = std::max({largest, std::abs(x), std::abs(y)});
        previousX = x;
        previousY = y;
    }
    EXPECT_EQ(sequence.Frame(0).jitterX, 0);
    EXPECT_EQ(sequence.Frame(0).jitterY, 0);
    EXPECT_TRUE(largest >= 1 && largest <= 3) << largest;
}

// The leak opens at frame 0, which shows no gas. Later the gas lowers the signal by more than
// the mask's threshold exactly where the mask says (up to the rounding of the counts), and
// covers a growing part of the frame but not most of it.
TEST(SyntheticPlume, MaskMarksWhereTheGasLowersTheSignal) {
    const PlumeSequence withGas(Small()), withoutGas(Small(0.0f));
    const PlumeFrame start = withGas.Frame(0);
    EXPECT_EQ(CountSet(start.plumeMask), 0);
    EXPECT_EQ(start.frame.pixels, withoutGas.Frame(0).frame.pixels);
    int previousSet = 0;
    for (int i : {30, 59}) {
        const PlumeFrame gas = withGas.Frame(i);
        const PlumeFrame clean = withoutGas.Frame(i);
        EXPECT_EQ(CountSet(clean.plumeMask), 0);
        ASSERT_EQ(gas.jitterX, clean.jitterX);
        const int set = CountSet(gas.plumeMask);
        EXPECT_GT(set, 160 * 128 / 100) << i;
        EXPECT_LT(set, 160 * 128 / 4) << i;
        EXPECT_GT(set, previousSet) << "the plume should grow";
        previousSet = set;
        int deepest = 0;
        for (std::size_t p = 0; p < gas.plumeMask.size(); ++p) {
            const int change = gas.frame.pixels[p] - clean.frame.pixels[p];
            deepest = std::min(deepest, change);
            if (gas.plumeMask[p] == 255) {
                ASSERT_LE(change, -4) << "frame " << i << " pixel " << p;
            } else {
                ASSERT_EQ(gas.plumeMask[p], 0);
                ASSERT_TRUE(change >= -4 && change <= 0) << "frame " << i << " pixel " << p;
            }
        }
        EXPECT_LE(deepest, -30) << "the densest gas should reach near the peak of 40";
        EXPECT_GE(deepest, -41);
    }
    // An emitting plume raises the signal instead, in the same place.
    const PlumeFrame emitting = PlumeSequence(Small(-40.0f)).Frame(30);
    EXPECT_EQ(emitting.plumeMask, withGas.Frame(30).plumeMask);
    const PlumeFrame clean = withoutGas.Frame(30);
    for (std::size_t p = 0; p < emitting.plumeMask.size(); ++p) {
        ASSERT_TRUE(emitting.plumeMask[p] == 0 ||
                    emitting.frame.pixels[p] >= clean.frame.pixels[p] + 4);
    }
}

// The vehicle is out of view at frame 0, then drives right: it changes the frame exactly
// inside the box the frame reports, is warmer than the ground it hides, and its engine is the
// brightest pixel of the frame while it is in view.
TEST(SyntheticPlume, VehicleDrivesAcrossInsideItsBox) {
    const PlumeSequence with(Small()), without(Small(40.0f, 1, false));
    const PlumeFrame start = with.Frame(0);
    EXPECT_TRUE(start.vehicle.Empty());
    EXPECT_EQ(start.frame.pixels, without.Frame(0).frame.pixels);
    int previousX0 = -1;
    for (int i : {10, 30, 50}) {
        const PlumeFrame frame = with.Frame(i);
        const PlumeFrame bare = without.Frame(i);
        const PixelRect& box = frame.vehicle;
        ASSERT_FALSE(box.Empty()) << i;
        EXPECT_GT(box.x0, previousX0) << "the vehicle should drive right";
        previousX0 = box.x0;
        EXPECT_TRUE(box.Contains(frame.engineX, frame.engineY)) << i;
        EXPECT_EQ(frame.plumeMask, bare.plumeMask) << i;
        std::size_t brightest = 0;
        for (std::size_t p = 0; p < frame.frame.pixels.size(); ++p) {
            const int x = static_cast<int>(p % 160), y = static_cast<int>(p / 160);
            const int change = frame.frame.pixels[p] - bare.frame.pixels[p];
            if (box.Contains(x, y)) {
                ASSERT_GE(change, 100) << "frame " << i << " (" << x << ", " << y << ")";
            } else {
                ASSERT_EQ(change, 0) << "frame " << i << " (" << x << ", " << y << ")";
            }
            if (frame.frame.pixels[p] > frame.frame.pixels[brightest]) {
                brightest = p;
            }
        }
        EXPECT_LE(std::abs(static_cast<int>(brightest % 160) - frame.engineX), 1) << i;
        EXPECT_LE(std::abs(static_cast<int>(brightest / 160) - frame.engineY), 1) << i;
    }
}

TEST(SyntheticPlume, DegenerateOptionsAndIndices) {
    PlumeSequenceOptions options = Small();
    EXPECT_TRUE(PlumeSequence(options).Frame(60).frame.pixels.empty());
    options.width = -5;
    EXPECT_TRUE(PlumeSequence(options).Frame(0).frame.pixels.empty());
    options.width = 9;  // tiny frames still work
    options.height = 7;
    const PlumeFrame tiny = PlumeSequence(options).Frame(3);
    EXPECT_EQ(tiny.frame.pixels.size(), 63u);
    EXPECT_EQ(tiny.plumeMask.size(), 63u);
}
