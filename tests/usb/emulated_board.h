#pragma once
// A USB board emulated with umockdev: the device appears in the mocked sysfs/udev with its
// descriptors, and a usbdevfs ioctl handler answers libusb's URBs. Bulk OUT data goes to the
// virtual board's firmware; bulk IN URBs are filled from what the firmware queues. The
// firmware keeps virtual time, which advances by one millisecond each time the host polls
// for IN data and none is waiting, so streams come as fast as the host reaps them.
// Needs the process to run under libumockdev-preload (see tests/CMakeLists.txt).
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board/usb_id.h"
#include "sim/virtual_board.h"
#include "support/clock.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace evkit::test {

class EmulatedBoard {
  public:
    static constexpr std::uint8_t kEndpointOut = 0x01;
    static constexpr std::uint8_t kEndpointIn = 0x81;
    static constexpr int kPacketSize = 64;

    // Where the board sits on the bus and what it calls itself.
    struct Placement {
        int bus = 1;
        int address = 2;
        std::string port;    // sysfs name, the port path "1-4.2"; empty: "<bus>-1"
        std::string serial;  // serial number string; empty: none
    };

    EmulatedBoard(UsbId id, std::string product, int bus = 1, int address = 2);
    // A board on the same bench (umockdev testbed) as `bench`, when given: several boards
    // are attached at once only so.
    EmulatedBoard(UsbId id, std::string product, Placement where, EmulatedBoard* bench = nullptr);
    ~EmulatedBoard();
    EmulatedBoard(const EmulatedBoard&) = delete;
    EmulatedBoard& operator=(const EmulatedBoard&) = delete;

    // Adds the device to the testbed (with an "add" notice) / takes it away (with "remove").
    void plug();
    void unplug();

    // The firmware behind the bulk endpoints.
    sim::VirtualBoard& firmware() { return *firmware_; }
    VirtualClock& clock() { return clock_; }
    // With streaming on, the start frame 248 makes the firmware stream `samples` pairs of
    // 24-bit words as counting values 0, 1, 2, ... in 60-byte packets.
    void streamOn248(int samples) { streamSamples_ = samples; }
    // The next bulk IN URB ends with an overflow (the board sent more than was asked for).
    void overflowNextIn();
    // Bulk OUT payloads received, in order.
    std::vector<std::vector<std::uint8_t>> outTransfers() const;
    // The firmware's time (clock()) at which each of them arrived.
    std::vector<double> outTimes() const;

    static bool available();  // running under the umockdev preload library

    // Adds a USB hub (no I/O) named `port` ("1-4") at `address` to the bench, so that boards
    // behind it have a port path of several levels.
    void addHub(const std::string& port, int address);

  private:
    struct Urb {
        UMockdevIoctlData* urb = nullptr;     // referenced
        UMockdevIoctlData* buffer = nullptr;  // owned by urb
        const void* client = nullptr;         // the open file it was submitted on
    };
    static int onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool handle(UMockdevIoctlClient* client);
    void finishControl(Urb& u);
    void finishOut(Urb& u);
    bool fillIn(Urb& u);  // true when data was put into the URB
    void reap(UMockdevIoctlClient* client, Urb u, int status);

    UsbId id_;
    std::string product_;
    int bus_, address_;
    std::string port_, serial_;
    std::string devnode_, syspath_, nodeFile_;
    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
    VirtualClock clock_;
    std::unique_ptr<sim::VirtualBoard> firmware_;
    F32xHandle fwHandle_ = 0;

    mutable std::mutex mutex_;
    bool plugged_ = false;
    bool overflowNext_ = false;
    int streamSamples_ = 0;
    std::deque<std::pair<Urb, int>> done_;  // completed URBs with their status
    std::deque<Urb> pendingIn_;
    std::vector<std::vector<std::uint8_t>> outs_;
    std::vector<double> outTimes_;
};

}  // namespace evkit::test
