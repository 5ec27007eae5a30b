#include "emulated_board.h"

#include <glib/gstdio.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace evkit::test {

namespace {

std::vector<std::uint8_t> deviceDescriptor(UsbId id, bool serial = false, bool hub = false) {
    return {18,
            1,
            0x00,
            0x02,
            static_cast<std::uint8_t>(hub ? 9 : 0),
            0,
            0,
            64,
            static_cast<std::uint8_t>(id.vendor),
            static_cast<std::uint8_t>(id.vendor >> 8),
            static_cast<std::uint8_t>(id.product),
            static_cast<std::uint8_t>(id.product >> 8),
            0x00,
            0x01,
            1,
            2,
            static_cast<std::uint8_t>(serial ? 3 : 0),
            1};
}

std::vector<std::uint8_t> configDescriptor() {
    return {9,
            2,
            32,
            0,
            1,
            1,
            0,
            0x80,
            50,  // configuration 1
            9,
            4,
            0,
            0,
            2,
            0xFF,
            0,
            0,
            0,  // vendor-specific interface
            7,
            5,
            EmulatedBoard::kEndpointOut,
            2,
            EmulatedBoard::kPacketSize,
            0,
            0,  // bulk OUT
            7,
            5,
            EmulatedBoard::kEndpointIn,
            2,
            EmulatedBoard::kPacketSize,
            0,
            0};  // bulk IN
}

std::vector<std::uint8_t> stringDescriptor(const std::string& ascii) {
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(2 + 2 * ascii.size()), 3};
    for (char c : ascii) {
        d.push_back(static_cast<std::uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

// Counting 24-bit words in 60-byte packets, one packet per virtual millisecond.
class CountingStream : public sim::Activity {
  public:
    CountingStream(double start, int words) : next_(start), words_(words) {}
    double nextTime() const override { return sent_ < words_ ? next_ : kNever; }
    std::vector<std::uint8_t> produce(sim::VirtualBoard&) override {
        std::vector<std::uint8_t> packet(60, 0);
        for (int k = 0; k < 20 && sent_ < words_; ++k, ++sent_)
            for (int b = 0; b < 3; ++b)
                packet[static_cast<std::size_t>(3 * k + b)] =
                    static_cast<std::uint8_t>(sent_ >> (8 * b));
        next_ += 0.001;
        return packet;
    }

  private:
    double next_;
    int words_;
    int sent_ = 0;
};

}  // namespace

bool EmulatedBoard::available() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

EmulatedBoard::EmulatedBoard(UsbId id, std::string product, int bus, int address)
    : EmulatedBoard(id, std::move(product), Placement{bus, address, "", ""}) {}

EmulatedBoard::EmulatedBoard(UsbId id, std::string product, Placement where, EmulatedBoard* bench)
    : id_(id),
      product_(std::move(product)),
      bus_(where.bus),
      address_(where.address),
      port_(where.port.empty() ? std::to_string(where.bus) + "-1" : where.port),
      serial_(where.serial) {
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus_, address_);
    devnode_ = node;
    testbed_ = bench ? static_cast<UMockdevTestbed*>(g_object_ref(bench->testbed_))
                     : umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedBoard::onIoctl), this);
    firmware_ = std::make_unique<sim::VirtualBoard>(clock_);
    firmware_->Open(0, &fwHandle_);
    firmware_->SetTimeouts(0, 0);
}

