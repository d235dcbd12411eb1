// The picture helpers of the demo's contact sheet and page: rescaling, pasting and drawing
// with clipping, the built-in font and the HTML page.

#include "BitmapFont.h"
#include "Canvas.h"
#include "HtmlPage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Varnik::Soloma::Cli;

namespace {

Image8 Ramp(int width, int height, int channels) {
    Image8 image{width, height, channels,
                 std::vector<unsigned char>(static_cast<std::size_t>(width) * height * channels)};
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<unsigned char>(i * 7 % 256);
    }
    return image;
}

int CountColour(const Image8& image, Rgb colour) {
    int count = 0;
    for (std::size_t i = 0; i < image.pixels.size(); i += 3) {
        count += image.pixels[i] == colour.red && image.pixels[i + 1] == colour.green &&
                 image.pixels[i + 2] == colour.blue;
    }
    return count;
}

}  // namespace

// Shrinking averages each block, rounded, with the partial blocks at the right and bottom
// averaged over what they hold; enlarging repeats each pixel.
TEST(Pictures, RescaleAveragesBlocksAndRepeatsPixels) {
    Image8 gray{3, 3, 1, {0, 1, 10, 2, 4, 20, 100, 200, 255}};
    const Image8 small = Rescale(gray, 2);
    ASSERT_EQ(small.width, 2);
    ASSERT_EQ(small.height, 2);
    EXPECT_EQ(small.pixels, (std::vector<unsigned char>{2, 15, 150, 255}));
    const Image8 rgb = Ramp(2, 1, 3);
    const Image8 large = Rescale(rgb, -3);
    ASSERT_EQ(large.width, 6);
    ASSERT_EQ(large.height, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(large.pixels[(y * 6 + x) * 3 + c], rgb.pixels[(x / 3) * 3 + c]);
            }
        }
    }
    EXPECT_EQ(Rescale(rgb, 1).pixels, rgb.pixels);
}

// Pictures and text partly outside the canvas are clipped (the sanitizers see any stray
// write), and only their inside part lands.
TEST(Pictures, PasteAndTextClipAtTheEdges) {
    Image8 canvas = MakeCanvas(10, 8, {1, 2, 3});
    const Image8 patch = MakeCanvas(4, 4, {9, 9, 9});
    Paste(&canvas, patch, -2, 6);  // columns 0..1, rows 6..7
    Paste(&canvas, patch, 8, -3);  // columns 8..9, row 0
    Paste(&canvas, patch, 20, 20);
    EXPECT_EQ(CountColour(canvas, {9, 9, 9}), 2 * 2 + 2 * 1);
    EXPECT_EQ(canvas.pixels[(7 * 10 + 1) * 3], 9);
    EXPECT_EQ(canvas.pixels[(5 * 10 + 1) * 3], 1);

    const unsigned char white[4] = {255, 255, 255, 255};
    Image8 text = MakeCanvas(40, 20, {0, 0, 0});
    DrawText(&text, -3, -4, "Wq|~\x01", 2, white);
    DrawText(&text, 35, 15, "HH", 3, white);
    EXPECT_GT(CountColour(text, {255, 255, 255}), 0);
    // A full-height bar: the glyph '|' is one column of seven pixels.
    Image8 bar = MakeCanvas(TextWidth("|", 1), kGlyphHeight, {0, 0, 0});
    DrawText(&bar, 0, 0, "|", 1, white);
    EXPECT_EQ(CountColour(bar, {255, 255, 255}), kGlyphHeight);
    EXPECT_EQ(TextWidth("", 2), 0);
    EXPECT_EQ(TextWidth("abc", 2), (3 * kGlyphAdvance - 1) * 2);
}

// The outline is the selection's border and the box holds it with its margin.
TEST(Pictures, OutlineAndBoxFollowTheMask) {
    const int w = 8, h = 6;
    std::vector<unsigned char> mask(w * h, 0);
    for (int y = 1; y <= 4; ++y) {
        for (int x = 2; x <= 5; ++x) {
            mask[y * w + x] = 255;  // a 4x4 square
        }
    }
    Image8 picture = MakeCanvas(w, h, {0, 0, 0});
    DrawOutline(&picture, mask, {0, 255, 255});
    EXPECT_EQ(CountColour(picture, {0, 255, 255}), 12) << "the square's rim, not its inside";
    EXPECT_EQ(picture.pixels[(2 * w + 3) * 3 + 1], 0);
    const PixelRect box = BoundingBox(mask, w, 1);
    EXPECT_EQ(box.x0, 1);
    EXPECT_EQ(box.y0, 0);
    EXPECT_EQ(box.x1, 7);
    EXPECT_EQ(box.y1, 6);
    EXPECT_TRUE(BoundingBox(std::vector<unsigned char>(w * h, 0), w, 3).Empty());
    Image8 framed = MakeCanvas(w, h, {0, 0, 0});
    DrawBox(&framed, {-2, -2, 4, 3}, 1, {255, 0, 0});  // only its right and bottom sides show
    EXPECT_EQ(CountColour(framed, {255, 0, 0}), 3 + 4 - 1);
}

TEST(Pictures, PageEscapesTextAndListsItsPictures) {
    EXPECT_EQ(EscapeHtml("a<b & \"c\" 'd'>"), "a&lt;b &amp; &quot;c&quot; &#39;d&#39;&gt;");
    HtmlPage page("T <1>");
    page.Picture("sheet.png", "all");
    page.Table({"frame", "picture"}, {{"1", page.PictureCell("stages/a&b.png", "a", 160)}});
    EXPECT_EQ(page.Pictures(), (std::vector<std::string>{"sheet.png", "stages/a&b.png"}));
    const std::string text = page.Text();
    EXPECT_NE(text.find("<title>T &lt;1&gt;</title>"), std::string::npos);
    EXPECT_NE(text.find("src=\"stages/a&amp;b.png\""), std::string::npos);
    EXPECT_NE(text.find("<td>1</td>"), std::string::npos);
}
