#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "PrimitiveHighPass.h"
#include "RegionChecks.h"
#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::ImageStabilization;

namespace {

// Room around the cropped frames, so that crops at offsets up to this far stay in the scene.
constexpr int kRoom = 40;

// A scene of rectangles of random size and level over a gradient, with a little noise: the
// kind of straight edges a thermal frame of buildings and vehicles has.
class Scene {
public:
    Scene(int width, int height, unsigned seed)
        : width_(width + 2 * kRoom), height_(height + 2 * kRoom), pixels_(width_ * height_) {
        std::mt19937 rng(seed);
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                pixels_[y * width_ + x] = 3000 + 4 * x + 2 * y + static_cast<int>(rng() % 20);
            }
        }
        for (int i = 0; i < width_ * height_ / 2000; ++i) {
            const int w = 4 + rng() % 40, h = 4 + rng() % 40;
            const int x0 = rng() % (width_ - w), y0 = rng() % (height_ - h);
            const int level = 500 + rng() % 3000;
            for (int y = y0; y < y0 + h; ++y) {
                for (int x = x0; x < x0 + w; ++x) {
                    pixels_[y * width_ + x] += level;
                }
            }
        }
    }

    // The frame seen with the camera moved so that content lies (dx, dy) further along:
    // Crop(w, h, dx, dy)(x, y) = Crop(w, h, 0, 0)(x - dx, y - dy).
    template <typename T>
    TestImage<T> Crop(int width, int height, int dx, int dy) const {
        TestImage<T> frame(width, height);
        frame.Fill(
            [&](int x, int y) { return pixels_[(y + kRoom - dy) * width_ + x + kRoom - dx]; });
        return frame;
    }

private:
    int width_;
    int height_;
    std::vector<int> pixels_;
};

// A destination whose previous content is known: the strip that a move uncovers keeps it.
template <typename T>
TestImage<T> Marked(int width, int height) {
    TestImage<T> image(width, height);
    image.Fill([](int x, int y) { return 7 + (x * 3 + y) % 11; });
    return image;
}

// dst must be src moved by (-sx, -sy), i.e. lined up with the reference, and keep `before`
// where no source pixel lands.
template <typename T>
void ExpectAligned(const TestImage<T>& dst, const TestImage<T>& src, const TestImage<T>& before,
                   int sx, int sy) {
    ExpectRegion(dst, [&](int x, int y) {
        const int u = x + sx, v = y + sy;
        const bool inside = u >= 0 && u < src.Width() && v >= 0 && v < src.Height();
        return inside ? src.At(u, v) : before.At(x, y);
    });
}

struct Shift {
    int x;
    int y;
};

// Runs the overloads of pixel type T (with a destination, estimate-only, in place) on the pair,
// and checks the reported shifts (sign as given) and the alignment.
template <typename T>
void CheckPair(ImageStabilization& stabilization, const Scene& scene, int width, int height,
               Shift shift, int sign) {
    SCOPED_TRACE(testing::Message() << "shift " << shift.x << "," << shift.y << " sign " << sign);
    const TestImage<T> ref = scene.Crop<T>(width, height, 0, 0);
    TestImage<T> src = scene.Crop<T>(width, height, shift.x, shift.y);
    TestImage<T> dst = Marked<T>(width, height);
    const TestImage<T> before = dst;
    stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                      width, height);
    EXPECT_EQ(stabilization.GetDx(), sign * shift.x);
    EXPECT_EQ(stabilization.GetDy(), sign * shift.y);
    ExpectAligned(dst, src, before, shift.x, shift.y);

    int dx = 99, dy = 99;
    stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), width, height, dx, dy);
    EXPECT_EQ(dx, sign * shift.x);
    EXPECT_EQ(dy, sign * shift.y);
    EXPECT_TRUE(src.Untouched());

    // In place: the result and the shifts of the separate destination, the uncovered strip
    // keeping the unmoved frame.
    TestImage<T> inPlace = src;
    stabilization.Run(ref.Data(), ref.Pitch(), inPlace.Data(), inPlace.Pitch(), width, height);
    EXPECT_EQ(stabilization.GetDx(), sign * shift.x);
    ExpectAligned(inPlace, src, src, shift.x, shift.y);
}

}  // namespace

