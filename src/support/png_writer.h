#pragma once
// PNG encoding of an 8-bit RGB image, zlib-compressed; each row but the first is stored as
// its difference from the row above (filter "Up"), which makes a plot's plain areas small.
#include <cstdint>
#include <span>
#include <string>

namespace evkit {

// The bytes of a PNG file of `width` x `height` pixels; `rgb` holds the rows from the top,
// three bytes (red, green, blue) a pixel. Throws std::bad_alloc when zlib runs out of memory.
std::string encodePng(int width, int height, std::span<const std::uint8_t> rgb);

}  // namespace evkit
