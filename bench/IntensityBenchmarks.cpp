// The table-driven accumulations of IntensityTransformation, next to the table-pass floor and
// a copy of as many bytes as they move.
#include "BenchSupport.h"

#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>

#include <cstring>
#include <vector>

namespace {

using Varnik::Soloma::ImageProcessing::IntensityTransformation;

enum class Update { Add, AddFactor, SubFactor };

void Accumulate(benchmark::State& state, const BenchInput* in, Update update) {
    const Frame& f = *in->frame;
    std::vector<float> lut(65536);
    for (int s = 0; s < 65536; ++s) {
        lut[s] = 200.0f + 0.01f * static_cast<float>(s);
    }
    std::vector<float> dst(static_cast<std::size_t>(f.Width()) * f.Height(), 0.0f);
    const int dstStep = f.Width() * static_cast<int>(sizeof(float));
    auto run = [&] {
        switch (update) {
            case Update::Add:
                IntensityTransformation::AddFromLUT(f.Data(), f.Pitch(), dst.data(), dstStep,
                                                    lut.data(), f.Width(), f.Height());
                break;
            case Update::AddFactor:
                IntensityTransformation::AddFromLUT(f.Data(), f.Pitch(), dst.data(), dstStep,
                                                    lut.data(), 0.3f, f.Width(), f.Height());
                break;
            case Update::SubFactor:
                IntensityTransformation::SubFromLUT(f.Data(), f.Pitch(), dst.data(), dstStep,
                                                    lut.data(), 0.3f, f.Width(), f.Height());
                break;
        }
    };
    TimeSteadyState(state, f, run);
}

void AddFromLut(benchmark::State& state, const BenchInput* in) {
    Accumulate(state, in, Update::Add);
}

void AddFromLutFactor(benchmark::State& state, const BenchInput* in) {
    Accumulate(state, in, Update::AddFactor);
}

void SubFromLut(benchmark::State& state, const BenchInput* in) {
    Accumulate(state, in, Update::SubFactor);
}

// The accumulations read 2 + 4 bytes and write 4 per pixel. The nearest plain copy: a float
// image and the 16-bit source, 6 bytes per pixel copied (12 moved).
void MemcpyFloatAndSource(benchmark::State& state, const BenchInput* in) {
    const Frame& f = *in->frame;
    const std::size_t n = static_cast<std::size_t>(f.Width()) * f.Height();
    std::vector<float> floatsIn(n, 1.0f), floatsOut(n);
    std::vector<unsigned short> wordsOut(n);
    for (auto _ : state) {
        std::memcpy(floatsOut.data(), floatsIn.data(), n * sizeof(float));
        std::memcpy(wordsOut.data(), f.Data(), n * sizeof(unsigned short));
        benchmark::ClobberMemory();
    }
    SetBytes(state, f);
}

}  // namespace

void RegisterIntensityBenchmarks(const BenchInput& input) {
    if (input.frame->Width() != 640) {
        return;
    }
    AddCase(input, "IntensityTransformation_AddFromLUT", AddFromLut);
    AddCase(input, "IntensityTransformation_AddFromLUT_factor", AddFromLutFactor);
    AddCase(input, "IntensityTransformation_SubFromLUT", SubFromLut);
    AddCase(input, "memcpy_float_and_source", MemcpyFloatAndSource);
    AddNote("memcpy_float_and_source",
            "memcpy of a float image and of the 16-bit source: 6 bytes per pixel copied; the "
            "accumulations read 6 and write 4 bytes per pixel");
    for (const char* name :
         {"IntensityTransformation_AddFromLUT", "IntensityTransformation_AddFromLUT_factor",
          "IntensityTransformation_SubFromLUT"}) {
        const std::string label = std::string(name).substr(sizeof("IntensityTransformation_") - 1);
        AddRatio(label + " / table pass", name, {"table_pass"});
        AddRatio(label + " / memcpy float + source", name, {"memcpy_float_and_source"});
    }
}
