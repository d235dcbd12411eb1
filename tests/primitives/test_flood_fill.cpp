#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// Random images of few values against a depth-first reference fill; a fill with the seed's own
// value must change nothing and terminate. The fill gets the reported buffer size at an odd
// address.
TEST(FloodFill, MatchesAReferenceFillOnRandomImages) {
    std::mt19937 rng(31);
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height;
        // Values up to hi: 0 is one component; 3 refills with the seed value.
        for (int hi : {0, 1, 2, 3}) {
            Image image(w, h);
            image.FillRandom(rng, 0, hi);
            const Image original = image;
            const int sx = rng() % w, sy = rng() % h;
            const unsigned char old = image.At(sx, sy), value = hi == 3 ? old : 200;
            std::vector<bool> filled(w * h);
            std::vector<int> stack{sy * w + sx};
            while (!stack.empty()) {
                const int i = stack.back(), x = i % w, y = i / w;
                stack.pop_back();
                filled[i] = true;
                for (int n = 0; n < 9; ++n) {  // the 8 neighbours and the pixel itself
                    int nx = x + n % 3 - 1, ny = y + n / 3 - 1;
                    if (nx >= 0 && ny >= 0 && nx < w && ny < h && !filled[ny * w + nx] &&
                        original.At(nx, ny) == old) {
                        stack.push_back(ny * w + nx);
                    }
                }
            }
            int bytes = 0;
            ASSERT_TRUE(PP::FloodFillGetSize(w, h, &bytes));
            ASSERT_EQ(bytes, 4 * w * h);
            std::vector<unsigned char> buffer(bytes + 1);
            ASSERT_TRUE(PP::FloodFill_8Con_8u_C1IR(image.Data(), image.Pitch(), w, h, sx, sy, value,
                                                   buffer.data() + 1));
            ExpectRegion(
                image, [&](int x, int y) { return filled[y * w + x] ? value : original.At(x, y); });
        }
    }
}

TEST(FloodFill, RejectsBadArgumentsWritingNothing) {
    Image image(8, 6);
    std::vector<unsigned char> buffer(4 * 8 * 6);
    // {width, seedX, seedY, with a buffer}: seeds outside, no buffer, an empty region.
    for (auto [w, x, y, b] :
         {std::tuple{8, 8, 0, 1}, {8, 0, 6, 1}, {8, -1, 2, 1}, {8, 2, 2, 0}, {0, 0, 0, 1}}) {
        EXPECT_FALSE(PP::FloodFill_8Con_8u_C1IR(image.Data(), image.Pitch(), w, 6, x, y, 1,
                                                b ? buffer.data() : nullptr));
    }
    EXPECT_TRUE(image.Untouched());
    int bytes = -1;
    EXPECT_FALSE(PP::FloodFillGetSize(65536, 65536, &bytes));  // overflows int
    EXPECT_EQ(bytes, -1);
}
