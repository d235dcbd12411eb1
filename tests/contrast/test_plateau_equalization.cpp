#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
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
    const float lp = p.linearPercent;
    if (p.hi < 0 && dst != nullptr) {
        e.Create(src.Data(), src.Pitch(), dst->Data(), dst->Pitch(), w, h, lp, p.limit);
    } else if (p.hi < 0) {
        e.Create(src.Data(), src.Pitch(), w, h, lp, p.limit);
    } else if (dst != nullptr) {
        e.Create(src.Data(), src.Pitch(), dst->Data(), dst->Pitch(), w, h, lp, p.limit, p.lo, p.hi);
    } else {
        e.Create(src.Data(), src.Pitch(), w, h, lp, p.limit, p.lo, p.hi);
    }
}

// Straightforward model of the processor: even levels with the remainder widening the first
// bins, a damped histogram carried between frames, the clipped running sum in single
// precision, and the look-up interpolated in double and rounded to nearest-even.
struct Model {
    explicit Model(int bins = 4096, float damping = 0.5f) : n(bins), damping(damping) {}
    int n;
    float damping;
    std::vector<int> histogram, levels, values;  // no histogram before the first frame

    static std::vector<int> Levels(int bins, long long lower, long long upper) {
        std::vector<int> result(bins + 1);
        for (int i = 0; i <= bins; ++i) {
            result[i] = static_cast<int>(lower + i * ((upper - lower) / bins) +
                                         std::min<long long>(i, (upper - lower) % bins));
        }
        return result;
    }
    // The bin holding v among the first `bins` bins, or -1.
    int BinOf(int v, int bins) const {
        const auto end = levels.begin() + bins + 1;
        const int k = static_cast<int>(std::upper_bound(levels.begin(), end, v) - levels.begin());
        return k >= 1 && k <= bins ? k - 1 : -1;
    }
    // Takes one frame, leaves its mapping in levels and values, and returns the frame mapped.
    std::vector<int> Apply(const Frame& src, Params p) {
        std::vector<int> pixels = Pixels(src);
        const bool full = p.hi < 0;  // full range: the frame divided by 16, nearest-even
        levels = full ? Levels(n, 0, 65535) : Levels(n, p.lo, p.hi + 1LL);
        std::vector<int> fresh(n, 0);
        for (int v : pixels) {
            const int k = full ? static_cast<int>(std::nearbyint(v / 16.0)) : BinOf(v, n);
            if (k >= 0 && k < n) {
                ++fresh[k];
            }
        }
        for (int k = 0; k < n && !histogram.empty(); ++k) {
            fresh[k] = static_cast<int>(static_cast<float>(fresh[k]) * (1.0f - damping) +
                                        static_cast<float>(histogram[k]) * damping);
        }
        histogram = fresh;
        std::vector<float> curve(n);
        float sum = 0.0f;
        const int limit = static_cast<int>(std::clamp(p.limit, -2e9f, 2e9f));
        for (int k = 0; k < n; ++k) {
            curve[k] = sum = static_cast<float>(std::min(histogram[k], limit)) + sum;
        }
        const float share = p.linearPercent * 0.01f, scale = (p.hi - p.lo) / static_cast<float>(n);
        values.assign(n + 1, 0);
        for (int k = 0; k < n; ++k) {  // nothing counted gives the identity
            const float c = sum > 0.0f ? curve[k] * (static_cast<float>(n) / sum) * (1.0f - share) +
                                             static_cast<float>(k) * share
                                       : static_cast<float>(k);
            // Full range: values[k] closes bin k - 1, and values[0] repeats bin 0.
            values[k + full] = full ? 16 * static_cast<int>(c)
                                    : static_cast<int>(c * scale + static_cast<float>(p.lo));
        }
        values[0] = full ? values[1] : values[0];
        for (int& v : pixels) {
            v = Map(v);
        }
        return pixels;
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
};

}  // namespace

// Three frames in a row through both families, in place and into a separate image, with the
// damping carried over. The team changes from frame to frame, and 65536 bins give the ordered
// running sum many chunks to hand over. The plateau limit is truncated (1.9 counts each
// occupied bin once) and saturates beyond int; one bin is raised to two. With nothing counted
// (a limit below 1, a negative one, a window above every pixel) the mapping is the identity:
// the linear ramp.
TEST(PlateauEqualization, MatchesModelOverFrames) {
    const int threads = omp_get_max_threads();
    for (auto [damping, bins, p] : {std::tuple{0.5f, 4096, Params{20.0f, 30.0f}},
                                    {0.0f, 4096, Params{0.0f, 3e9f}},
                                    {1.0f, 4096, Params{10.0f, 1.9f, 7000, 9000}},
                                    {0.8f, 1, Params{35.0f, 1e9f, 300, 9000}},
                                    {0.3f, 65536, Params{5.0f, 60.0f, 0, 65535}},
                                    {0.5f, 4096, Params{30.0f, 0.9f}},
                                    {0.5f, 4096, Params{25.0f, -1.0f}},
                                    {0.5f, 4096, Params{25.0f, -3e9f, 6000, 9000}},
                                    {0.5f, 4096, Params{20.0f, 50.0f, 10000, 20000}}}) {
        for (RegionSize size : TestRegionSizes()) {
            PlateauEqualization inPlace(bins), outOfPlace(bins);
            inPlace.SetDampingFactor(damping);
            outOfPlace.SetDampingFactor(damping);
            Model model(std::max(bins, 2), damping);
            for (int i = 0; i < 3; ++i) {
                omp_set_num_threads(1 + i);
                Frame src = RandomFrame(size.width, size.height, 6800 - 200 * i, 9500 - 500 * i,
                                        i + 7 * size.width);
                Frame dst(size.width, size.height);
                const std::vector<int> expected = model.Apply(src, p);
                Process(outOfPlace, src, &dst, p);
                Process(inPlace, src, nullptr, p);
                ASSERT_EQ(Pixels(dst), expected) << size.width << "x" << size.height << " frame "
                                                 << i << " bins " << bins << " hi " << p.hi;
                EXPECT_EQ(Pixels(src), expected);
                EXPECT_TRUE(dst.OutsideUntouched() && src.OutsideUntouched());
            }
        }
    }
    omp_set_num_threads(threads);
}

