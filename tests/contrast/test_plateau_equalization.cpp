#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::PlateauEqualization;

namespace {

using Frame = TestImage<unsigned short>;

// The parameters of one call; a window with hi < 0 selects the full-range family.
struct Params {
    float linearPercent, limit;
    int lo = 0, hi = -1;
};

// Runs src through the processor, into dst or in place when dst is null.
void Process(PlateauEqualization& e, Frame& src, Frame* dst, Params p) {
    const int w = src.Width(), h = src.Height();
    if (p.hi < 0 && dst != nullptr) {
        e.Create(src.Data(), src.Pitch(), dst->Data(), dst->Pitch(), w, h, p.linearPercent,
                 p.limit);
    } else if (p.hi < 0) {
        e.Create(src.Data(), src.Pitch(), w, h, p.linearPercent, p.limit);
    } else if (dst != nullptr) {
        e.Create(src.Data(), src.Pitch(), dst->Data(), dst->Pitch(), w, h, p.linearPercent, p.limit,
                 p.lo, p.hi);
    } else {
        e.Create(src.Data(), src.Pitch(), w, h, p.linearPercent, p.limit, p.lo, p.hi);
    }
}

// Straightforward model of the processor: even levels with the remainder widening the first
// bins, a damped histogram carried between frames, the clipped running sum in single
// precision, and the look-up interpolated in double and rounded to nearest-even.
struct Model {
    int n = 4096;
    float damping = 0.5f;
    bool first = true;
    std::vector<int> histogram, levels, values;

    static std::vector<int> Levels(int bins, long long lower, long long upper) {
        std::vector<int> result(bins + 1);
        const long long step = (upper - lower) / bins, extra = (upper - lower) % bins;
        for (int i = 0; i <= bins; ++i) {
            result[i] = static_cast<int>(lower + i * step + std::min<long long>(i, extra));
        }
        return result;
    }
    // The bin holding v among the first `bins` bins, or -1.
    int BinOf(int v, int bins) const {
        const auto end = levels.begin() + bins + 1;
        const int k = static_cast<int>(std::upper_bound(levels.begin(), end, v) - levels.begin());
        return k >= 1 && k <= bins ? k - 1 : -1;
    }
    // Takes one frame and leaves its mapping in levels and values.
    void Step(std::vector<int> pixels, Params p) {
        if (p.hi < 0) {
            for (int& v : pixels) {  // divided by 16, rounded to nearest-even
                v = v / 16 + (v % 16 > 8 || (v % 16 == 8 && v / 16 % 2 == 1) ? 1 : 0);
            }
        }
        levels = p.hi < 0 ? Levels(n, 0, n) : Levels(n, p.lo, p.hi + 1LL);
        std::vector<int> fresh(n, 0);
        for (int v : pixels) {
            if (BinOf(v, n) >= 0) {
                ++fresh[BinOf(v, n)];
            }
        }
        for (int k = 0; k < n && !first; ++k) {
            const float blended = static_cast<float>(fresh[k]) * (1.0f - damping);
            fresh[k] = static_cast<int>(blended + static_cast<float>(histogram[k]) * damping);
        }
        first = false;
        histogram = fresh;
        std::vector<float> curve(n);
        float sum = 0.0f;
        for (int k = 0; k < n; ++k) {
            const int limit = static_cast<int>(std::min(p.limit, 2e9f));
            curve[k] = sum = static_cast<float>(std::min(histogram[k], limit)) + sum;
        }
        const float share = p.linearPercent * 0.01f;
        for (int k = 0; k < n; ++k) {  // nothing counted gives the identity
            curve[k] = sum > 0.0f ? curve[k] * (static_cast<float>(n) / sum) * (1.0f - share) +
                                        static_cast<float>(k) * share
                                  : static_cast<float>(k);
        }
        values.assign(n + 1, 0);
        for (int k = 0; k <= n; ++k) {
            values[k] = p.hi < 0 ? 16 * static_cast<int>(curve[std::max(k - 1, 0)])
                        : k < n  ? static_cast<int>(curve[k] * (static_cast<float>(p.hi - p.lo) /
                                                               static_cast<float>(n)) +
                                                   static_cast<float>(p.lo))
                                 : 0;
        }
        if (p.hi < 0) {
            levels = Levels(n, 0, 65535);
        }
    }
    int Map(int v) const {
        const int k = BinOf(v, n - 1);  // n levels are handed to the look-up
        if (k < 0) {
            return v;
        }
        const double t = values[k] + static_cast<double>(v - levels[k]) *
                                         (values[k + 1] - values[k]) / (levels[k + 1] - levels[k]);
        return static_cast<int>(std::clamp(std::nearbyint(t), 0.0, 65535.0));
    }
    std::vector<int> Apply(const Frame& src, Params p) {
        Step(Pixels(src), p);
        std::vector<int> pixels = Pixels(src);
        for (int& v : pixels) {
            v = Map(v);
        }
        return pixels;
    }
};

// The mapping the processor holds, read out through UpdateRGBLUT with an identity palette.
std::vector<int> MappingOf(PlateauEqualization& equalization) {
    std::vector<int> identity(65536), lut(65536, -1);
    for (int i = 0; i < 65536; ++i) {
        identity[i] = i;
    }
    equalization.UpdateRGBLUT(identity.data(), lut.data(), 65536);
    return lut;
}

}  // namespace

