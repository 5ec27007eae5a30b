#include "board/usb_transport.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "board/usb_transport_impl.h"

namespace evkit {

using namespace usb_detail;

int UsbTransport::Impl::init() {
    std::call_once(initOnce, [this] {
        const int r = libusb_init(&ctx);
        if (r != 0) {
            ctx = nullptr;
            initStatus = kF32xIoFailed;
            initProblem = std::string("The USB library cannot start: ") +
                          libusb_strerror(static_cast<libusb_error>(r)) + ".";
            return;
        }
        if (setting.id && allowHotplug && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
            const int h = libusb_hotplug_register_callback(
                ctx,
                static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                  LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                LIBUSB_HOTPLUG_ENUMERATE, setting.id->vendor, setting.id->product,
                LIBUSB_HOTPLUG_MATCH_ANY, &Impl::onHotplug, this, &hotplugHandle);
            hotplug = h == LIBUSB_SUCCESS;
        }
        // One thread handles every USB event: hotplug notices and the bulk IN transfers.
        events = std::thread([this] {
            while (!stop.load()) {
                timeval tv{0, 100000};
                libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
            }
        });
    });
    if (initStatus != kF32xOk) setDetail(initProblem);
    return initStatus;
}

UsbTransport::Impl::~Impl() {
    if (!ctx) return;
    {
        std::unique_lock lock(mutex);
        if (open) closeBoard(lock);
    }
    if (hotplug) libusb_hotplug_deregister_callback(ctx, hotplugHandle);
    stop = true;
    libusb_interrupt_event_handler(ctx);
    if (events.joinable()) events.join();
    for (auto* d : boards) libusb_unref_device(d);
    boards.clear();
    libusb_exit(ctx);
}

int LIBUSB_CALL UsbTransport::Impl::onHotplug(libusb_context*, libusb_device* dev,
                                              libusb_hotplug_event event, void* user) {
    auto* self = static_cast<Impl*>(user);
    std::lock_guard lock(self->mutex);
    auto it = std::find(self->boards.begin(), self->boards.end(), dev);
    if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED) {
        if (it == self->boards.end()) self->boards.push_back(libusb_ref_device(dev));
    } else if (it != self->boards.end()) {
        self->forget(*it);
        libusb_unref_device(*it);
        self->boards.erase(it);
        if (self->open && self->open->device == dev) self->open->gone = true;
    }
    self->cv.notify_all();
    return 0;
}

int UsbTransport::Impl::refreshBoards() {
    if (hotplug) return kF32xOk;
    {
        std::lock_guard lock(mutex);
        const auto now = SteadyClock::now();
        if (scanned && now - lastScan < std::chrono::milliseconds(kRescanIntervalMs))
            return kF32xOk;
        scanned = true;
        lastScan = now;
    }
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    if (n < 0) {
        setDetail(std::string("The USB devices cannot be listed: ") +
                  libusb_strerror(static_cast<libusb_error>(n)) + ".");
        return kF32xIoFailed;
    }
    std::vector<libusb_device*> found;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
        if (d.idVendor == setting.id->vendor && d.idProduct == setting.id->product)
            found.push_back(list[i]);
    }
    {
        std::lock_guard lock(mutex);
        // Keep the order of arrival: boards still there first, then the new ones.
        std::vector<libusb_device*> next;
        for (auto* d : boards) {
            if (std::find(found.begin(), found.end(), d) != found.end())
                next.push_back(d);
            else {
                forget(d);
                libusb_unref_device(d);
            }
        }
        for (auto* d : found)
            if (std::find(next.begin(), next.end(), d) == next.end())
                next.push_back(libusb_ref_device(d));
        boards.swap(next);
        if (open && std::find(boards.begin(), boards.end(), open->device) == boards.end())
            open->gone = true;
    }
    libusb_free_device_list(list, 1);
    return kF32xOk;
}

libusb_device* UsbTransport::Impl::boardAt(std::uint32_t index) {
    std::lock_guard lock(mutex);
    const std::vector<libusb_device*> chosen = selected();
    if (index >= chosen.size()) {
        detail = "No board with index " + std::to_string(index) + " is attached.";
        return nullptr;
    }
    return libusb_ref_device(chosen[index]);
}

OpenBoard* UsbTransport::Impl::board(F32xHandle handle, int* status) {
    if (!open || handle == 0 || open->handle != handle) {
        *status = kF32xInvalidHandle;
        return nullptr;
    }
    if (open->gone) {
        *status = kF32xDeviceNotFound;
        return nullptr;
    }
    *status = kF32xOk;
    return open.get();
}

