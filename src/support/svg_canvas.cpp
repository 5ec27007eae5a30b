#include "support/svg_canvas.h"

#include "support/format.h"

namespace evkit {

namespace {

// A coordinate to a tenth of a unit, without a trailing ".0" ("70", "123.4").
std::string num(double v) {
    std::string s = strprintf("%.1f", v);
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string colour(Colour c) {
    return strprintf("#%02x%02x%02x", c.r, c.g, c.b);
}

// Appends ` name="value"`.
void attribute(std::string& out, const char* name, const std::string& value) {
    out += ' ';
    out += name;
    out += "=\"";
    out += value;
    out += '"';
}

void strokeAttributes(std::string& out, const Stroke& s) {
    attribute(out, "stroke", colour(s.colour));
    if (s.width != 1) attribute(out, "stroke-width", num(s.width));
    if (s.dash.empty()) return;
    std::string dash;
    for (double d : s.dash) {
        if (!dash.empty()) dash += ',';
        dash += num(d);
    }
    attribute(out, "stroke-dasharray", dash);
}

std::string pointList(const std::vector<PlotPoint>& points) {
    std::string out;
    for (const auto& p : points) {
        if (!out.empty()) out += ' ';
        out += num(p.x);
        out += ',';
        out += num(p.y);
    }
    return out;
}

}  // namespace

SvgCanvas::SvgCanvas(int width, int height, double fontSize) : fontSize_(fontSize) {
    out_ = strprintf(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
        "font-family=\"sans-serif\" font-size=\"%s\">\n",
        width, height, num(fontSize).c_str());
}

void SvgCanvas::rect(double x, double y, double width, double height, std::optional<Colour> fill,
                     std::optional<Stroke> stroke) {
    out_ += "<rect";
    attribute(out_, "x", num(x));
    attribute(out_, "y", num(y));
    attribute(out_, "width", num(width));
    attribute(out_, "height", num(height));
    attribute(out_, "fill", fill ? colour(*fill) : "none");
    if (stroke) strokeAttributes(out_, *stroke);
    out_ += "/>\n";
}

void SvgCanvas::line(PlotPoint a, PlotPoint b, const Stroke& stroke) {
    out_ += "<line";
    attribute(out_, "x1", num(a.x));
    attribute(out_, "y1", num(a.y));
    attribute(out_, "x2", num(b.x));
    attribute(out_, "y2", num(b.y));
    strokeAttributes(out_, stroke);
    out_ += "/>\n";
}

void SvgCanvas::polyline(const std::vector<PlotPoint>& points, const Stroke& stroke) {
    out_ += "<polyline";
    attribute(out_, "points", pointList(points));
    attribute(out_, "fill", "none");
    strokeAttributes(out_, stroke);
    out_ += "/>\n";
}

void SvgCanvas::polygon(const std::vector<PlotPoint>& points, Colour fill,
                        std::optional<Stroke> stroke) {
    out_ += "<polygon";
    attribute(out_, "points", pointList(points));
    attribute(out_, "fill", colour(fill));
    if (stroke) strokeAttributes(out_, *stroke);
    out_ += "/>\n";
}

void SvgCanvas::disc(PlotPoint centre, double radius, Colour fill) {
    out_ += "<circle";
    attribute(out_, "cx", num(centre.x));
    attribute(out_, "cy", num(centre.y));
    attribute(out_, "r", num(radius));
    attribute(out_, "fill", colour(fill));
    out_ += "/>\n";
}

void SvgCanvas::text(PlotPoint anchor, const std::string& text, const TextStyle& style) {
    out_ += "<text";
    if (style.vertical) {
        std::string t = "translate(";
        t += num(anchor.x);
        t += ',';
        t += num(anchor.y);
        t += ") rotate(-90)";
        attribute(out_, "transform", t);
    } else {
        attribute(out_, "x", num(anchor.x));
        attribute(out_, "y", num(anchor.y));
    }
    if (style.size != fontSize_) attribute(out_, "font-size", num(style.size));
    if (style.anchor == TextAnchor::Middle) attribute(out_, "text-anchor", "middle");
    if (style.anchor == TextAnchor::End) attribute(out_, "text-anchor", "end");
    out_ += '>';
    out_ += escapeMarkup(text);
    out_ += "</text>\n";
}

}  // namespace evkit
