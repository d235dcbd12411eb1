#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::AlphaComposition;

namespace {

using Bytes = TestImage<unsigned char>;
using Words = TestImage<unsigned short>;

// One pixel of 3 or 4 bytes, the source blended into the destination.
std::vector<int> BlendOne(std::vector<int> d, const std::vector<int>& s) {
    const int n = static_cast<int>(d.size());
    unsigned char src[4] = {}, dst[4] = {};
    for (int c = 0; c < n && c < 4; ++c) {
        src[c] = static_cast<unsigned char>(s.at(c));
        dst[c] = static_cast<unsigned char>(d[c]);
    }
    (n == 3 ? AlphaComposition::BlendImages8u_C3 : AlphaComposition::BlendImages8u_C4)(src, n, dst,
                                                                                       n, 1, 1);
    return std::vector<int>(dst, dst + n);
}

int BlendOne16(int d, int s, int key) {
    const unsigned short src = static_cast<unsigned short>(s);
    unsigned short dst = static_cast<unsigned short>(d);
    AlphaComposition::BlendImages(&src, 2, &dst, 2, static_cast<unsigned short>(key), 1, 1);
    return dst;
}

// The rules written out per pixel.
void Reference3(const unsigned char* s, unsigned char* d) {
    const bool dstEmpty = d[0] == 0 || d[1] == 0 || d[2] == 0;
    const bool srcEmpty = s[0] == 0 || s[1] == 0 || s[2] == 0;
    for (int c = 0; c < 3; ++c) {
        d[c] = dstEmpty ? s[c] : srcEmpty ? d[c] : static_cast<unsigned char>((d[c] + s[c]) / 2);
    }
}

void Reference4(const unsigned char* s, unsigned char* d) {
    if (d[3] != 255) {
        std::copy(s, s + 4, d);
        return;
    }
    if (d[0] == 0 && d[1] == 0 && d[2] == 0) {
        return;
    }
    for (int c = 0; c < 3; ++c) {
        d[c] = d[c] == 0 ? s[c] : s[c] == 0 ? d[c] : static_cast<unsigned char>((d[c] + s[c]) / 2);
    }
}

// Random images of every test shape, a frame-wide one and narrow ones, with a quarter of the
// values `empty` (alpha bytes mostly 255), through `blend` on 1 to 3 threads against `reference`,
// and on one thread against several; nothing outside the region changes.
template <typename T, typename Blend, typename Reference>
void CheckEveryPixel(int channels, int empty, Blend blend, Reference reference) {
    std::mt19937 rng(23);
    const int threads = omp_get_max_threads();
    std::vector<RegionSize> sizes = TestRegionSizes();
    sizes.push_back({640, 33});
    for (int width = 8; width <= 20; ++width) {
        sizes.push_back({width, 3});  // around the 8-pixel blocks and the row ends they stop at
    }
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int w = sizes[i].width, h = sizes[i].height;
        TestImage<T> src(channels * w, h), dst(channels * w, h);
        for (TestImage<T>* image : {&src, &dst}) {
            image->Fill([&](int x, int) -> int {
                if (channels == 4 && x % 4 == 3) {
                    return rng() % 4 == 0 ? static_cast<int>(rng() % 256) : 255;
                }
                return rng() % 4 == 0 ? empty : static_cast<T>(rng());
            });
        }
        TestImage<T> expected = dst, serial = dst;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                reference(src.Pixel(channels * x, y), expected.Pixel(channels * x, y));
            }
        }
        omp_set_num_threads(1 + i % 3);
        blend(src, dst, w, h);
        omp_set_num_threads(1);
        blend(src, serial, w, h);
        EXPECT_EQ(Pixels(dst), Pixels(expected)) << w << "x" << h;
        EXPECT_EQ(Pixels(serial), Pixels(dst));
        EXPECT_TRUE(dst.OutsideUntouched() && src.Untouched());
    }
    omp_set_num_threads(threads);
}

}  // namespace

TEST(AlphaComposition, DocumentedPixels) {
    // 3 bytes: a destination with a zero takes the source, a source with a zero leaves it.
    EXPECT_EQ(BlendOne({0, 10, 20}, {100, 100, 100}), (std::vector<int>{100, 100, 100}));
    EXPECT_EQ(BlendOne({10, 20, 30}, {0, 50, 50}), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(BlendOne({10, 20, 31}, {21, 40, 60}), (std::vector<int>{15, 30, 45}));
    EXPECT_EQ(BlendOne({255, 255, 255}, {255, 254, 1}), (std::vector<int>{255, 254, 128}));
    // 4 bytes: not opaque takes the source with its alpha; opaque black stays; else per channel.
    EXPECT_EQ(BlendOne({1, 2, 3, 254}, {50, 60, 70, 7}), (std::vector<int>{50, 60, 70, 7}));
    EXPECT_EQ(BlendOne({0, 0, 0, 255}, {50, 60, 70, 7}), (std::vector<int>{0, 0, 0, 255}));
    EXPECT_EQ(BlendOne({0, 20, 31, 255}, {50, 0, 60, 7}), (std::vector<int>{50, 20, 45, 255}));
    // 16 bits: key 0 and a key that is not 0.
    EXPECT_EQ(BlendOne16(0, 1234, 0), 1234);
    EXPECT_EQ(BlendOne16(1234, 0, 0), 1234);
    EXPECT_EQ(BlendOne16(1001, 2000, 0), 1500);
    EXPECT_EQ(BlendOne16(65535, 65535, 0), 65535);
    EXPECT_EQ(BlendOne16(7, 7, 7), 7);      // a source equal to the key over the key writes the key
    EXPECT_EQ(BlendOne16(0, 900, 7), 450);  // then 0 is an ordinary value
}

TEST(AlphaComposition, EveryPixelFollowsTheRules) {
    CheckEveryPixel<unsigned char>(
        3, 0,
        [](const Bytes& s, Bytes& d, int w, int h) {
            AlphaComposition::BlendImages8u_C3(s.Data(), s.Pitch(), d.Data(), d.Pitch(), w, h);
        },
        Reference3);
    CheckEveryPixel<unsigned char>(
        4, 0,
        [](const Bytes& s, Bytes& d, int w, int h) {
            AlphaComposition::BlendImages8u_C4(s.Data(), s.Pitch(), d.Data(), d.Pitch(), w, h);
        },
        Reference4);
    for (const int key : {0, 3, 65535}) {
        CheckEveryPixel<unsigned short>(
            1, key,
            [key](const Words& s, Words& d, int w, int h) {
                AlphaComposition::BlendImages(s.Data(), s.Pitch(), d.Data(), d.Pitch(),
                                              static_cast<unsigned short>(key), w, h);
            },
            [key](const unsigned short* s, unsigned short* d) {
                *d = *d == key ? *s : *s == key ? *d : static_cast<unsigned short>((*d + *s) / 2);
            });
    }
}
