#pragma once
// A small bitmap font for printable ASCII, drawn by support/raster_canvas.h: glyphs of 5 x 9
// dots on a cell 6 dots wide, 7 dots above the baseline (capitals and digits) and 2 below
// (descenders).
#include <array>
#include <cstdint>

namespace evkit::font {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 9;
constexpr int kAscent = 7;   // rows above the baseline
constexpr int kAdvance = 6;  // glyph width and one dot of space

using Glyph = std::array<std::uint8_t, kGlyphHeight>;  // rows from the top; bit 4 is the left

// The glyph of a character; '?' for anything but printable ASCII.
const Glyph& glyph(unsigned char c);

}  // namespace evkit::font