int UsbTransport::Impl::submitAll(OpenBoard& b) {
    for (std::size_t i = 0; i < b.transfers.size(); ++i) {
        if (b.inFlight[i]) continue;
        const int r = libusb_submit_transfer(b.transfers[i]);
        if (r != 0) {
            if (r == LIBUSB_ERROR_NO_DEVICE) b.gone = true;
            return r == LIBUSB_ERROR_NO_DEVICE ? kF32xDeviceNotFound : kF32xIoFailed;
        }
        b.inFlight[i] = true;
        ++b.pending;
    }
    return kF32xOk;
}

bool UsbTransport::Impl::cancelAll(std::unique_lock<std::mutex>& lock, OpenBoard& b) {
    b.stopping = true;
    for (std::size_t i = 0; i < b.transfers.size(); ++i)
        if (b.inFlight[i]) libusb_cancel_transfer(b.transfers[i]);
    const bool returned = cv.wait_for(lock, kCancelWait, [&b] { return b.pending == 0; });
    b.stopping = false;
    return returned;
}

void UsbTransport::Impl::closeBoard(std::unique_lock<std::mutex>& lock) {
    // Cancel while the board is still the open one, so that the callbacks account for it.
    const bool returned = cancelAll(lock, *open);
    std::unique_ptr<OpenBoard> b = std::move(open);
    lock.unlock();
    if (returned) {
        for (auto* t : b->transfers) {
            delete[] t->buffer;
            libusb_free_transfer(t);
        }
    }
    // Transfers that never came back stay allocated: freeing them would be unsafe.
    libusb_release_interface(b->usb, b->ep.interface);
    libusb_close(b->usb);
    libusb_unref_device(b->device);
    lock.lock();
}

void LIBUSB_CALL UsbTransport::Impl::onTransfer(libusb_transfer* t) {
    auto* self = static_cast<Impl*>(t->user_data);
    std::lock_guard lock(self->mutex);
    OpenBoard* b = self->open.get();
    const auto at = b ? std::find(b->transfers.begin(), b->transfers.end(), t)
                      : std::vector<libusb_transfer*>::iterator{};
    if (!b || at == b->transfers.end()) return;  // a board closed meanwhile
    const std::size_t i = static_cast<std::size_t>(at - b->transfers.begin());
    bool again = !b->stopping;
    switch (t->status) {
        case LIBUSB_TRANSFER_COMPLETED:
            if (!b->stopping) b->rx.append(t->buffer, static_cast<std::size_t>(t->actual_length));
            break;
        case LIBUSB_TRANSFER_OVERFLOW:  // the board sent more than fits: data was lost
            b->rx.append(t->buffer, static_cast<std::size_t>(t->actual_length));
            b->rx.markOverrun();
            break;
        case LIBUSB_TRANSFER_CANCELLED:
            again = false;
            break;
        case LIBUSB_TRANSFER_NO_DEVICE:
            b->gone = true;
            again = false;
            break;
        default:  // stall, error, time-out: stop until the next flush clears the endpoint
            b->failed = true;
            again = false;
            break;
    }
    if (again) {
        const int r = libusb_submit_transfer(t);
        if (r != 0) {
            if (r == LIBUSB_ERROR_NO_DEVICE)
                b->gone = true;
            else
                b->failed = true;
            again = false;
        }
    }
    if (!again) {
        b->inFlight[i] = false;
        --b->pending;
    }
    self->cv.notify_all();
}

UsbTransport::UsbTransport(UsbIdSetting setting, bool allowHotplug, UsbBoardSelector selector)
    : impl_(std::make_unique<Impl>()) {
    impl_->setting = std::move(setting);
    impl_->allowHotplug = allowHotplug;
    impl_->selector = std::move(selector);
}

UsbTransport::~UsbTransport() = default;

const UsbIdSetting& UsbTransport::setting() const {
    return impl_->setting;
}

bool UsbTransport::usesHotplug() const {
    impl_->init();
    return impl_->hotplug;
}

std::string UsbTransport::errorDetail() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->detail;
}

int UsbTransport::GetNumDevices(std::uint32_t* count) {
    Impl& m = *impl_;
    if (count) *count = 0;
    if (!m.setting.id) {
        m.setDetail(!m.setting.problem.empty() ? m.setting.problem
                    : m.setting.howTo.empty()  ? usbIdHowTo()
                                               : m.setting.howTo);
        return kF32xNotConfigured;
    }
    if (int s = m.init()) return s;
    if (int s = m.refreshBoards()) return s;
    m.readSerials();
    std::lock_guard lock(m.mutex);
    const std::vector<libusb_device*> chosen = m.selected();
    std::uint32_t n = static_cast<std::uint32_t>(chosen.size());
    // A board whose transfers report it unplugged is gone even before the notice arrives.
    if (m.open && m.open->gone &&
        std::find(chosen.begin(), chosen.end(), m.open->device) != chosen.end())
        --n;
    if (count) *count = n;
    m.detail = n == 0 ? m.noBoardText() : std::string();
    return kF32xOk;
}

