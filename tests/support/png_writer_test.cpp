// The PNG encoder: a file any reader takes, holding exactly the pixels given.
#include "support/png_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "png_reader.h"

namespace evkit {
namespace {

TEST(PngWriter, WritesSignatureHeaderDataAndEndWithTheirCrcs) {
    // 3 x 2 pixels, each a colour of its own.
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < 6; ++i)
        for (int c = 0; c < 3; ++c) rgb.push_back(static_cast<std::uint8_t>(40 * i + c));
    rgb[3 * 5] = 0x12, rgb[3 * 5 + 1] = 0x34, rgb[3 * 5 + 2] = 0x56;  // the last pixel
    const std::string png = encodePng(3, 2, rgb);

    ASSERT_GT(png.size(), 8u + 25u + 12u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
    // IHDR first: 13 bytes, width 3, height 2, 8 bits, RGB.
    EXPECT_EQ(png.substr(8, 8), std::string("\0\0\0\x0dIHDR", 8));
    EXPECT_EQ(png.substr(16, 13), std::string("\0\0\0\x03\0\0\0\x02\x08\x02\0\0\0", 13));
    // IEND last, with the CRC every PNG file ends with.
    EXPECT_EQ(png.substr(png.size() - 12), std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12));

    const auto decoded = test::decodePng(png);
    ASSERT_EQ(decoded.error, "");
    ASSERT_EQ(decoded.chunks.size(), 3u);
    EXPECT_EQ(decoded.chunks[1].type, "IDAT");
    for (const auto& c : decoded.chunks) EXPECT_TRUE(c.crcMatches) << c.type;
    EXPECT_EQ(decoded.width, 3);
    EXPECT_EQ(decoded.height, 2);
    EXPECT_EQ(decoded.rgb, rgb);
    EXPECT_EQ(decoded.pixel(2, 1), (Colour{0x12, 0x34, 0x56}));
    EXPECT_EQ(decoded.pixel(1, 0), (Colour{40, 41, 42}));
}

TEST(PngWriter, CompressesALargePlainImage) {
    const std::vector<std::uint8_t> white(600 * 400 * 3, 0xff);
    const std::string png = encodePng(600, 400, white);
    EXPECT_LT(png.size(), 4000u);
    const auto decoded = test::decodePng(png);
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.count({0xff, 0xff, 0xff}), 600 * 400);
}

TEST(PngWriter, RefusesABufferOfAnotherSize) {
    const std::vector<std::uint8_t> rgb(3 * 3 * 2 - 1);
    EXPECT_THROW(encodePng(3, 2, rgb), std::invalid_argument);
    EXPECT_THROW(encodePng(0, 2, {}), std::invalid_argument);
}

}  // namespace
}  // namespace evkit
