#pragma once

#include <string>

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

// A thermal-looking scene: a smooth background near 8000 counts with a gentle gradient,
// a few warm blobs a few thousand counts above it, and sensor noise. The same for every
// run; the blobs scale with the frame so that every size holds the same picture.
void FillSyntheticScene(Frame& frame);

// Reads a 16-bit (or 8-bit, widened) greyscale PNG into frame, which must have the file's
// size. Returns false when the file is missing or of another kind.
bool ReadGreyPng(const std::string& path, Frame& frame);

// Width and height of a PNG file, or false when it cannot be read.
bool PngSize(const std::string& path, int* width, int* height);
