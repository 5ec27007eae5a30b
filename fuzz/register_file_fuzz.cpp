// Register settings files (.rsf): a header word and seventeen decimal integers. Whatever the
// file holds, the parser either refuses it or yields seventeen 24-bit words that survive
// being written and read again.
#include <cstdint>
#include <sstream>
#include <string>

#include "registers/register_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const auto words = evkit::parseRegisterFile(in);
    if (!words) return 0;
    for (std::uint32_t w : *words)
        if (w > 0xFFFFFF) __builtin_trap();
    std::istringstream again(evkit::formatRegisterFile(*words));
    const auto back = evkit::parseRegisterFile(again);
    if (!back || *back != *words) __builtin_trap();
    return 0;
}