EmulatedBoard::~EmulatedBoard() {
    if (plugged_) unplug();
    {
        std::lock_guard lock(mutex_);
        for (auto& [u, s] : done_) g_object_unref(u.urb);
        for (auto& u : pendingIn_) g_object_unref(u.urb);
        done_.clear();
        pendingIn_.clear();
    }
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

void EmulatedBoard::addHub(const std::string& port, int address) {
    char devnode[64], busText[8], devText[8];
    std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/%03d/%03d", bus_, address);
    std::snprintf(busText, sizeof busText, "%03d", bus_);
    std::snprintf(devText, sizeof devText, "%03d", address);
    const std::string busnum = std::to_string(bus_) + "\n", devnum = std::to_string(address) + "\n";
    gchar* path = umockdev_testbed_add_device(
        testbed_, "usb", port.c_str(), nullptr, "busnum", busnum.c_str(), "devnum", devnum.c_str(),
        "speed", "480\n", "idVendor", "1d6b", "idProduct", "0002", "bConfigurationValue", "1\n",
        "bNumConfigurations", "1\n", nullptr, "DEVNAME", devnode, "DEVTYPE", "usb_device", "BUSNUM",
        busText, "DEVNUM", devText, nullptr);
    std::vector<std::uint8_t> descriptors = deviceDescriptor({0x1d6b, 0x0002}, false, true);
    const auto config = configDescriptor();
    descriptors.insert(descriptors.end(), config.begin(), config.end());
    umockdev_testbed_set_attribute_binary(testbed_, path, "descriptors", descriptors.data(),
                                          static_cast<int>(descriptors.size()));
    g_free(path);
}

void EmulatedBoard::plug() {
    const std::string& name = port_;
    char vendor[8], productId[8], busText[8], devText[8], productEnv[32];
    std::snprintf(vendor, sizeof vendor, "%04x", id_.vendor);
    std::snprintf(productId, sizeof productId, "%04x", id_.product);
    std::snprintf(busText, sizeof busText, "%03d", bus_);
    std::snprintf(devText, sizeof devText, "%03d", address_);
    std::snprintf(productEnv, sizeof productEnv, "%x/%x/100", id_.vendor, id_.product);
    // sysfs values end with a newline, as the kernel writes them.
    const std::string busnum = std::to_string(bus_) + "\n",
                      devnum = std::to_string(address_) + "\n";
    const std::string dev = "189:" + std::to_string((bus_ - 1) * 128 + address_ - 1) + "\n";
    gchar* path = umockdev_testbed_add_device(
        testbed_, "usb", name.c_str(), nullptr,
        // attributes
        "busnum", busnum.c_str(), "devnum", devnum.c_str(), "speed", "12\n", "dev", dev.c_str(),
        "idVendor", vendor, "idProduct", productId, "bConfigurationValue", "1\n",
        "bNumConfigurations", "1\n", "product", product_.c_str(), nullptr,
        // properties
        "DEVNAME", devnode_.c_str(), "DEVTYPE", "usb_device", "BUSNUM", busText, "DEVNUM", devText,
        "PRODUCT", productEnv, "ID_VENDOR_ID", vendor, "ID_MODEL_ID", productId, nullptr);
    syspath_ = path;
    g_free(path);
    std::vector<std::uint8_t> descriptors = deviceDescriptor(id_, !serial_.empty());
    const auto config = configDescriptor();
    descriptors.insert(descriptors.end(), config.begin(), config.end());
    umockdev_testbed_set_attribute_binary(testbed_, syspath_.c_str(), "descriptors",
                                          descriptors.data(), static_cast<int>(descriptors.size()));
    // The device node: a plain file in the testbed, as umockdev makes for USB devices it
    // loads from a description; its ioctls go to the handler.
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    nodeFile_ = std::string(root) + devnode_;
    g_free(root);
    gchar* dir = g_path_get_dirname(nodeFile_.c_str());
    g_mkdir_with_parents(dir, 0755);
    g_free(dir);
    g_file_set_contents(nodeFile_.c_str(), "", 0, nullptr);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, devnode_.c_str(), handler_, &error)) {
        std::fprintf(stderr, "cannot attach the ioctl handler: %s\n", error ? error->message : "?");
        if (error) g_error_free(error);
    }
    {
        std::lock_guard lock(mutex_);
        plugged_ = true;
    }
    umockdev_testbed_uevent(testbed_, syspath_.c_str(), "add");
}

