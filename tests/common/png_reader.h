#pragma once
// Reads back the 8-bit RGB PNG files the program writes, checking every chunk's CRC, so that
// tests can look at their pixels.
#include <cstdint>
#include <string>
#include <vector>

#include "support/plot_canvas.h"

namespace evkit::test {

struct PngChunk {
    std::string type, data;
    bool crcMatches = false;
};

struct DecodedPng {
    std::string error;  // empty when the file was read
    std::vector<PngChunk> chunks;
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    Colour pixel(int x, int y) const {
        const size_t at = (static_cast<size_t>(y) * width + x) * 3;
        return {rgb[at], rgb[at + 1], rgb[at + 2]};
    }
    int count(Colour c) const;  // pixels of exactly that colour
};

DecodedPng decodePng(const std::string& bytes);

}  // namespace evkit::test
