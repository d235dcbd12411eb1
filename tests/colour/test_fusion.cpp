#include <Varnik/Soloma/ImageProcessing/Fusion.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::Fusion;

namespace {

// ColorIRImage with a palette that holds only the entries first..last: reading any other is a
// read outside the vector, which the sanitizer build reports. Entry v is 1000000 + v, and the
// destination starts at -1. Checks each pixel against written(v), on `threads` threads.
template <typename Written>
void ExpectColoured(const TestImage<unsigned short>& src, int low, int high, int first, int last,
                    Written written, int threads = 1) {
    std::vector<int> entries(static_cast<std::size_t>(last - first + 1));
    for (int v = first; v <= last; ++v) {
        entries[v - first] = 1000000 + v;
    }
    TestImage<int> dst(src.Width(), src.Height());
    dst.Fill([](int, int) { return -1; });
    const int defaultThreads = omp_get_max_threads();
    omp_set_num_threads(threads);
    Fusion::ColorIRImage(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), entries.data() - first,
                         low, high, src.Width(), src.Height());
    omp_set_num_threads(defaultThreads);
    EXPECT_TRUE(dst.OutsideUntouched());
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            const int v = src.At(x, y);
            ASSERT_EQ(dst.At(x, y), written(v) ? 1000000 + v : -1)
                << low << ".." << high << " " << v;
        }
    }
}

float Clamp(float v, float lo, float hi) {
    return !(v > lo) ? lo : (v >= hi ? hi : v);
}

// The documented steps for one pixel (blue, green, red) in single precision.
void FuseReference(const unsigned char* bgr, float delta, unsigned char* out) {
    const float b = bgr[0], g = bgr[1], r = bgr[2];
    const float y = Clamp(((0.257f * r + 0.504f * g) + 0.098f * b) + 16.0f, 16.0f, 235.0f);
    const float cb = Clamp(((-0.148f * r - 0.291f * g) + 0.439f * b) + 128.0f, 16.0f, 240.0f);
    const float cr = Clamp(((0.439f * r - 0.368f * g) - 0.071f * b) + 128.0f, 16.0f, 240.0f);
    const float c = ((y + delta) - 16.0f) * 1.164f;
    const float crc = cr - 128.0f, cbc = cb - 128.0f;
    const float rgb[3] = {cbc * 2.017f + c, (c - crc * 0.813f) - cbc * 0.392f, crc * 1.596f + c};
    for (int k = 0; k < 3; ++k) {
        out[k] = static_cast<unsigned char>(Clamp(rgb[k], 0.0f, 255.0f));
    }
    out[3] = 255;
}

struct FusionImages {
    TestImage<unsigned char> src, dst;
    TestImage<float> luma;  // three floats per pixel

    FusionImages(int width, int height)
        : src(4 * width, height), dst(4 * width, height), luma(3 * width, height) {}

    void Run(int marginX, int marginY, int threads = 1) {
        const int defaultThreads = omp_get_max_threads();
        omp_set_num_threads(threads);
        Fusion::CombineIRAndDC(src.Data(), src.Pitch(), luma.Data(), luma.Pitch(), dst.Data(),
                               dst.Pitch(), src.Width() / 4, src.Height(),
                               static_cast<short>(marginX), static_cast<short>(marginY));
        omp_set_num_threads(defaultThreads);
    }
};

// One pixel (red, green, blue) fused with `delta`: red, green, blue of the result.
std::vector<int> FuseOne(int red, int green, int blue, float delta) {
    FusionImages images(1, 1);
    images.src.Fill([&](int c, int) { return c == 0 ? blue : c == 1 ? green : c == 2 ? red : 0; });
    images.luma.At(0, 0) = delta;
    images.Run(0, 0);
    const unsigned char* q = images.dst.Data();
    EXPECT_EQ(q[3], 255);
    return {q[2], q[1], q[0]};
}

// A grey image with a delta of 10: fused pixels come out 139, copied ones 128 ('.'); byte 3
// is 255 everywhere.
std::vector<std::string> FusedMap(int width, int height, int marginX, int marginY) {
    FusionImages images(width, height);
    images.src.Fill([](int x, int) { return x % 4 == 3 ? 7 : 128; });
    images.luma.Fill([](int x, int) { return x % 3 == 0 ? 10.0f : -1000.0f; });
    images.Run(marginX, marginY);
    std::vector<std::string> map(height, std::string(width, '?'));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = images.dst.Pixel(4 * x, y);
            const bool grey = p[0] == p[1] && p[1] == p[2] && p[3] == 255;
            map[y][x] = grey && p[0] == 139 ? 'f' : grey && p[0] == 128 ? '.' : '?';
        }
    }
    EXPECT_TRUE(images.dst.OutsideUntouched());
    return map;
}

// The map with rows [top, bottom) x columns [left, right) fused.
std::vector<std::string> Fused(int width, int height, int top, int bottom, int left, int right) {
    std::vector<std::string> map(height, std::string(width, '.'));
    for (int y = top; y < bottom; ++y) {
        map[y].replace(left, right - left, right - left, 'f');
    }
    return map;
}

}  // namespace

