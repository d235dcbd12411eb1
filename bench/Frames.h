#pragma once

#include <memory>

#include "Image.h"

// A 16-bit frame in a buffer of the primitives' allocator, so that rows are aligned as the
// library's own images are.
class Frame {
public:
    Frame(int width, int height);
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return pitch_; }
    unsigned short* Data() const { return data_; }
    unsigned short* Row(int y) const;

private:
    int width_;
    int height_;
    int pitch_ = 0;
    unsigned short* data_;
};

// The same pixels in an aligned, pitched frame.
std::unique_ptr<Frame> AlignedCopy(const Varnik::Soloma::Cli::Gray16Image& image);

// A float image in the primitives' allocator, so that rows are aligned as the library's are.
class FloatImage {
public:
    FloatImage(int width, int height);
    // The frame as floats, converted once outside the timed loops.
    explicit FloatImage(const Frame& frame);
    ~FloatImage();
    FloatImage(const FloatImage&) = delete;
    FloatImage& operator=(const FloatImage&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return pitch_; }
    float* Data() const { return data_; }

private:
    int width_;
    int height_;
    int pitch_ = 0;
    float* data_;
};
