#include <PixelPrimitives/PixelPrimitives.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "TestImage.h"

using PP = PixelPrimitives;
using Image = TestImage<unsigned char>;

// The module's float arithmetic in its documented order, pixel by pixel: whichever path a row
// takes (whole vectors, the pairs left over, or no vectors at all), the bytes must be these,
// exactly.
namespace {

unsigned char RoundToByte(float v) {
    return static_cast<unsigned char>(std::clamp(std::nearbyint(v), 0.0f, 255.0f));
}

void RgbToYuvReference(const unsigned char* p, unsigned char* q) {
    const float r0 = p[0], g0 = p[1], b0 = p[2], r1 = p[3], g1 = p[4], b1 = p[5];
    const auto luma = [](float r, float g, float b) {
        return 0.299f * r + 0.587f * g + 0.114f * b;
    };
    const auto u = [](float r, float g, float b) {
        return -0.147f * r - 0.289f * g + 0.436f * b + 128.0f;
    };
    const auto v = [](float r, float g, float b) {
        return 0.615f * r - 0.515f * g - 0.100f * b + 128.0f;
    };
    q[0] = RoundToByte(luma(r0, g0, b0));
    q[1] = RoundToByte((u(r0, g0, b0) + u(r1, g1, b1)) * 0.5f);
    q[2] = RoundToByte(luma(r1, g1, b1));
    q[3] = RoundToByte((v(r0, g0, b0) + v(r1, g1, b1)) * 0.5f);
}

void YuvToRgbReference(const unsigned char* p, unsigned char* q) {
    const float u = p[1] - 128.0f, v = p[3] - 128.0f;
    for (int k = 0; k < 2; ++k) {
        const float y = p[2 * k];
        q[3 * k] = RoundToByte(y + 1.140f * v);
        q[3 * k + 1] = RoundToByte(y - 0.394f * u - 0.581f * v);
        q[3 * k + 2] = RoundToByte(y + 2.032f * u);
    }
}

}  // namespace

// Every width up to a few vectors of pairs, then a frame's rows, of random bytes with runs of
// extremes (0 and 255 make the saturating ends); strided, through the guard check. The outputs'
// regions stop before an odd last column, so the guard check proves it is not written. A null
// destination must be rejected, not written.
TEST(Colour, EveryPathGivesTheSameBytes) {
    std::mt19937 rng(71);
    std::vector<RegionSize> sizes;
    for (int w = 1; w <= 100; ++w) {
        sizes.push_back({w, 3});
    }
    sizes.push_back({640, 64});
    for (const RegionSize& size : sizes) {
        const int w = size.width, h = size.height, pairs = w / 2;
        Image in(3 * w, h), yuv(4 * pairs, h), rgb(6 * pairs, h);
        in.Fill([&](int, int) {
            const unsigned pick = rng() % 8;
            return pick == 0 ? 0 : pick == 1 ? 255 : static_cast<int>((rng() >> 8) % 256);
        });
        ASSERT_TRUE(PP::RGBToYUV422_8u_C3C2R(in.Data(), in.Pitch(), yuv.Data(), yuv.Pitch(), w, h));
        ASSERT_TRUE(PP::YUV422ToRGB_8u_C2C3R(in.Data(), in.Pitch(), rgb.Data(), rgb.Pitch(), w, h));
        EXPECT_TRUE(yuv.OutsideUntouched() && rgb.OutsideUntouched());
        EXPECT_FALSE(PP::YUV422ToRGB_8u_C2C3R(in.Data(), in.Pitch(), nullptr, 12, w, h));
        for (int y = 0; y < h; ++y) {
            for (int i = 0; i < pairs; ++i) {
                unsigned char toYuv[4], toRgb[6];
                RgbToYuvReference(in.Pixel(6 * i, y), toYuv);
                YuvToRgbReference(in.Pixel(4 * i, y), toRgb);
                for (int k = 0; k < 4; ++k) {
                    ASSERT_EQ(yuv.At(4 * i + k, y), toYuv[k]) << "width " << w << " pair " << i;
                }
                for (int k = 0; k < 6; ++k) {
                    ASSERT_EQ(rgb.At(6 * i + k, y), toRgb[k]) << "width " << w << " pair " << i;
                }
            }
        }
    }
}

// On whole vectors the conversion to 4:2:2 works in exact integers, on the equations'
// decimal coefficients, and converts a block in float only when one of its bytes is a tie. The
// checks below cover every input each output byte depends on; under the sanitizers a subset.
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kStride = 31;
#else
constexpr int kStride = 1;
#endif