void EmulatedBoard::unplug() {
    {
        std::lock_guard lock(mutex_);
        if (!plugged_) return;
        plugged_ = false;
    }
    umockdev_testbed_uevent(testbed_, syspath_.c_str(), "remove");
    umockdev_testbed_detach_ioctl(testbed_, devnode_.c_str(), nullptr);
    umockdev_testbed_remove_device(testbed_, syspath_.c_str());
    g_unlink(nodeFile_.c_str());
}

void EmulatedBoard::overflowNextIn() {
    std::lock_guard lock(mutex_);
    overflowNext_ = true;
}

std::vector<std::vector<std::uint8_t>> EmulatedBoard::outTransfers() const {
    std::lock_guard lock(mutex_);
    return outs_;
}

std::vector<double> EmulatedBoard::outTimes() const {
    std::lock_guard lock(mutex_);
    return outTimes_;
}

int EmulatedBoard::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    return static_cast<EmulatedBoard*>(self)->handle(client) ? TRUE : FALSE;
}

void EmulatedBoard::reap(UMockdevIoctlClient* client, Urb u, int status) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
    urb->status = status;
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    umockdev_ioctl_data_set_ptr(slot, 0, u.urb);
    g_object_unref(u.urb);  // the reply holds it now
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedBoard::finishControl(Urb& u) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
    std::uint8_t* buf = u.buffer->data;
    const int requestType = buf[0], request = buf[1];
    const int value = buf[2] | (buf[3] << 8);
    const int length = buf[6] | (buf[7] << 8);
    std::vector<std::uint8_t> reply;
    if (requestType == 0x80 && request == 6) {  // GET_DESCRIPTOR
        switch (value >> 8) {
            case 1:
                reply = deviceDescriptor(id_, !serial_.empty());
                break;
            case 2:
                reply = configDescriptor();
                break;
            case 3:
                if ((value & 0xFF) == 0)
                    reply = {4, 3, 0x09, 0x04};
                else if ((value & 0xFF) == 2)
                    reply = stringDescriptor(product_);
                else if ((value & 0xFF) == 1)
                    reply = stringDescriptor("EVKIT714 test bench");
                else if ((value & 0xFF) == 3 && !serial_.empty())
                    reply = stringDescriptor(serial_);
                break;
        }
    }
    const int n = std::min<int>({static_cast<int>(reply.size()), length, urb->buffer_length - 8});
    if (n > 0) std::memcpy(buf + 8, reply.data(), static_cast<std::size_t>(n));
    urb->actual_length = std::max(n, 0);
}

void EmulatedBoard::finishOut(Urb& u) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
    const std::uint8_t* buf = u.buffer ? u.buffer->data : nullptr;
    std::vector<std::uint8_t> bytes(buf, buf + (buf ? urb->buffer_length : 0));
    outs_.push_back(bytes);
    outTimes_.push_back(clock_.now());
    std::uint32_t written = 0;
    if (streamSamples_ > 0 && bytes.size() == 6 && bytes[0] == 248)
        // The counting stream replaces the firmware's own sample stream.
        firmware_->startActivity(
            std::make_unique<CountingStream>(clock_.now(), 2 * streamSamples_));
    else
        firmware_->Write(fwHandle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                         &written);
    urb->actual_length = urb->buffer_length;
}

bool EmulatedBoard::fillIn(Urb& u) {
    auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
    std::uint32_t bytes = 0, state = 0;
    firmware_->CheckRXQueue(fwHandle_, &bytes, &state);
    if (bytes == 0) {
        clock_.advance(0.001);  // the host polls: let firmware time run on
        firmware_->CheckRXQueue(fwHandle_, &bytes, &state);
        if (bytes == 0) return false;
    }
    const std::uint32_t n =
        std::min<std::uint32_t>(bytes, static_cast<std::uint32_t>(urb->buffer_length));
    std::uint32_t got = 0;
    firmware_->Read(fwHandle_, u.buffer->data, n, &got);
    urb->actual_length = static_cast<int>(got);
    return true;
}

