#pragma once
// Small text helpers of the metrology files: a user's settings file read whole (bounded
// lines), and trimming and upper-casing of words.
#include <functional>
#include <string>

namespace evkit::metrology {

// Reads the text file `path` (what = "the plan", "the scaling file" for the message). False,
// with `error` set ("cannot read the plan "P": Is a directory"), when it cannot be read or a
// line is longer than the program accepts.
bool readTextFile(const std::string& path, const std::string& what, std::string* text,
                  std::string* error);
// Walks the "key = value" lines of a settings text ('#' starts a comment, blank lines are
// skipped), calling `entry` with the trimmed key, value and line; `entry` returns empty or
// why it refuses the line. Returns empty, or "line N: why" for the first refused line.
using SettingEntry = std::function<std::string(const std::string& key, const std::string& value,
                                               const std::string& line)>;
std::string forEachSetting(const std::string& text, const SettingEntry& entry);
std::string trim(const std::string& s);
std::string upper(std::string s);

}  // namespace evkit::metrology
