#include "support/png_writer.h"

#include <zlib.h>

#include <new>
#include <stdexcept>
#include <vector>

namespace evkit {

namespace {

void put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xff);
}

// Length, type, data and the CRC of type and data.
void chunk(std::string& out, const char type[5], const std::string& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const size_t start = out.size();
    out.append(type, 4);
    out += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
    put32(out, static_cast<std::uint32_t>(crc32(0L, bytes, static_cast<uInt>(out.size() - start))));
}

}  // namespace

std::string encodePng(int width, int height, std::span<const std::uint8_t> rgb) {
    const size_t row = static_cast<size_t>(width) * 3;
    if (width <= 0 || height <= 0 || rgb.size() != row * static_cast<size_t>(height))
        throw std::invalid_argument("encodePng: the pixel buffer does not match the size");
    // Each row starts with its filter type: 0 (none) for the first, 2 (up) for the others.
    std::vector<Bytef> raw;
    raw.reserve((row + 1) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const auto line = rgb.subspan(static_cast<size_t>(y) * row, row);
        if (y == 0) {
            raw.push_back(0);
            raw.insert(raw.end(), line.begin(), line.end());
            continue;
        }
        raw.push_back(2);
        const auto above = rgb.subspan(static_cast<size_t>(y - 1) * row, row);
        for (size_t i = 0; i < row; ++i) raw.push_back(static_cast<Bytef>(line[i] - above[i]));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<Bytef> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::bad_alloc();

    std::string out = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, static_cast<std::uint32_t>(height));
    header += '\x08';        // bits per sample
    header += '\x02';        // colour type: RGB
    header.append(3, '\0');  // deflate compression, adaptive filtering, no interlace
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", std::string(reinterpret_cast<const char*>(packed.data()), packedSize));
    chunk(out, "IEND", {});
    return out;
}

}  // namespace evkit
