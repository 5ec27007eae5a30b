#pragma once
// Looking for a part of a program's output.
#include <string>

namespace evkit::test {

inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace evkit::test
