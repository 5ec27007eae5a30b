#pragma once
// Parses one message into its program units: `HEADer[:NODE]...[?] [param[,param]...]`
// units separated by ';', common commands `*IDN?`, quoted strings, definite-length blocks
// and non-decimal numbers (#H, #Q, #B).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scpi/errors.h"

namespace evkit::scpi {

struct Param {
    enum class Kind { kToken, kString, kBlock };
    Kind kind = Kind::kToken;
    std::string text;  // a token as written (trimmed), a string unquoted, a block's bytes
};

struct Unit {
    bool common = false;             // *XXX
    bool query = false;              // ends in '?'
    bool absolute = false;           // starts with ':' (no path from the unit before)
    std::vector<std::string> nodes;  // mnemonics in upper case ("MEAS", "VOLT")
    std::vector<Param> params;
};

struct ParsedMessage {
    std::vector<Unit> units;  // the units before the first error
    std::optional<Error> error;
};

ParsedMessage parseMessage(std::string_view message);

// Numeric parameters. Decimal (with sign, fraction, exponent), 0x hex, #H hex, #Q octal,
// #B binary. nullopt when the text is not a number.
std::optional<double> parseNumber(std::string_view text);
std::optional<std::int64_t> parseInteger(std::string_view text);

}  // namespace evkit::scpi
