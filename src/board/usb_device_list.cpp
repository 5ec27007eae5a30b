// The USB device listing (`usb list`, Connection > USB Device...) and the board listing
// (`boards`): every attached device with its ID, bus position, port path, product and serial
// strings, without opening any of them for I/O.
#include <libusb.h>

#include <algorithm>
#include <optional>

#include "board/usb_descriptors.h"
#include "board/usb_transport.h"

namespace evkit {

namespace {

// Every attached device (only those with `only`, when given) in the USB library's order.
int enumerate(const std::optional<UsbId>& only, std::vector<UsbDeviceInfo>* devices,
              std::string* problem) {
    devices->clear();
    libusb_context* ctx = nullptr;
    if (int r = libusb_init(&ctx); r != 0) {
        if (problem)
            *problem = std::string("The USB library cannot start: ") +
                       libusb_strerror(static_cast<libusb_error>(r)) + ".";
        return kF32xIoFailed;
    }
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    if (n < 0) {
        if (problem)
            *problem = std::string("The USB devices cannot be listed: ") +
                       libusb_strerror(static_cast<libusb_error>(n)) + ".";
        libusb_exit(ctx);
        return kF32xIoFailed;
    }
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
        UsbDeviceInfo info;
        info.bus = libusb_get_bus_number(list[i]);
        info.address = libusb_get_device_address(list[i]);
        info.id = {d.idVendor, d.idProduct};
        if (only && !(info.id == *only)) continue;
        info.port = usb_detail::portPath(list[i]);
        libusb_device_handle* h = nullptr;
        if (int r = libusb_open(list[i], &h); r != 0) {
            info.problem = r == LIBUSB_ERROR_ACCESS ? "permission denied"
                                                    : libusb_strerror(static_cast<libusb_error>(r));
        } else {
            if (int s = usb_detail::readStringDescriptor(h, d.iProduct, &info.product); s != 0)
                info.problem = libusb_strerror(static_cast<libusb_error>(s));
            // A serial that cannot be read stays empty; the product string decides `problem`.
            else if (usb_detail::readSerial(h, list[i], &info.serial) != 0)
                info.serial.clear();
            libusb_close(h);
        }
        devices->push_back(std::move(info));
    }
    libusb_free_device_list(list, 1);
    libusb_exit(ctx);
    return kF32xOk;
}

}  // namespace

int UsbTransport::listDevices(std::vector<UsbDeviceInfo>* devices, std::string* problem) {
    const int status = enumerate(std::nullopt, devices, problem);
    std::sort(devices->begin(), devices->end(), [](const auto& a, const auto& b) {
        return a.bus != b.bus ? a.bus < b.bus : a.address < b.address;
    });
    return status;
}

int UsbTransport::listBoards(UsbId id, std::vector<UsbDeviceInfo>* boards, std::string* problem) {
    return enumerate(id, boards, problem);
}

}  // namespace evkit