// The 16-bit overloads report the move that brings src onto ref, the float ones its opposite;
// both write src lined up with ref. Every overload keeps its scratch (the in-place copy, the
// search's vectors) in the object, so that after the first pair of equal size nothing is
// allocated.
TEST(ImageStabilization, RecoversWholePixelShiftsAndAlignsBothPixelTypes) {
    const Scene scene(160, 120, 3);
    ImageStabilization stabilization;
    long long allocations = 0;
    for (Shift shift : {Shift{0, 0}, Shift{3, -2}, Shift{-7, 5}, Shift{20, -20}, Shift{-13, 17}}) {
        CheckPair<unsigned short>(stabilization, scene, 160, 120, shift, -1);
        CheckPair<float>(stabilization, scene, 160, 120, shift, +1);
        if (shift.x == 0) {
            allocations = PixelPrimitivesAllocationCount();
        }
    }
    EXPECT_EQ(PixelPrimitivesAllocationCount(), allocations);
    // Shifts beyond the search range are reported within it.
    const Scene far(200, 150, 5);
    const auto ref = far.Crop<float>(200, 150, 0, 0);
    auto src = far.Crop<float>(200, 150, 27, -33);
    int dx = 0, dy = 0;
    ImageStabilization().Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), 200, 150, dx, dy);
    EXPECT_TRUE(std::abs(dx) <= 20 && std::abs(dy) <= 20);
}

// Frames that give no edge to compare stay where they are: featureless pairs have equal
// costs for every shift, and a NaN in a float frame spreads through the mean.
TEST(ImageStabilization, FramesWithoutUsableEdgesAreNotMoved) {
    TestImage<unsigned short> ref(100, 90), src(100, 90), dst = Marked<unsigned short>(100, 90);
    ref.Fill([](int, int) { return 5000; });
    src.Fill([](int, int) { return 5200; });
    ImageStabilization stabilization;
    stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                      100, 90);
    EXPECT_EQ(stabilization.GetDx(), 0);
    EXPECT_EQ(stabilization.GetDy(), 0);
    EXPECT_EQ(Pixels(dst), Pixels(src));

    const Scene scene(120, 100, 19);
    const auto sceneRef = scene.Crop<float>(120, 100, 0, 0);
    auto withNaN = scene.Crop<float>(120, 100, 4, 4);
    withNaN.At(50, 40) = NAN;
    const auto before = withNaN;
    stabilization.Run(sceneRef.Data(), sceneRef.Pitch(), withNaN.Data(), withNaN.Pitch(), 120, 100);
    EXPECT_EQ(stabilization.GetDx(), 0);
    EXPECT_EQ(stabilization.GetDy(), 0);
    EXPECT_EQ(std::memcmp(withNaN.Data(), before.Data(), withNaN.Pitch() * 100 - 6 * 4), 0);
}

// 60 pixels or fewer across leave no comparison window on that axis: it reports 0 while the
// other axis is still estimated; tiny frames run without reading outside anything.
TEST(ImageStabilization, NarrowFramesReportZeroOnTheShortAxis) {
    const Scene scene(60, 200, 9);
    const auto ref = scene.Crop<unsigned short>(60, 200, 0, 0);
    auto src = scene.Crop<unsigned short>(60, 200, 2, 6);
    ImageStabilization stabilization;
    int dx = 99, dy = 99;
    stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), 60, 200, dx, dy);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, -6);
    for (RegionSize size : TestRegionSizes()) {
        auto a = RandomFrame(size.width, size.height, 0, 65535, 1);
        auto b = RandomFrame(size.width, size.height, 0, 65535, 2);
        stabilization.Run(a.Data(), a.Pitch(), b.Data(), b.Pitch(), size.width, size.height);
        EXPECT_TRUE(b.OutsideUntouched());
        if (size.width <= 60) {
            EXPECT_EQ(stabilization.GetDx(), 0);
        }
        EXPECT_EQ(stabilization.GetDy(), 0);
    }
}

