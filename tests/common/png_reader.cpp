#include "png_reader.h"

#include <zlib.h>

#include <cstdlib>

namespace evkit::test {

namespace {

std::uint32_t get32(const std::string& s, size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(s[at + i]);
    return v;
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
}

}  // namespace

int DecodedPng::count(Colour c) const {
    int n = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        if (rgb[i] == c.r && rgb[i + 1] == c.g && rgb[i + 2] == c.b) ++n;
    return n;
}

DecodedPng decodePng(const std::string& bytes) {
    DecodedPng out;
    if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) != 0) {
        out.error = "no PNG signature";
        return out;
    }
    std::string idat;
    for (size_t at = 8; at < bytes.size();) {
        if (at + 12 > bytes.size()) {
            out.error = "truncated chunk";
            return out;
        }
        const std::uint32_t length = get32(bytes, at);
        if (at + 12 + length > bytes.size()) {
            out.error = "truncated chunk";
            return out;
        }
        PngChunk c;
        c.type = bytes.substr(at + 4, 4);
        c.data = bytes.substr(at + 8, length);
        const auto* typeAndData = reinterpret_cast<const Bytef*>(bytes.data() + at + 4);
        c.crcMatches = crc32(0L, typeAndData, length + 4) == get32(bytes, at + 8 + length);
        if (c.type == "IDAT") idat += c.data;
        out.chunks.push_back(c);
        at += 12 + length;
    }
    for (const auto& c : out.chunks)
        if (!c.crcMatches) out.error = "CRC mismatch in " + c.type;
    if (!out.error.empty()) return out;
    if (out.chunks.empty() || out.chunks.front().type != "IHDR" ||
        out.chunks.front().data.size() != 13 || out.chunks.back().type != "IEND") {
        out.error = "IHDR first and IEND last expected";
        return out;
    }
    const std::string& h = out.chunks.front().data;
    out.width = static_cast<int>(get32(h, 0));
    out.height = static_cast<int>(get32(h, 4));
    if (h.substr(8) != std::string("\x08\x02\0\0\0", 5)) {
        out.error = "not an 8-bit RGB image without interlace";
        return out;
    }
    const size_t row = static_cast<size_t>(out.width) * 3;
    std::vector<Bytef> raw((row + 1) * out.height);
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()),
                   idat.size()) != Z_OK ||
        rawSize != raw.size()) {
        out.error = "image data does not inflate to the image size";
        return out;
    }
    out.rgb.resize(row * out.height);
    for (int y = 0; y < out.height; ++y) {
        const int filter = raw[y * (row + 1)];
        const Bytef* in = &raw[y * (row + 1) + 1];
        std::uint8_t* line = &out.rgb[y * row];
        const std::uint8_t* up = y > 0 ? line - row : nullptr;
        for (size_t i = 0; i < row; ++i) {
            const int a = i >= 3 ? line[i - 3] : 0, b = up ? up[i] : 0;
            const int c = i >= 3 && up ? up[i - 3] : 0;
            int predictor = 0;
            switch (filter) {
                case 0:
                    break;
                case 1:
                    predictor = a;
                    break;
                case 2:
                    predictor = b;
                    break;
                case 3:
                    predictor = (a + b) / 2;
                    break;
                case 4:
                    predictor = paeth(a, b, c);
                    break;
                default:
                    out.error = "unknown row filter";
                    return out;
            }
            line[i] = static_cast<std::uint8_t>(in[i] + predictor);
        }
    }
    return out;
}

}  // namespace evkit::test
