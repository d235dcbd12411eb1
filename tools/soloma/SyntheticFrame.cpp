#include "SyntheticFrame.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace Varnik::Soloma::Cli {
namespace {

// SplitMix64: tiny, well mixed, and defined by its integer arithmetic alone.
class Generator {
public:
    explicit Generator(std::uint64_t seed) : _state(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [-limit, limit].
    int Offset(int limit) {
        return static_cast<int>(Next() % static_cast<std::uint64_t>(2 * limit + 1)) - limit;
    }

    // Roughly normal with a standard deviation of about `sigma`: the sum of four uniform
    // draws of 0 .. 1023 has a standard deviation of 591.
    int Noise(int sigma) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) {
            sum += static_cast<int>(Next() & 1023u);
        }
        return (sum - 2046) * sigma / 591;
    }

private:
    std::uint64_t _state;
};

// Positions in thousandths of the width (x) and height (y); a disc's radius in thousandths
// of the height so that discs stay round. Warmth in counts above the background.
struct Box {
    int x0, y0, x1, y1, warmth;
};
struct Disc {
    int x, y, radius, warmth;
};

const Box kBoxes[] = {
    {160, 450, 220, 850, 900},  // a person's body
    {550, 620, 850, 800, 400},  // a car
    {550, 660, 620, 760, 900},  // its engine, on top of the car
    {300, 550, 420, 700, 300},  // a sunlit window
};
const Disc kDiscs[] = {
    {190, 420, 45, 1100},  // the person's head
    {700, 250, 80, 600},   // an animal
    {400, 200, 20, 2000},  // a lamp
};

constexpr int kNoiseSigma = 12;
constexpr int kColumnOffset = 6;
constexpr int kRowOffset = 4;

struct PixelBox {
    int x0, y0, x1, y1, warmth;
};
struct PixelDisc {
    std::int64_t x, y, radiusSquared;
    int warmth;
};

// Background gradient plus the objects, before any noise.
int SceneAt(int x, int y, int width, int height, const std::vector<PixelBox>& boxes,
            const std::vector<PixelDisc>& discs) {
    int value = 7800 + 400 * y / height + 150 * x / width;
    for (const PixelBox& box : boxes) {
        if (x >= box.x0 && x < box.x1 && y >= box.y0 && y < box.y1) {
            value += box.warmth;
        }
    }
    // A smooth bump, warmth * (1 - r^2 / R^2)^2, falling to nothing at the rim.
    for (const PixelDisc& disc : discs) {
        const std::int64_t dx = x - disc.x;
        const std::int64_t dy = y - disc.y;
        const std::int64_t inside = disc.radiusSquared - (dx * dx + dy * dy);
        if (inside > 0) {
            value += static_cast<int>(disc.warmth * inside * inside /
                                      (disc.radiusSquared * disc.radiusSquared));
        }
    }
    return value;
}

}  // namespace

Gray16Image MakeSyntheticFrame(int width, int height, std::uint64_t seed) {
    Gray16Image frame;
    if (width <= 0 || height <= 0) {
        return frame;
    }
    frame.width = width;
    frame.height = height;
    frame.pixels.resize(static_cast<std::size_t>(width) * height);

    std::vector<PixelBox> boxes;
    for (const Box& box : kBoxes) {
        boxes.push_back({width * box.x0 / 1000, height * box.y0 / 1000, width * box.x1 / 1000,
                         height * box.y1 / 1000, box.warmth});
    }
    std::vector<PixelDisc> discs;
    for (const Disc& disc : kDiscs) {
        // Too small to show on a tiny frame; also keeps the bump from dividing by zero.
        const std::int64_t radius = height * disc.radius / 1000;
        if (radius > 0) {
            discs.push_back(
                {width * disc.x / 1000, height * disc.y / 1000, radius * radius, disc.warmth});
        }
    }

    // Drawn in a fixed order: column offsets, row offsets, then the pixels row by row.
    Generator generator(seed);
    std::vector<int> columnOffsets(width);
    for (int& offset : columnOffsets) {
        offset = generator.Offset(kColumnOffset);
    }
    std::vector<int> rowOffsets(height);
    for (int& offset : rowOffsets) {
        offset = generator.Offset(kRowOffset);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int value = SceneAt(x, y, width, height, boxes, discs) + columnOffsets[x] +
                              rowOffsets[y] + generator.Noise(kNoiseSigma);
            frame.pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<unsigned short>(std::clamp(value, 0, 65535));
        }
    }
    return frame;
}

}  // namespace Varnik::Soloma::Cli
