#include "RegionOption.h"

#include "NumberOptions.h"

#include <vector>

namespace Varnik::Soloma::Cli {

OptionInfo RegionOption() {
    return {"roi", "X,Y,W,H",
            "region: first column and row, width and height (default: the whole frame)"};
}

bool ReadRegion(const Options& options, const Gray16Image& image, Region* region,
                std::string* error) {
    if (!options.Has("roi")) {
        *region = {0, 0, image.width, image.height};
        return true;
    }
    const std::string text = options.Get("roi");
    const std::vector<std::string> parts = SplitList(text, ',');
    int* fields[] = {&region->x, &region->y, &region->width, &region->height};
    bool valid = parts.size() == 4;
    for (std::size_t i = 0; valid && i < 4; ++i) {
        valid = ParseInteger(parts[i], i < 2 ? 0 : 1, 1L << 30, fields[i]);
    }
    if (!valid) {
        *error = "--roi '" + text + "' is not X,Y,W,H with X, Y >= 0 and W, H >= 1";
        return false;
    }
    if (static_cast<long>(region->x) + region->width > image.width ||
        static_cast<long>(region->y) + region->height > image.height) {
        *error = "--roi '" + text + "' does not lie inside the " + std::to_string(image.width) +
                 " x " + std::to_string(image.height) + " frame";
        return false;
    }
    return true;
}

bool LoadInputAndRegion(const std::string& command, const Options& options, InputFrame* input,
                        Region* region, int* exitCode) {
    std::string error;
    if (!LoadInputFrame(options, input, &error)) {
        *exitCode = ReportFailure(error);
        return false;
    }
    if (!ReadRegion(options, input->image, region, &error)) {
        *exitCode = ReportBadValue(command, error);
        return false;
    }
    return true;
}

std::string DescribeRegion(const Region& region) {
    return "x " + std::to_string(region.x) + ", y " + std::to_string(region.y) + ", " +
           std::to_string(region.width) + " x " + std::to_string(region.height) + " pixels";
}

}  // namespace Varnik::Soloma::Cli
