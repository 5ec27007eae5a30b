#pragma once
// What the USB transport learns from libusb about a device before any I/O: its text for
// messages, the reason an open failed, its product string and the bulk endpoints to claim.
// Shared by the transport's I/O path (usb_transport.cpp) and the device listing
// (usb_device_list.cpp).
#include <libusb.h>

#include <cstdint>
#include <string>

#include "board/usb_id.h"

namespace evkit::usb_detail {

// "VID:PID (bus B, device D)".
std::string deviceText(UsbId id, libusb_device* dev);
// What the user must do when the device may not be opened.
std::string permissionText(const std::string& device);
// Status and user text for a libusb error while opening or claiming a device.
int openFailure(int libusbError, const std::string& device, std::string* detail);
// Reads string descriptor `index` (first language the device lists) as UTF-8.
int readStringDescriptor(libusb_device_handle* h, std::uint8_t index, std::string* out);

// "1-4.2": the bus, then the port numbers from the root hub down ("1" for a root hub).
std::string portPath(libusb_device* dev);
// The serial number string of `dev` (empty when it has none), read through `h`.
int readSerial(libusb_device_handle* h, libusb_device* dev, std::string* serial);

// The interface to claim: the first (vendor-specific preferred) with bulk IN and OUT.
struct Endpoints {
    int interface = -1;
    int altSetting = 0;
    unsigned char in = 0, out = 0;
    int inPacket = 64;
};

// The first interface (vendor-specific preferred) with bulk IN and OUT endpoints.
Endpoints findEndpoints(const libusb_config_descriptor* config);

}  // namespace evkit::usb_detail