int UsbTransport::GetProductString(std::uint32_t index, std::string* product) {
    Impl& m = *impl_;
    std::lock_guard op(m.opMutex);
    if (!m.setting.id) return kF32xNotConfigured;
    if (int s = m.init()) return s;
    if (int s = m.refreshBoards()) return s;
    libusb_device* dev = m.boardAt(index);
    if (!dev) return kF32xDeviceNotFound;
    libusb_device_descriptor d{};
    libusb_get_device_descriptor(dev, &d);
    libusb_device_handle* h = nullptr;
    bool own = true;
    {
        std::lock_guard lock(m.mutex);
        if (m.open && m.open->device == dev && !m.open->gone) {
            h = m.open->usb;
            own = false;
        }
    }
    int status = kF32xOk;
    std::string detail;
    if (own) {
        const int r = libusb_open(dev, &h);
        if (r != 0) status = openFailure(r, deviceText(*m.setting.id, dev), &detail);
    }
    if (status == kF32xOk) {
        std::string text;
        const int r = readStringDescriptor(h, d.iProduct, &text);
        if (r != 0) {
            status = r == LIBUSB_ERROR_NO_DEVICE ? kF32xDeviceNotFound : kF32xIoFailed;
            detail = std::string("The product string cannot be read: ") +
                     libusb_strerror(static_cast<libusb_error>(r)) + ".";
        } else if (product) {
            *product = text.substr(0, 255);
        }
        if (own) libusb_close(h);
    }
    libusb_unref_device(dev);
    m.setDetail(detail);
    return status;
}

int UsbTransport::Open(std::uint32_t index, F32xHandle* handle) {
    Impl& m = *impl_;
    std::lock_guard op(m.opMutex);
    if (!m.setting.id) return kF32xNotConfigured;
    if (int s = m.init()) return s;
    if (int s = m.refreshBoards()) return s;
    libusb_device* dev = m.boardAt(index);
    if (!dev) return kF32xDeviceNotFound;
    const std::string name = deviceText(*m.setting.id, dev);
    {
        std::unique_lock lock(m.mutex);
        if (m.open) {
            // Connecting again to the board already open keeps its connection (a second
            // claim of the interface would fail); any other open board is closed first.
            if (m.open->device == dev && !m.open->gone) {
                if (handle) *handle = m.open->handle;
                libusb_unref_device(dev);
                m.detail.clear();
                return kF32xOk;
            }
            m.closeBoard(lock);
        }
    }
    auto b = std::make_unique<OpenBoard>();
    b->device = dev;
    std::string detail;
    int status = kF32xOk;
    const auto fail = [&](int s, std::string text) {
        if (b->usb) libusb_close(b->usb);
        libusb_unref_device(dev);
        m.setDetail(std::move(text));
        return s;
    };
    if (int r = libusb_open(dev, &b->usb); r != 0) {
        b->usb = nullptr;
        status = openFailure(r, name, &detail);
        return fail(status, detail);
    }
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(dev, &config) != 0 || !config)
        return fail(kF32xIoFailed, "The USB device " + name + " has no active configuration.");
    b->ep = findEndpoints(config);
    libusb_free_config_descriptor(config);
    if (b->ep.interface < 0)
        return fail(kF32xIoFailed,
                    "The USB device " + name + " has no interface with bulk IN and OUT endpoints.");
    libusb_set_auto_detach_kernel_driver(b->usb, 1);
    if (int r = libusb_claim_interface(b->usb, b->ep.interface); r != 0) {
        status = openFailure(r, name, &detail);
        return fail(status, detail);
    }
    if (b->ep.altSetting != 0) {
        if (int r = libusb_set_interface_alt_setting(b->usb, b->ep.interface, b->ep.altSetting);
            r != 0) {
            libusb_release_interface(b->usb, b->ep.interface);
            status = openFailure(r, name, &detail);
            return fail(status, detail);
        }
    }
    for (int i = 0; i < kInTransfers; ++i) {
        libusb_transfer* t = libusb_alloc_transfer(0);
        auto* buffer = new unsigned char[static_cast<std::size_t>(b->ep.inPacket)];
        libusb_fill_bulk_transfer(t, b->usb, b->ep.in, buffer, b->ep.inPacket, &Impl::onTransfer,
                                  &m, 0);
        b->transfers.push_back(t);
        b->inFlight.push_back(false);
    }
    b->info.bus = libusb_get_bus_number(dev);
    b->info.address = libusb_get_device_address(dev);
    b->info.id = *m.setting.id;
    b->info.port = portPath(dev);
    readSerial(b->usb, dev, &b->info.serial);
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(dev, &descriptor) == 0)
        readStringDescriptor(b->usb, descriptor.iProduct, &b->info.product);
    std::unique_lock lock(m.mutex);
    b->handle = m.nextHandle++;
    m.open = std::move(b);
    if (int s = m.submitAll(*m.open); s != 0) {
        m.closeBoard(lock);
        m.detail = "The USB device " + name + " does not accept transfers.";
        return s;
    }
    if (handle) *handle = m.open->handle;
    m.detail.clear();
    return kF32xOk;
}

