#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// Random images of few values against a depth-first reference fill; a fill with the seed's own
// value must change nothing and terminate. The fill gets the reported buffer size at an odd
// address. A seed just outside the region is rejected first and must write nothing.
TEST(FloodFill, MatchesAReferenceFillOnRandomImages) {
    std::mt19937 rng(31);
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height;
        for (int hi : {0, 1, 2, 3}) {  // values up to hi: 0 is one component; 3 refills the seed
            Image img(w, h);
            img.FillRandom(rng, 0, hi);
            const Image before = img;
            const int sx = rng() % w, sy = rng() % h;
            const unsigned char old = img.At(sx, sy), v = hi == 3 ? old : 200;  // v: the new value
            std::vector<bool> done(w * h);
            std::function<void(int, int)> fill = [&](int x, int y) {  // the pixel and 8 neighbours
                if (x >= 0 && y >= 0 && x < w && y < h && !done[y * w + x] && img.At(x, y) == old) {
                    done[y * w + x] = true;
                    for (int n = 0; n < 9; ++n) {
                        fill(x + n % 3 - 1, y + n / 3 - 1);
                    }
                }
            };
            fill(sx, sy);
            int bytes = 0;
            ASSERT_TRUE(PP::FloodFillGetSize(w, h, &bytes));
            std::vector<unsigned char> buffer(bytes + 1);
            unsigned char* b = buffer.data() + 1;
            EXPECT_FALSE(PP::FloodFill_8Con_8u_C1IR(img.Data(), img.Pitch(), w, h, w, sy, v, b));
            ASSERT_TRUE(PP::FloodFill_8Con_8u_C1IR(img.Data(), img.Pitch(), w, h, sx, sy, v, b));
            ExpectRegion(img, [&](int x, int y) { return done[y * w + x] ? v : before.At(x, y); });
        }
    }
}
