#pragma once
// Opening the board and identifying the fitted device.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "board/board_link.h"

namespace evkit {

namespace msg {
inline constexpr const char* kNoBoard =
    "USB connection error. Ensure proper USB connection and power. Reset the board and setup "
    "again.";
inline constexpr const char* kNoProductString = "Cannot get product string.";
inline constexpr const char* kCannotOpen = "Cannot open USB connection.";
inline constexpr const char* kDeviceDetectedTitle = "Device Detected";
inline constexpr const char* kNoteTitle = "Note";
inline constexpr const char* kNotRecognized = "The device is not recognized.";
}  // namespace msg

// What identification found: the device code (0 = not recognised) and, for the rows
// that name one, the new text of the device label.
struct DeviceIdentity {
    int chip = 0;
    // Text of the device label: empty where the identification names none, so that no
    // label of an earlier board stays.
    std::string label;
    std::string name = "unknown";  // variant and revision found, for reports ("PM7014 Rev C")
    int status = 0;  // status of the first identification read that failed (0: all read)
};

// Counts boards, reads the product string of the last one, opens it and sets the time-outs
// (read 987 ms, write 876 ms). Shows the failure messages; on success link.cyHandle is open.
int open_board(BoardLink& link, std::string* deviceString);

// Board query 245: the three identification strings, in label order 1, 2, 3 (each the text
// that starts at b0, b1 and b2 of the answer and ends at the first zero byte).
// `status` (when given) receives the status of the query (0 on success).
std::array<std::string, 3> query_board_id(BoardLink& link, int* status = nullptr);

// Reads the identification registers and shows the identification messages.
DeviceIdentity autodetect_device(BoardLink& link);

// Device label for a chip when no identification row named one (for reports).
std::string chipName(int chip);

}  // namespace evkit
