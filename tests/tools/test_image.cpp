#include "Image.h"
#include "Paths.h"
#include "Scratch.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Varnik::Soloma::Cli;

namespace {

Gray16Image Row(const std::vector<unsigned short>& values) {
    Gray16Image image;
    image.width = static_cast<int>(values.size());
    image.height = 1;
    image.pixels = values;
    return image;
}

}  // namespace

TEST(Preview, StretchesTheFramesOwnRangeOntoFullBytes) {
    // Offsets 0, 50, 100, 998, 1000 of a span of 1000: exact values 0, 12.75, 25.5, 254.49, 255.
    const Image8 preview = MakePreview(Row({100, 150, 200, 1098, 1100}));
    EXPECT_EQ(preview.channels, 1);
    EXPECT_EQ(preview.pixels, (std::vector<unsigned char>{0, 13, 26, 254, 255}));

    const ValueRange range = FindRange(Row({700, 65535, 0, 3}));
    EXPECT_EQ(range.min, 0);
    EXPECT_EQ(range.max, 65535);
    EXPECT_EQ(MakePreview(Row({65535, 0, 32768})).pixels,
              (std::vector<unsigned char>{255, 0, 128}));
    // A flat frame has no range to stretch.
    EXPECT_EQ(MakePreview(Row({4000, 4000, 4000})).pixels, (std::vector<unsigned char>(3, 0)));
}

TEST(Paths, PreviewGoesBesideTheOutput) {
    EXPECT_EQ(PreviewPathFor("out/equalized.png"), "out/equalized_preview.png");
    EXPECT_EQ(PreviewPathFor("frame.png"), "frame_preview.png");
    EXPECT_EQ(PreviewPathFor("/a.b/frame"), "/a.b/frame_preview.png");
}

TEST(Paths, SameFileSeesThroughSpellingsAndLinks) {
    const auto dir = MakeScratchDir();
    WriteBytes(dir / "a.png", "a");
    WriteBytes(dir / "b.png", "b");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink(dir / "a.png", dir / "link.png");
    const std::string a = (dir / "a.png").string();
    EXPECT_TRUE(SameFile(a, (dir / "sub" / ".." / "a.png").string()));
    EXPECT_TRUE(SameFile(a, (dir / "link.png").string()));
    EXPECT_FALSE(SameFile(a, (dir / "b.png").string()));
    EXPECT_FALSE(SameFile(a, (dir / "absent.png").string()));
}
