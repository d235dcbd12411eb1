#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HostileCalls.h"
#include "SyntheticPlume.h"
#include "TestImage.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using u16 = unsigned short;
using Bytes = TestImage<unsigned char>;

template <typename Detector>
void RunDetector(Detector& d, const std::vector<ImageArg>& a, int w, int h) {
    d.Run(a[0].As<u16>(), a[0].step, a[1].As<u16>(), a[1].step, a[2].data, a[2].step, a[3].data,
          a[3].step, w, h);
}

TEST(GasRobustness, BadArgumentsReadAndWriteNothing) {
    GasDetection spectral;
    ExpectBadArgumentsIgnored("GasDetection", {2, 2, 4, 4},
                              [&](const Args& a, int w, int h) { RunDetector(spectral, a, w, h); });
    GasDetectionDifference difference;
    ExpectBadArgumentsIgnored(
        "GasDetectionDifference", {2, 2, 4, 4},
        [&](const Args& a, int w, int h) { RunDetector(difference, a, w, h); });

    // A small frame has no room for a shift: in place, it is written back as it was. The
    // estimate-only forms leave the shifts given back and kept as they were.
    ImageStabilization s;
    int dx = 0, dy = 0;
    auto shiftsKept = [&] { return dx == 99 && dy == 99 && s.GetDx() == 0 && s.GetDy() == 0; };
    auto checkStabilizer = [&](auto pixel, const std::string& name) {
        using T = decltype(pixel);
        const int size = sizeof(T);
        ExpectBadArgumentsIgnored(name, {size, size, size}, [&](const Args& a, int w, int h) {
            s.Run(a[0].As<T>(), a[0].step, a[1].As<T>(), a[1].step, a[2].As<T>(), a[2].step, w, h);
        });
        ExpectBadArgumentsIgnored(
            name + " in place", {size, size},
            [&](const Args& a, int w, int h) {
                s.Run(a[0].As<T>(), a[0].step, a[1].As<T>(), a[1].step, w, h);
            },
            false);
        ExpectBadArgumentsIgnored(
            name + " estimate", {size, size},
            [&](const Args& a, int w, int h) {
                dx = dy = 99;
                s.Run(a[0].As<T>(), a[0].step, a[1].As<T>(), a[1].step, w, h, dx, dy);
            },
            false, shiftsKept);
    };
    checkStabilizer(u16{}, "Stabilization 16u");
    checkStabilizer(float{}, "Stabilization 32f");
}

// Frame 1 of a plume scene, moved by (2, 1), and the clear reference, as images.
void PlumePair(TestImage<u16>& src, TestImage<u16>& ref) {
    const SyntheticPlume scene(src.Width(), src.Height());
    const std::vector<std::uint16_t> plume = scene.Frame(1, 2, 1, true);
    const std::vector<std::uint16_t> clear = scene.Frame(0, 0, 0, false);
    src.Fill([&](int x, int y) { return plume[static_cast<std::size_t>(y) * src.Width() + x]; });
    ref.Fill([&](int x, int y) { return clear[static_cast<std::size_t>(y) * src.Width() + x]; });
}

// Each allocation of a Run fails in turn (the stabiliser's included): the output keeps its
// content, or is the right one when the failure struck the constructor, and the next Run gives
// a fresh detector's result.
template <typename Detector>
void CheckDetector(const char* name) {
    const int w = 160, h = 128;
    TestImage<u16> src(w, h), ref(w, h);
    PlumePair(src, ref);
    Bytes colour(4 * w, h), want(4 * w, h);
    colour.Fill([](int x, int y) { return (x * 3 + y) % 256; });
    auto run = [&](Detector& d, Bytes& out) {
        d.Run(src.Data(), src.Pitch(), ref.Data(), ref.Pitch(), colour.Data(), colour.Pitch(),
              out.Data(), out.Pitch(), w, h);
    };
    Detector fresh;
    run(fresh, want);
    // The pair must show something, or a run that lost its spectra would pass unnoticed.
    Bytes still(4 * w, h);
    Detector unmoved;
    unmoved.Run(ref.Data(), ref.Pitch(), ref.Data(), ref.Pitch(), colour.Data(), colour.Pitch(),
                still.Data(), still.Pitch(), w, h);
    EXPECT_NE(Pixels(still), Pixels(want)) << name;
    std::unique_ptr<Detector> d;
    Bytes out(4 * w, h);
    int untouchedRuns = 0;
    const int allocations = ForEachFailedAllocation(
        [&] {
            out = Bytes(4 * w, h);
            d = std::make_unique<Detector>();
            run(*d, out);
        },
        [&](int k) {
            untouchedRuns += out.Untouched();
            EXPECT_TRUE(out.Untouched() || Pixels(out) == Pixels(want)) << name << " " << k;
            run(*d, out);
            EXPECT_EQ(Pixels(out), Pixels(want)) << name << " " << k;
        });
    EXPECT_GT(allocations, 5) << name;
    EXPECT_GT(untouchedRuns, 5) << name;
}

TEST(GasRobustness, FailedAllocationsWriteNothingAndLeaveDetectorsUsable) {
    CheckDetector<GasDetection>("GasDetection");
    CheckDetector<GasDetectionDifference>("GasDetectionDifference");
}

TEST(GasRobustness, StabilizerSurvivesFailedAllocations) {
    const int w = 160, h = 128;
    TestImage<u16> src(w, h), ref(w, h), want(w, h), out(w, h);
    PlumePair(src, ref);
    ImageStabilization fresh;
    fresh.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), want.Data(), want.Pitch(), w, h);
    ASSERT_NE(fresh.GetDx(), 0);
    std::unique_ptr<ImageStabilization> s;
    int untouchedRuns = 0;
    const int allocations = ForEachFailedAllocation(
        [&] {
            out = TestImage<u16>(w, h);
            s = std::make_unique<ImageStabilization>();
            s->Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), out.Data(), out.Pitch(), w, h);
        },
        [&](int k) {
            // Only the copies that let a repeated frame be recognised are optional: without
            // them the call still gives the full result.
            untouchedRuns += out.Untouched();
            EXPECT_TRUE(out.Untouched() || Pixels(out) == Pixels(want)) << k;
            s->Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), out.Data(), out.Pitch(), w, h);
            EXPECT_EQ(Pixels(out), Pixels(want)) << k;
        });
    EXPECT_GT(allocations, 5);
    EXPECT_EQ(allocations - untouchedRuns, 2);
    // A copy that could not duplicate every buffer fills the gaps on its next Run.
    ForEachFailedAllocation(
        [&] {
            ImageStabilization copy(fresh);
            TestImage<u16> dst(w, h);
            copy.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), w,
                     h);
            EXPECT_EQ(Pixels(dst), Pixels(want));
        },
        [](int) {});
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
