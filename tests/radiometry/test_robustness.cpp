#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>
#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "HostileCalls.h"

namespace Varnik::Soloma::ImageProcessing {
namespace {

using u16 = unsigned short;
using RS = RadiometricStatistics;
using IT = IntensityTransformation;

// The table calls, with their table and without one (with sound images).
TEST(RadiometryRobustness, ImageCallsIgnoreBadArguments) {
    const std::vector<float> lut(65536, 0.25f);
    using TableCall = void (*)(const u16*, int, float*, int, const float*, int, int);
    const std::pair<std::string, TableCall> calls[] = {
        {"FillFromLUT", RS::FillFromLUT},
        {"AddFromLUT", IT::AddFromLUT},
        {"AddFromLUT scaled", [](const u16* s, int ss, float* d, int ds, const float* t, int w,
                                 int h) { IT::AddFromLUT(s, ss, d, ds, t, 2.0f, w, h); }},
        {"SubFromLUT", [](const u16* s, int ss, float* d, int ds, const float* t, int w, int h) {
             IT::SubFromLUT(s, ss, d, ds, t, 2.0f, w, h);
         }}};
    for (const auto& [name, entry] : calls) {
        const TableCall call = entry;  // a lambda cannot capture a structured binding in C++17
        for (const float* table : {lut.data(), static_cast<const float*>(nullptr)}) {
            ExpectBadArgumentsIgnored(
                name + (table ? "" : " without table"), {2, 4},
                [&](const Args& a, int w, int h) {
                    call(a[0].As<u16>(), a[0].step, a[1].As<float>(), a[1].step, table, w, h);
                },
                table != nullptr);
        }
    }
    ExpectBadArgumentsIgnored("OutputToSignal", {4, 2}, [&](const Args& a, int w, int h) {
        RS::OutputToSignal(a[0].As<float>(), a[0].step, a[1].As<u16>(), a[1].step, w, h, 0.0, 1.0,
                           10, 20, 3.0);
    });
}

// The region calls take a region at (x, y) of an image whose far corner the region reaches; the
// statistics record, the limits and the histogram must keep their content when rejected. An
// empty region keeps its documented result, which reads nothing.
// Field by field: the record's padding bytes are never written, so its bytes cannot be compared.
bool SameRecord(const Statistics& a, const Statistics& b) {
    auto fields = [](const Statistics& s) {
        return std::make_tuple(s.min, s.minStatus, s.max, s.maxStatus, s.mean, s.meanStatus, s.sum,
                               s.sumStatus, s.stdDev, s.stdDevStatus, s.minX, s.minY, s.maxX,
                               s.maxY);
    };
    return fields(a) == fields(b);
}

TEST(RadiometryRobustness, RegionCallsIgnoreBadArguments) {
    const std::vector<float> kelvin(65536, 300.0f);
    Statistics s;
    const Statistics unset{-1.0, -1, -1.0, -1, -1.0, -1, -1.0, -1, -1.0, -1, -1, -1, -1, -1};
    for (bool useSignal : {true, false}) {
        ExpectBadArgumentsIgnored(
            "Calculate", {2},
            [&](const std::vector<ImageArg>& a, int w, int h) {
                s = unset;
                if (w > 0 && h > 0) {  // an empty region writes its record
                    RS::Calculate(a[0].As<u16>(), w - 2, h - 1, a[0].step, 1, 2, kelvin.data(), 0,
                                  65535, s, useSignal);
                }
            },
            false, [&] { return SameRecord(s, unset); });
    }
    int hist[8], levels[9];
    u16 lo, hi;
    ExpectBadArgumentsIgnored(
        "CalculateHistogramMinMax", {2},
        [&](const std::vector<ImageArg>& a, int w, int h) {
            std::fill_n(hist, 8, -1);
            std::fill_n(levels, 9, -1);
            lo = hi = 7;
            if (w > 0 && h > 0) {
                RS::CalculateHistogramMinMax(a[0].As<u16>(), a[0].step, hist, levels, 9, 0, 256, 1,
                                             2, w - 1, h - 2, 0.1f, 0.1f, lo, hi);
            }
        },
        false,
        [&] {
            return lo == 7 && hi == 7 && std::count(hist, hist + 8, -1) == 8 &&
                   std::count(levels, levels + 9, -1) == 9;
        });
    // Offsets before the image, and a missing kelvin table.
    std::vector<u16> image(64, 100);
    s.min = -1.0;
    RS::Calculate(image.data(), 2, 2, 16, 0, -1, kelvin.data(), 0, 65535, s, true);
    RS::Calculate(image.data(), 2, 2, 16, -1, 0, kelvin.data(), 0, 65535, s, true);
    RS::Calculate(image.data(), 2, 2, 16, 0, 0, nullptr, 0, 65535, s, false);
    EXPECT_EQ(s.min, -1.0);
    lo = hi = 7;
    RS::CalculateHistogramMinMax(image.data(), 16, nullptr, levels, 5, 0, 200, 0, 0, 2, 2, 0.1f,
                                 0.1f, lo, hi);
    RS::CalculateHistogramMinMax(image.data(), 16, hist, nullptr, 5, 0, 200, 0, 0, 2, 2, 0.1f, 0.1f,
                                 lo, hi);
    RS::CalculateHistogramMinMax(image.data(), 16, hist, levels, 5, 0, 200, -3, 0, 2, 2, 0.1f, 0.1f,
                                 lo, hi);
    EXPECT_TRUE(lo == 7 && hi == 7);
}

// Tables: a missing table or a range outside it writes nothing.
TEST(RadiometryRobustness, TableCallsIgnoreBadArguments) {
    const std::vector<int> src{1, 2, 3, 4};
    std::vector<int> dst(6, -5);
    const std::vector<int> untouched = dst;
    RS::CalculateSignalLUT(nullptr, dst.data(), 0, 5, 0, 3, 0, 0);
    RS::CalculateSignalLUT(src.data(), nullptr, 0, 5, 0, 3, 0, 0);
    RS::CalculateSignalLUT(src.data(), dst.data(), -1, 5, 0, 3, 0, 0);
    RS::CalculateSignalLUT(src.data(), dst.data(), 0, 5, -2, 3, 0, 0);
    for (auto [srcCount, first, last] : {std::tuple{0, 0, 5}, {4, -1, 5}, {4, 3, 2}, {4, 0, 6}}) {
        IT::CalculateLUT(src.data(), srcCount, dst.data(), 6, first, last);
    }
    IT::CalculateLUT(nullptr, 4, dst.data(), 6, 0, 5);
    IT::CalculateLUT(src.data(), 4, nullptr, 6, 0, 5);
    EXPECT_EQ(dst, untouched);
    IT::CalculateLUT(src.data(), 4, dst.data(), 6, 1, 4);  // the sound call does write
    EXPECT_NE(dst, untouched);
}

}  // namespace
}  // namespace Varnik::Soloma::ImageProcessing
