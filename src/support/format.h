#pragma once
// printf-style formatting into std::string (the program's file formats are printf formats).
#include <cstdarg>
#include <string>

namespace evkit {

std::string strprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Text for HTML or XML content: <, > and & as entities.
std::string escapeMarkup(const std::string& s);

}  // namespace evkit
