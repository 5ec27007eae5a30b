// Which of several attached boards the USB transport uses: every board with the configured
// ID, or only the one with a given serial number string or port path.
#include <algorithm>

#include "board/usb_transport_impl.h"

namespace evkit {

using namespace usb_detail;

std::string selectorText(const UsbBoardSelector& selector) {
    if (!selector.serial.empty()) return "usb:" + selector.serial;
    if (!selector.port.empty()) return "usb@" + selector.port;
    return "usb";
}

void UsbTransport::Impl::readSerials() {
    std::vector<libusb_device*> unknown;
    {
        std::lock_guard lock(mutex);
        if (selector.empty()) return;
        for (auto* d : boards)
            if (!serials.count(d)) unknown.push_back(libusb_ref_device(d));
    }
    for (auto* d : unknown) {
        std::string serial;
        libusb_device_handle* h = nullptr;
        // A board that cannot be opened has no serial to match; it is asked again later.
        const int r = libusb_open(d, &h);
        const bool known = r == 0 && readSerial(h, d, &serial) == 0;
        if (h) libusb_close(h);
        {
            std::lock_guard lock(mutex);
            if (known && std::find(boards.begin(), boards.end(), d) != boards.end())
                serials[d] = serial;
        }
        libusb_unref_device(d);
    }
}

std::vector<libusb_device*> UsbTransport::Impl::selected() const {
    if (selector.empty()) return boards;
    std::vector<libusb_device*> out;
    for (auto* d : boards) {
        const auto known = serials.find(d);
        const bool match = !selector.serial.empty()
                               ? known != serials.end() && known->second == selector.serial
                               : portPath(d) == selector.port;
        if (match) out.push_back(d);
    }
    return out;
}

void UsbTransport::Impl::forget(libusb_device* dev) {
    serials.erase(dev);
}

std::string UsbTransport::Impl::noBoardText() const {
    const std::string id = formatUsbId(*setting.id) + " (from " + setting.source + ")";
    if (selector.empty()) return "No USB device with the ID " + id + " is attached.";
    std::string text = !selector.serial.empty()
                           ? "No board with the serial number \"" + selector.serial + "\""
                           : "No board at the USB port " + selector.port;
    text += " among the attached USB devices with the ID " + id + ".";
    if (boards.empty()) return text + " None is attached.";
    text += " Attached boards (choose one with --board usb:SERIAL or --board usb@PORT):";
    for (auto* d : boards) {
        const auto known = serials.find(d);
        text += "\n  ";
        text += portPath(d);
        text += " serial ";
        if (known == serials.end()) {
            text += "unreadable";
        } else if (known->second.empty()) {
            text += "none";
        } else {
            text += '"';
            text += escapeUsbString(known->second);
            text += '"';
        }
    }
    return text;
}

void UsbTransport::setSelector(UsbBoardSelector selector) {
    std::lock_guard lock(impl_->mutex);
    impl_->selector = std::move(selector);
}

UsbBoardSelector UsbTransport::selector() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->selector;
}

bool UsbTransport::openBoardInfo(UsbDeviceInfo* info) const {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->open) return false;
    if (info) *info = impl_->open->info;
    return true;
}

}  // namespace evkit
