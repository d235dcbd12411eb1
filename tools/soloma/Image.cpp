#include "Image.h"

#include <algorithm>
#include <cstddef>

namespace Varnik::Soloma::Cli {

ValueRange FindRange(const Gray16Image& image) {
    ValueRange range;
    if (!image.pixels.empty()) {
        const auto [lowest, highest] =
            std::minmax_element(image.pixels.begin(), image.pixels.end());
        range.min = *lowest;
        range.max = *highest;
    }
    return range;
}

Image8 MakePreview(const Gray16Image& image) {
    Image8 preview;
    preview.width = image.width;
    preview.height = image.height;
    preview.channels = 1;
    preview.pixels.assign(image.pixels.size(), 0);
    const ValueRange range = FindRange(image);
    const unsigned span = static_cast<unsigned>(range.max - range.min);
    if (span == 0) {
        return preview;
    }
    // Integer arithmetic: (65535 * 255) fits easily, and the result is the same everywhere.
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const unsigned offset = static_cast<unsigned>(image.pixels[i] - range.min);
        preview.pixels[i] = static_cast<unsigned char>((offset * 255u + span / 2) / span);
    }
    return preview;
}

}  // namespace Varnik::Soloma::Cli
