#include "Frames.h"

#include <PixelPrimitives/PixelPrimitives.h>

#include <algorithm>
#include <stdexcept>

Frame::Frame(int width, int height)
    : width_(width),
      height_(height),
      data_(PixelPrimitives::Malloc_16u_C1(width, height, &pitch_)) {
    if (data_ == nullptr) {
        throw std::runtime_error("cannot allocate a frame");
    }
}

Frame::~Frame() {
    PixelPrimitives::Free(data_);
}

unsigned short* Frame::Row(int y) const {
    return reinterpret_cast<unsigned short*>(reinterpret_cast<unsigned char*>(data_) +
                                             static_cast<std::ptrdiff_t>(pitch_) * y);
}

std::unique_ptr<Frame> AlignedCopy(const Varnik::Soloma::Cli::Gray16Image& image) {
    auto frame = std::make_unique<Frame>(image.width, image.height);
    for (int y = 0; y < image.height; ++y) {
        const unsigned short* row = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
        std::copy(row, row + image.width, frame->Row(y));
    }
    return frame;
}

FloatImage::FloatImage(int width, int height)
    : width_(width),
      height_(height),
      data_(PixelPrimitives::Malloc_32f_C1(width, height, &pitch_)) {
    if (data_ == nullptr) {
        throw std::runtime_error("cannot allocate a float image");
    }
}

FloatImage::FloatImage(const Frame& frame) : FloatImage(frame.Width(), frame.Height()) {
    PixelPrimitives::Convert_16u32f_C1(frame.Data(), frame.Pitch(), data_, pitch_, width_, height_);
}

FloatImage::~FloatImage() {
    PixelPrimitives::Free(data_);
}