int UsbTransport::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    std::lock_guard lock(impl_->mutex);
    impl_->readMs = readMs;
    impl_->writeMs = writeMs;
    return kF32xOk;
}

int UsbTransport::Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                        std::uint32_t* written) {
    Impl& m = *impl_;
    std::lock_guard op(m.opMutex);
    if (written) *written = 0;
    libusb_device_handle* h = nullptr;
    unsigned char ep = 0;
    unsigned int timeout = 0;
    {
        std::lock_guard lock(m.mutex);
        int status = kF32xOk;
        OpenBoard* b = m.board(handle, &status);
        if (!b) return status;
        h = b->usb;
        ep = b->ep.out;
        timeout = m.writeMs;
    }
    if (count == 0) return kF32xOk;
    if (!buffer) return kF32xInvalidParameter;
    int sent = 0;
    const int r = libusb_bulk_transfer(h, ep, const_cast<std::uint8_t*>(buffer),
                                       static_cast<int>(count), &sent, timeout);
    if (written) *written = static_cast<std::uint32_t>(std::max(sent, 0));
    if (r == 0 && static_cast<std::uint32_t>(sent) == count) return kF32xOk;
    if (r == LIBUSB_ERROR_NO_DEVICE) {
        std::lock_guard lock(m.mutex);
        if (m.open) m.open->gone = true;
        return kF32xDeviceNotFound;
    }
    return r == LIBUSB_ERROR_TIMEOUT || r == 0 ? kF32xWriteTimeout : kF32xWriteError;
}

int UsbTransport::Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* read) {
    Impl& m = *impl_;
    std::lock_guard op(m.opMutex);
    if (read) *read = 0;
    std::unique_lock lock(m.mutex);
    int status = kF32xOk;
    OpenBoard* b = m.board(handle, &status);
    if (!b) return status;
    if (count == 0) return kF32xOk;
    if (!buffer || count > b->rx.capacity()) return kF32xInvalidParameter;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(m.readMs);
    const bool arrived = m.cv.wait_until(lock, deadline, [&] {
        return m.open.get() != b || b->rx.size() >= count || b->gone || b->failed;
    });
    if (m.open.get() != b) return kF32xInvalidHandle;
    if (b->rx.size() >= count) {
        b->rx.take(buffer, count);
        if (read) *read = count;
        return kF32xOk;
    }
    if (b->gone) return kF32xDeviceNotFound;
    if (b->failed) return kF32xReadError;
    (void)arrived;
    return kF32xReadTimeout;
}

int UsbTransport::CheckRXQueue(F32xHandle handle, std::uint32_t* bytes, std::uint32_t* state) {
    Impl& m = *impl_;
    std::lock_guard lock(m.mutex);
    int status = kF32xOk;
    OpenBoard* b = m.board(handle, &status);
    if (!b) return status;
    if (bytes) *bytes = static_cast<std::uint32_t>(b->rx.size());
    if (state) *state = b->rx.state();
    return kF32xOk;
}

int UsbTransport::FlushBuffers(F32xHandle handle) {
    Impl& m = *impl_;
    std::lock_guard op(m.opMutex);
    std::unique_lock lock(m.mutex);
    int status = kF32xOk;
    OpenBoard* b = m.board(handle, &status);
    if (!b) return status;
    if (!m.cancelAll(lock, *b)) return kF32xIoFailed;
    b->rx.clear();
    if (b->gone) return kF32xDeviceNotFound;
    if (b->failed) {
        lock.unlock();
        libusb_clear_halt(b->usb, b->ep.in);
        lock.lock();
        b->failed = false;
    }
    return m.submitAll(*b);
}

int UsbTransport::Close(F32xHandle handle) {
    Impl& m = *impl_;
    std::lock_guard op(m.opMutex);
    std::unique_lock lock(m.mutex);
    if (!m.open || handle == 0 || m.open->handle != handle) return kF32xInvalidHandle;
    m.closeBoard(lock);
    return kF32xOk;
}

}  // namespace evkit
