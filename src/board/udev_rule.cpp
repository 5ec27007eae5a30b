#include "board/udev_rule.h"

#include <cstdio>

namespace evkit {

std::string udevRule(UsbId id) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\"", id.vendor,
                  id.product);
    return "# EVKIT714 board " + formatUsbId(id) +
           ": access for the user logged in at this machine.\n"
           "# Install with\n"
           "#   evkit714-cli usb udev-rule " +
           formatUsbId(id) + " | sudo tee " + kUdevRulePath +
           "\n"
           "#   sudo udevadm control --reload-rules && sudo udevadm trigger\n"
           "# and plug the board in again.\n"
           "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", " +
           ids + ", MODE=\"0660\", TAG+=\"uaccess\"\n";
}

}  // namespace evkit
