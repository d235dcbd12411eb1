#include <Varnik/Soloma/ImageProcessing/LogicalOperations.h>
#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "RegionChecks.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using Image = TestImage<unsigned char>;
using L = LogicalOperations;
using M = MorphologicalOperations;

// Sets the one-pixel ring round the region and takes the image as the reference state.
void SetRing(Image& image, int value) {
    for (int y = -1; y <= image.Height(); ++y) {
        for (int x = -1; x <= image.Width(); ++x) {
            if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) {
                image.At(x, y) = static_cast<unsigned char>(value);
            }
        }
    }
    image.Snapshot();
}

// Every form reaches the operation it names, with its operands in order: the two-source form,
// the in-place form (srcDst = src op srcDst) and both constant forms, on random bytes.
TEST(LogicalOperations, EveryFormCombinesBitByBit) {
    std::mt19937 rng(5);
    const int w = 37, h = 5;
    Image a(w, h), b(w, h);
    a.FillRandom(rng, 0, 255);
    b.FillRandom(rng, 0, 255);
    const unsigned char k = 0x5A;
    using Op = std::function<int(int, int)>;
    auto check = [&](const char* name, Op op, auto twoSource, auto inPlace, auto constantInPlace,
                     auto constant) {
        SCOPED_TRACE(name);
        Image dst(w, h), srcDst = b, withK(w, h), withKInPlace = a;
        twoSource(a.Data(), a.Pitch(), b.Data(), b.Pitch(), dst.Data(), dst.Pitch(), w, h);
        inPlace(a.Data(), a.Pitch(), srcDst.Data(), srcDst.Pitch(), w, h);
        constant(a.Data(), a.Pitch(), k, withK.Data(), withK.Pitch(), w, h);
        constantInPlace(withKInPlace.Data(), withKInPlace.Pitch(), k, w, h);
        for (const Image* image : {&dst, &srcDst}) {
            ExpectRegion(*image, [&](int x, int y) { return op(a.At(x, y), b.At(x, y)); });
        }
        for (const Image* image : {&withK, &withKInPlace}) {
            ExpectRegion(*image, [&](int x, int y) { return op(a.At(x, y), k); });
        }
    };
    using Two = void (*)(const unsigned char*, int, const unsigned char*, int, unsigned char*, int,
                         int, int);
    using In = void (*)(const unsigned char*, int, unsigned char*, int, int, int);
    using KIn = void (*)(unsigned char*, int, unsigned char, int, int);
    using K = void (*)(const unsigned char*, int, unsigned char, unsigned char*, int, int, int);
    check("and", std::bit_and<int>(), Two{L::And}, In{L::And}, KIn{L::AndC}, K{L::AndC});
    check("or", std::bit_or<int>(), Two{L::Or}, In{L::Or}, KIn{L::OrC}, K{L::OrC});
    check("xor", std::bit_xor<int>(), Two{L::Xor}, In{L::Xor}, KIn{L::XorC}, K{L::XorC});
    Image inverted(w, h);
    L::Not(a.Data(), a.Pitch(), inverted.Data(), inverted.Pitch(), w, h);
    ExpectRegion(inverted, [&](int x, int y) { return 255 - a.At(x, y); });
    L::Not(inverted.Data(), inverted.Pitch(), w, h);
    ExpectRegion(inverted, [&](int x, int y) { return a.At(x, y); });
    // A mask combined with itself.
    L::Xor(a.Data(), a.Pitch(), a.Data(), a.Pitch(), inverted.Data(), inverted.Pitch(), w, h);
    ExpectRegion(inverted, [](int, int) { return 0; });
    EXPECT_TRUE(a.Untouched() && b.Untouched());
}

// A region inside a larger image: the pixels round it are its neighbours. Surrounded by 255 an
// all-0 region dilates to 255 along its edge; surrounded by 0 an all-255 region erodes to 0
// along its edge. Both forms agree and nothing outside the region is written. Then a dilation
// and an erosion close a one-pixel hole.
TEST(MorphologicalOperations, ReadTheImageRoundTheRegion) {
    const int w = 9, h = 6;
    for (bool dilate : {true, false}) {
        SCOPED_TRACE(dilate ? "dilate" : "erode");
        const int inside = dilate ? 0 : 255;
        Image src(w, h, 1);
        src.Fill([&](int, int) { return inside; });
        SetRing(src, 255 - inside);
        Image dst(w, h);
        Image srcDst = src;
        if (dilate) {
            M::Dilate3x3(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w, h);
            M::Dilate3x3(srcDst.Data(), srcDst.Pitch(), w, h);
        } else {
            M::Erode3x3(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w, h);
            M::Erode3x3(srcDst.Data(), srcDst.Pitch(), w, h);
        }
        for (const Image* image : {&dst, &srcDst}) {
            ExpectRegion(*image, [&](int x, int y) {
                return x == 0 || y == 0 || x == w - 1 || y == h - 1 ? 255 - inside : inside;
            });
        }
        EXPECT_TRUE(src.Untouched());
    }
    auto square = [](int x, int y) { return x >= 3 && x <= 8 && y >= 3 && y <= 8 ? 255 : 0; };
    Image mask(12, 12, 1);
    mask.Fill(square);
    mask.At(5, 6) = 0;
    SetRing(mask, 0);
    M::Dilate3x3(mask.Data(), mask.Pitch(), 12, 12);
    M::Erode3x3(mask.Data(), mask.Pitch(), 12, 12);
    ExpectRegion(mask, square);
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
