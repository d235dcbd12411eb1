#pragma once

// The --roi option of the radiometry commands: a rectangle of the input frame.

#include "CommandSupport.h"

#include <string>

namespace Varnik::Soloma::Cli {

struct Region {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

OptionInfo RegionOption();

// The --roi value, or the whole image; false with a message when it is malformed or does not
// lie inside the image.
bool ReadRegion(const Options& options, const Gray16Image& image, Region* region,
                std::string* error);

// LoadInputFrame, then ReadRegion against it. On a mistake has reported it and returns false
// with *exitCode set: kExitFailure for the input, kExitUsage for the region.
bool LoadInputAndRegion(const std::string& command, const Options& options, InputFrame* input,
                        Region* region, int* exitCode);

std::string DescribeRegion(const Region& region);

}  // namespace Varnik::Soloma::Cli