// A row of `pixels` colours from colour(i, rgb), with a pixel before and after them, converted
// into rgb and yuv (whole pairs from the row start); the vectors are reused from row to row.
template <typename Colour>
void ConvertRow(int pixels, Colour colour, std::vector<unsigned char>& rgb,
                std::vector<unsigned char>& yuv) {
    const int width = pixels + 2;
    rgb.assign(3 * static_cast<std::size_t>(width), 0);
    yuv.assign(2 * static_cast<std::size_t>(width), 0);
    for (int i = 0; i < pixels; ++i) {
        colour(i, &rgb[3 * static_cast<std::size_t>(i + 1)]);
    }
    EXPECT_TRUE(PP::RGBToYUV422_8u_C3C2R(rgb.data(), 3 * width, yuv.data(), 2 * width, width, 1));
}

// The exact chroma byte of a pair whose channel sums give numerator n (n / 2000 + 128), or -1
// for a tie.
int ExactChroma(int n) {
    if ((n + 1000) % 2000 == 0) {
        return -1;
    }
    return std::clamp((n + 257000) / 2000, 0, 255);
}

}  // namespace

// Luma is per pixel: every colour, at an odd and (one row further) at an even position.
TEST(Colour, LumaOfEveryColour) {
    std::vector<unsigned char> rgb, yuv;
    for (int r = 0; r < 256; r += kStride) {
        for (int shift = 0; shift < 2; ++shift) {
            ConvertRow(
                65536 + shift,
                [&](int i, unsigned char* p) {
                    const int j = std::max(i - shift, 0);
                    p[0] = static_cast<unsigned char>(r);
                    p[1] = static_cast<unsigned char>(j >> 8);
                    p[2] = static_cast<unsigned char>(j);
                },
                rgb, yuv);
            for (std::size_t x = 0; x + 1 < yuv.size() / 2; ++x) {
                const float fr = rgb[3 * x], fg = rgb[3 * x + 1], fb = rgb[3 * x + 2];
                const int expected = RoundToByte(0.299f * fr + 0.587f * fg + 0.114f * fb);
                if (yuv[2 * x] != expected) {
                    FAIL() << "luma of " << +rgb[3 * x] << "," << +rgb[3 * x + 1] << ","
                           << +rgb[3 * x + 2] << ": " << +yuv[2 * x] << ", not " << expected;
                }
            }
        }
    }
}

// A pair's chroma: the exact form depends only on the sums R, G, B of its two pixels' channels,
// each 0..510, so every sum goes through one split. For any split: the float chroma of every
// single colour is measured to be within `worst` of its exact value, so a pair's float mean (the
// sum rounded once more, by at most 2^-16 after halving) is within worst + 2^-16 of the exact
// mean. That is a multiple of 1/2000 and, unless it is a tie, at least 1/2000 from a half: with
// the bound smaller, float rounds it as the exact value, whatever the split. At ties the bytes
// must be float's.
TEST(Colour, ChromaOfEveryPairSum) {
    double worst = 0.0;
    for (int r = 0; r < 256; r += kStride) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const float fr = r, fg = g, fb = b;
                const float u = -0.147f * fr - 0.289f * fg + 0.436f * fb + 128.0f;
                const float v = 0.615f * fr - 0.515f * fg - 0.100f * fb + 128.0f;
                worst =
                    std::max(worst, std::fabs(u - ((-147 * r - 289 * g + 436 * b) / 1000.0 + 128)));
                worst =
                    std::max(worst, std::fabs(v - ((615 * r - 515 * g - 100 * b) / 1000.0 + 128)));
            }
        }
    }
    EXPECT_LT(worst + std::ldexp(1.0, -16), 1.0 / 2000) << "worst " << worst;

    const auto half = [](int sum, int second) {  // a sum split as evenly as the bytes allow
        const int first = std::min(sum, 255);
        return static_cast<unsigned char>(second ? sum - first : first);
    };
    std::vector<unsigned char> rgb, yuv;
    for (int red = 0; red <= 510; red += kStride) {
        // Sum number k split over pixels 2k + 2 and 2k + 3 of the row: its pair k + 1.
        ConvertRow(
            2 * 511 * 511 + 1,
            [&](int i, unsigned char* p) {
                const int j = std::max(i - 1, 0), k = j / 2, second = j % 2;
                p[0] = half(red, second);
                p[1] = half(k / 511, second);
                p[2] = half(k % 511, second);
            },
            rgb, yuv);
        for (int k = 0; k < 511 * 511; ++k) {
            const int green = k / 511, blue = k % 511;
            const std::size_t pair = static_cast<std::size_t>(k) + 1;
            int u = ExactChroma(-147 * red - 289 * green + 436 * blue);
            int v = ExactChroma(615 * red - 515 * green - 100 * blue);
            if (u < 0 || v < 0) {
                unsigned char expected[4];
                RgbToYuvReference(&rgb[6 * pair], expected);
                u = u < 0 ? expected[1] : u;
                v = v < 0 ? expected[3] : v;
            }
            if (yuv[4 * pair + 1] != u || yuv[4 * pair + 3] != v) {
                FAIL() << "sums " << red << "," << green << "," << blue << ": "
                       << +yuv[4 * pair + 1] << "," << +yuv[4 * pair + 3] << ", not " << u << ","
                       << v;
            }
        }
    }
}
