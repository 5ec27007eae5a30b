#pragma once
// Decoding of a register word into its fields, for the debug window's assist: the five control
// and status registers through the setup window's decoders (setup/setup_registers.h), so each
// field is defined in one place; the numeric registers in their fixed-point formats.
#include <cstdint>
#include <string>
#include <vector>

namespace evkit::diagnostics {

struct DecodedField {
    std::string name;   // "clock divider K", "bit 4", "value"
    std::string bits;   // "0..3", "4", "0..23"
    std::string value;  // as the program shows it: "6", "1", "-0.500000", "0x00ff"
};

struct RegisterDecoding {
    std::string name;  // "configuration register", or "register 3:7" when unknown
    bool known = false;
    std::vector<DecodedField> fields;
};

// Decodes `word` (low 24 bits; all 32 for the identification word 65:0) as register
// page:address. `xtalMHz` is the oscillator frequency used for rates derived from a word.
RegisterDecoding decodeRegister(int page, int address, std::uint32_t word, double xtalMHz = 4.096);

// The registers the decoder knows, as "P:A name" lines in page/address order.
std::vector<std::pair<std::string, std::string>> knownRegisters();

}  // namespace evkit::diagnostics