// A copy (constructed, or assigned, also onto itself) carries the last shifts and works on
// after its source is gone. (A change of size is among the cached-projection cases below.)
TEST(ImageStabilization, CopiesOutliveTheirSource) {
    const Scene scene(200, 160, 13);
    const auto ref = scene.Crop<float>(200, 160, 0, 0), src = scene.Crop<float>(200, 160, 5, -3);
    auto run = [&](ImageStabilization& s) {
        TestImage<float> dst = Marked<float>(200, 160);
        s.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), 200, 160);
        return Pixels(dst);
    };
    auto* original = new ImageStabilization;
    const std::vector<int> expected = run(*original);
    ImageStabilization copy(*original), assigned;
    assigned = *original;
    assigned = assigned;
    delete original;
    EXPECT_TRUE(copy.GetDx() == 5 && copy.GetDy() == -3);
    EXPECT_TRUE(assigned.GetDx() == 5 && assigned.GetDy() == -3);
    EXPECT_EQ(run(copy), expected);
    EXPECT_EQ(run(assigned), expected);
}

namespace {

// The estimate as a plain sequence of whole-frame steps: 5x5 low-pass with a zero border,
// |low-pass - image|, threshold at 0.6 times its mean, row and column sums with five entries
// cleared at each end, then the shift of least absolute difference over the window 30
// entries in from each end, the one nearest 0 among equal costs.
struct Projections {
    std::vector<float> columns;
    std::vector<float> rows;
};

Projections ReferenceProjections(const TestImage<float>& image) {
    const int w = image.Width(), h = image.Height();
    TestImage<float> edges = PrimitiveHighPass(image);
    const float t = EdgeThreshold(edges);
    PixelPrimitives::Threshold_LTValGTVal_32f_C1IR(edges.Data(), edges.Pitch(), w, h, t, 0.0f, t,
                                                   1.0f);
    Projections p{std::vector<float>(w), std::vector<float>(h)};
    for (int y = 0; y < h; ++y) {
        VectorPrimitives::Sum_32f(edges.Pixel(0, y), w, &p.rows[y], true);
    }
    for (int x = 0; x < w; ++x) {
        double sum = 0.0;
        PixelPrimitives::Sum_32f_C1R(edges.Pixel(x, 0), edges.Pitch(), 1, h, &sum, true);
        p.columns[x] = static_cast<float>(sum);
    }
    for (std::vector<float>* v : {&p.columns, &p.rows}) {
        const int n = static_cast<int>(v->size()), ends = std::min(5, n);
        std::fill(v->begin(), v->begin() + ends, 0.0f);
        std::fill(v->end() - ends, v->end(), 0.0f);
    }
    return p;
}

int ReferenceDiff(const std::vector<float>& first, const std::vector<float>& second) {
    const int n = static_cast<int>(first.size()) - 60;
    if (n <= 0) {
        return 0;
    }
    int best = 0;
    float bestCost = INFINITY;
    std::vector<float> difference(n);
    for (int s = -20; s <= 20; ++s) {
        float cost = 0.0f;
        VectorPrimitives::Sub_32f(second.data() + 30 + s, first.data() + 30, difference.data(), n);
        VectorPrimitives::Abs_32f_I(difference.data(), n);
        VectorPrimitives::Sum_32f(difference.data(), n, &cost, true);
        if (cost < bestCost || (cost == bestCost && std::abs(s) < std::abs(best))) {
            best = s;
            bestCost = cost;
        }
    }
    return best;
}

}  // namespace

