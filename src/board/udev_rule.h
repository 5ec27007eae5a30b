#pragma once
// The udev rule that lets the user logged in at the machine open a board without root.
#include <string>

#include "board/usb_id.h"

namespace evkit {

// Where the rule is installed; the number sorts it before the rules that turn
// TAG+="uaccess" into the seat user's access.
inline constexpr const char* kUdevRulePath = "/etc/udev/rules.d/60-evkit714.rules";

// The rule file for the board `id`: comment lines saying how to install it, then one rule
// matching the USB device (vendor and product as the kernel shows them: four lower-case
// hex digits) with MODE="0660" and TAG+="uaccess".
std::string udevRule(UsbId id);

}  // namespace evkit