bool EmulatedBoard::handle(UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(mutex_);
    const auto fail = [client](int err) {
        umockdev_ioctl_client_complete(client, -1, err);
        return true;
    };
    if (request == USBDEVFS_SUBMITURB) {
        if (!plugged_) return fail(ENODEV);
        Urb u;
        u.client = client;
        u.urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        if (!u.urb) return fail(EFAULT);
        auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
        if (urb->buffer_length > 0)
            u.buffer =
                umockdev_ioctl_data_resolve(u.urb, offsetof(usbdevfs_urb, buffer),
                                            static_cast<std::size_t>(urb->buffer_length), nullptr);
        g_object_ref(u.urb);
        urb->actual_length = 0;
        if (urb->type == USBDEVFS_URB_TYPE_CONTROL && u.buffer) {
            finishControl(u);
            done_.emplace_back(u, 0);
        } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == kEndpointOut) {
            finishOut(u);
            done_.emplace_back(u, 0);
        } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == kEndpointIn &&
                   u.buffer) {
            pendingIn_.push_back(u);
        } else {
            g_object_unref(u.urb);
            return fail(EINVAL);
        }
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    // Each open file of the device reaps only its own URBs, as with the kernel (two programs,
    // or a listing beside an open connection, may have the device open at once).
    const auto own = [client](const Urb& u) { return u.client == client; };
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        const auto done =
            std::find_if(done_.begin(), done_.end(), [&](const auto& d) { return own(d.first); });
        if (done != done_.end()) {
            auto [u, status] = *done;
            done_.erase(done);
            reap(client, u, status);
            return true;
        }
        if (!plugged_) return fail(ENODEV);
        const auto in = std::find_if(pendingIn_.begin(), pendingIn_.end(), own);
        if (in != pendingIn_.end()) {
            Urb u = *in;
            if (overflowNext_) {
                overflowNext_ = false;
                pendingIn_.erase(in);
                reinterpret_cast<usbdevfs_urb*>(u.urb->data)->actual_length = 0;
                reap(client, u, -EOVERFLOW);
                return true;
            }
            if (fillIn(u)) {
                pendingIn_.erase(in);
                reap(client, u, 0);
                return true;
            }
        }
        return fail(EAGAIN);
    }
    if (request == USBDEVFS_DISCARDURB) {
        const gulong address = *reinterpret_cast<gulong*>(arg->data);
        for (auto it = pendingIn_.begin(); it != pendingIn_.end(); ++it) {
            if (own(*it) && it->urb->client_addr == address) {
                reinterpret_cast<usbdevfs_urb*>(it->urb->data)->actual_length = 0;
                done_.emplace_back(*it, -ENOENT);
                pendingIn_.erase(it);
                umockdev_ioctl_client_complete(client, 0, 0);
                return true;
            }
        }
        return fail(EINVAL);
    }
    if (!plugged_) return fail(ENODEV);
    if (request == USBDEVFS_GET_CAPABILITIES) {
        UMockdevIoctlData* caps =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
        const std::uint32_t value = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                    USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                    USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(caps->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    if (request == USBDEVFS_GETDRIVER || request == USBDEVFS_IOCTL) return fail(ENODATA);
    if (request == USBDEVFS_CLAIMINTERFACE || request == USBDEVFS_RELEASEINTERFACE ||
        request == USBDEVFS_SETINTERFACE || request == USBDEVFS_CLEAR_HALT ||
        request == USBDEVFS_RESETEP || request == USBDEVFS_SETCONFIGURATION ||
        request == USBDEVFS_DISCONNECT_CLAIM || request == USBDEVFS_RESET) {
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    if (request == USBDEVFS_GET_SPEED) {
        umockdev_ioctl_client_complete(client, 2 /* full speed */, 0);
        return true;
    }
    return fail(ENOTTY);
}

}  // namespace evkit::test
