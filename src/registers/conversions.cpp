#include "registers/conversions.h"

#include <cmath>

namespace evkit {

double Hex_to_Decimal(std::int32_t word, int n, int sign) {
    const std::uint32_t w = static_cast<std::uint32_t>(word) & 0xFFFFFFu;
    const int f = 24 - n;
    const double step = std::ldexp(1.0, -f);
    if ((w & 0x800000u) && sign == 1) {
        const std::uint32_t m = w & 0x7FFFFFu;
        const double magnitude =
            static_cast<double>(m >> f) + static_cast<double>(m & (0xFFFFFFu >> n)) * step;
        return magnitude - std::ldexp(1.0, n - 1);
    }
    return static_cast<double>(w >> f) + static_cast<double>(w & (0xFFFFFFu >> n)) * step;
}

double Hex_to_TwosComp(std::int32_t word) {
    const std::uint32_t w = static_cast<std::uint32_t>(word);
    if (w & 0x800000u) return -static_cast<double>(((~w) & 0x7FFFFFu) + 1u) * std::ldexp(1.0, -23);
    return static_cast<double>(w & 0x7FFFFFu) * std::ldexp(1.0, -23);
}

std::int32_t TwosComp_to_Hex(double x) {
    if (x < 0) {
        const auto i = static_cast<std::int32_t>(x * 8388608.0);
        // A value too small to reach one step truncates to 0; setting the sign bit on that
        // would turn it into -1.0, so it stays 0.
        if (i == 0) return 0;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(i) | 0x800000u);
    }
    return static_cast<std::int32_t>(x * 8388607.0);
}

std::int32_t Decimal_to_Hex(double x, int n) {
    const int f = 24 - n;
    const double whole = std::trunc(x);
    const auto integerPart =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(whole)) << f);
    return integerPart + static_cast<std::int32_t>((x - whole) * std::ldexp(1.0, f));
}

}  // namespace evkit
