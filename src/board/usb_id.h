#pragma once
// Which USB devices count as boards: a vendor/product ID pair, taken from the --usb-id
// option, the environment variable EVKIT714_USB_ID or the file usb-id in the user's
// configuration directory, in that order. The GUI and the CLI both resolve it here.
#include <cstdint>
#include <optional>
#include <string>

namespace evkit {

struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
};

// "VID:PID" in hex, 1 to 4 digits each, optional 0x prefixes ("1234:5678", "0x12AB:0xCD").
std::optional<UsbId> parseUsbId(const std::string& text);
// "1234:5678", "12ab:00cd": four lower-case hex digits each.
std::string formatUsbId(UsbId id);

inline constexpr const char* kUsbIdEnvironment = "EVKIT714_USB_ID";

struct UsbIdSetting {
    std::optional<UsbId> id;  // nullopt: none configured, or the configured text is invalid
    std::string source;       // where the ID came from ("--usb-id", "EVKIT714_USB_ID", a path)
    std::string problem;      // why a configured value was rejected; empty when none was
    std::string howTo;        // what to tell a user without an ID; empty: usbIdHowTo()
};

// Path of the configuration file: $XDG_CONFIG_HOME/evkit714/usb-id or
// ~/.config/evkit714/usb-id (~/Library/Application Support/evkit714/usb-id on macOS,
// %APPDATA%\evkit714\usb-id on Windows). Empty when no home directory is known.
std::string usbIdConfigPath();

// Resolves the setting: `optionText` (the --usb-id value, empty when not given), then the
// environment, then the configuration file. The file holds "VID:PID" or "usb-id = VID:PID"
// on one line; '#' starts a comment.
UsbIdSetting resolveUsbId(const std::string& optionText);

// What to tell a user who has no ID configured: the three ways of setting one.
std::string usbIdHowTo();

// A string from a USB device (product, manufacturer) as one line of output: control
// characters, quotes, backslashes and bytes outside printable ASCII become \xHH, so a device
// cannot break or forge lines.
std::string escapeUsbString(const std::string& text);

}  // namespace evkit
