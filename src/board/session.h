#pragma once
// Program-wide values of one run, kept under the names the rest of the code uses.
#include <cmath>
#include <cstdint>
#include <string>

#include "board/board_link.h"

namespace evkit {

constexpr int kPortNone = 0;
constexpr int kPortDisk = 5;
constexpr int kPortUsb = 6;

struct Session {
    explicit Session(BoardLink& l) : link(l) {}

    BoardLink& link;
    int number_of_bits = 24;
    // Full scale of a signed register word: 2^(bits - 1).
    std::int32_t range = static_cast<std::int32_t>(std::pow(2.0, 24 - 1));
    int chip = 0;
    int port_number = kPortNone;
    std::string input_file;
    std::string DeviceString;
    float xtal_speed = 4.096f;  // MHz
    int TmeasID = 0;
    float fs = 1.0f;              // sample rate of the last capture or file read
    std::string part = "PM7014";  // header word of capture files (that of the last file read)
};

}  // namespace evkit
