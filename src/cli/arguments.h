#pragma once
// Checks of command arguments, shared by the commands: each throws CLI::ValidationError
// (a usage error, nothing sent to the board) with a message naming what is wrong.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

#include "registers/word.h"

namespace evkit::cli {

// "P:A" with page 0..255 and address 0..31.
inline RegisterAddress parseAddressOrThrow(const std::string& text) {
    auto a = parseRegisterAddress(text);
    if (!a)
        throw CLI::ValidationError("register address '" + text +
                                   "' is not P:A with page 0..255 and address 0..31");
    return *a;
}

// A word in decimal or 0x-hex, 0..max (24 bits unless said otherwise).
inline std::uint32_t parseWordOrThrow(const std::string& text, std::int64_t max = 0xFFFFFF) {
    auto v = parseInteger(text);
    if (!v) throw CLI::ValidationError("'" + text + "' is not a number (decimal or 0x-hex)");
    if (*v < 0 || *v > max)
        throw CLI::ValidationError(max == 0xFFFFFF
                                       ? "'" + text + "' does not fit in 24 bits (0..0xffffff)"
                                       : "'" + text + "' is outside 0.." + std::to_string(max));
    return static_cast<std::uint32_t>(*v);
}

// A file name given on the command line: an empty one ('') names no file and would
// otherwise be taken for an option not given.
inline const CLI::Validator& fileName() {
    static const CLI::Validator check(
        [](std::string& text) { return text.empty() ? std::string("an empty file name") : ""; },
        "FILE");
    return check;
}

}  // namespace evkit::cli
