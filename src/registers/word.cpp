#include "registers/word.h"

#include <cstdio>
#include <limits>

namespace evkit {

std::optional<std::int64_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 16) return std::nullopt;
    // 16 hex digits can exceed the range: refused, never wrapped.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        if (value > (kMax - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

std::optional<RegisterAddress> parseRegisterAddress(std::string_view text) {
    RegisterAddress out;
    const auto colon = text.find(':');
    std::optional<std::int64_t> page = 0;
    std::string_view addressText = text;
    if (colon != std::string_view::npos) {
        page = parseInteger(text.substr(0, colon));
        addressText = text.substr(colon + 1);
    }
    const auto address = parseInteger(addressText);
    if (!page || !address || *page < 0 || *page > 255 || *address < 0 || *address > 31)
        return std::nullopt;
    out.page = static_cast<int>(*page);
    out.address = static_cast<int>(*address);
    return out;
}

std::string hexWord(std::uint32_t word, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*x", digits, word);
    return buf;
}

}  // namespace evkit
