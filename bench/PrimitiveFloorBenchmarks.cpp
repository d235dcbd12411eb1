// The display chain's primitives, each next to the floor it cannot beat: a memcpy of the
// larger of the bytes it reads and the bytes it writes, and for the look-ups and the
// histogram a plain gather loop over a table of the same size.
#include "BenchSupport.h"

#include <PixelPrimitives/PixelPrimitives.h>

#include <cstring>
#include <vector>

namespace {

// The contrast classes' bin count.
constexpr int kBins = 4096;
constexpr int kValueCount = 65536;

std::size_t FloatBytes(const FloatImage& image) {
    return static_cast<std::size_t>(image.Pitch()) * static_cast<std::size_t>(image.Height());
}

void MemcpyFloat(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    FloatImage dst(src.Width(), src.Height());
    for (auto _ : state) {
        std::memcpy(dst.Data(), src.Data(), FloatBytes(src));
        benchmark::ClobberMemory();
    }
    SetBytes(state, *in->frame);
}

// The loads a 32-bit histogram makes, without its stores.
__attribute__((noinline)) unsigned GatherLoop(const unsigned short* src, std::size_t n,
                                              const unsigned* table) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += table[src[i]];
    }
    return sum;
}

void Gather32(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    std::vector<unsigned> table(kValueCount);
    for (int v = 0; v < kValueCount; ++v) {
        table[v] = static_cast<unsigned>(v);
    }
    const std::size_t pixels = static_cast<std::size_t>(src.Pitch() / 2) * src.Height();
    for (auto _ : state) {
        benchmark::DoNotOptimize(GatherLoop(src.Data(), pixels, table.data()));
    }
    SetBytes(state, src);
}

// Levels as the equalizations lay them: kBins even bins over [lower, upper), with values
// rising across them.
struct Mapping {
    std::vector<int> levels = std::vector<int>(kBins + 1);
    std::vector<int> values = std::vector<int>(kBins + 1);
    std::vector<int> histogram = std::vector<int>(kBins);

    Mapping(int lower, int upper) {
        for (int k = 0; k <= kBins; ++k) {
            levels[k] = lower + static_cast<int>(static_cast<long long>(upper - lower) * k / kBins);
            values[k] = static_cast<int>(65535LL * k / kBins);
        }
    }
};

void Lut(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    Mapping m(in->min, in->max);
    TimeSteadyState(state, src, [&] {
        PixelPrimitives::LUT_16u_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(), src.Width(),
                                    src.Height(), m.values.data(), m.levels.data(), kBins + 1);
    });
}

void LutLinear(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    Mapping m(0, 65535);
    TimeSteadyState(state, src, [&] {
        PixelPrimitives::LUT_Linear_16u_C1R(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                            src.Width(), src.Height(), m.values.data(),
                                            m.levels.data(), kBins + 1);
    });
}

// The window the equalizations histogram: the frame's own extremes.
void HistogramWindow(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Mapping m(in->min, in->max + 1);
    TimeSteadyState(state, src, [&] {
        PixelPrimitives::HistogramEven_16u_C1(src.Data(), src.Pitch(), src.Width(), src.Height(),
                                              m.histogram.data(), m.levels.data(), kBins + 1,
                                              in->min, in->max + 1);
    });
}

// The full range's histogram, taken on the frame divided by 16 into [0, 4096).
void HistogramReduced(benchmark::State& state, const BenchInput* in) {
    const Frame& frame = *in->frame;
    Frame src(frame.Width(), frame.Height());
    PixelPrimitives::DivC_16u_C1(frame.Data(), frame.Pitch(), 16, src.Data(), src.Pitch(),
                                 frame.Width(), frame.Height(), 0);
    Mapping m(0, kBins);
    TimeSteadyState(state, src, [&] {
        PixelPrimitives::HistogramEven_16u_C1(src.Data(), src.Pitch(), src.Width(), src.Height(),
                                              m.histogram.data(), m.levels.data(), kBins + 1, 0,
                                              kBins);
    });
}

