#pragma once
// Transport to real boards over USB (libusb-1.0). Boards are the attached devices with the
// configured vendor/product ID. An open board has its vendor-specific interface claimed;
// bulk IN transfers stay queued all the time and feed a host-side receive buffer, from which
// Read and CheckRXQueue serve; writes go out on the bulk OUT endpoint. The count of boards
// is kept current by hotplug notifications where the platform has them, otherwise by
// enumerating the bus at most every 100 ms; an open board whose transfers report it gone is
// no longer counted.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/transport.h"
#include "board/usb_id.h"

namespace evkit {

// One attached USB device, as `usb list` shows it.
struct UsbDeviceInfo {
    int bus = 0;
    int address = 0;
    UsbId id;
    std::string product;      // product string; empty when it could not be read
    std::string problem;      // why the product string could not be read
    std::string port = {};    // port path, "1-4.2": bus and hub ports, stable across replugs
    std::string serial = {};  // serial number string; empty when it has none or is unreadable
};

// Which of several attached boards to use: the one with this serial number string, or the
// one at this port path. Empty: the last one listed.
struct UsbBoardSelector {
    std::string serial;
    std::string port;
    bool empty() const { return serial.empty() && port.empty(); }
    bool operator==(const UsbBoardSelector&) const = default;
};

// "usb:SERIAL", "usb@PORT" or "usb".
std::string selectorText(const UsbBoardSelector& selector);

class UsbTransport : public F32x {
  public:
    static constexpr int kInTransfers = 8;  // bulk IN transfers kept in flight
    static constexpr int kRescanIntervalMs =
        100;  // without hotplug: re-enumerate at most this often

    // `allowHotplug` false: count boards by enumeration even where hotplug is available.
    explicit UsbTransport(UsbIdSetting setting = resolveUsbId(""), bool allowHotplug = true,
                          UsbBoardSelector selector = {});
    ~UsbTransport() override;
    UsbTransport(const UsbTransport&) = delete;
    UsbTransport& operator=(const UsbTransport&) = delete;

    int GetNumDevices(std::uint32_t* count) override;
    int GetProductString(std::uint32_t index, std::string* product) override;
    int Open(std::uint32_t index, F32xHandle* handle) override;
    int SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
    int Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override;
    int Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
             std::uint32_t* read) override;
    int CheckRXQueue(F32xHandle handle, std::uint32_t* bytes, std::uint32_t* state) override;
    int FlushBuffers(F32xHandle handle) override;
    int Close(F32xHandle handle) override;
    std::string errorDetail() const override;

    const UsbIdSetting& setting() const;
    // True when the board count follows hotplug notifications.
    bool usesHotplug() const;

    // Every attached USB device (for `usb list`); status 0 or a failure of the USB library.
    static int listDevices(std::vector<UsbDeviceInfo>* devices, std::string* problem);
    // Every attached device with the ID `id`, in the order the transport lists boards (so
    // the last one is the board a plain "usb" opens), with port path and serial.
    static int listBoards(UsbId id, std::vector<UsbDeviceInfo>* boards, std::string* problem);

    // Which board counts from the next board count on (a connection chooses it first).
    void setSelector(UsbBoardSelector selector);
    UsbBoardSelector selector() const;
    // The open board's position and strings; false when no board is open.
    bool openBoardInfo(UsbDeviceInfo* info) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace evkit