// The projections of the last estimate, as the search sees them.
namespace Varnik::Soloma::ImageProcessing {
struct ImageStabilizationProbe {
    static Projections Of(const ImageStabilization& s, bool ref) {
        const float* columns = (ref ? s._refColumns : s._srcColumns).Get();
        const float* rows = (ref ? s._refRows : s._srcRows).Get();
        return {std::vector<float>(columns, columns + s._width),
                std::vector<float>(rows, rows + s._height)};
    }
    // Overwrites the projections of one role, so that a later call shows whether it computed
    // them again or took them as they stand.
    static void Poison(ImageStabilization& s, bool ref) {
        std::fill_n((ref ? s._refColumns : s._srcColumns).Get(), s._width, -1.0f);
        std::fill_n((ref ? s._refRows : s._srcRows).Get(), s._height, -1.0f);
    }
};
}  // namespace Varnik::Soloma::ImageProcessing

// The banded, counted projections equal the whole-frame steps exactly, and so does the shift,
// whatever the number of threads. Heights cross the band size, widths are odd, values are
// fractional or whole.
TEST(ImageStabilization, EstimateEqualsTheStepByStepComputation) {
    using Varnik::Soloma::ImageProcessing::ImageStabilizationProbe;
    const int threads = omp_get_max_threads();
    std::mt19937 rng(23);
    for (int trial = 0; trial < 12; ++trial) {
        omp_set_num_threads(1 + trial % 3);
        const int w = 61 + rng() % 150, h = 61 + rng() % 150;
        const int sx = static_cast<int>(rng() % 31) - 15, sy = static_cast<int>(rng() % 31) - 15;
        TestImage<float> scene(w + 40, h + 40), ref(w, h), src(w, h);
        scene.FillRandom(rng, 0.0, trial % 2 ? 1.0 : 4000.0);
        if (trial % 3 == 0) {
            scene.Fill([&](int x, int y) { return std::floor(scene.At(x, y)); });
        }
        ref.Fill([&](int x, int y) { return scene.At(x + 20, y + 20); });
        src.Fill([&](int x, int y) { return scene.At(x + 20 - sx, y + 20 - sy); });
        const Projections a = ReferenceProjections(ref), b = ReferenceProjections(src);
        ImageStabilization stabilization;
        int dx = 0, dy = 0;
        stabilization.Run(ref.Data(), ref.Pitch(), src.Data(), src.Pitch(), w, h, dx, dy);
        const Projections gotRef = ImageStabilizationProbe::Of(stabilization, true);
        const Projections gotSrc = ImageStabilizationProbe::Of(stabilization, false);
        EXPECT_EQ(gotRef.columns, a.columns) << w << "x" << h;
        EXPECT_EQ(gotRef.rows, a.rows) << w << "x" << h;
        EXPECT_EQ(gotSrc.columns, b.columns) << w << "x" << h;
        EXPECT_EQ(gotSrc.rows, b.rows) << w << "x" << h;
        EXPECT_EQ(dx, -ReferenceDiff(b.columns, a.columns));
        EXPECT_EQ(dy, -ReferenceDiff(b.rows, a.rows));
    }
    omp_set_num_threads(threads);
}