void DivideBy16(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    Frame dst(src.Width(), src.Height());
    TimeSteadyState(state, src, [&] {
        PixelPrimitives::DivC_16u_C1(src.Data(), src.Pitch(), 16, dst.Data(), dst.Pitch(),
                                     src.Width(), src.Height(), 0);
    });
}

void MinMax(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    unsigned short lo = 0;
    unsigned short hi = 0;
    TimeSteadyState(state, src, [&] {
        PixelPrimitives::MinMax_16u_C1(src.Data(), src.Pitch(), src.Width(), src.Height(), &lo,
                                       &hi);
    });
}

void WordsToFloats(benchmark::State& state, const BenchInput* in) {
    const Frame& src = *in->frame;
    FloatImage dst(src.Width(), src.Height());
    TimeSteadyState(state, src, [&] {
        PixelPrimitives::Convert_16u32f_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                           src.Width(), src.Height());
    });
}

void FloatsToWords(benchmark::State& state, const BenchInput* in) {
    const FloatImage src(*in->frame);
    Frame dst(src.Width(), src.Height());
    TimeSteadyState(state, *in->frame, [&] {
        PixelPrimitives::Convert_32f16u_C1(src.Data(), src.Pitch(), dst.Data(), dst.Pitch(),
                                           src.Width(), src.Height());
    });
}

}  // namespace

void RegisterPrimitiveFloorBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640 || !SingleThreaded()) {
        return;
    }
    AddCase(input, "floor_memcpy_32f", MemcpyFloat);
    AddCase(input, "floor_gather_32u", Gather32);
    AddCase(input, "prim_LUT_16u_C1", Lut);
    AddCase(input, "prim_LUT_Linear_16u_C1R", LutLinear);
    AddCase(input, "prim_HistogramEven_window", HistogramWindow);
    AddCase(input, "prim_HistogramEven_reduced", HistogramReduced);
    AddCase(input, "prim_DivC_16u_C1", DivideBy16);
    AddCase(input, "prim_MinMax_16u_C1", MinMax);
    AddCase(input, "prim_Convert_16u32f_C1", WordsToFloats);
    AddCase(input, "prim_Convert_32f16u_C1", FloatsToWords);
    AddNote("floor_memcpy",
            "primitives' floors: memcpy (or floor_memcpy_32f) copies the larger of the bytes a "
            "primitive reads and writes; table_pass is the plain 16-bit gather, floor_gather_32u "
            "the loads of a 32-bit histogram without its stores");
    AddRatio("floor: LUT_16u_C1 / memcpy", "prim_LUT_16u_C1", {"memcpy"});
    AddRatio("floor: LUT_16u_C1 / table_pass", "prim_LUT_16u_C1", {"table_pass"});
    AddRatio("floor: LUT_Linear_16u_C1R / memcpy", "prim_LUT_Linear_16u_C1R", {"memcpy"});
    AddRatio("floor: LUT_Linear_16u_C1R / table_pass", "prim_LUT_Linear_16u_C1R", {"table_pass"});
    AddRatio("floor: HistogramEven window / memcpy", "prim_HistogramEven_window", {"memcpy"});
    AddRatio("floor: HistogramEven window / gather 32u", "prim_HistogramEven_window",
             {"floor_gather_32u"});
    AddRatio("floor: HistogramEven reduced / memcpy", "prim_HistogramEven_reduced", {"memcpy"});
    AddRatio("floor: HistogramEven reduced / gather 32u", "prim_HistogramEven_reduced",
             {"floor_gather_32u"});
    AddRatio("floor: DivC_16u_C1 / memcpy", "prim_DivC_16u_C1", {"memcpy"});
    AddRatio("floor: MinMax_16u_C1 / memcpy", "prim_MinMax_16u_C1", {"memcpy"});
    AddRatio("floor: Convert_16u32f_C1 / memcpy 32f", "prim_Convert_16u32f_C1",
             {"floor_memcpy_32f"});
    AddRatio("floor: Convert_32f16u_C1 / memcpy 32f", "prim_Convert_32f16u_C1",
             {"floor_memcpy_32f"});
}
