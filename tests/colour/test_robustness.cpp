#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>
#include <Varnik/Soloma/ImageProcessing/Blending.h>
#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>
#include <Varnik/Soloma/ImageProcessing/Fusion.h>
#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>
#include <Varnik/Soloma/ImageProcessing/Palettes.h>

#include <gtest/gtest.h>

#include <vector>

#include "HostileCalls.h"
#include "TestImage.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using u8 = unsigned char;
using u16 = unsigned short;
using AC = AlphaComposition;
using CT = ColorTransformation;
using GT = GeometricTransforms;

TEST(ColourRobustness, CompositionAndColouringIgnoreBadArguments) {
    ExpectBadArgumentsIgnored("Blend C3", {3, 3}, [](const Args& a, int w, int h) {
        AC::BlendImages8u_C3(a[0].data, a[0].step, a[1].data, a[1].step, w, h);
    });
    ExpectBadArgumentsIgnored("Blend C4", {4, 4}, [](const Args& a, int w, int h) {
        AC::BlendImages8u_C4(a[0].data, a[0].step, a[1].data, a[1].step, w, h);
    });
    ExpectBadArgumentsIgnored("Blend 16u", {2, 2}, [](const Args& a, int w, int h) {
        AC::BlendImages(a[0].As<u16>(), a[0].step, a[1].As<u16>(), a[1].step, 0, w, h);
    });
    const std::vector<RGBQUAD> quads(65536, RGBQUAD{10, 20, 30, 0});
    const std::vector<int> ints(65536, 0x00102030);
    ExpectBadArgumentsIgnored("Blending", {2, 4}, [&](const Args& a, int w, int h) {
        Blending::ColorIRImage(quads.data(), a[0].data, a[0].step, a[1].data, a[1].step, 0.5f, 0.5f,
                               w, h);
        Blending::ColorIRImage(nullptr, a[0].data, a[0].step, a[1].data, a[1].step, 0.5f, 0.5f, w,
                               h);
    });
    ExpectBadArgumentsIgnored("Fusion colour", {2, 4}, [&](const Args& a, int w, int h) {
        Fusion::ColorIRImage(a[0].As<u16>(), a[0].step, a[1].As<int>(), a[1].step, ints.data(), 0,
                             65535, w, h);
        Fusion::ColorIRImage(a[0].As<u16>(), a[0].step, a[1].As<int>(), a[1].step, nullptr, 0,
                             65535, w, h);
    });
    ExpectBadArgumentsIgnored("Fusion combine", {4, 12, 4}, [](const Args& a, int w, int h) {
        Fusion::CombineIRAndDC(a[0].data, a[0].step, a[1].As<float>(), a[1].step, a[2].data,
                               a[2].step, w, h, 2, 2);
    });
    ExpectBadArgumentsIgnored("Palettes", {2, 4}, [](const Args& a, int w, int h) {
        Palettes::Apply(a[0].As<u16>(), a[0].step, Palettes::Iron, 0, 200, a[1].data, a[1].step, w,
                        h);
    });
    // The display range has documented limits for a frame it cannot read.
    int low = 5, high = 5;
    std::vector<u16> frame(40, 300);
    Palettes::DisplayRange(frame.data(), 9, 5, 8, &low, &high);
    EXPECT_TRUE(low == 0 && high == 65535);
}

