#include "board/usb_descriptors.h"

#include <algorithm>
#include <cstdio>

#include "board/transport.h"

namespace evkit::usb_detail {

std::string deviceText(UsbId id, libusb_device* dev) {
    char text[96];
    std::snprintf(text, sizeof text, "%s (bus %d, device %d)", formatUsbId(id).c_str(),
                  libusb_get_bus_number(dev), libusb_get_device_address(dev));
    return text;
}

std::string permissionText(const std::string& device) {
#if defined(_WIN32)
    return "Permission denied for the USB device " + device +
           ". Install the WinUSB driver for the board and plug it in again.";
#else
    return "Permission denied for the USB device " + device +
           ". Install the udev rule 60-evkit714.rules as the README describes, then unplug "
           "and replug the board.";
#endif
}

int openFailure(int libusbError, const std::string& device, std::string* detail) {
    switch (libusbError) {
        case LIBUSB_ERROR_ACCESS:
            *detail = permissionText(device);
            return kF32xAccessDenied;
        case LIBUSB_ERROR_NO_DEVICE:
            *detail = "The USB device " + device + " has gone.";
            return kF32xDeviceNotFound;
        case LIBUSB_ERROR_BUSY:
            *detail = "The USB device " + device + " is in use by another program.";
            return kF32xAccessDenied;
        default:
            *detail = "The USB device " + device + " cannot be opened: " +
                      libusb_strerror(static_cast<libusb_error>(libusbError)) + ".";
            return kF32xIoFailed;
    }
}

namespace {
void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

int readStringDescriptor(libusb_device_handle* h, std::uint8_t index, std::string* out) {
    out->clear();
    if (index == 0) return 0;
    unsigned char buf[255];
    int r = libusb_get_string_descriptor(h, 0, 0, buf, sizeof buf);
    if (r < 0) return r;
    if (r < 4 || buf[1] != LIBUSB_DT_STRING) return LIBUSB_ERROR_IO;
    const std::uint16_t language = static_cast<std::uint16_t>(buf[2] | (buf[3] << 8));
    r = libusb_get_string_descriptor(h, index, language, buf, sizeof buf);
    if (r < 0) return r;
    if (r < 2 || buf[1] != LIBUSB_DT_STRING) return LIBUSB_ERROR_IO;
    const int length = std::min<int>(r, buf[0]);
    for (int i = 2; i + 1 < length; i += 2) {
        std::uint32_t unit = buf[i] | (buf[i + 1] << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < length) {
            const std::uint32_t low = buf[i + 2] | (buf[i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;  // lone surrogate
        appendUtf8(*out, unit);
    }
    return 0;
}

std::string portPath(libusb_device* dev) {
    std::string path = std::to_string(libusb_get_bus_number(dev));
    std::uint8_t ports[16];
    const int n = libusb_get_port_numbers(dev, ports, static_cast<int>(sizeof ports));
    for (int i = 0; i < n; ++i) {
        path += i == 0 ? '-' : '.';
        path += std::to_string(ports[i]);
    }
    return path;
}

int readSerial(libusb_device_handle* h, libusb_device* dev, std::string* serial) {
    serial->clear();
    libusb_device_descriptor d{};
    if (int r = libusb_get_device_descriptor(dev, &d); r != 0) return r;
    return readStringDescriptor(h, d.iSerialNumber, serial);
}

Endpoints findEndpoints(const libusb_config_descriptor* config) {
    Endpoints best;
    for (int pass = 0; pass < 2 && best.interface < 0; ++pass) {
        for (int i = 0; i < config->bNumInterfaces && best.interface < 0; ++i) {
            const libusb_interface& itf = config->interface[i];
            for (int a = 0; a < itf.num_altsetting && best.interface < 0; ++a) {
                const libusb_interface_descriptor& d = itf.altsetting[a];
                if (pass == 0 && d.bInterfaceClass != LIBUSB_CLASS_VENDOR_SPEC) continue;
                Endpoints e;
                for (int k = 0; k < d.bNumEndpoints; ++k) {
                    const libusb_endpoint_descriptor& ep = d.endpoint[k];
                    if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                        continue;
                    if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
                        if (!e.in) {
                            e.in = ep.bEndpointAddress;
                            e.inPacket = ep.wMaxPacketSize & 0x7FF;
                        }
                    } else if (!e.out) {
                        e.out = ep.bEndpointAddress;
                    }
                }
                if (e.in && e.out) {
                    e.interface = d.bInterfaceNumber;
                    e.altSetting = d.bAlternateSetting;
                    if (e.inPacket <= 0) e.inPacket = 64;
                    best = e;
                }
            }
        }
    }
    return best;
}

}  // namespace evkit::usb_detail
