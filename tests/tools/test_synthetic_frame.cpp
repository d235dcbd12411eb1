#include "SyntheticFrame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

using namespace Varnik::Soloma::Cli;

// Recorded runs and timings refer to the built-in frame, so it must not drift between runs,
// platforms or releases unnoticed.
TEST(SyntheticFrame, IsTheRecordedFrameEveryTime) {
    const Gray16Image frame = MakeSyntheticFrame();
    EXPECT_EQ(frame.pixels, MakeSyntheticFrame().pixels);
    EXPECT_NE(frame.pixels, MakeSyntheticFrame(kSyntheticWidth, kSyntheticHeight, 2).pixels);
    std::uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a over the little-endian bytes
    for (const unsigned value : frame.pixels) {
        hash = ((hash ^ (value & 0xFF)) * 0x100000001B3ull ^ (value >> 8)) * 0x100000001B3ull;
    }
    EXPECT_EQ(hash, 0x1C9E82950969F4ADull);
}

// Objects sit at fixed fractions of the size, so tiny and odd sizes must work too.
TEST(SyntheticFrame, AnySizeWorks) {
    for (const auto& [width, height] : {std::pair{1, 1}, {7, 3}, {641, 5}, {3, 600}}) {
        const Gray16Image frame = MakeSyntheticFrame(width, height);
        ASSERT_EQ(frame.pixels.size(), static_cast<std::size_t>(width) * height);
        const auto [low, high] = std::minmax_element(frame.pixels.begin(), frame.pixels.end());
        EXPECT_TRUE(*low > 7500 && *high < 12000) << width << "x" << height;
    }
    EXPECT_TRUE(MakeSyntheticFrame(0, 5).pixels.empty());
}
