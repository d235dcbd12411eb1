#include "Image.h"
#include "Paths.h"
#include "Scratch.h"

#include <gtest/gtest.h>

using namespace Varnik::Soloma::Cli;

TEST(Preview, StretchesTheFramesOwnRangeOntoFullBytes) {
    // Offsets 0, 50, 100, 998, 1000 of a span of 1000: exactly 0, 12.75, 25.5, 254.49, 255.
    EXPECT_EQ(MakePreview({5, 1, {100, 150, 200, 1098, 1100}}).pixels,
              (std::vector<unsigned char>{0, 13, 26, 254, 255}));
    EXPECT_EQ(MakePreview({3, 1, {65535, 0, 32768}}).pixels,
              (std::vector<unsigned char>{255, 0, 128}));
    // A flat frame has no range to stretch.
    EXPECT_EQ(MakePreview({2, 1, {4000, 4000}}).pixels, (std::vector<unsigned char>{0, 0}));
}

// Spellings with ".." are tried end to end in the CLI tests.
TEST(Paths, SameFileSeesThroughLinks) {
    const auto dir = MakeScratchDir();
    std::ofstream(dir / "a.png") << "a";
    std::filesystem::create_symlink(dir / "a.png", dir / "link.png");
    const std::string a = (dir / "a.png").string();
    EXPECT_TRUE(SameFile(a, (dir / "link.png").string()));
    EXPECT_FALSE(SameFile(a, (dir / "absent.png").string()));
    EXPECT_EQ(PreviewPathFor("/a.b/frame"), "/a.b/frame_preview.png");
}
