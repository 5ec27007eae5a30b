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
// Header word of capture files when the device family is not known.
inline constexpr const char* kDefaultPart = "PM7014";

struct Session {
    explicit Session(BoardLink& l) : link(l) {}

    BoardLink& link;
    std::string projectDir;  // directory of the program, found at start
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
    // Header word of capture files: the identified family after a board capture, the file's
    // own after a file read.
    std::string part = kDefaultPart;
};

}  // namespace evkit
