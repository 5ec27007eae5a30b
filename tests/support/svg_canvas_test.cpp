// The SVG canvas: one element per drawing call, attributes as SVG readers expect them.
#include "support/svg_canvas.h"

#include <gtest/gtest.h>

#include "text_search.h"

namespace evkit {
namespace {

using test::has;

TEST(SvgCanvas, WritesOneElementPerCall) {
    SvgCanvas c(300, 200);
    c.rect(0, 0, 300, 200, Colour::hex(0xffffff), std::nullopt);
    c.rect(10, 20.26, 30, 40, std::nullopt, Stroke{Colour::hex(0x000000)});
    c.line({1, 2}, {3, 4.5}, Stroke{Colour::hex(0x888888), 2, {6, 4}});
    c.polyline({{1, 2}, {3, 4}}, Stroke{Colour::hex(0x1f5fbf), 2});
    c.polygon({{0, 0}, {5, 0}, {0, 5}}, Colour::hex(0xdfe9f7), Stroke{Colour::hex(0x1f5fbf)});
    c.disc({7, 8}, 3.5, Colour::hex(0xc0392b));
    c.text({18, 100}, "Error <%>", {.anchor = TextAnchor::Middle, .vertical = true});
    c.text({5, 22}, "Title", {.size = 15});
    c.text({5, 40}, "1.0", {.anchor = TextAnchor::End});
    const std::string svg = c.svg();
    EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"300\" height=\"200\" "
                        "font-family=\"sans-serif\" font-size=\"12\">\n",
                        0),
              0u)
        << svg;
    EXPECT_TRUE(has(svg, "<rect x=\"0\" y=\"0\" width=\"300\" height=\"200\" fill=\"#ffffff\"/>"));
    EXPECT_TRUE(has(svg,
                    "<rect x=\"10\" y=\"20.3\" width=\"30\" height=\"40\" fill=\"none\" "
                    "stroke=\"#000000\"/>"))
        << svg;
    EXPECT_TRUE(has(svg,
                    "<line x1=\"1\" y1=\"2\" x2=\"3\" y2=\"4.5\" stroke=\"#888888\" "
                    "stroke-width=\"2\" stroke-dasharray=\"6,4\"/>"));
    EXPECT_TRUE(has(svg,
                    "<polyline points=\"1,2 3,4\" fill=\"none\" stroke=\"#1f5fbf\" "
                    "stroke-width=\"2\"/>"));
    EXPECT_TRUE(has(svg, "<polygon points=\"0,0 5,0 0,5\" fill=\"#dfe9f7\" stroke=\"#1f5fbf\"/>"));
    EXPECT_TRUE(has(svg, "<circle cx=\"7\" cy=\"8\" r=\"3.5\" fill=\"#c0392b\"/>"));
    EXPECT_TRUE(has(svg,
                    "<text transform=\"translate(18,100) rotate(-90)\" "
                    "text-anchor=\"middle\">Error &lt;%&gt;</text>"))
        << svg;
    EXPECT_TRUE(has(svg, "<text x=\"5\" y=\"22\" font-size=\"15\">Title</text>"));
    EXPECT_TRUE(has(svg, "<text x=\"5\" y=\"40\" text-anchor=\"end\">1.0</text>"));
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

}  // namespace
}  // namespace evkit
