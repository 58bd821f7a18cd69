// Reading a firmware image file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brivane {

inline constexpr std::size_t kImageSize = 0x10000;

// Opens the file for reading without sharing it and reads it whole into `image`. False when the
// file cannot be opened or read, or holds anything but exactly kImageSize bytes; `image` is then
// left as it was.
bool loadImageFile(const std::string& path, std::vector<std::uint8_t>& image);

}  // namespace brivane
