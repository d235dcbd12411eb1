#include <Varnik/Soloma/ImageProcessing/LogicalOperations.h>
#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "HostileCalls.h"
#include "TestImage.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using u8 = unsigned char;
using u16 = unsigned short;
using LO = LogicalOperations;
using MO = MorphologicalOperations;

TEST(RegionsRobustness, MaskOperationsIgnoreBadArguments) {
    using Binary = void (*)(const u8*, int, const u8*, int, u8*, int, int, int);
    using InPlace = void (*)(const u8*, int, u8*, int, int, int);
    using Constant = void (*)(const u8*, int, u8, u8*, int, int, int);
    using ConstantInPlace = void (*)(u8*, int, u8, int, int);
    for (Binary f : {static_cast<Binary>(&LO::And), static_cast<Binary>(&LO::Or),
                     static_cast<Binary>(&LO::Xor)}) {
        ExpectBadArgumentsIgnored("binary", {1, 1, 1}, [&](const Args& a, int w, int h) {
            f(a[0].data, a[0].step, a[1].data, a[1].step, a[2].data, a[2].step, w, h);
        });
    }
    for (InPlace f : {static_cast<InPlace>(&LO::And), static_cast<InPlace>(&LO::Or),
                      static_cast<InPlace>(&LO::Xor), static_cast<InPlace>(&LO::Not)}) {
        ExpectBadArgumentsIgnored("two images", {1, 1}, [&](const Args& a, int w, int h) {
            f(a[0].data, a[0].step, a[1].data, a[1].step, w, h);
        });
    }
    // The 3x3 operations read a ring round the source: the sound call keeps one inside the
    // block; the bad variants go as they are.
    for (InPlace f : {static_cast<InPlace>(&MO::Dilate3x3), static_cast<InPlace>(&MO::Erode3x3)}) {
        ExpectBadArgumentsIgnored("3x3", {1, 1}, [&](const Args& a, int w, int h) {
            if (a[0].data != nullptr && a[1].data != nullptr && w == 24 && h == 20 &&
                a[0].step == 32 && a[1].step == 32) {
                f(a[0].data + a[0].step + 1, a[0].step, a[1].data, a[1].step, w - 2, h - 2);
            } else {
                f(a[0].data, a[0].step, a[1].data, a[1].step, w, h);
            }
        });
    }
    for (Constant f : {static_cast<Constant>(&LO::AndC), static_cast<Constant>(&LO::OrC),
                       static_cast<Constant>(&LO::XorC)}) {
        ExpectBadArgumentsIgnored("constant", {1, 1}, [&](const Args& a, int w, int h) {
            f(a[0].data, a[0].step, 0x5A, a[1].data, a[1].step, w, h);
        });
    }
    for (ConstantInPlace f :
         {static_cast<ConstantInPlace>(&LO::AndC), static_cast<ConstantInPlace>(&LO::OrC),
          static_cast<ConstantInPlace>(&LO::XorC)}) {
        ExpectBadArgumentsIgnored("constant in place", {1}, [&](const Args& a, int w, int h) {
            f(a[0].data, a[0].step, 0x5A, w, h);
        });
    }
    for (auto f : {static_cast<void (*)(u8*, int, int, int)>(&LO::Not),
                   static_cast<void (*)(u8*, int, int, int)>(&MO::Dilate3x3),
                   static_cast<void (*)(u8*, int, int, int)>(&MO::Erode3x3)}) {
        // Likewise in place.
        ExpectBadArgumentsIgnored("in place", {1}, [&](const Args& a, int w, int h) {
            if (a[0].data != nullptr && w == 24 && h == 20 && a[0].step == 32) {
                f(a[0].data + a[0].step + 1, a[0].step, w - 2, h - 2);
            } else {
                f(a[0].data, a[0].step, w, h);
            }
        });
    }
}

TEST(RegionsRobustness, MagicWandIgnoresBadArguments) {
    MagicWand wand;
    ExpectBadArgumentsIgnored("Add", {2, 1}, [&](const Args& a, int w, int h) {
        wand.Add(a[0].As<u16>(), a[0].step, a[1].data, a[1].step, 5000.0f, 3, 4, w, h);
    });
    ExpectBadArgumentsIgnored("Remove", {2, 1}, [&](const Args& a, int w, int h) {
        wand.Remove(a[0].As<u16>(), a[0].step, a[1].data, a[1].step, 5000.0f, 3, 4, w, h);
    });
}

// Every allocation of Add fails in turn: the mask keeps its content and the next call gives
// a fresh wand's mask; so do copies that could not duplicate every buffer.
TEST(RegionsRobustness, MagicWandSurvivesFailedAllocations) {
    TestImage<u16> frame(41, 27);
    frame.Fill([](int x, int y) { return (x - 20) * (x - 20) + (y - 13) * (y - 13); });
    auto add = [&](MagicWand& wand, TestImage<u8>& mask) {
        wand.Add(frame.Data(), frame.Pitch(), mask.Data(), mask.Pitch(), 90.0f, 20, 13, 41, 27);
    };
    TestImage<u8> want(41, 27);
    MagicWand fresh;
    add(fresh, want);
    std::unique_ptr<MagicWand> wand;
    TestImage<u8> mask(41, 27);
    const int allocations = ForEachFailedAllocation(
        [&] {
            mask = TestImage<u8>(41, 27);
            wand = std::make_unique<MagicWand>();
            add(*wand, mask);
        },
        [&](int k) {
            EXPECT_TRUE(mask.Untouched()) << k;
            add(*wand, mask);
            EXPECT_EQ(Pixels(mask), Pixels(want)) << k;
        });
    EXPECT_GE(allocations, 8);
    ForEachFailedAllocation(
        [&] {
            MagicWand copy(fresh);
            TestImage<u8> copied(41, 27);
            add(copy, copied);
            EXPECT_EQ(Pixels(copied), Pixels(want));
        },
        [](int) {});
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
