#include "SyntheticFrame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace Varnik::Soloma::Cli;

namespace {

std::uint64_t Fnv1a(const std::vector<unsigned short>& values) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned short value : values) {
        for (const unsigned byte : {value & 0xFFu, static_cast<unsigned>(value >> 8)}) {
            hash = (hash ^ byte) * 0x100000001B3ull;
        }
    }
    return hash;
}

unsigned short At(const Gray16Image& frame, int x, int y) {
    return frame.pixels[static_cast<std::size_t>(y) * frame.width + x];
}

}  // namespace

TEST(SyntheticFrame, SameSeedGivesTheSameFrame) {
    const Gray16Image frame = MakeSyntheticFrame();
    EXPECT_EQ(frame.pixels, MakeSyntheticFrame().pixels);
    const Gray16Image other = MakeSyntheticFrame(kSyntheticWidth, kSyntheticHeight, 2);
    EXPECT_NE(frame.pixels, other.pixels);
}

// Recorded runs and timings refer to this frame; it must not drift between platforms or
// releases unnoticed.
TEST(SyntheticFrame, MatchesTheRecordedFrame) {
    EXPECT_EQ(Fnv1a(MakeSyntheticFrame().pixels), 0x1C9E82950969F4ADull);
}

TEST(SyntheticFrame, LooksLikeAThermalScene) {
    const Gray16Image frame = MakeSyntheticFrame();
    ASSERT_EQ(frame.width, 640);
    ASSERT_EQ(frame.height, 512);
    ASSERT_EQ(frame.pixels.size(), 640u * 512u);
    std::vector<unsigned short> sorted = frame.pixels;
    std::sort(sorted.begin(), sorted.end());
    const int median = sorted[sorted.size() / 2];
    EXPECT_GT(median, 7900);
    EXPECT_LT(median, 8300);
    EXPECT_GT(sorted.front(), 7500);
    EXPECT_LT(sorted.back(), 10500);
    // The lamp, at (0.4, 0.2) of the frame, stands well above its surroundings.
    EXPECT_GT(At(frame, 256, 102), At(frame, 256, 60) + 1500);
    // The background rises towards the bottom right.
    EXPECT_LT(At(frame, 5, 5) + 300, At(frame, 630, 505));

    // Temporal noise of about 12 counts: neighbours differ, but not wildly.
    double sumSquares = 0;
    int count = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x + 1 < frame.width; ++x) {
            const double difference = At(frame, x + 1, y) - At(frame, x, y);
            sumSquares += difference * difference;
            ++count;
        }
    }
    const double spread = std::sqrt(sumSquares / count);
    EXPECT_GT(spread, 10.0);
    EXPECT_LT(spread, 30.0);
}

TEST(SyntheticFrame, AnySizeWorks) {
    const int sizes[][2] = {{1, 1}, {7, 3}, {641, 5}, {3, 600}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
        const Gray16Image frame = MakeSyntheticFrame(size[0], size[1]);
        ASSERT_EQ(frame.pixels.size(), static_cast<std::size_t>(size[0]) * size[1]);
        const auto [low, high] = std::minmax_element(frame.pixels.begin(), frame.pixels.end());
        // Objects may overlap on narrow frames.
        EXPECT_GT(*low, 7500);
        EXPECT_LT(*high, 12000);
    }
    EXPECT_TRUE(MakeSyntheticFrame(0, 5).pixels.empty());
}
