#pragma once

#include "Image.h"

#include <string>

namespace Varnik::Soloma::Cli {

// PNG files through libpng. Every function returns false with a one-line message naming the
// file when it cannot do its job; a failed read leaves the image untouched, a failed write
// leaves no file behind.

// Reads a 16-bit grayscale PNG (no alpha) as stored: no gamma or bit-depth change.
bool ReadGray16Png(const std::string& path, Gray16Image* image, std::string* error);

// Reads an 8-bit PNG; palette and low-bit-depth gray files are expanded to 8 bits per
// channel, and a transparency chunk becomes an alpha channel.
bool ReadPng8(const std::string& path, Image8* image, std::string* error);

bool WriteGray16Png(const std::string& path, const Gray16Image& image, std::string* error);

// How hard zlib works on a written file: Small is its default; Fast its quickest level, for
// the many pictures of a sequence, at the price of somewhat larger files.
enum class PngCompression { Small, Fast };

// Writes 8-bit gray, gray+alpha, RGB or RGBA after image.channels.
bool WritePng8(const std::string& path, const Image8& image, std::string* error,
               PngCompression compression = PngCompression::Small);

}  // namespace Varnik::Soloma::Cli
