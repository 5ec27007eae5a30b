#pragma once
// Identification registers of every device variant the virtual board can play.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace evkit::sim {

struct Variant {
    std::string name;         // e.g. "PM7014-C"
    std::uint32_t status;     // status register 0:15 at power-on (bits 8..9 mark a PM7010A)
    std::uint32_t ident;      // 4-byte identification word of register 65:0
    std::uint32_t revision;   // register 5:11
    int expectedChip;         // device code the program should find
};

const std::vector<Variant>& variants();
// nullptr when the name is unknown (names compare case-insensitively).
const Variant* findVariant(std::string_view name);
inline constexpr const char* kDefaultVariant = "PM7014-C";

}  // namespace evkit::sim
