#pragma once
// Conversions between 24-bit register words and fixed-point numbers.
// A format is (n, signed): n integer bits (sign bit included when signed), 24 - n fraction bits.
#include <cstdint>

namespace evkit {

// Word (low 24 bits used) to a number; sign == 1 selects two's complement, anything else unsigned.
double Hex_to_Decimal(std::int32_t word, int n, int sign);
// Word to a number in the signed format with one integer bit (-1 .. 1 - 2^-23).
double Hex_to_TwosComp(std::int32_t word);
// Number in -1..1 to a signed (n = 1) word; positive full scale is 0x7FFFFF (x * (2^23 - 1)).
// Negative inputs so small that they truncate to 0 give 0 (not 0x800000, the word for -1.0).
std::int32_t TwosComp_to_Hex(double x);
// Number to a word with n integer bits, truncated toward zero; not masked to 24 bits.
std::int32_t Decimal_to_Hex(double x, int n);

}  // namespace evkit
