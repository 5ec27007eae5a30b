#pragma once
// The USB transport's private state, shared by its files: usb_transport.cpp (enumeration,
// I/O) and usb_board_choice.cpp (which of several attached boards is used).
#include <libusb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/receive_buffer.h"
#include "board/usb_descriptors.h"
#include "board/usb_transport.h"

namespace evkit {

namespace usb_detail {

using SteadyClock = std::chrono::steady_clock;

// How long flush and close wait for cancelled transfers to come back.
constexpr auto kCancelWait = std::chrono::seconds(1);

struct OpenBoard {
    F32xHandle handle = 0;
    libusb_device* device = nullptr;  // referenced
    libusb_device_handle* usb = nullptr;
    Endpoints ep;
    std::vector<libusb_transfer*> transfers;
    std::vector<bool> inFlight;
    int pending = 0;        // transfers submitted and not yet returned
    bool gone = false;      // the device has been unplugged
    bool failed = false;    // the IN endpoint reported an error; a flush restarts it
    bool stopping = false;  // flush or close is cancelling the transfers
    ReceiveBuffer rx;
    UsbDeviceInfo info;  // where it is and what it calls itself, read when opened
};

}  // namespace usb_detail

struct UsbTransport::Impl {
    using OpenBoard = usb_detail::OpenBoard;
    using SteadyClock = usb_detail::SteadyClock;
    UsbIdSetting setting;
    bool allowHotplug = true;

    std::once_flag initOnce;
    int initStatus = kF32xOk;
    std::string initProblem;
    libusb_context* ctx = nullptr;
    bool hotplug = false;
    libusb_hotplug_callback_handle hotplugHandle{};
    std::thread events;
    std::atomic<bool> stop{false};

    std::mutex opMutex;        // one public operation at a time (besides count and queue checks)
    mutable std::mutex mutex;  // state shared with the event thread
    std::condition_variable cv;
    std::vector<libusb_device*> boards;  // referenced, in order of arrival
    SteadyClock::time_point lastScan{};
    bool scanned = false;
    std::uint32_t readMs = 987, writeMs = 876;
    std::unique_ptr<OpenBoard> open;
    F32xHandle nextHandle = 1;
    std::string detail;
    // Which of the attached boards count (guarded by mutex); empty: every one.
    UsbBoardSelector selector;
    // Serial strings read so far, of devices in `boards` (guarded by mutex).
    std::map<libusb_device*, std::string> serials;

    ~Impl();
    int init();
    void setDetail(std::string text) {
        std::lock_guard lock(mutex);
        detail = std::move(text);
    }
    int refreshBoards();                               // opMutex or none held, mutex not held
    libusb_device* boardAt(std::uint32_t index);       // referenced, or null; sets detail
    OpenBoard* board(F32xHandle handle, int* status);  // mutex held
    int submitAll(OpenBoard& b);                       // mutex held
    bool cancelAll(std::unique_lock<std::mutex>& lock, OpenBoard& b);
    void closeBoard(std::unique_lock<std::mutex>& lock);
    // Board choice (usb_board_choice.cpp).
    void readSerials();                            // no lock held: serials not yet known
    std::vector<libusb_device*> selected() const;  // mutex held: the boards that count
    void forget(libusb_device* dev);               // mutex held: a board has gone
    std::string noBoardText() const;               // mutex held: why none counts

    static void LIBUSB_CALL onTransfer(libusb_transfer* t);
    static int LIBUSB_CALL onHotplug(libusb_context*, libusb_device* dev,
                                     libusb_hotplug_event event, void* user);
};

}  // namespace evkit