// Three frames in a row through both families, in place and into a separate image, with the
// model's damping: frame 2 uses (1 - d) * B + d * A, frame 3 blends that with C. The plateau
// limit is truncated (1.9 counts each occupied bin once) and saturates when beyond int.
TEST(PlateauEqualization, MatchesModelOverFramesWithDamping) {
    const std::pair<float, Params> cases[] = {{0.5f, {20.0f, 30.0f}},
                                              {0.3f, {0.0f, 3e9f}},
                                              {0.5f, {10.0f, 1.9f, 7000, 9000}},
                                              {0.8f, {35.0f, 1e9f, 300, 5000}}};
    for (const auto& [damping, p] : cases) {
        for (RegionSize size : TestRegionSizes()) {
            PlateauEqualization inPlace, outOfPlace;
            inPlace.SetDampingFactor(damping);
            outOfPlace.SetDampingFactor(damping);
            Model model;
            model.damping = damping;
            for (int i = 0; i < 3; ++i) {
                Frame src = RandomFrame(size.width, size.height, 6800 - 200 * i, 9500 - 500 * i,
                                        i + 7 * size.width);
                Frame dst(size.width, size.height);
                const std::vector<int> expected = model.Apply(src, p);
                Process(outOfPlace, src, &dst, p);
                Process(inPlace, src, nullptr, p);
                ASSERT_EQ(Pixels(dst), expected)
                    << size.width << "x" << size.height << " frame " << i << " window " << p.hi;
                EXPECT_EQ(Pixels(src), expected);
                EXPECT_TRUE(dst.OutsideUntouched() && src.OutsideUntouched());
            }
        }
    }
}

// Damping 0 forgets, damping 1 keeps the first histogram until Reset or a size change. Copies
// carry the damped histogram and the factor, and outlive their source.
TEST(PlateauEqualization, DampingResetSizeChangeAndCopies) {
    Frame a = RandomFrame(64, 40, 1000, 3000, 1), b = RandomFrame(64, 40, 2000, 9000, 2);
    Frame small = RandomFrame(32, 40, 2000, 9000, 3);
    auto mappingAfter = [](PlateauEqualization& e, Frame& f) {
        Frame dst(f.Width(), f.Height());
        Process(e, f, &dst, {5.0f, 40.0f});
        return MappingOf(e);
    };
    PlateauEqualization forgetting, resized, freshA, freshB, freshSmall, assigned;
    auto keeping = std::make_unique<PlateauEqualization>();
    forgetting.SetDampingFactor(0.0f);
    keeping->SetDampingFactor(1.0f);
    resized.SetDampingFactor(1.0f);
    const std::vector<int> ofA = mappingAfter(freshA, a), ofB = mappingAfter(freshB, b);
    EXPECT_NE(ofA, ofB);
    mappingAfter(forgetting, a);
    EXPECT_EQ(mappingAfter(forgetting, b), ofB);
    mappingAfter(*keeping, a);
    PlateauEqualization copy(*keeping);
    assigned = *keeping;
    assigned = assigned;
    EXPECT_EQ(mappingAfter(*keeping, b), ofA);
    keeping->Reset();
    EXPECT_EQ(mappingAfter(*keeping, b), ofB);
    keeping.reset();
    EXPECT_EQ(mappingAfter(copy, b), ofA);
    EXPECT_EQ(mappingAfter(assigned, b), ofA);
    mappingAfter(resized, a);  // a new size restarts as Reset does
    EXPECT_EQ(mappingAfter(resized, small), mappingAfter(freshSmall, small));
}

