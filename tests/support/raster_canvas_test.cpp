// The raster canvas: shapes land on the pixels they cover, text shows dark dots in its box.
#include "support/raster_canvas.h"

#include <gtest/gtest.h>

#include <functional>

#include "png_reader.h"
#include "support/bitmap_font.h"

namespace evkit {
namespace {

constexpr Colour kWhite{0xff, 0xff, 0xff}, kBlack{0, 0, 0};
constexpr Colour kRed = Colour::hex(0xc0392b), kBlue = Colour::hex(0x1f5fbf);

bool dark(Colour c) {
    return c.r + c.g + c.b < 3 * 128;
}

// The box holding every pixel that `is` picks, or {-1,...} when none does.
struct Box {
    int x0 = -1, y0 = -1, x1 = -1, y1 = -1;  // inclusive
};
Box boxOf(const RasterCanvas& c, const std::function<bool(Colour)>& is) {
    Box b;
    for (int y = 0; y < c.pixelHeight(); ++y)
        for (int x = 0; x < c.pixelWidth(); ++x) {
            if (!is(c.pixel(x, y))) continue;
            if (b.x0 < 0) b = {x, y, x, y};
            b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
            b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
        }
    return b;
}

TEST(RasterCanvas, StartsWhiteAtThePixelSizeOfItsScale) {
    RasterCanvas c(30, 20, 2);
    EXPECT_EQ(c.pixelWidth(), 60);
    EXPECT_EQ(c.pixelHeight(), 40);
    EXPECT_EQ(c.rgb().size(), 60u * 40u * 3u);
    EXPECT_EQ(c.pixel(59, 39), kWhite);
    const auto png = test::decodePng(c.png());
    ASSERT_EQ(png.error, "");
    EXPECT_EQ(png.width, 60);
    EXPECT_EQ(png.rgb, c.rgb());
}

TEST(RasterCanvas, FilledRectCoversItsInteriorAndBlendsItsEdges) {
    RasterCanvas c(40, 30);
    c.rect(10, 5, 20, 10.5, kRed, std::nullopt);
    EXPECT_EQ(c.pixel(10, 5), kRed);
    EXPECT_EQ(c.pixel(29, 14), kRed);
    EXPECT_EQ(c.pixel(9, 10), kWhite);
    EXPECT_EQ(c.pixel(30, 10), kWhite);
    EXPECT_EQ(c.pixel(20, 16), kWhite);
    // Half of the last row is covered: half way between white and red.
    EXPECT_NEAR(c.pixel(20, 15).r, (0xff + 0xc0) / 2, 1);
    EXPECT_NEAR(c.pixel(20, 15).g, (0xff + 0x39) / 2, 1);
    // An outline at scale 2: a line of one unit is two pixels wide, the inside stays white.
    RasterCanvas s(40, 30, 2);
    s.rect(10, 5, 20, 10, std::nullopt, Stroke{kBlue});
    EXPECT_EQ(s.pixel(19, 20), kBlue);
    EXPECT_EQ(s.pixel(20, 20), kBlue);
    EXPECT_EQ(s.pixel(21, 20), kWhite);
    EXPECT_EQ(s.pixel(40, 9), kBlue);
    EXPECT_EQ(s.pixel(40, 10), kBlue);
    EXPECT_EQ(s.pixel(40, 20), kWhite);
}

TEST(RasterCanvas, LinesAreAsWideAsTheirStrokeAndDashed) {
    RasterCanvas c(60, 30);
    c.line({5, 10}, {55, 10}, Stroke{kRed, 2});
    for (int x : {6, 30, 54}) {
        EXPECT_EQ(c.pixel(x, 9), kRed) << x;
        EXPECT_EQ(c.pixel(x, 10), kRed) << x;
        EXPECT_EQ(c.pixel(x, 8), kWhite) << x;
        EXPECT_EQ(c.pixel(x, 11), kWhite) << x;
    }
    EXPECT_EQ(c.pixel(3, 10), kWhite);  // square ends
    EXPECT_EQ(c.pixel(56, 10), kWhite);

    // Dashes of 6, gaps of 4, from x = 5: dashes over 5-11, 15-21, ...
    c.line({5, 20}, {55, 20}, Stroke{kBlue, 2, {6, 4}});
    EXPECT_EQ(c.pixel(8, 20), kBlue);
    EXPECT_EQ(c.pixel(13, 20), kWhite);
    EXPECT_EQ(c.pixel(18, 20), kBlue);
    EXPECT_EQ(c.pixel(23, 20), kWhite);

    // A polyline turns without a gap at its corner.
    RasterCanvas p(40, 40);
    p.polyline({{5, 5}, {30, 5}, {30, 30}}, Stroke{kBlack, 2});
    EXPECT_EQ(p.pixel(15, 4), kBlack);
    EXPECT_EQ(p.pixel(29, 4), kBlack);
    EXPECT_EQ(p.pixel(30, 5), kBlack);
    EXPECT_EQ(p.pixel(30, 20), kBlack);
    EXPECT_EQ(p.pixel(20, 20), kWhite);
}

TEST(RasterCanvas, PolygonAndDiscFillTheirInsides) {
    RasterCanvas c(50, 50);
    // A right triangle: (5,5), (45,5), (5,45).
    c.polygon({{5, 5}, {45, 5}, {5, 45}}, kBlue, std::nullopt);
    EXPECT_EQ(c.pixel(10, 10), kBlue);
    EXPECT_EQ(c.pixel(20, 20), kBlue);
    EXPECT_EQ(c.pixel(30, 30), kWhite);
    EXPECT_EQ(c.pixel(44, 40), kWhite);
    EXPECT_EQ(c.pixel(3, 10), kWhite);
    // On the slanted edge a pixel is partly covered.
    const Colour edge = c.pixel(25, 24);
    EXPECT_NE(edge, kBlue);
    EXPECT_NE(edge, kWhite);

    c.disc({35, 35}, 4, kRed);
    EXPECT_EQ(c.pixel(35, 35), kRed);
    EXPECT_EQ(c.pixel(32, 35), kRed);
    EXPECT_EQ(c.pixel(35, 40), kWhite);
    EXPECT_EQ(c.pixel(38, 38), kWhite);
}

TEST(RasterCanvas, TextDrawsDarkDotsInsideItsBox) {
    // 12-unit text at scale 2: dots of 2 x 2 pixels, 12 pixels a character.
    RasterCanvas c(100, 40, 2);
    c.text({10, 20}, "Hi", {});
    const Box b = boxOf(c, dark);
    ASSERT_GE(b.x0, 0) << "no text drawn";
    EXPECT_EQ(b.x0, 20);
    EXPECT_LE(b.x1, 20 + 2 * font::kAdvance * 2 - 2 - 1);
    EXPECT_EQ(b.y0, 40 - font::kAscent * 2);  // capitals reach 7 dots above the baseline
    EXPECT_EQ(b.y1, 39);                      // nothing below the baseline in "Hi"
    // The left stroke of H: a full column of dots.
    for (int y = b.y0; y <= b.y1; ++y) EXPECT_EQ(c.pixel(20, y), kBlack) << y;
    EXPECT_EQ(c.pixel(24, 30), kWhite);  // between the strokes of H, above its bar

    // Descenders go below the baseline; the anchor moves the box.
    RasterCanvas d(100, 40, 2);
    d.text({50, 20}, "gy", {.anchor = TextAnchor::End});
    const Box bd = boxOf(d, dark);
    EXPECT_EQ(bd.x1, 99);
    EXPECT_GT(bd.y1, 40);
    RasterCanvas m(100, 40, 2);
    m.text({50, 20}, "HH", {.anchor = TextAnchor::Middle});
    const Box bm = boxOf(m, dark);
    EXPECT_EQ(bm.x0 + bm.x1 + 1, 200);  // centred on x = 100 pixels
}

TEST(RasterCanvas, TextTurnsUpwardsAndShowsOtherCharactersAsQuestionMarks) {
    RasterCanvas c(40, 100, 2);
    c.text({10, 50}, "Error", {.vertical = true});
    const Box b = boxOf(c, dark);
    ASSERT_GE(b.x0, 0);
    // Reading upwards from the anchor: the letters stack above y = 100 pixels, their tops
    // to the left of x = 20.
    EXPECT_EQ(b.y1, 99);
    EXPECT_EQ(b.y0, 100 - (5 * font::kAdvance - 1) * 2);
    EXPECT_EQ(b.x0, 20 - font::kAscent * 2);
    EXPECT_LT(b.x1, 20);

    RasterCanvas u(40, 20), q(40, 20);
    u.text({2, 12}, "\xc2\xb5V", {});  // micro sign, then V
    q.text({2, 12}, "?V", {});
    EXPECT_EQ(u.rgb(), q.rgb());
    // A larger size draws larger dots.
    RasterCanvas big(100, 40, 2);
    big.text({10, 30}, "H", {.size = 15});
    const Box bb = boxOf(big, dark);
    EXPECT_EQ(bb.y1 - bb.y0 + 1, font::kAscent * 3);
}

}  // namespace
}  // namespace evkit
