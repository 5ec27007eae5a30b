#pragma once
// Register addresses and words as the user types them: "P:A" and decimal or 0x-hex numbers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace evkit {

struct RegisterAddress {
    int page = 0;     // 0..255
    int address = 0;  // 0..31
};

// "P:A" with P in 0..255 and A in 0..31, or a bare "A" (page 0). Decimal or 0x-hex parts.
std::optional<RegisterAddress> parseRegisterAddress(std::string_view text);
// Whole-string integer in decimal, 0x-hex or a leading '-' decimal; nullopt on anything else.
std::optional<std::int64_t> parseInteger(std::string_view text);
// The low 24 bits of a register word as read (a register holds 24 bits).
inline std::uint32_t low24(std::int32_t w) {
    return static_cast<std::uint32_t>(w) & 0xFFFFFF;
}
// "0x" + lower-case hex, zero-padded to `digits`.
std::string hexWord(std::uint32_t word, int digits = 6);

}  // namespace evkit
