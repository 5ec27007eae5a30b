#pragma once
// The transport seam: the nine operations of the board's USB controller library.
// Every operation returns a status, 0 = success. Implementations: UsbTransport (libusb),
// sim::VirtualBoard, and TracingTransport (a decorator logging every frame).
#include <cstdint>
#include <string>

namespace evkit {

using F32xHandle = std::uintptr_t;  // 0 = no open board

// Status values returned by the implementations in this program (callers only test != 0).
enum F32xStatus : int {
    kF32xOk = 0,
    kF32xInvalidHandle = 1,
    kF32xReadError = 2,
    kF32xWriteError = 3,
    kF32xInvalidParameter = 4,
    kF32xIoFailed = 5,
    kF32xReadTimeout = 6,
    kF32xWriteTimeout = 7,
    kF32xDeviceNotFound = 8,
    kF32xAccessDenied = 9,
    kF32xNotConfigured = 10,  // no board ID is configured (real USB boards)
};

// Receive-queue state bits of CheckRXQueue.
constexpr std::uint32_t kRxOverrun = 1;
constexpr std::uint32_t kRxReady = 2;

class F32x {
public:
    virtual ~F32x() = default;
    virtual int GetNumDevices(std::uint32_t* count) = 0;
    virtual int GetProductString(std::uint32_t index, std::string* product) = 0;
    virtual int Open(std::uint32_t index, F32xHandle* handle) = 0;
    virtual int SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
    virtual int Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* written) = 0;
    // Returns only when `count` bytes have arrived; a time-out is a non-zero status.
    virtual int Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
                     std::uint32_t* read) = 0;
    virtual int CheckRXQueue(F32xHandle handle, std::uint32_t* bytes, std::uint32_t* state) = 0;
    virtual int FlushBuffers(F32xHandle handle) = 0;
    virtual int Close(F32xHandle handle) = 0;

    // Why the last failing operation failed, in words for the user (permission, no board ID
    // configured, ...); empty when there is nothing to add to the caller's own message.
    virtual std::string errorDetail() const { return {}; }
    // True for the built-in virtual board, so that nothing passes a simulation off as a
    // measurement.
    virtual bool simulated() const { return false; }
};

}  // namespace evkit
