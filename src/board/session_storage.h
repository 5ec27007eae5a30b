#pragma once
// Session files on disk: plain text, or gzip-compressed when the name ends in ".gz".
#include <string>
#include <string_view>

#include "board/session_file.h"

namespace evkit {

// Largest session text accepted when reading (after decompression).
inline constexpr std::size_t kSessionMaxText = std::size_t(1) << 30;

// True for names ending in ".gz".
bool sessionPathCompressed(const std::string& path);

// Writes `text` as the file `path` through the atomic file writer, compressed for ".gz".
bool writeSessionFile(const std::string& path, std::string_view text, std::string* error);

// Reads and parses `path` (compressed or not, whatever its name). False with `error` saying
// what is wrong ("The session file "x" is damaged: line 12: bad value in 'read'.").
bool readSessionFile(const std::string& path, SessionFile* out, std::string* error);

// gzip compression of `text`, and its inverse (which also takes uncompressed text as is).
std::string gzipText(std::string_view text);
bool gunzipText(std::string_view data, std::string* out, std::string* why);

}  // namespace evkit