namespace {

using Varnik::Soloma::ImageProcessing::ImageStabilizationProbe;

bool IsPoisoned(const Projections& p) {
    return std::all_of(p.columns.begin(), p.columns.end(), [](float v) { return v == -1.0f; });
}

// The same pixels at another pitch, with other bytes around them.
template <typename T>
TestImage<T> Repitched(const TestImage<T>& image) {
    TestImage<T> copy(image.Width(), image.Height(), 5, 40);
    copy.Fill([&](int x, int y) { return image.At(x, y); });
    return copy;
}

// Estimates with `cached` and with a fresh object: same shifts, same projections.
template <typename T>
void ExpectFreshResult(ImageStabilization& cached, const TestImage<T>& ref,
                       const TestImage<T>& src) {
    const int w = ref.Width(), h = ref.Height();
    int dx = 99, dy = 99, freshDx = 98, freshDy = 98;
    cached.Run(ref.Data(), ref.Pitch(), const_cast<T*>(src.Data()), src.Pitch(), w, h, dx, dy);
    ImageStabilization fresh;
    fresh.Run(ref.Data(), ref.Pitch(), const_cast<T*>(src.Data()), src.Pitch(), w, h, freshDx,
              freshDy);
    EXPECT_EQ(dx, freshDx);
    EXPECT_EQ(dy, freshDy);
    for (bool role : {true, false}) {
        const Projections got = ImageStabilizationProbe::Of(cached, role);
        const Projections want = ImageStabilizationProbe::Of(fresh, role);
        EXPECT_EQ(got.columns, want.columns) << (role ? "ref" : "src");
        EXPECT_EQ(got.rows, want.rows) << (role ? "ref" : "src");
    }
}

// A stream whose ref stays while src moves: from the third call on, ref's projections are
// taken as they stand (poisoned ones survive) while src's are computed. The same pixels at
// another pitch, and a copy of the object, are recognised; a change of one pixel of the fixed
// frame, or a size in between, is computed afresh.
template <typename T>
void CheckFixedRefStream() {
    const Scene scene(150, 110, 31);
    const TestImage<T> ref = scene.Crop<T>(150, 110, 0, 0);
    const TestImage<T> src = scene.Crop<T>(150, 110, 4, 2);
    auto poisonedAfter = [&](ImageStabilization& s, const TestImage<T>& r) {
        int dx = 0, dy = 0;
        s.Run(r.Data(), r.Pitch(), const_cast<T*>(src.Data()), src.Pitch(), 150, 110, dx, dy);
        return IsPoisoned(ImageStabilizationProbe::Of(s, true));
    };
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        ImageStabilization s;
        for (int call = 0; call < 3; ++call) {
            ExpectFreshResult(s, ref, scene.Crop<T>(150, 110, call, -call));
        }
        ImageStabilizationProbe::Poison(s, true);
        if (variant == 0) {
            EXPECT_TRUE(poisonedAfter(s, Repitched(ref)));
            ImageStabilization copy(s);
            EXPECT_TRUE(poisonedAfter(copy, ref));
        } else {
            TestImage<T> changed = ref;
            if (variant == 1) {
                changed.At(149, 109) = changed.At(149, 109) + 1;  // the last pixel of the frame
            } else {
                const TestImage<T> small = scene.Crop<T>(100, 80, 0, 0);
                ExpectFreshResult(s, small, small);
            }
            ExpectFreshResult(s, changed, src);
        }
    }
}

}  // namespace

TEST(ImageStabilization, UnchangedRefReusesItsProjectionsExactly) {
    CheckFixedRefStream<unsigned short>();
    CheckFixedRefStream<float>();
}

// The gas detectors' use: the current frame as ref, their fixed reference moved in place. The
// fixed src is recognised through the in-place copy (the poisoned projections survive call 3);
// otherwise results equal a fresh object's all along, through a change of one pixel of the
// fixed frame, and a frame of the other pixel type with the same values is not taken for it.
TEST(ImageStabilization, UnchangedInPlaceSourceReusesItsProjectionsExactly) {
    const Scene scene(140, 100, 37);
    TestImage<float> fixed = scene.Crop<float>(140, 100, 3, -2);
    ImageStabilization s;
    for (int call = 0; call < 7; ++call) {
        SCOPED_TRACE(call);
        const TestImage<float> ref = scene.Crop<float>(140, 100, call % 2, call / 2);
        TestImage<float> moved = fixed, freshMoved = fixed;
        if (call == 3) {
            ImageStabilizationProbe::Poison(s, false);
            s.Run(ref.Data(), ref.Pitch(), moved.Data(), moved.Pitch(), 140, 100);
            EXPECT_TRUE(IsPoisoned(ImageStabilizationProbe::Of(s, false)));
            fixed.At(70, 50) = fixed.At(70, 50) + 0.5f;
            continue;
        }
        s.Run(ref.Data(), ref.Pitch(), moved.Data(), moved.Pitch(), 140, 100);
        ImageStabilization fresh;
        fresh.Run(ref.Data(), ref.Pitch(), freshMoved.Data(), freshMoved.Pitch(), 140, 100);
        EXPECT_EQ(s.GetDx(), fresh.GetDx());
        EXPECT_EQ(s.GetDy(), fresh.GetDy());
        EXPECT_EQ(Pixels(moved), Pixels(freshMoved));
        EXPECT_EQ(ImageStabilizationProbe::Of(s, false).columns,
                  ImageStabilizationProbe::Of(fresh, false).columns);
    }
    const TestImage<unsigned short> ref16 = scene.Crop<unsigned short>(140, 100, 0, 0);
    TestImage<unsigned short> fixed16(140, 100);
    fixed16.Fill([&](int x, int y) { return static_cast<unsigned short>(fixed.At(x, y)); });
    ExpectFreshResult(s, ref16, fixed16);
}

