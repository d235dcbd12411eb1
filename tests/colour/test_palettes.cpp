#include <Varnik/Soloma/ImageProcessing/Palettes.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

#include "TestImage.h"

using Varnik::Soloma::ImageProcessing::Palettes;

namespace {

const Palettes::Kind kKinds[] = {Palettes::Grey, Palettes::Iron, Palettes::Rainbow};

struct Rgb {
    int red, green, blue;
};

Rgb ColourOf(const RGBQUAD& entry) {
    return {entry.rgbRed, entry.rgbGreen, entry.rgbBlue};
}

bool operator==(const Rgb& a, const Rgb& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

double Luminance(const RGBQUAD& entry) {
    return 0.299 * entry.rgbRed + 0.587 * entry.rgbGreen + 0.114 * entry.rgbBlue;
}

// The entry a value should take, as the exact rounded quotient; the library computes it in
// single precision and may land on a neighbour when the quotient is close to a half.
double ExactIndex(int value, int low, int high) {
    const double index = (static_cast<double>(value) - low) * 65535.0 / (high - low);
    return std::clamp(index, 0.0, 65535.0);
}

bool IsEntryNear(const unsigned char* pixel, const RGBQUAD* table, double exact) {
    for (int index = static_cast<int>(exact - 0.51); index <= static_cast<int>(exact + 0.51);
         ++index) {
        const RGBQUAD& entry = table[std::clamp(index, 0, 65535)];
        if (pixel[0] == entry.rgbBlue && pixel[1] == entry.rgbGreen && pixel[2] == entry.rgbRed &&
            pixel[3] == 255) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(Palettes, EndsColoursAndReservedByte) {
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    const struct {
        Palettes::Kind kind;
        Rgb first, last;
    } ends[] = {{Palettes::Grey, black, white},
                {Palettes::Iron, black, white},
                {Palettes::Rainbow, {0, 0, 255}, {255, 0, 0}}};
    for (const auto& end : ends) {
        const RGBQUAD* table = Palettes::Table(end.kind);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table, Palettes::Table(end.kind)) << "built once";
        EXPECT_TRUE(ColourOf(table[0]) == end.first) << end.kind;
        EXPECT_TRUE(ColourOf(table[65535]) == end.last) << end.kind;
        for (int i = 0; i < 65536; ++i) {
            ASSERT_EQ(table[i].rgbReserved, 255) << end.kind << " entry " << i;
        }
    }
    // The rainbow passes green halfway.
    EXPECT_TRUE(ColourOf(Palettes::Table(Palettes::Rainbow)[32767]) == (Rgb{0, 255, 0}));
    // Every int is a valid kind: hosts pass stored or computed numbers.
    static_assert(std::is_same_v<std::underlying_type_t<Palettes::Kind>, int>);
    for (int outside : {3, 7, 60, -1, INT_MIN, INT_MAX}) {
        const volatile int held = outside;  // not folded away: the kind is loaded as any int
        EXPECT_EQ(Palettes::Table(static_cast<Palettes::Kind>(held)),
                  Palettes::Table(Palettes::Grey));
    }
}

// Grey is the exact rounded ramp; grey and iron brighten all along (sampled every 1024
// entries, coarser than the rounding of neighbouring entries).
TEST(Palettes, GreyAndIronLuminanceRises) {
    const RGBQUAD* grey = Palettes::Table(Palettes::Grey);
    for (int i = 0; i < 65536; ++i) {
        const int expected = (i * 255 + 32767) / 65535;
        ASSERT_TRUE(ColourOf(grey[i]) == (Rgb{expected, expected, expected})) << i;
    }
    for (Palettes::Kind kind : {Palettes::Grey, Palettes::Iron}) {
        const RGBQUAD* table = Palettes::Table(kind);
        for (int i = 1024; i < 65536; i += 1024) {
            EXPECT_GT(Luminance(table[i]), Luminance(table[i - 1024]) + 1.0) << kind << " " << i;
        }
    }
}

TEST(Palettes, FromName) {
    Palettes::Kind kind = Palettes::Rainbow;
    EXPECT_TRUE(Palettes::FromName("gray", &kind) && kind == Palettes::Grey);
    EXPECT_TRUE(Palettes::FromName("iron", &kind) && kind == Palettes::Iron);
    EXPECT_TRUE(Palettes::FromName("rainbow", &kind) && kind == Palettes::Rainbow);
    EXPECT_TRUE(Palettes::FromName("grey", &kind) && kind == Palettes::Grey);
    for (const char* name : {"Iron", "", "irons", "grey ", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(Palettes::FromName(name, &kind)) << (name ? name : "null");
    }
    EXPECT_EQ(kind, Palettes::Grey) << "a failed lookup leaves the kind alone";
    EXPECT_FALSE(Palettes::FromName("iron", nullptr));
}

// Values across and beyond the range, on strided images: below and at low the first entry,
// from high on the last, the rounded linear index in between, nothing written outside the
// region, and the same result as colouring row by row.
TEST(Palettes, ApplyMapsTheRangeOntoTheTable) {
    std::mt19937 rng(11);
    for (Palettes::Kind kind : kKinds) {
        const RGBQUAD* table = Palettes::Table(kind);
        for (const auto& [low, high] : {std::pair{1000, 3000}, {0, 65535}, {8123, 8190}}) {
            TestImage<unsigned short> src(67, 29);
            src.FillRandom(rng, std::max(0, low - 300), std::min(65535, high + 300));
            src.At(0, 0) = static_cast<unsigned short>(low);
            src.At(1, 0) = static_cast<unsigned short>(high);
            TestImage<unsigned char> dst(67 * 4, 29);
            Palettes::Apply(src.Data(), src.Pitch(), kind, low, high, dst.Data(), dst.Pitch(), 67,
                            29);
            EXPECT_TRUE(dst.OutsideUntouched());
            for (int y = 0; y < 29; ++y) {
                for (int x = 0; x < 67; ++x) {
                    const int value = src.At(x, y);
                    const unsigned char* pixel = dst.Pixel(4 * x, y);
                    ASSERT_TRUE(IsEntryNear(pixel, table, ExactIndex(value, low, high)))
                        << kind << " value " << value << " in " << low << ".." << high;
                    if (value <= low || value >= high) {
                        const RGBQUAD& end = table[value <= low ? 0 : 65535];
                        ASSERT_EQ(std::memcmp(pixel, &end, 4), 0) << kind << " value " << value;
                    }
                }
            }
            TestImage<unsigned char> byRows(67 * 4, 29);
            for (int y = 0; y < 29; ++y) {
                Palettes::Apply(src.Pixel(0, y), src.Pitch(), kind, low, high, byRows.Pixel(0, y),
                                byRows.Pitch(), 67, 1);
            }
            EXPECT_EQ(Pixels(byRows), Pixels(dst));
        }
    }
}

// An empty or reversed range is a threshold at low.
TEST(Palettes, ApplyDegenerateRanges) {
    const RGBQUAD* iron = Palettes::Table(Palettes::Iron);
    const unsigned short values[] = {0, 499, 500, 501, 65535};
    for (int high : {500, 400, -7}) {
        unsigned char out[4 * 5];
        Palettes::Apply(values, sizeof values, Palettes::Iron, 500, high, out, sizeof out, 5, 1);
        for (int x = 0; x < 5; ++x) {
            const RGBQUAD& expected = iron[values[x] <= 500 ? 0 : 65535];
            EXPECT_EQ(std::memcmp(out + 4 * x, &expected, 4), 0) << values[x] << " " << high;
        }
    }
}

TEST(Palettes, DisplayRangeCutsThePercentileAtEachEnd) {
    // 10000 distinct values with one outlier each way, read with a pitch of two rows.
    std::vector<unsigned short> ramp(10000);
    for (int i = 0; i < 10000; ++i) {
        ramp[i] = static_cast<unsigned short>(20000 + i);
    }
    ramp[17] = 0;
    ramp[9000] = 65535;
    std::shuffle(ramp.begin(), ramp.end(), std::mt19937(5));
    std::vector<unsigned short> strided(20000, 40000);  // odd rows are not part of the image
    for (int y = 0; y < 100; ++y) {
        std::copy_n(&ramp[y * 100], 100, &strided[y * 200]);
    }
    int low = 0, high = 0;
    Palettes::DisplayRange(strided.data(), 400, 100, 100, &low, &high);
    EXPECT_EQ(low, 20099);  // rank 99: the outlier and 20017 are gone below it
    EXPECT_EQ(high, 29901);
    // Up to 100 pixels: minimum and maximum.
    Palettes::DisplayRange(ramp.data(), 200, 100, 1, &low, &high);
    EXPECT_EQ(low, *std::min_element(ramp.begin(), ramp.begin() + 100));
    EXPECT_EQ(high, *std::max_element(ramp.begin(), ramp.begin() + 100));
    // Flat frames still get high > low; bad arguments the full range.
    const unsigned short flat[] = {700, 700, 700, 700, 65535, 65535};
    Palettes::DisplayRange(flat, 8, 4, 1, &low, &high);
    EXPECT_TRUE(low == 700 && high == 701);
    Palettes::DisplayRange(flat + 4, 2, 1, 2, nullptr, &high);  // either output may be absent
    Palettes::DisplayRange(flat + 4, 2, 1, 2, &low, nullptr);
    EXPECT_TRUE(low == 65534 && high == 65535);
    Palettes::DisplayRange(nullptr, 8, 4, 1, &low, &high);
    EXPECT_TRUE(low == 0 && high == 65535);
    Palettes::DisplayRange(flat, 8, 0, 1, &low, &high);
    EXPECT_TRUE(low == 0 && high == 65535);
    // Both ranks in one 256-value bin or in two, odd widths: the ranks of a sorted copy.
    std::mt19937 rng(9);
    for (int spread : {90, 256, 3000, 65536}) {
        for (int width : {7, 13, 64}) {
            std::vector<unsigned short> frame(static_cast<std::size_t>(width) * 211);
            for (auto& v : frame) {
                v = static_cast<unsigned short>(1000 + rng() % spread % (65536 - 1000));
            }
            std::vector<unsigned short> sorted = frame;
            std::sort(sorted.begin(), sorted.end());
            const std::size_t cut = (sorted.size() - 1) / 100;
            Palettes::DisplayRange(frame.data(), 2 * width, width, 211, &low, &high);
            EXPECT_EQ(low, sorted[cut]) << spread << " " << width;
            EXPECT_EQ(high, std::max<int>(sorted[sorted.size() - 1 - cut], low + 1))
                << spread << " " << width;
        }
    }
}
