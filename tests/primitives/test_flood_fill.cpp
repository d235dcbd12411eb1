#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "RegionChecks.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

namespace {

// The pixels an 8-connected fill from (sx, sy) reaches, by a plain queue.
std::vector<bool> ReferenceFill(const Image& img, int sx, int sy) {
    const int w = img.Width(), h = img.Height();
    const unsigned char old = img.At(sx, sy);
    std::vector<bool> done(static_cast<std::size_t>(w) * h);
    std::vector<std::pair<int, int>> queue{{sx, sy}};
    done[sy * w + sx] = true;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        for (int n = 0; n < 9; ++n) {
            const int x = queue[i].first + n % 3 - 1, y = queue[i].second + n / 3 - 1;
            if (x >= 0 && y >= 0 && x < w && y < h && !done[y * w + x] && img.At(x, y) == old) {
                done[y * w + x] = true;
                queue.emplace_back(x, y);
            }
        }
    }
    return done;
}

// Fills from (sx, sy) with v through a buffer of the reported size at `offset` bytes into a
// block, and checks the result against the reference fill.
void ExpectFill(Image& img, int sx, int sy, unsigned char v, int offset = 0) {
    const int w = img.Width(), h = img.Height();
    const Image before = img;
    const std::vector<bool> done = ReferenceFill(img, sx, sy);
    int bytes = 0;
    ASSERT_TRUE(PP::FloodFillGetSize(w, h, &bytes));
    std::vector<unsigned char> buffer(bytes + offset);
    unsigned char* b = buffer.data() + offset;
    ASSERT_TRUE(PP::FloodFill_8Con_8u_C1IR(img.Data(), img.Pitch(), w, h, sx, sy, v, b));
    ExpectRegion(img, [&](int x, int y) { return done[y * w + x] ? v : before.At(x, y); });
}

}  // namespace

// Random images of few values; a fill with the seed's own value must change nothing and
// terminate. The fill gets the reported buffer size at an odd address. A seed just outside the
// region is rejected first and must write nothing.
TEST(FloodFill, MatchesAReferenceFillOnRandomImages) {
    std::mt19937 rng(31);
    for (const RegionSize& size : TestRegionSizes()) {
        const int w = size.width, h = size.height;
        for (int hi : {0, 1, 2, 3}) {  // values up to hi: 0 is one component; 3 refills the seed
            Image img(w, h);
            img.FillRandom(rng, 0, hi);
            const int sx = rng() % w, sy = rng() % h;
            const unsigned char v = hi == 3 ? img.At(sx, sy) : 200;
            std::vector<unsigned char> buffer(1 << 16);
            EXPECT_FALSE(
                PP::FloodFill_8Con_8u_C1IR(img.Data(), img.Pitch(), w, h, w, sy, v, buffer.data()));
            EXPECT_TRUE(img.Untouched());
            ExpectFill(img, sx, sy, v, 1);
        }
    }
}

// The fill by runs on wide images: long runs that cross vector boundaries and reach far to the
// left, random images of long runs, and the patterns that keep most runs waiting at once (a
// checkerboard joins single pixels diagonally; a comb of odd width hangs one-pixel teeth from
// a full row). The buffer is exactly the reported size, so that the sanitizer build catches a
// stack that outgrows it.
TEST(FloodFill, RunsOnWideImages) {
    std::mt19937 rng(77);
    using Pattern = std::function<int(int, int)>;
    const struct {
        const char* name;
        int w, h, sx, sy;
        Pattern value;
    } cases[] = {
        {"reach left", 1000, 3, 500, 0, [](int x, int y) { return y == 0 && x != 500 ? 1 : 0; }},
        {"checkerboard", 301, 41, 0, 0, [](int x, int y) { return (x + y) % 2; }},
        {"comb", 257, 30, 256, 0, [](int x, int y) { return y == 0 || x % 2 == 0 ? 0 : 1; }},
        {"stripes", 70, 64, 3, 60, [](int x, int y) { return (x / 33 + y / 7) % 2; }},
        {"random long runs", 400, 60, 200, 30, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image img(c.w, c.h);
        std::bernoulli_distribution rare(0.08);
        img.Fill(c.value ? c.value : [&](int, int) { return rare(rng) ? 1 : 0; });
        ExpectFill(img, c.sx, c.sy, 9);
    }
}