namespace {

// The pixels whose high-pass magnitude is exactly a threshold above 0, by the whole-frame
// steps.
std::vector<std::pair<int, int>> PixelsAtThreshold(const TestImage<float>& image) {
    const int w = image.Width(), h = image.Height();
    const TestImage<float> edges = PrimitiveHighPass(image);
    const float t = EdgeThreshold(edges);
    std::vector<std::pair<int, int>> pixels;
    for (int y = 0; y < h && t > 0.0f; ++y) {
        for (int x = 0; x < w; ++x) {
            if (edges.At(x, y) == t) {
                pixels.emplace_back(x, y);
            }
        }
    }
    return pixels;
}

}  // namespace

// Pixels exactly at the threshold keep their value in the edge map; whether they fall in the
// upper or the lower row of the rows counted in pairs, the projections are the whole-frame
// steps'.
TEST(ImageStabilization, PixelsAtTheThresholdGiveTheStepByStepProjections) {
    // Frames whose pixels at the threshold all lie in even rows, all in odd rows, or in both.
    enum Kind { kEven, kOdd, kMixed };
    int frames[kMixed + 1] = {};
    std::mt19937 rng(41);
    for (int trial = 0; trial < 20000 && *std::min_element(frames, frames + kMixed) < 2; ++trial) {
        // Whole multiples of 25 keep every sum exact, so that magnitudes often meet the
        // threshold; stripes along rows put them in rows of one kind.
        const int w = 11 + rng() % 12, h = 11 + rng() % 8;
        const unsigned levels = 2 + trial % 4, sparsity = 1 + trial % 3;
        auto level = [&] {
            return rng() % sparsity == 0 ? 25.0f * static_cast<float>(rng() % levels) : 0.0f;
        };
        std::vector<float> stripes(h);
        std::generate(stripes.begin(), stripes.end(), level);
        TestImage<float> frame(w, h);
        frame.Fill([&](int, int y) { return trial % 2 ? level() : stripes[y]; });
        const std::vector<std::pair<int, int>> pixels = PixelsAtThreshold(frame);
        if (pixels.empty()) {
            continue;
        }
        auto kindOf = [](int y) { return y % 2 ? kOdd : kEven; };
        Kind kind = kindOf(pixels[0].second);
        bool seen = false;  // in a projection entry that is kept
        for (const auto& [x, y] : pixels) {
            kind = kindOf(y) == kind ? kind : kMixed;
            seen |= (x >= 5 && x < w - 5) || (y >= 5 && y < h - 5);
        }
        frames[kind] += seen;
        ImageStabilization stabilization;
        int dx = 0, dy = 0;
        stabilization.Run(frame.Data(), frame.Pitch(), frame.Data(), frame.Pitch(), w, h, dx, dy);
        const Projections want = ReferenceProjections(frame);
        const Projections got = ImageStabilizationProbe::Of(stabilization, true);
        EXPECT_EQ(got.columns, want.columns) << w << "x" << h << " trial " << trial;
        EXPECT_EQ(got.rows, want.rows) << w << "x" << h << " trial " << trial;
    }
    EXPECT_GE(frames[kEven], 2);
    EXPECT_GE(frames[kOdd], 2);
}