// The damping goes on from the windowed to the full-range family at one size. Copies carry the
// damped histogram and the factor, and outlive their source; Reset and a new size take the
// next frame undamped; a stream of one size allocates nothing.
TEST(PlateauEqualization, CopiesResetSizeChangeSteadyState) {
    Frame a = RandomFrame(64, 40, 1000, 3000, 1), b = RandomFrame(64, 40, 2000, 9000, 2);
    Frame small = RandomFrame(32, 40, 2000, 9000, 3), dst(64, 40), smallDst(32, 40);
    const Params p{5.0f, 40.0f}, windowed{5.0f, 40.0f, 500, 9000};
    Model model(4096, 0.8f);
    auto source = std::make_unique<PlateauEqualization>();
    source->SetDampingFactor(0.8f);
    for (auto [f, q] : {std::pair{&a, windowed}, {&b, p}}) {  // one size, both families
        Process(*source, *f, &dst, q);
        model.Apply(*f, q);
    }
    PlateauEqualization copy(*source), assigned;
    assigned = *source;
    assigned = assigned;
    source.reset();
    const std::vector<int> third = model.Apply(a, p);
    const long long allocations = PixelPrimitivesAllocationCount();
    Process(copy, a, &dst, p);
    EXPECT_EQ(Pixels(dst), third);
    EXPECT_EQ(PixelPrimitivesAllocationCount(), allocations);
    Process(assigned, a, &dst, p);
    EXPECT_EQ(Pixels(dst), third);
    copy.Reset();
    Process(copy, b, &dst, p);
    EXPECT_EQ(Pixels(dst), Model().Apply(b, p));
    Process(assigned, small, &smallDst, p);
    EXPECT_EQ(Pixels(smallDst), Model().Apply(small, p));
}

// Before the first mapping there is nothing to colour by; empty regions touch nothing and do
// not count as frames; the palette form colours every raw value.
TEST(PlateauEqualization, NoMappingEmptyRegionAndPalette) {
    Frame src = RandomFrame(30, 20, 4000, 5000, 5), dst(30, 20);
    std::vector<int> palette(65536), lut(65536, -7);
    for (int v = 0; v < 65536; ++v) {
        palette[v] = 7919 * v + 13;
    }
    PlateauEqualization e;
    e.UpdateRGBLUT(palette.data(), lut.data(), 65536);  // no mapping yet
    e.Create(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 0, 20, 0.0f, 10.0f);
    e.Create(src.Data(), src.Pitch(), 30, -1, 0.0f, 10.0f, 0, 9000);
    e.Create(src.Data(), src.Pitch(), 0, 0, 0.0f, 10.0f, 0, 9000, palette.data(), lut.data(),
             65536);
    EXPECT_TRUE(src.Untouched() && dst.Untouched());
    EXPECT_TRUE(std::all_of(lut.begin(), lut.end(), [](int v) { return v == -7; }));

    Model model;
    model.Apply(src, {25.0f, 9.0f, 3000, 40000});
    e.Create(src.Data(), src.Pitch(), 30, 20, 25.0f, 9.0f, 3000, 40000, palette.data(), lut.data(),
             65536);
    for (int v = 0; v < 65536; ++v) {
        ASSERT_EQ(lut[v], palette[model.Map(v)]) << v;
    }
}

// The full-range family lays its levels as the histogram does, level i = i * step +
// min(i, extra) over [0, 65535], also after a windowed frame left its own levels behind. With
// linearPercent 100 the curve is the identity, so the colour table built from an identity
// palette shows the interpolation between those levels for every raw value.
TEST(PlateauEqualization, FullRangeLevelsFollowTheHistogramRule) {
    const Frame src = RandomFrame(33, 17, 0, 65535, 5);
    std::vector<int> palette(65536);
    for (int i = 0; i < 65536; ++i) {
        palette[i] = i;
    }
    for (int n : {2, 3, 4096, 5000, 65536}) {
        PlateauEqualization e(n);
        Frame copy = src, dst(33, 17);
        Process(e, copy, &dst, {0.0f, 50.0f, 1000, 2000});
        Process(e, copy, &dst, {100.0f, 50.0f});
        std::vector<int> lut(65536);
        e.UpdateRGBLUT(palette.data(), lut.data(), 65536);
        const long long step = 65535 / n, extra = 65535 % n;
        auto level = [&](long long i) { return i * step + std::min(i, extra); };
        auto value = [&](long long i) { return i == 0 ? 0 : 16 * (i - 1); };
        long long k = 0;
        for (int v = 0; v < 65536; ++v) {
            while (k + 1 < n && level(k + 1) <= v) {
                ++k;
            }
            long long want = v;  // at or above the last level passed: unchanged
            if (v < level(n - 1)) {
                const double run = static_cast<double>(level(k + 1) - level(k));
                want = std::llrint(value(k) + (v - level(k)) * (value(k + 1) - value(k)) / run);
                want = std::min(want, 65535LL);  // the curve runs past 65535 for many bins
            }
            ASSERT_EQ(lut[v], want) << "bins " << n << " value " << v;
        }
    }
}