// The range test in unsigned arithmetic; the palette holds only the entries that are written.
TEST(Fusion, ColorIRImageWritesTheRangeOnly) {
    TestImage<unsigned short> src(10, 7);
    const unsigned short values[] = {0, 999, 1000, 1500, 2000, 2001, 65535, 5, 10, 11};
    src.Fill([&](int x, int y) { return values[(x + 3 * y) % 10]; });
    ExpectColoured(src, 1000, 2000, 1000, 2000, [](int v) { return v >= 1000 && v <= 2000; });
    ExpectColoured(src, 2000, 1000, 0, 65535, [](int v) { return v >= 2000 || v <= 1000; });
    ExpectColoured(src, -5, 10, 0, 10, [](int v) { return v <= 10; });
    ExpectColoured(src, 70000, 80000, 70000, 70000, [](int) { return false; });
    ExpectColoured(src, 65535, 65535, 65535, 65535, [](int v) { return v == 65535; });
    // Runs of eight pixels wholly in the range, wholly out of it and mixed, at every offset
    // from the row start and in rows of widths around the runs.
    for (int width = 5; width <= 29; width += 3) {
        TestImage<unsigned short> runs(width, 9);
        runs.Fill([](int x, int y) {
            const int kind = ((x + y) / 8) % 3;
            return kind == 0 ? 1500 : kind == 1 ? 500 : (x + y) % 2 ? 1500 : 2500;
        });
        ExpectColoured(runs, 1000, 2000, 1000, 2000, [](int v) { return v >= 1000 && v <= 2000; });
    }
    // Strided random frames of every test shape and a frame-wide one, on 1 to 3 threads.
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.push_back({640, 37});
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const auto frame = RandomFrame(sizes[i].width, sizes[i].height, 800, 3200, 11 + i);
        ExpectColoured(
            frame, 1200, 2900, 1200, 2900, [](int v) { return v >= 1200 && v <= 2900; }, 1 + i % 3);
    }
}

// The documented colours, NaN and infinite deltas, and which pixels each kind of margin fuses.
TEST(Fusion, CombineIRAndDCDocumentedPixelsAndMargins) {
    EXPECT_EQ(FuseOne(0, 0, 0, 0.0f), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(FuseOne(255, 255, 255, 0.0f), (std::vector<int>{254, 254, 254}));
    EXPECT_EQ(FuseOne(128, 128, 128, 0.0f), (std::vector<int>{127, 127, 127}));
    EXPECT_EQ(FuseOne(100, 150, 200, 0.0f), (std::vector<int>{100, 149, 199}));
    EXPECT_EQ(FuseOne(128, 128, 128, 10.0f), (std::vector<int>{139, 139, 139}));
    EXPECT_EQ(FuseOne(128, 128, 128, std::numeric_limits<float>::quiet_NaN()),
              (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(FuseOne(128, 128, 128, 1e30f), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(FuseOne(9, 9, 9, -std::numeric_limits<float>::infinity()),
              (std::vector<int>{0, 0, 0}));

    EXPECT_EQ(FusedMap(10, 10, 0, 0), Fused(10, 10, 0, 10, 0, 10));
    EXPECT_EQ(FusedMap(10, 10, 0, 2), Fused(10, 10, 3, 8, 1, 10));  // rows 0-2, 8, 9; column 0
    EXPECT_EQ(FusedMap(10, 10, 2, 0), Fused(10, 10, 1, 10, 3, 8));
    EXPECT_EQ(FusedMap(37, 11, 3, 1), Fused(37, 11, 2, 10, 4, 34));
    EXPECT_EQ(FusedMap(10, 10, -2, -3), Fused(10, 10, 0, 10, 0, 10));
    EXPECT_EQ(FusedMap(10, 10, 0, -1), Fused(10, 10, 0, 10, 1, 10));
    EXPECT_EQ(FusedMap(10, 6, 5, 1), Fused(10, 6, 0, 0, 0, 0));
    EXPECT_EQ(FusedMap(10, 6, 40, 40), Fused(10, 6, 0, 0, 0, 0));
}

// Random colours and deltas (NaN and huge ones among them) on strided images of every test
// shape, against the documented steps, on 1 to 3 threads; a frame-wide image gives the same
// bytes on one thread and on several.
TEST(Fusion, CombineIRAndDCFollowsTheStepsOnEveryPixel) {
    std::mt19937 rng(17);
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.push_back({640, 41});
    for (std::size_t i = 0; i < 2 * sizes.size(); ++i) {
        const int width = sizes[i / 2].width, height = sizes[i / 2].height;
        const int marginX = i % 2 == 0 ? 0 : 2, marginY = i % 2 == 0 ? 0 : 1;
        FusionImages images(width, height);
        images.src.FillRandom(rng, 0, 255);
        images.luma.FillRandom(rng, -300.0, 300.0);
        images.luma.At(0, 0) = std::numeric_limits<float>::quiet_NaN();
        images.luma.At(3 * (width - 1), height - 1) = 1e38f;
        FusionImages serial = images;
        images.Run(marginX, marginY, 1 + i % 3);
        serial.Run(marginX, marginY, 1);
        ASSERT_EQ(Pixels(images.dst), Pixels(serial.dst));
        EXPECT_TRUE(images.dst.OutsideUntouched());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool fused =
                    (marginX == 0 && marginY == 0) ||
                    (marginY < y && y < height - marginY && marginX < x && x < width - marginX);
                unsigned char expected[4];
                std::memcpy(expected, images.src.Pixel(4 * x, y), 4);
                expected[3] = 255;
                if (fused) {
                    FuseReference(images.src.Pixel(4 * x, y), images.luma.At(3 * x, y), expected);
                }
                ASSERT_EQ(std::memcmp(images.dst.Pixel(4 * x, y), expected, 4), 0)
                    << x << "," << y << " of " << width << "x" << height;
            }
        }
    }
}
