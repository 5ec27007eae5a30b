#include "board/session_storage.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "support/file_writer.h"
#include "support/text_input.h"

namespace evkit {

bool sessionPathCompressed(const std::string& path) {
    return path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
}

std::string gzipText(std::string_view text) {
    z_stream z{};
    // 15 window bits + 16: a gzip header and trailer around the deflate stream.
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out;
    char chunk[65536];
    int flush = Z_NO_FLUSH;
    do {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            const std::size_t n = std::min<std::size_t>(text.size(), 1u << 20);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
            z.avail_in = static_cast<uInt>(n);
            text.remove_prefix(n);
            if (text.empty()) flush = Z_FINISH;
        }
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        const int r = deflate(&z, flush);
        out.append(chunk, sizeof chunk - z.avail_out);
        if (r == Z_STREAM_END) break;
    } while (true);
    deflateEnd(&z);
    return out;
}

bool gunzipText(std::string_view data, std::string* out, std::string* why) {
    out->clear();
    if (data.size() < 2 || static_cast<unsigned char>(data[0]) != 0x1f ||
        static_cast<unsigned char>(data[1]) != 0x8b) {
        out->assign(data);
        return true;
    }
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) {
        *why = "the decompressor cannot start";
        return false;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(data.size(), 0xFFFFFFFFu));
    char chunk[65536];
    int r = Z_OK;
    while (r == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END) break;
        out->append(chunk, sizeof chunk - z.avail_out);
        if (out->size() > kSessionMaxText) {
            inflateEnd(&z);
            *why = "it is larger than " + std::to_string(kSessionMaxText >> 20) + " MiB";
            return false;
        }
        if (r == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
            r = Z_BUF_ERROR;  // the input ended before the compressed stream did
            break;
        }
    }
    const bool trailing = r == Z_STREAM_END && z.avail_in != 0;
    inflateEnd(&z);
    if (r == Z_BUF_ERROR) {
        *why = "the compressed data is cut off";
        return false;
    }
    if (r != Z_STREAM_END) {
        *why = "the compressed data is damaged";
        return false;
    }
    if (trailing) {
        *why = "there are bytes after the compressed data";
        return false;
    }
    return true;
}

bool writeSessionFile(const std::string& path, std::string_view text, std::string* error) {
    if (sessionPathCompressed(path)) return writeFileAtomically(path, gzipText(text), error);
    return writeFileAtomically(path, text, error);
}

bool readSessionFile(const std::string& path, SessionFile* out, std::string* error) {
    const std::string name = "The session file \"" + path + "\"";
    std::string why = unreadableFileReason(path);
    std::ifstream in;
    if (why.empty()) {
        in.open(path, std::ios::binary);
        if (!in) why = std::strerror(errno);
    }
    if (!why.empty()) {
        if (error) *error = name + " cannot be read: " + why + ".";
        return false;
    }
    std::string raw;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        raw.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (raw.size() > kSessionMaxText) {
            if (error) *error = name + " is too large.";
            return false;
        }
    }
    if (in.bad()) {
        if (error) *error = name + " cannot be read.";
        return false;
    }
    std::string text;
    if (!gunzipText(raw, &text, &why)) {
        if (error) *error = name + " is damaged: " + why + ".";
        return false;
    }
    if (!parseSessionText(text, out, &why)) {
        if (error) *error = name + " is damaged: " + why + ".";
        return false;
    }
    return true;
}

}  // namespace evkit
