#include <Varnik/Soloma/ImageProcessing/DDE.h>
#include <Varnik/Soloma/ImageProcessing/FastDDE.h>
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>
#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "HostileCalls.h"
#include "TestImage.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using u16 = unsigned short;
using Frame = TestImage<u16>;

TEST(ContrastRobustness, BadArgumentsReadAndWriteNothing) {
    DDE dde(5, 1.5f);
    ExpectBadArgumentsIgnored("DDE", {2, 2}, [&](const std::vector<ImageArg>& a, int w, int h) {
        dde.Create(a[0].As<u16>(), a[0].step, a[1].As<u16>(), a[1].step, 0.5f, 2.0f, w, h);
    });
    FastDDE fast;
    ExpectBadArgumentsIgnored("FastDDE", {2, 2}, [&](const std::vector<ImageArg>& a, int w, int h) {
        fast.Create(a[0].As<u16>(), a[0].step, a[1].As<u16>(), a[1].step, 2.0f, w, h);
    });
    HistogramEqualization equalization;
    ExpectBadArgumentsIgnored(
        "HistogramEqualization", {2, 2}, [&](const std::vector<ImageArg>& a, int w, int h) {
            equalization.Create(a[0].As<u16>(), a[0].step, a[1].As<u16>(), a[1].step, w, h);
        });
    ExpectBadArgumentsIgnored("HistogramEqualization in place", {2},
                              [&](const std::vector<ImageArg>& a, int w, int h) {
                                  equalization.Create(a[0].As<u16>(), a[0].step, w, h);
                              });
}

// Every form of the plateau equalization, with the palette and its table as images of one
// row; a rejected call must not advance the damping either, so afterwards the object still
// gives a fresh object's result.
TEST(ContrastRobustness, PlateauBadArgumentsKeepTheDamping) {
    PlateauEqualization plateau;
    const std::vector<int> palette(65536, 0x00406080);
    ExpectBadArgumentsIgnored("Plateau", {2, 2}, [&](const std::vector<ImageArg>& a, int w, int h) {
        plateau.Create(a[0].As<u16>(), a[0].step, a[1].As<u16>(), a[1].step, w, h, 10.0f, 40.0f);
    });
    ExpectBadArgumentsIgnored("Plateau in place", {2},
                              [&](const std::vector<ImageArg>& a, int w, int h) {
                                  plateau.Create(a[0].As<u16>(), a[0].step, w, h, 10.0f, 40.0f);
                              });
    ExpectBadArgumentsIgnored("Plateau windowed", {2, 2},
                              [&](const std::vector<ImageArg>& a, int w, int h) {
                                  plateau.Create(a[0].As<u16>(), a[0].step, a[1].As<u16>(),
                                                 a[1].step, w, h, 10.0f, 40.0f, 0, 65535);
                              });
    ExpectBadArgumentsIgnored(
        "Plateau windowed in place", {2}, [&](const std::vector<ImageArg>& a, int w, int h) {
            plateau.Create(a[0].As<u16>(), a[0].step, w, h, 10.0f, 40.0f, 0, 65535);
        });
    std::vector<int> lut(16, -7);
    ExpectBadArgumentsIgnored(
        "Plateau palette", {2},
        [&](const std::vector<ImageArg>& a, int w, int h) {
            plateau.Create(a[0].As<u16>(), a[0].step, w, h, 10.0f, 40.0f, 0, 65535, palette.data(),
                           lut.data(), 16);
        },
        false);
    lut.assign(16, -7);
    const Frame src = RandomFrame(30, 20, 1000, 9000, 3);
    for (const int* p : {static_cast<const int*>(nullptr), palette.data()}) {
        plateau.Create(src.Data(), src.Pitch(), 30, 20, 10.0f, 40.0f, 0, 65535, p,
                       p ? nullptr : lut.data(), 16);
    }
    plateau.UpdateRGBLUT(nullptr, lut.data(), 16);
    plateau.UpdateRGBLUT(palette.data(), lut.data(), 0);
    EXPECT_EQ(lut, std::vector<int>(16, -7));

    // After a reset, rejected calls of every form leave the next frame undamped.
    Frame got(30, 20), want(30, 20);
    plateau.Reset();
    plateau.Create(src.Data(), src.Pitch(), nullptr, got.Pitch(), 30, 20, 10.0f, 40.0f);
    plateau.Create(src.Data(), 59, got.Data(), got.Pitch(), 30, 20, 10.0f, 40.0f);
    plateau.Create(src.Data(), src.Pitch(), 30, 20, 10.0f, 40.0f, 0, 65535, nullptr, lut.data(),
                   16);
    plateau.Create(src.Data(), src.Pitch(), got.Data(), got.Pitch(), 30, 20, 10.0f, 40.0f);
    PlateauEqualization fresh;
    fresh.Create(src.Data(), src.Pitch(), want.Data(), want.Pitch(), 30, 20, 10.0f, 40.0f);
    EXPECT_EQ(Pixels(got), Pixels(want));
}

