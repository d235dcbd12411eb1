#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SyntheticPlume.h"

// What the gas detectors' tests share: a colour image to tint and the measures of a tint.

// A 4-byte colour image (blue, green, red, reserved) whose bytes differ per channel, so that
// a test sees which byte a rendering took from where.
inline std::vector<unsigned char> ColourImage(int width, int height) {
    std::vector<unsigned char> image(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &image[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = static_cast<unsigned char>(x * 7 + 3);
            p[1] = static_cast<unsigned char>(60 + (x + y) % 120);
            p[2] = static_cast<unsigned char>(40 + (x * 3 + y * 5) % 170);
            p[3] = 17;
        }
    }
    return image;
}

// The colour image rendered with no detection: grey (R, R, R) by method 0, (R, G, R)
// otherwise, always with 255 in the reserved byte.
inline std::vector<unsigned char> ZeroDetection(const std::vector<unsigned char>& colour,
                                                int method) {
    std::vector<unsigned char> out(colour.size());
    for (std::size_t i = 0; i < colour.size(); i += 4) {
        out[i] = colour[i + 2];
        out[i + 1] = method == 0 ? colour[i + 2] : colour[i + 1];
        out[i + 2] = colour[i + 2];
        out[i + 3] = 255;
    }
    return out;
}

// Pixels whose overlay differs from the rendering without detection.
inline std::vector<bool> TintedPixels(const std::vector<unsigned char>& overlay,
                                      const std::vector<unsigned char>& untinted) {
    std::vector<bool> tinted(overlay.size() / 4);
    for (std::size_t i = 0; i < tinted.size(); ++i) {
        for (int c = 0; c < 4; ++c) {
            tinted[i] = tinted[i] || overlay[i * 4 + c] != untinted[i * 4 + c];
        }
    }
    return tinted;
}

struct TintQuality {
    double recall = 0;      // share of plume pixels tinted
    double strayShare = 0;  // share of tinted pixels far from the plume
    std::size_t tinted = 0;
};

// How well a tint matches the plume; tinted pixels within `margin` pixels of its outline are
// neither hits nor strays (a block-based measure spreads by up to a block).
inline TintQuality Quality(const std::vector<bool>& tinted, const SyntheticPlume& plume,
                           double margin) {
    std::size_t inPlume = 0;
    std::size_t hits = 0;
    std::size_t strays = 0;
    std::size_t count = 0;
    for (int y = 0; y < plume.Height(); ++y) {
        for (int x = 0; x < plume.Width(); ++x) {
            const bool t = tinted[static_cast<std::size_t>(y) * plume.Width() + x];
            count += t;
            if (plume.InPlume(x, y)) {
                ++inPlume;
                hits += t;
            } else if (t && plume.DistanceFromPlume(x, y) > margin) {
                ++strays;
            }
        }
    }
    TintQuality q;
    q.tinted = count;
    q.recall = inPlume ? static_cast<double>(hits) / inPlume : 0.0;
    q.strayShare = count ? static_cast<double>(strays) / count : 0.0;
    return q;
}

// The overlay a detector renders of packed 16-bit frames over a copy of the colour image (the
// detector may write into the colour image).
template <typename Detector>
std::vector<unsigned char> Overlay(Detector& detector, const std::vector<std::uint16_t>& src,
                                   const std::vector<std::uint16_t>& ref, int width, int height,
                                   std::vector<unsigned char> colour) {
    std::vector<unsigned char> out(colour.size(), 0);
    detector.Run(src.data(), width * 2, ref.data(), width * 2, colour.data(), width * 4, out.data(),
                 width * 4, width, height);
    return out;
}

// Equal frames show no detection, by every colorisation method (those other than 0 and 1 tint
// as 2 does).
template <typename Detector>
void ExpectEqualFramesShowNothing(int width, int height) {
    const SyntheticPlume scene(width, height);
    const std::vector<std::uint16_t> frame = scene.Frame(0, 0, 0, true);
    const std::vector<unsigned char> colour = ColourImage(width, height);
    for (int method : {0, 1, 2, -1, 9}) {
        Detector detector;
        detector.SetUseImageStabilisation(false);
        detector.SetColorizationMethod(method);
        EXPECT_EQ(Overlay(detector, frame, frame, width, height, colour),
                  ZeroDetection(colour, method))
            << "method " << method;
    }
}
