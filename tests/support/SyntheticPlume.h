#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// A static thermal scene seen by a camera that may jitter by whole pixels, with a patch of
// absorbing gas (the signal drops by a few tens of counts) whose texture changes from frame
// to frame, plus a little temporal noise. Lets the gas detectors' tests show that a plume is
// found where it is and hardly anywhere else.
class SyntheticPlume {
public:
    SyntheticPlume(int width, int height) : width_(width), height_(height) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return width_ * 2; }

    // Plume centre and radius.
    double CentreX() const { return width_ * 0.55; }
    double CentreY() const { return height_ * 0.5; }
    double Radius() const { return height_ * 0.16; }

    // Frame t, the scene moved by (shiftX, shiftY); with the plume when withPlume.
    std::vector<std::uint16_t> Frame(int t, int shiftX, int shiftY, bool withPlume) const {
        std::vector<std::uint16_t> frame(static_cast<std::size_t>(width_) * height_);
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                double value = Scene(x - shiftX, y - shiftY) + Noise(x, y, t);
                if (withPlume) {
                    value -= Plume(x, y, t);
                }
                frame[static_cast<std::size_t>(y) * width_ + x] =
                    static_cast<std::uint16_t>(std::lround(value));
            }
        }
        return frame;
    }

    // True inside the plume.
    bool InPlume(int x, int y) const { return Envelope(x, y) > 0.0; }
    // Distance of (x, y) from the plume's outline (0 inside).
    double DistanceFromPlume(int x, int y) const {
        const double r = std::hypot(x - CentreX(), y - CentreY());
        return r > Radius() ? r - Radius() : 0.0;
    }

private:
    // A sky gradient, a warm block, a cold disc and a gentle texture.
    double Scene(int x, int y) const {
        double value =
            3000.0 + 600.0 * y / height_ + 25.0 * std::sin(x * 0.05) * std::cos(y * 0.07);
        if (x > width_ / 10 && x < width_ / 4 && y > height_ / 5 && y < height_ * 3 / 5) {
            value += 1500.0;
        }
        const double dx = x - width_ * 0.85;
        const double dy = y - height_ * 0.75;
        if (dx * dx + dy * dy < (height_ * 0.1) * (height_ * 0.1)) {
            value -= 800.0;
        }
        return value;
    }

    double Envelope(int x, int y) const {
        const double r = std::hypot(x - CentreX(), y - CentreY()) / Radius();
        return r < 1.0 ? 1.0 - r * r * r * r : 0.0;
    }

    // 40 to 80 counts of absorption inside the plume, with a texture that drifts over time.
    double Plume(int x, int y, int t) const {
        const double envelope = Envelope(x, y);
        if (envelope <= 0.0) {
            return 0.0;
        }
        const double texture = std::sin(x * 0.31 + t * 0.9) * std::cos(y * 0.23 - t * 0.6) +
                               0.5 * std::sin((x + y) * 0.17 + t * 1.3);
        return envelope * (60.0 + 13.0 * texture);
    }

    // A couple of counts of temporal noise, deterministic per pixel and frame.
    static double Noise(int x, int y, int t) {
        std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^
                          static_cast<std::uint32_t>(y) * 19349663u ^
                          static_cast<std::uint32_t>(t + 1) * 83492791u;
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        return static_cast<double>(h % 5) - 2.0;
    }

    int width_;
    int height_;
};