// Each allocation of a call fails in turn, on a fresh object and on one that last ran at
// another size: the destination keeps its content (or, when an earlier step took the failure,
// gets the right result), and the next call gives a fresh object's result. Copies made while an
// allocation fails work as well.
template <typename Processor, typename Make, typename Run>
void CheckFailedAllocations(const char* name, Make make, Run run) {
    const Frame src = RandomFrame(37, 29, 2000, 12000, 5), other = RandomFrame(20, 16, 0, 900, 6);
    Frame want(37, 29), scratch(20, 16);
    std::unique_ptr<Processor> fresh(make());
    run(*fresh, src, want);
    int untouchedCalls = 0;
    for (bool used : {false, true}) {
        std::unique_ptr<Processor> p;
        Frame dst(37, 29);
        const int allocations = ForEachFailedAllocation(
            [&] {
                dst = Frame(37, 29);
                p.reset(make());
                if (used) {
                    run(*p, other, scratch);
                }
                run(*p, src, dst);
            },
            [&](int k) {
                // A failure that struck an earlier step (the constructor, the call at another
                // size) may leave this call the memory to finish; it must never write anything
                // else.
                const bool untouched = dst.Untouched();
                untouchedCalls += untouched;
                EXPECT_TRUE(untouched || Pixels(dst) == Pixels(want))
                    << name << " allocation " << k << (used ? " after a use" : "");
                run(*p, src, dst);
                EXPECT_EQ(Pixels(dst), Pixels(want)) << name << " allocation " << k;
            });
        EXPECT_GT(allocations, 0) << name;
    }
    EXPECT_GT(untouchedCalls, 0) << name;
    // A copy whose buffers could not all be duplicated still works.
    ForEachFailedAllocation(
        [&] {
            Processor copy(*fresh);
            Frame dst(37, 29);
            run(copy, src, dst);
            EXPECT_EQ(Pixels(dst), Pixels(want)) << name << " copy";
        },
        [](int) {});
}

TEST(ContrastRobustness, FailedAllocationsWriteNothingAndLeaveObjectsUsable) {
    CheckFailedAllocations<DDE>(
        "DDE", [] { return new DDE(5, 1.5f); },
        [](DDE& p, const Frame& s, Frame& d) {
            p.Create(s.Data(), s.Pitch(), d.Data(), d.Pitch(), 0.5f, 2.0f, s.Width(), s.Height());
        });
    CheckFailedAllocations<FastDDE>(
        "FastDDE", [] { return new FastDDE; },
        [](FastDDE& p, const Frame& s, Frame& d) {
            p.Create(const_cast<u16*>(s.Data()), s.Pitch(), d.Data(), d.Pitch(), 2.0f, s.Width(),
                     s.Height());
        });
    CheckFailedAllocations<HistogramEqualization>(
        "HistogramEqualization", [] { return new HistogramEqualization; },
        [](HistogramEqualization& p, const Frame& s, Frame& d) {
            p.Create(s.Data(), s.Pitch(), d.Data(), d.Pitch(), s.Width(), s.Height());
        });
    // Plateau: each call is the first after a reset, so the damping does not blur the check.
    CheckFailedAllocations<PlateauEqualization>(
        "Plateau", [] { return new PlateauEqualization; },
        [](PlateauEqualization& p, const Frame& s, Frame& d) {
            p.Reset();
            p.Create(s.Data(), s.Pitch(), d.Data(), d.Pitch(), s.Width(), s.Height(), 10.0f, 40.0f);
        });
    CheckFailedAllocations<PlateauEqualization>(
        "Plateau windowed", [] { return new PlateauEqualization; },
        [](PlateauEqualization& p, const Frame& s, Frame& d) {
            p.Reset();
            p.Create(s.Data(), s.Pitch(), d.Data(), d.Pitch(), s.Width(), s.Height(), 10.0f, 40.0f,
                     1000, 13000);
        });
}

// The palette form allocates its table's buffers too; a failure leaves the table and the
// damping as they were.
TEST(ContrastRobustness, PlateauPaletteFormSurvivesFailedAllocations) {
    const Frame src = RandomFrame(33, 21, 2000, 12000, 9);
    std::vector<int> palette(65536);
    for (int i = 0; i < 65536; ++i) {
        palette[i] = i * 7;
    }
    auto run = [&](PlateauEqualization& p, std::vector<int>& lut) {
        p.Create(src.Data(), src.Pitch(), src.Width(), src.Height(), 10.0f, 40.0f, 1000, 13000,
                 palette.data(), lut.data(), static_cast<int>(lut.size()));
    };
    std::vector<int> want(5000, -1);
    PlateauEqualization fresh;
    run(fresh, want);
    std::unique_ptr<PlateauEqualization> p;
    std::vector<int> lut;
    const int allocations = ForEachFailedAllocation(
        [&] {
            p = std::make_unique<PlateauEqualization>();
            lut.assign(5000, -1);
            run(*p, lut);
        },
        [&](int k) {
            EXPECT_EQ(lut, std::vector<int>(5000, -1)) << k;
            run(*p, lut);
            EXPECT_EQ(lut, want) << k;
        });
    EXPECT_GT(allocations, 2);
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
