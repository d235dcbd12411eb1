#pragma once

#include <string>

namespace Varnik::Soloma::Cli {

// The 8-bit preview that goes beside an output file: "dir/name.png" -> "dir/name_preview.png";
// a name without an extension gets ".png".
std::string PreviewPathFor(const std::string& output);

// True when both paths name the same existing file, however spelled (through links, "." or
// ".."). False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// Makes the folder that is to hold `path`, with any missing parents.
bool CreateParentDirectory(const std::string& path, std::string* error);

}  // namespace Varnik::Soloma::Cli