// Faults of the raw algorithm that must not reach the caller.
TEST(PlateauEqualization, NothingCountedEmptyRegionNoMappingFamilySwitch) {
    Frame src = RandomFrame(30, 20, 4000, 5000, 5), dst(30, 20);
    std::vector<int> palette(65536, 1), lut(65536, -7);
    PlateauEqualization e;
    e.UpdateRGBLUT(palette.data(), lut.data(), 65536);  // no mapping yet
    EXPECT_TRUE(std::all_of(lut.begin(), lut.end(), [](int v) { return v == -7; }));

    // An empty region touches nothing and does not count as a frame.
    e.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 0, 20, 0.0f, 10.0f);
    e.Create(src.Data(), src.Pitch(), 30, -1, 0.0f, 10.0f, 0, 9000);
    e.Create(src.Data(), src.Pitch(), 0, 0, 0.0f, 10.0f, 0, 9000, palette.data(), lut.data(),
             65536);
    EXPECT_TRUE(src.Untouched() && dst.Untouched() && lut[5] == -7);

    // Nothing counted (a limit below 1, or a window above every pixel): the linear mapping.
    for (Params p :
         {Params{30.0f, 0.9f}, Params{30.0f, -5.0f}, Params{20.0f, 50.0f, 10000, 20000}}) {
        Model linear;
        const std::vector<int> expected = linear.Apply(src, {100.0f, 1e9f, p.lo, p.hi});
        PlateauEqualization nothing;
        Process(nothing, src, &dst, p);
        EXPECT_EQ(Pixels(dst), expected) << p.limit;
        EXPECT_EQ(MappingOf(nothing)[15000], linear.Map(15000)) << p.limit;
    }

    // The full range after the windowed family at the same size; the damping goes on.
    Model model;
    model.Apply(src, {10.0f, 20.0f, 3000, 6000});
    PlateauEqualization switching;
    Process(switching, src, nullptr, {10.0f, 20.0f, 3000, 6000});
    Frame next = RandomFrame(30, 20, 100, 60000, 6);
    Process(switching, next, &dst, {10.0f, 20.0f});
    EXPECT_EQ(Pixels(dst), model.Apply(next, {10.0f, 20.0f}));

    // Fewer than two bins are raised to two.
    Model two;
    two.n = 2;
    PlateauEqualization coarse(1);
    Process(coarse, src, &dst, {10.0f, 100.0f});
    EXPECT_EQ(Pixels(dst), two.Apply(src, {10.0f, 100.0f}));
}

// The palette form colours every raw value through the mapping; a stream of one size and
// palette allocates nothing after the first frame.
TEST(PlateauEqualization, PaletteMappingAndSteadyState) {
    Frame src = RandomFrame(64, 48, 2000, 30000, 11);
    std::vector<int> palette(65536), lut(65536);
    for (int v = 0; v < 65536; ++v) {
        palette[v] = 7919 * v + 13;
    }
    Model model;
    model.Apply(src, {25.0f, 9.0f, 1000, 40000});
    PlateauEqualization e;
    e.Create(src.Data(), src.Pitch(), 64, 48, 25.0f, 9.0f, 1000, 40000, palette.data(), lut.data(),
             65536);
    for (int v = 0; v < 65536; ++v) {
        ASSERT_EQ(lut[v], palette[model.Map(v)]) << v;
    }
    const long long start = PixelPrimitivesAllocationCount();
    e.UpdateRGBLUT(palette.data(), lut.data(), 65536);
    Process(e, src, nullptr, {25.0f, 9.0f, 1000, 40000});
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 0);
}

// The running sum is formed in index order whatever the team.
TEST(PlateauEqualization, SameResultForAnyThreadCount) {
    const int threads = omp_get_max_threads();
    for (int team : {1, 2, 3}) {
        // Many bins make many chunks to hand over; a new frame each time, so that stale sums
        // in a reused buffer cannot pass.
        Frame src = RandomFrame(320, 256, 0, 65535, 13 + team), dst(320, 256);
        Model model;
        model.n = 65536;
        omp_set_num_threads(team);
        PlateauEqualization e(65536);
        Process(e, src, &dst, {5.0f, 60.0f, 0, 65535});
        EXPECT_EQ(Pixels(dst), model.Apply(src, {5.0f, 60.0f, 0, 65535})) << team;
    }
    omp_set_num_threads(threads);
}
