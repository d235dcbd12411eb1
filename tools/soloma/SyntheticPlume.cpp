#include "SyntheticPlume.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace Varnik::Soloma::Cli {
namespace {

// Every random quantity is a hash of its coordinates, so that any frame, pixel or lattice
// point can be drawn alone. Streams are kept apart by the first word.
enum Stream : std::uint32_t {
    kTextureStream = 1,
    kCloudStream = 2,
    kColumnStream = 3,
    kJitterXStream = 4,
    kJitterYStream = 5,
    kGasStream = 6,
    kNoiseStream = 7,
};

// A 32-bit finaliser with good avalanche (every input bit reaches every output bit).
inline std::uint32_t Mix(std::uint32_t h) {
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

inline std::uint32_t Hash(std::uint32_t seed, std::uint32_t stream, std::int32_t a,
                          std::int32_t b = 0, std::int32_t c = 0) {
    std::uint32_t h = Mix(seed ^ Mix(stream * 0x9E3779B9u));
    h = Mix(h ^ static_cast<std::uint32_t>(a) * 0x8DA6B343u);
    h = Mix(h ^ static_cast<std::uint32_t>(b) * 0xD8163841u);
    return Mix(h ^ static_cast<std::uint32_t>(c) * 0xCB1AB31Fu);
}

// Uniform in [0, 1).
inline float Unit(std::uint32_t h) {
    return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

inline float Fade(float t) {
    return t * t * (3.0f - 2.0f * t);
}

inline float Lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

// Value noise in [0, 1): random values on the integer lattice, blended smoothly in between.
float Noise2(std::uint32_t seed, std::uint32_t stream, float x, float y, int layer = 0) {
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const float tx = Fade(x - fx);
    const float ty = Fade(y - fy);
    const float v00 = Unit(Hash(seed, stream, ix, iy, layer));
    const float v10 = Unit(Hash(seed, stream, ix + 1, iy, layer));
    const float v01 = Unit(Hash(seed, stream, ix, iy + 1, layer));
    const float v11 = Unit(Hash(seed, stream, ix + 1, iy + 1, layer));
    return Lerp(Lerp(v00, v10, tx), Lerp(v01, v11, tx), ty);
}

// Value noise over the plane and time: z steps through independent layers of Noise2.
float Noise3(std::uint32_t seed, std::uint32_t stream, float x, float y, float z, int octave) {
    const float fz = std::floor(z);
    const int layer = static_cast<int>(fz) * 8 + octave;
    return Lerp(Noise2(seed, stream, x, y, layer), Noise2(seed, stream, x, y, layer + 8),
                Fade(z - fz));
}

// (1 - r^2)^2 inside the unit circle, 0 outside: a smooth bump without exp().
inline float Bump(float rSquared) {
    const float inside = 1.0f - rSquared;
    return inside > 0.0f ? inside * inside : 0.0f;
}

inline bool Inside(float x, float y, float x0, float y0, float x1, float y1) {
    return x >= x0 && x < x1 && y >= y0 && y < y1;
}

// The still scene at frame-0 coordinates (x, y), which may lie outside the frame by up to the
// jitter. Positions are fractions of the frame size w x h.
float SceneAt(std::uint32_t seed, float x, float y, float w, float h) {
    const float unit = std::min(w, h);
    const float horizon = 0.32f * h;
    float value;
    if (y < horizon) {
        // Cold sky, warmer towards the horizon, with soft clouds.
        const float clouds = Noise2(seed, kCloudStream, x / (0.25f * w), y / (0.12f * h));
        value = 7300.0f + 350.0f * std::max(y, 0.0f) / horizon + 60.0f * clouds;
    } else {
        // Ground, warmer towards the camera, textured at three scales.
        const float s = unit / 512.0f;
        const float texture =
            20.0f * Noise2(seed, kTextureStream, x / (32.0f * s), y / (32.0f * s)) +
            10.0f * Noise2(seed, kTextureStream, x / (8.0f * s), y / (8.0f * s), 1) +
            6.0f * Noise2(seed, kTextureStream, x / (3.0f * s), y / (3.0f * s), 2);
        value = 7950.0f + 250.0f * (y - horizon) / (h - horizon) + texture;
    }
    // A building, slightly warmer at its foot, with a grid of cold windows.
    const float bx0 = 0.58f * w, bx1 = 0.88f * w, by0 = 0.14f * h, by1 = 0.55f * h;
    if (Inside(x, y, bx0, by0, bx1, by1)) {
        value = 8250.0f + 60.0f * (y - by0) / (by1 - by0);
        const float cellX = (x - bx0) / ((bx1 - bx0) / 4.0f);
        const float cellY = (y - by0) / ((by1 - by0) / 5.0f);
        const float inCellX = cellX - std::floor(cellX);
        const float inCellY = cellY - std::floor(cellY);
        if (inCellX > 0.25f && inCellX < 0.75f && inCellY > 0.3f && inCellY < 0.7f) {
            value = 7850.0f;
        }
    }
    // A tank, rounded by its shading, and the pipe on top whose end leaks.
    const float tx0 = 0.12f * w, tx1 = 0.36f * w, ty0 = 0.50f * h, ty1 = 0.80f * h;
    if (Inside(x, y, tx0, ty0, tx1, ty1)) {
        const float across = (2.0f * x - tx0 - tx1) / (tx1 - tx0);
        value = 8350.0f + 200.0f * (1.0f - across * across);
    }
    if (Inside(x, y, 0.265f * w, 0.42f * h, 0.285f * w, ty0)) {
        value = 8600.0f;
    }
    // A puddle that mirrors the sky, and a hot exhaust.
    const float px = (x - 0.62f * w) / (0.10f * w), py = (y - 0.86f * h) / (0.04f * h);
    if (px * px + py * py < 1.0f) {
        value = 7700.0f;
    }
    const float ex = (x - 0.92f * w) / (0.025f * unit), ey = (y - 0.70f * h) / (0.025f * unit);
    value += 1200.0f * Bump(ex * ex + ey * ey);
    return value;
}

// Where the gas comes from and where it goes, in frame-0 pixels.
struct PlumeGeometry {
    float sourceX, sourceY;
    float alongX, alongY;  // unit vector downwind
    float length;          // the gas fades out this far downwind
    float sourceWidth;     // half-width of the cone at the source
    float spread;          // growth of the half-width per pixel downwind
    float speed;           // pixels per frame the wind carries the gas downwind
    float frontWidth;      // over which the gas thins out at its front
    float wavelength;      // of the coarsest turbulence octave
    // Frame-0 box outside which there is no gas.
    int x0, y0, x1, y1;
};

constexpr int kOctaves = 4;

PlumeGeometry MakeGeometry(int width, int height) {
    PlumeGeometry g;
    const float unit = static_cast<float>(std::min(width, height));
    g.sourceX = 0.275f * width;
    g.sourceY = 0.42f * height;
    g.alongX = 0.8f;
    g.alongY = -0.6f;
    g.length = 0.5f * width;
    g.sourceWidth = std::max(2.0f, 0.012f * unit);
    g.spread = 0.28f;
    g.speed = 4.0f * unit / 512.0f;
    g.frontWidth = 0.1f * g.length;
    g.wavelength = std::max(4.0f, 0.09f * unit);
    // The cone's corners bound it: the source's disc and the far end's cross-section.
    const float farWidth = g.sourceWidth + g.spread * g.length;
    const float farX = g.sourceX + g.alongX * g.length;
    const float farY = g.sourceY + g.alongY * g.length;
    g.x0 = static_cast<int>(std::floor(std::min(g.sourceX - g.sourceWidth, farX - farWidth))) - 1;
    g.x1 = static_cast<int>(std::ceil(std::max(g.sourceX + g.sourceWidth, farX + farWidth))) + 1;
    g.y0 = static_cast<int>(std::floor(std::min(g.sourceY - g.sourceWidth, farY - farWidth))) - 1;
    g.y1 = static_cast<int>(std::ceil(std::max(g.sourceY + g.sourceWidth, farY + farWidth))) + 1;
    return g;
}

// The gas density, 0 .. 1, at frame-0 coordinates (x, y) in frame `index`.
float GasDensity(std::uint32_t seed, const PlumeGeometry& g, float x, float y, int index) {
    const float dx = x - g.sourceX;
    const float dy = y - g.sourceY;
    const float along = dx * g.alongX + dy * g.alongY;
    const float across = dx * -g.alongY + dy * g.alongX;
    // The leak opens at frame 0, and the gas has got as far downwind as the wind carried it
    // since, with a soft front.
    const float time = static_cast<float>(index);
    const float front =
        std::clamp((g.speed * time - std::max(along, 0.0f)) / g.frontWidth, 0.0f, 1.0f);
    // The envelope: a cone from the source, flat across its middle and fading to its sides
    // and downwind.
    float envelope;
    if (along < 0.0f) {
        envelope = Bump((dx * dx + dy * dy) / (g.sourceWidth * g.sourceWidth));
    } else if (along < g.length) {
        const float halfWidth = g.sourceWidth + g.spread * along;
        const float core = 1.5f * (1.0f - across * across / (halfWidth * halfWidth));
        const float fade = 1.0f - (along / g.length) * (along / g.length);
        const float near = 0.15f * g.length;
        envelope =
            fade * (0.6f + 0.4f * near / (near + along)) * Fade(std::clamp(core, 0.0f, 1.0f));
    } else {
        return 0.0f;
    }
    envelope *= front;
    if (envelope <= 0.0f) {
        return 0.0f;
    }
    // Turbulence carried downwind: the pattern at (x, y) now was upwind of it earlier. Finer
    // octaves change faster.
    const float carriedX = dx - g.alongX * g.speed * time;
    const float carriedY = dy - g.alongY * g.speed * time;
    float sum = 0.0f;
    float weight = 1.0f;
    float total = 0.0f;
    float wavelength = g.wavelength;
    for (int octave = 0; octave < kOctaves; ++octave) {
        const float evolve = time * (0.06f + 0.04f * octave);
        sum += weight * Noise3(seed, kGasStream, carriedX / wavelength, carriedY / wavelength,
                               evolve, octave);
        total += weight;
        weight *= 0.7f;
        wavelength *= 0.5f;
    }
    // Thin gas between the puffs, dense in them; dense right at the source.
    const float turbulence = std::clamp((sum / total - 0.35f) / 0.3f, 0.0f, 1.0f);
    const float leak = Bump((dx * dx + dy * dy) / (4.0f * g.sourceWidth * g.sourceWidth));
    return envelope * std::max(0.25f + 0.75f * turbulence, leak);
}

// The vehicle in frame `index`, in frame-0 pixels: a small, distant warm body that hides the
// ground behind it, with a hot engine towards its front. It drives right at a steady speed,
// just out of view at frame 0.
struct VehicleGeometry {
    float x0, y0, x1, y1;  // the body, half-open
    float engineX, engineY;
    float engineRadius;
};

constexpr float kVehicleBody = 8350.0f;    // counts at the top of the body
constexpr float kVehicleShading = 80.0f;   // warmer towards the bottom of the body
constexpr float kVehicleEngine = 1500.0f;  // above the body, where the engine is hottest
constexpr float kVehicleStart = -0.03f;    // centre at frame 0, as a fraction of the width
constexpr float kVehicleSpeed = 0.015f;    // fraction of the width per frame

VehicleGeometry MakeVehicle(int width, int height, int index) {
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    const float centreX = (kVehicleStart + kVehicleSpeed * static_cast<float>(index)) * w;
    const float halfWidth = 0.015f * w;
    VehicleGeometry g;
    g.x0 = centreX - halfWidth;
    g.x1 = centreX + halfWidth;
    g.y0 = 0.93f * h;
    g.y1 = 0.96f * h;
    g.engineX = centreX + 0.6f * halfWidth;
    g.engineY = 0.5f * (g.y0 + g.y1);
    g.engineRadius = std::max(1.5f, 0.01f * std::min(w, h));
    return g;
}

// The vehicle's signal at frame-0 point (x, y) inside its body.
float VehicleAt(const VehicleGeometry& g, float x, float y) {
    const float ex = (x - g.engineX) / g.engineRadius;
    const float ey = (y - g.engineY) / g.engineRadius;
    return kVehicleBody + kVehicleShading * (y - g.y0) / (g.y1 - g.y0) +
           kVehicleEngine * Bump(ex * ex + ey * ey);
}

// A roughly normal draw with standard deviation 1: the sum of four uniform 16-bit draws, two
// from the hash and two from a second mix of it, has standard deviation 37837.
inline float NormalDraw(std::uint32_t h) {
    const std::uint32_t g = Mix(h ^ 0x5BD1E995u);
    const int sum = static_cast<int>((h & 0xFFFFu) + (h >> 16) + (g & 0xFFFFu) + (g >> 16));
    return static_cast<float>(sum - 2 * 65535) * (1.0f / 37837.0f);
}

constexpr float kSensorNoise = 2.0f;   // counts, standard deviation per pixel and frame
constexpr float kColumnOffset = 4.0f;  // counts, largest fixed offset of a column
constexpr int kJitterPeriod = 15;      // frames between the camera's waypoints

}  // namespace

PlumeSequence::PlumeSequence(const PlumeSequenceOptions& options) : _options(options) {
    _options.width = std::max(0, _options.width);
    _options.height = std::max(0, _options.height);
    _options.frames = std::max(0, _options.frames);
    _options.jitter = std::max(0, _options.jitter);
    if (_options.width == 0 || _options.height == 0) {
        return;
    }
    const int margin = _options.jitter;
    _sceneWidth = _options.width + 2 * margin;
    _sceneHeight = _options.height + 2 * margin;
    _scene.resize(static_cast<std::size_t>(_sceneWidth) * _sceneHeight);
    const float w = static_cast<float>(_options.width);
    const float h = static_cast<float>(_options.height);
    for (int y = 0; y < _sceneHeight; ++y) {
        for (int x = 0; x < _sceneWidth; ++x) {
            _scene[static_cast<std::size_t>(y) * _sceneWidth + x] =
                SceneAt(_options.seed, static_cast<float>(x - margin),
                        static_cast<float>(y - margin), w, h);
        }
    }
    _columnOffsets.resize(_options.width);
    for (int x = 0; x < _options.width; ++x) {
        _columnOffsets[x] = std::floor(
            kColumnOffset * (2.0f * Unit(Hash(_options.seed, kColumnStream, x)) - 1.0f) + 0.5f);
    }
}

void PlumeSequence::Jitter(int index, int* jitterX, int* jitterY) const {
    // Waypoints every kJitterPeriod frames, the first at rest, joined by smooth steps.
    const int limit = _options.jitter;
    const int leg = std::max(index, 0) / kJitterPeriod;
    const float t = Fade(static_cast<float>(std::max(index, 0) % kJitterPeriod) / kJitterPeriod);
    auto waypoint = [&](std::uint32_t stream, int k) {
        if (k == 0 || limit == 0) {
            return 0.0f;
        }
        return static_cast<float>(Hash(_options.seed, stream, k) % (2u * limit + 1u)) - limit;
    };
    *jitterX = static_cast<int>(std::floor(
        Lerp(waypoint(kJitterXStream, leg), waypoint(kJitterXStream, leg + 1), t) + 0.5f));
    *jitterY = static_cast<int>(std::floor(
        Lerp(waypoint(kJitterYStream, leg), waypoint(kJitterYStream, leg + 1), t) + 0.5f));
}

PlumeFrame PlumeSequence::Frame(int index) const {
    PlumeFrame result;
    if (index < 0 || index >= _options.frames || _scene.empty()) {
        return result;
    }
    const int width = _options.width;
    const int height = _options.height;
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    Jitter(index, &result.jitterX, &result.jitterY);
    const int jx = result.jitterX;
    const int jy = result.jitterY;

    // The gas, in frame pixels: frame (x, y) sees frame-0 point (x - jx, y - jy).
    std::vector<float> gas(pixels, 0.0f);
    result.plumeMask.assign(pixels, 0);
    const PlumeGeometry geometry = MakeGeometry(width, height);
    if (_options.plumeCounts != 0.0f) {
        const int x0 = std::max(0, geometry.x0 + jx), x1 = std::min(width, geometry.x1 + jx);
        const int y0 = std::max(0, geometry.y0 + jy), y1 = std::min(height, geometry.y1 + jy);
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const float density =
                    GasDensity(_options.seed, geometry, static_cast<float>(x - jx),
                               static_cast<float>(y - jy), index);
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                gas[i] = -_options.plumeCounts * density;
                result.plumeMask[i] = std::abs(gas[i]) > kPlumeMaskCounts ? 255 : 0;
            }
        }
    }