TEST(ColourRobustness, ConversionsAndTransformsIgnoreBadArguments) {
    struct Conversion {
        const char* name;
        void (*f)(const u8*, int, u8*, int, int, int);
        int srcBytes, dstBytes;
    };
    for (const Conversion& c : {Conversion{"RGBAToRGB", &CT::RGBAToRGB, 4, 3},
                                {"RGBToRGBA", &CT::RGBToRGBA, 3, 4},
                                {"RGBToYUV422", &CT::RGBToYUV422, 3, 2},
                                {"YUV422ToRGB", &CT::YUV422ToRGB, 2, 3},
                                {"RGBAToYUV422", &CT::RGBAToYUV422, 4, 2},
                                {"YUV422ToRGBA", &CT::YUV422ToRGBA, 2, 4}}) {
        ExpectBadArgumentsIgnored(c.name, {c.srcBytes, c.dstBytes},
                                  [&](const Args& a, int w, int h) {
                                      c.f(a[0].data, a[0].step, a[1].data, a[1].step, w, h);
                                  });
    }
    // Resize takes a size per image: here both the same, each variant applied to both.
    ExpectBadArgumentsIgnored("Resize 16u", {2, 2}, [](const Args& a, int w, int h) {
        GT::Resize_16u_C1(a[0].As<u16>(), a[0].step, w, h, a[1].As<u16>(), a[1].step, w, h, 0.5f, 0,
                          0, true);
    });
    ExpectBadArgumentsIgnored("Resize 32f", {4, 4}, [](const Args& a, int w, int h) {
        GT::Resize_32f_C1(a[0].As<float>(), a[0].step, w, h, a[1].As<float>(), a[1].step, w, h,
                          0.5f, 0, 0, true);
    });
    ExpectBadArgumentsIgnored("Resize C3", {3, 3}, [](const Args& a, int w, int h) {
        GT::Resize_8u_C3(a[0].data, a[0].step, w, h, a[1].data, a[1].step, w, h, 0.5f, 0, 0, true);
    });
    ExpectBadArgumentsIgnored("Resize C4", {4, 4}, [](const Args& a, int w, int h) {
        GT::Resize_8u_C4(a[0].data, a[0].step, w, h, a[1].data, a[1].step, w, h, 0.5f, 0, 0, true);
    });
    ExpectBadArgumentsIgnored("Rotate 16u", {2, 2}, [](const Args& a, int w, int h) {
        GT::RotateCenter_16u_C1(a[0].As<u16>(), a[0].step, a[1].As<u16>(), a[1].step, w, h, 10.0f);
    });
    ExpectBadArgumentsIgnored("Rotate 32f", {4, 4}, [](const Args& a, int w, int h) {
        GT::RotateCenter_32f_C1(a[0].As<float>(), a[0].step, a[1].As<float>(), a[1].step, w, h,
                                10.0f);
    });
    ExpectBadArgumentsIgnored("Rotate C3", {3, 3}, [](const Args& a, int w, int h) {
        GT::RotateCenter_8u_C3(a[0].data, a[0].step, a[1].data, a[1].step, w, h, 10.0f);
    });
    ExpectBadArgumentsIgnored("Rotate C4", {4, 4}, [](const Args& a, int w, int h) {
        GT::RotateCenter_8u_C4(a[0].data, a[0].step, a[1].data, a[1].step, w, h, 10.0f);
    });
}

// The chained YUV conversions allocate a temporary image: without it they write nothing.
TEST(ColourRobustness, ChainedConversionsWriteNothingWithoutMemory) {
    TestImage<u8> rgba(4 * 10, 6), yuv(2 * 10, 6);
    rgba.Fill([](int x, int y) { return x * 7 + y; });
    yuv.Fill([](int x, int y) { return x * 5 + y * 3; });
    TestImage<u8> out(2 * 10, 6);
    EXPECT_EQ(
        ForEachFailedAllocation(
            [&] { CT::RGBAToYUV422(rgba.Data(), rgba.Pitch(), out.Data(), out.Pitch(), 10, 6); },
            [&](int) { EXPECT_TRUE(out.Untouched()); }),
        1);
    TestImage<u8> back(4 * 10, 6);
    EXPECT_EQ(
        ForEachFailedAllocation(
            [&] { CT::YUV422ToRGBA(yuv.Data(), yuv.Pitch(), back.Data(), back.Pitch(), 10, 6); },
            [&](int) { EXPECT_TRUE(back.Untouched()); }),
        1);
    EXPECT_FALSE(out.Untouched() || back.Untouched());
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
