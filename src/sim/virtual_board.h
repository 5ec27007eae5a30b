#pragma once
// A board you can plug in from software: implements the transport seam, runs the board's
// firmware (frame decoding) over a DeviceModel, honours time-outs in the given Clock's time,
// and lets tests inject faults. Thread-safe: the capture worker reads from another thread.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board/transport.h"
#include "sim/device_model.h"
#include "support/clock.h"

namespace evkit::sim {

class VirtualBoard;
using Frame = std::array<std::uint8_t, 6>;

// Faults that can be scheduled on the board (as from the command line's --fault KIND@N).
enum class FaultKind { kUnplug, kFailWrite, kFailRead, kFailFlush, kStall, kShortRead, kOverrun };

// A fault armed at the N-th transport operation (1 = the first operation of the run; every
// one of the nine operations counts): unplug takes the board away before that operation;
// fail-write, fail-read and fail-flush fail the first write, read or flush from that
// operation on; stall stops the firmware answering; short-read delivers one byte less on the
// first read from then on; overrun makes the first receive-queue check from then on fail
// with the overrun bit set.
struct ScheduledFault {
    FaultKind kind = FaultKind::kUnplug;
    std::uint64_t call = 1;
};

// "KIND@N" with KIND one of unplug, fail-write, fail-read, fail-flush, stall, short-read,
// overrun and N >= 1; nullopt (error set) otherwise.
std::optional<ScheduledFault> parseFault(const std::string& text, std::string* error);
// The kinds, for help texts: "unplug, fail-write, ...".
std::string faultKindList();

// Something the firmware is doing over time: produces bytes for the host at given moments.
class Activity {
  public:
    static constexpr double kNever = std::numeric_limits<double>::infinity();
    virtual ~Activity() = default;
    // Time (board clock, seconds) at which the next bytes are due; kNever when finished.
    virtual double nextTime() const = 0;
    // Produces the bytes due at nextTime() and moves on.
    virtual std::vector<std::uint8_t> produce(VirtualBoard& board) = 0;
};

// A part of the firmware: streams, calibration, pulse counting, EEPROM. Modules see every
// frame before the built-in handling; returning true consumes the frame.
class FirmwareModule {
  public:
    virtual ~FirmwareModule() = default;
    virtual bool onFrame(VirtualBoard& board, const Frame& frame) = 0;
    // After a register write from the bus has been stored.
    virtual void onRegisterWrite(VirtualBoard& /*board*/, int /*page*/, int /*address*/,
                                 std::uint32_t /*word*/) {}
    // Counts of the timed measurement (command 246) for a gate of the given length.
    virtual bool pulseCounts(VirtualBoard& /*board*/, double /*gateSeconds*/,
                             std::array<std::uint32_t, 3>& /*counts*/) {
        return false;
    }
};

// The modules every virtual board carries (defined in modules.cpp).
std::vector<std::unique_ptr<FirmwareModule>> standardModules();

class VirtualBoard : public F32x {
  public:
    static constexpr const char* kProductString = "EVKIT714 Virtual Board";
    static constexpr std::size_t kQueueCapacity = 1u << 20;  // host-side receive buffer

    explicit VirtualBoard(Clock& clock, const std::string& variant = kDefaultVariant);

    // --- transport seam ---
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
    bool simulated() const override { return true; }

    // --- fault injection ---
    void unplug();
    void plug();
    // The board disappears after this many further successful reads.
    void unplugAfterReads(int reads);
    void failNextWrite(int status = kF32xWriteError);
    void failNextRead(int status = kF32xReadError);
    void failNextFlush(int status = kF32xIoFailed);
    void failNextDeviceCount(int status = kF32xIoFailed);
    // Next queue check fails; with overrun the state also carries the overrun bit.
    void failNextQueueCheck(bool overrun, int status = kF32xIoFailed);
    // While stalled the firmware answers nothing and streams nothing, so reads time out.
    void stall(bool stalled);
    // Next read delivers one byte less than asked (status 0).
    void shortReadNext();
    // Fails every read and write from now on (a board that hangs up).
    void failAllIo(bool fail);
    // Arms `fault` when the transport operation numbered fault.call is made.
    void scheduleFault(const ScheduledFault& fault);
    // Transport operations made so far.
    std::uint64_t transportCalls() const;

    // --- the bench around the board ---
    // The programmable source on the inputs and the part's error model, taken and set under
    // the board's lock (the capture worker reads the device from its own thread). A new
    // source holds from the next sample on: a running result stream computes its next
    // cycle with it.
    SignalSource signal() const;
    void setSignal(const SignalSource& source);
    ErrorModel errorModel() const;
    void setErrorModel(const ErrorModel& errors);

    // --- firmware side, for modules ---
    DeviceModel& device() { return device_; }
    Clock& clock() { return clock_; }
    double now() const { return clock_.now(); }
    void startActivity(std::unique_ptr<Activity> activity);
    void stopActivities();
    // Queues bytes for the host now.
    void answer(const std::vector<std::uint8_t>& bytes);
    bool isOpen() const { return open_; }

    // All frames received, in order (for tests that check the exact traffic).
    std::vector<Frame> framesReceived() const;
    void clearFramesReceived();

  private:
    void produceUntil(double t);           // lock held
    double nextActivityTime() const;       // lock held
    void handleFrame(const Frame& frame);  // lock held
    int checkHandle(F32xHandle handle) const;
    void countCall();  // lock held: one more transport operation, arming scheduled faults

    Clock& clock_;
    DeviceModel device_;
    std::vector<std::unique_ptr<FirmwareModule>> modules_;
    std::vector<std::unique_ptr<Activity>> activities_;
    mutable std::recursive_mutex mutex_;
    std::deque<std::uint8_t> queue_;
    std::vector<std::uint8_t> partialFrame_;
    std::vector<Frame> frames_;
    bool plugged_ = true;
    bool open_ = false;
    bool overrun_ = false;
    bool stalled_ = false;
    bool shortRead_ = false;
    bool failAll_ = false;
    int unplugAfterReads_ = -1;
    int failWrite_ = 0, failRead_ = 0, failFlush_ = 0, failCount_ = 0, failQueue_ = 0;
    bool failQueueOverrun_ = false;
    double readTimeout_ = 1.0;  // seconds
    std::uint64_t calls_ = 0;
    std::vector<ScheduledFault> scheduled_;
};

}  // namespace evkit::sim