    // The vehicle's body in frame pixels: frame column x sees frame-0 column x - jx, which
    // lies in the body for x0 <= x - jx < x1.
    const VehicleGeometry vehicle = MakeVehicle(width, height, index);
    if (_options.vehicle) {
        PixelRect& box = result.vehicle;
        box.x0 = std::max(0, static_cast<int>(std::ceil(vehicle.x0 + jx)));
        box.x1 = std::min(width, static_cast<int>(std::ceil(vehicle.x1 + jx)));
        box.y0 = std::max(0, static_cast<int>(std::ceil(vehicle.y0 + jy)));
        box.y1 = std::min(height, static_cast<int>(std::ceil(vehicle.y1 + jy)));
        if (box.Empty()) {
            box = PixelRect{};
        }
        result.engineX = static_cast<int>(std::floor(vehicle.engineX + jx + 0.5f));
        result.engineY = static_cast<int>(std::floor(vehicle.engineY + jy + 0.5f));
    }

    result.frame.width = width;
    result.frame.height = height;
    result.frame.pixels.resize(pixels);
    const int margin = _options.jitter;
    for (int y = 0; y < height; ++y) {
        const float* sceneRow =
            &_scene[static_cast<std::size_t>(y - jy + margin) * _sceneWidth + margin - jx];
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const float noise =
                kSensorNoise * NormalDraw(Hash(_options.seed, kNoiseStream, index, x, y));
            const float seen =
                result.vehicle.Contains(x, y)
                    ? VehicleAt(vehicle, static_cast<float>(x - jx), static_cast<float>(y - jy))
                    : sceneRow[x];
            const float value = seen + gas[i] + _columnOffsets[x] + noise;
            result.frame.pixels[i] =
                static_cast<unsigned short>(std::clamp(std::floor(value + 0.5f), 0.0f, 65535.0f));
        }
    }
    return result;
}

}  // namespace Varnik::Soloma::Cli
