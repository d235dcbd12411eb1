#include "ColourImage.h"

#include "PngIo.h"

namespace Varnik::Soloma::Cli {

ColourImage PaletteColouring(const Gray16Image& frame, ImageProcessing::Palettes::Kind palette,
                             int low, int high) {
    ColourImage colour{frame.width, frame.height,
                       std::vector<unsigned char>(4 * frame.pixels.size())};
    ImageProcessing::Palettes::Apply(frame.pixels.data(), frame.Step(), palette, low, high,
                                     colour.bgra.data(), colour.Step(), frame.width, frame.height);
    return colour;
}

ColourImage FromRgb(const Image8& image) {
    ColourImage colour{
        image.width, image.height,
        std::vector<unsigned char>(static_cast<std::size_t>(image.width) * image.height * 4)};
    for (std::size_t i = 0, j = 0; i < colour.bgra.size(); i += 4, j += image.channels) {
        colour.bgra[i] = image.pixels[j + 2];
        colour.bgra[i + 1] = image.pixels[j + 1];
        colour.bgra[i + 2] = image.pixels[j];
        colour.bgra[i + 3] = 255;
    }
    return colour;
}

bool WriteColourPng(const std::string& path, const ColourImage& colour, std::string* error) {
    Image8 rgba{colour.width, colour.height, 4, std::vector<unsigned char>(colour.bgra.size())};
    for (std::size_t i = 0; i < colour.bgra.size(); i += 4) {
        rgba.pixels[i] = colour.bgra[i + 2];
        rgba.pixels[i + 1] = colour.bgra[i + 1];
        rgba.pixels[i + 2] = colour.bgra[i];
        rgba.pixels[i + 3] = 255;
    }
    return WritePng8(path, rgba, error);
}

}  // namespace Varnik::Soloma::Cli
