#pragma once

#include <PixelPrimitives/AllocationFailure.h>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

// Checks shared by the tests of calls made with bad arguments or without memory.

// One image argument of a call: its first pixel and its row pitch in bytes.
struct ImageArg {
    unsigned char* data;
    int step;
    template <typename T>
    T* As() const {
        return reinterpret_cast<T*>(data);
    }
};

// Calls one entry point with the images, in order, and the width and height.
using Args = std::vector<ImageArg>;
using EntryCall = std::function<void(const std::vector<ImageArg>&, int width, int height)>;

// Calls an entry point first with sound images of 24 x 20 pixels (one per entry of
// bytesPerPixel, random bytes, rows padded, each block exactly as large as its image, so that
// the sanitizer sees any read beyond it), expecting it to write something when `writes`; then
// with each bad variant: one image null, one pitch a byte short of its row, a width or height
// of 0 or -1, rows too long for an int, and a span of rows too long for one. Every bad variant
// must leave every byte of every image as it was, and outputsUntouched() true for outputs
// other than images (set up by the call itself).
inline void ExpectBadArgumentsIgnored(const std::string& name,
                                      const std::vector<int>& bytesPerPixel, const EntryCall& call,
                                      bool writes = true,
                                      const std::function<bool()>& outputsUntouched = {}) {
    const int width = 24, height = 20;
    std::mt19937 rng(7);
    std::vector<std::vector<unsigned char>> blocks;
    std::vector<ImageArg> sound;
    for (int bpp : bytesPerPixel) {
        const int step = width * bpp + 8;
        blocks.emplace_back(static_cast<std::size_t>(step) * height);
        for (unsigned char& b : blocks.back()) {
            b = static_cast<unsigned char>(rng() % 200 + 20);
        }
        sound.push_back({blocks.back().data(), step});
    }
    const std::vector<std::vector<unsigned char>> pristine = blocks;
    auto expectUntouched = [&](const std::string& variant) {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_TRUE(blocks[i] == pristine[i]) << name << ": " << variant << ", image " << i;
        }
        if (outputsUntouched) {
            EXPECT_TRUE(outputsUntouched()) << name << ": " << variant;
        }
    };

    call(sound, width, height);
    if (writes) {
        EXPECT_TRUE(blocks != pristine) << name << ": the sound call wrote nothing";
    }
    blocks = pristine;

    for (std::size_t i = 0; i < sound.size(); ++i) {
        std::vector<ImageArg> images = sound;
        images[i].data = nullptr;
        call(images, width, height);
        expectUntouched("null image " + std::to_string(i));
        images = sound;
        images[i].step = width * bytesPerPixel[i] - 1;
        call(images, width, height);
        expectUntouched("short pitch " + std::to_string(i));
    }
    for (int bad : {0, -1}) {
        call(sound, bad, height);
        expectUntouched("width " + std::to_string(bad));
        call(sound, width, bad);
        expectUntouched("height " + std::to_string(bad));
    }
    std::vector<ImageArg> widest = sound;
    for (ImageArg& image : widest) {
        image.step = INT_MAX;
    }
    call(widest, 1 << 30, height);
    expectUntouched("width 2^30");
    call(sound, width, 1 << 30);
    expectUntouched("height 2^30");
}

// Makes the k-th allocation of call() fail, for k = 0, 1, ... until a call no longer reaches
// the failure, and runs afterFailure(k) after each call that it struck. Returns the number of
// allocations the call makes when all succeed.
inline int ForEachFailedAllocation(const std::function<void()>& call,
                                   const std::function<void(int)>& afterFailure) {
    for (int k = 0;; ++k) {
        PixelPrimitivesFailAllocationAfter(k);
        call();
        const bool struck = !PixelPrimitivesAllocationFailurePending();
        PixelPrimitivesFailAllocationAfter(-1);
        if (!struck) {
            return k;
        }
        afterFailure(k);
    }
}
