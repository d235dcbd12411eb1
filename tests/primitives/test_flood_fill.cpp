#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <utility>
#include <vector>

#include "TestImage.h"

namespace {

using Image = TestImage<unsigned char>;

// The reported size plus one byte, so that the fill can be given an unaligned buffer.
std::vector<unsigned char> FillBuffer(int width, int height) {
    int bytes = 0;
    EXPECT_TRUE(PixelPrimitives::FloodFillGetSize(width, height, &bytes));
    EXPECT_EQ(bytes, 4 * width * height);
    return std::vector<unsigned char>(static_cast<std::size_t>(bytes) + 1);
}

// Breadth-first reference fill over a copy of the region.
std::vector<unsigned char> ReferenceFill(const Image& image, int seedX, int seedY,
                                         unsigned char newValue) {
    int w = image.Width(), h = image.Height();
    std::vector<unsigned char> out(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            out[y * w + x] = image.At(x, y);
        }
    }
    unsigned char old = image.At(seedX, seedY);
    std::vector<bool> seen(out.size(), false);
    std::deque<std::pair<int, int>> queue{{seedX, seedY}};
    seen[seedY * w + seedX] = true;
    while (!queue.empty()) {
        auto [x, y] = queue.front();
        queue.pop_front();
        out[y * w + x] = newValue;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                int nx = x + dx, ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < w && ny < h && !seen[ny * w + nx] &&
                    image.At(nx, ny) == old) {
                    seen[ny * w + nx] = true;
                    queue.emplace_back(nx, ny);
                }
            }
        }
    }
    return out;
}

}  // namespace

TEST(FloodFill, MatchesBreadthFirstReferenceOnRandomImages) {
    std::mt19937 rng(31);
    for (const RegionSize& size : TestRegionSizes()) {
        for (double hi : {0.0, 1.0, 2.0}) {  // 0: one component covering the whole region
            Image image(size.width, size.height);
            image.FillRandom(rng, 0.0, hi);
            int seedX = std::uniform_int_distribution<int>(0, size.width - 1)(rng);
            int seedY = std::uniform_int_distribution<int>(0, size.height - 1)(rng);
            auto expected = ReferenceFill(image, seedX, seedY, 200);
            auto buffer = FillBuffer(size.width, size.height);
            ASSERT_TRUE(PixelPrimitives::FloodFill_8Con_8u_C1IR(image.Data(), image.Pitch(),
                                                                size.width, size.height, seedX,
                                                                seedY, 200, buffer.data() + 1));
            EXPECT_TRUE(image.OutsideUntouched());
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    ASSERT_EQ(image.At(x, y), expected[y * size.width + x])
                        << "at (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(FloodFill, FillWithTheSeedValueChangesNothing) {
    std::mt19937 rng(4);
    Image image(31, 23);
    image.FillRandom(rng, 0.0, 1.0);
    auto buffer = FillBuffer(31, 23);
    unsigned char seedValue = image.At(5, 7);
    ASSERT_TRUE(PixelPrimitives::FloodFill_8Con_8u_C1IR(image.Data(), image.Pitch(), 31, 23, 5, 7,
                                                        seedValue, buffer.data()));
    EXPECT_TRUE(image.Untouched());
}

TEST(FloodFill, RejectsBadArguments) {
    Image image(8, 6);
    auto buffer = FillBuffer(8, 6);
    auto fill = [&](unsigned char* data, int w, int h, int sx, int sy, unsigned char* buf) {
        return PixelPrimitives::FloodFill_8Con_8u_C1IR(data, image.Pitch(), w, h, sx, sy, 1, buf);
    };
    EXPECT_FALSE(fill(image.Data(), 8, 6, 8, 0, buffer.data()));
    EXPECT_FALSE(fill(image.Data(), 8, 6, 0, 6, buffer.data()));
    EXPECT_FALSE(fill(image.Data(), 8, 6, -1, 2, buffer.data()));
    EXPECT_FALSE(fill(image.Data(), 8, 6, 2, 2, nullptr));
    EXPECT_FALSE(fill(nullptr, 8, 6, 2, 2, buffer.data()));
    EXPECT_FALSE(fill(image.Data(), 0, 6, 0, 0, buffer.data()));
    EXPECT_TRUE(image.Untouched());

    int bytes = -1;
    EXPECT_FALSE(PixelPrimitives::FloodFillGetSize(0, 5, &bytes));
    EXPECT_FALSE(PixelPrimitives::FloodFillGetSize(5, 5, nullptr));
    EXPECT_FALSE(PixelPrimitives::FloodFillGetSize(65536, 65536, &bytes));  // overflows int
    EXPECT_EQ(bytes, -1);
}
