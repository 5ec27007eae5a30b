#pragma once
// The board command protocol: every device command travels as one six-byte frame through
// Fun_USB, which adds page selection, pacing, failure messages and the two long exchanges
// (data collection on a worker thread, the timed measurement with cancel).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "board/transport.h"
#include "support/clock.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit {

namespace msg {
inline constexpr const char* kErrorTitle = "Error Message";
inline constexpr const char* kConnectionLost =
    "USB connection error. Ensure proper USB connection and power. Reset the board, go to Setup "
    "menu and re-setup USB connection.";
inline constexpr const char* kWriteError = "USB Write Error.";
inline constexpr const char* kReadError = "USB Read Error";
inline constexpr const char* kQueueError = "USB Error.";
inline constexpr const char* kCancelFlushError = "USB error.";
inline constexpr const char* kNotValidTitle = "Error, Command Not Valid!";
inline constexpr const char* kNotValid = "The command is not supported";
// A timed measurement (command 246) whose board sent nothing for the gate time plus 10 s.
inline constexpr const char* kMeasurementTimedOut = "Timed out during data collection.";
}  // namespace msg

// Status returned when a board command is refused because another operation owns the board.
constexpr int kStatusBusy = -100;
// Status returned when a board command is refused because disk mode has closed the board.
constexpr int kStatusClosed = -101;
// Status of a cancelled timed measurement (command 246).
constexpr int kStatusCancelled = 255;
// Status of a timed measurement given up because the board sent nothing (message shown).
constexpr int kStatusTimedOut = -103;
// How long past its gate time a timed measurement waits for a board that sends nothing.
constexpr double kMeasurementSilenceLimit = 10.0;

class BoardLink;

// The reception worker of command 248: runs on its own thread with the three data bytes of
// the call; returns non-zero only when the board disappeared (sets Rcv_Pac_Ret).
using CollectionWorker = std::function<int(BoardLink& link, std::uint8_t d1, std::uint8_t d2,
                                           std::uint8_t d3)>;

class BoardLink {
public:
    BoardLink(F32x& transport, Clock& clock, Messages& messages, Pump& pump)
        : transport_(&transport), clock_(clock), messages_(messages), pump_(pump) {}

    // Whether Fun_USB sends the byte b; any other byte gets "The command is not supported"
    // and nothing is sent.
    static bool sendsCommand(int b);
    // Fun_USB(code, d1, d2, d3, width, result): see the command classes in board_link.cpp.
    int Fun_USB(std::int32_t code, int d1, int d2, int d3, int width, std::int32_t* result);

    // The phrases every subsystem uses.
    int readRegister(int page, int address, std::int32_t* word, int width = 24) {
        return Fun_USB((page << 8) | (2 * address), 0, 0, 0, width, word);
    }
    int writeRegister(int page, int address, std::uint32_t word) {
        return Fun_USB((page << 8) | (0x40 + 2 * address), word & 0xFF, (word >> 8) & 0xFF,
                       (word >> 16) & 0xFF, 24, nullptr);
    }
    int sendCommand(int commandByte) { return Fun_USB(commandByte, 0, 0, 0, 24, nullptr); }
    // Command 246 with the count n; counts[0..2] receive the three answer words.
    int timedMeasurement(std::uint32_t n, std::int32_t counts[3]) {
        return Fun_USB(246, n & 0xFF, (n >> 8) & 0xFF, (n >> 16) & 0xFF, 24, counts);
    }

    F32x& transport() { return *transport_; }
    void setTransport(F32x& transport) { transport_ = &transport; }
    Clock& clock() { return clock_; }
    Messages& messages() { return messages_; }
    Pump& pump() { return pump_; }

    // Open board, 0 when none.
    F32xHandle cyHandle = 0;
    std::array<std::uint8_t, 128> wBuffer{};
    std::array<std::uint8_t, 64> rBuffer{};
    std::atomic<int> Rcv_Pac_Ret{0};

    // Installed by data collection: the worker run by command 248.
    CollectionWorker collectionWorker;
    // Called (on the calling thread of Fun_USB) when a lost connection removes the
    // USB menu check mark.
    std::function<void()> onConnectionLost;

    // Shows the lost-connection message and notifies onConnectionLost. Inside a
    // BoardSequence the loss is said only this once: the sequence's later commands fail at
    // once with `status` and without a message.
    void reportConnectionLost(int status = kF32xDeviceNotFound);
    // From the worker thread: queue a message / a lost connection, shown by the thread that
    // waits for the worker once it has finished.
    void deferMessage(std::string title, std::string text);
    void deferConnectionLost();

    // Busy guard. A long operation (capture, monitor run, pulse measurement, bulk read)
    // claims the board; while it waits and processes events, every other board command is
    // refused with a message instead of being interleaved with its traffic.
    bool tryClaim(const std::string& what);  // false (message shown) when already claimed
    void release();
    bool busy() const { return !owner_.empty(); }
    const std::string& owner() const { return owner_; }
    // Processes user-interface events on behalf of the current operation.
    void processEvents();
    // True while events are being processed inside a board operation.
    bool insideEventProcessing() const { return eventDepth_ > 0; }

    // Reports the busy refusal and returns kStatusBusy. The refusal goes to onBusyNotice
    // when one is installed (the desktop program shows it without a modal box, so that the
    // running operation is not held up), otherwise to the messages.
    int refuseBusy();
    std::function<void(const std::string& text)> onBusyNotice;
    // Set while disk mode has closed the board: every board command is refused with a
    // notice (no transport call, no connection-error box) until USB Board connects again.
    bool closedForDiskMode = false;
    // Reports the refusal above and returns kStatusClosed.
    int refuseClosed();
    // For commands that ask the user something first (a file, a confirmation): refuses
    // (true) before the question when a long operation owns the board.
    bool refuseIfBusy() {
        if (closedForDiskMode) {
            refuseClosed();
            return true;
        }
        if (!busy() && !insideEventProcessing()) return false;
        refuseBusy();
        return true;
    }

    // True once the user asked (through the pump) to stop the data collection now running;
    // the reception worker polls it and ends without a message.
    bool collectionCancelled() const { return collectionCancel_.load(); }

    // Multi-command sequences (refreshes, identification, register files): see BoardSequence.
    void beginSequence() { ++sequenceDepth_; }
    void endSequence() {
        if (--sequenceDepth_ == 0) sequenceLost_ = 0;
    }
    // The status of the lost connection that ended the current sequence, 0 while none.
    int sequenceLost() const { return sequenceLost_; }

private:
    int collectData(int d1, int d2, int d3);
    int measure(int d1, int d2, int d3, std::int32_t* result);
    int writeFrame(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                   std::uint8_t b4, std::uint8_t b5);
    void flushDeferred();

    F32x* transport_;
    Clock& clock_;
    Messages& messages_;
    Pump& pump_;
    std::string owner_;
    int eventDepth_ = 0;
    std::mutex deferredMutex_;
    std::vector<std::pair<std::string, std::string>> deferredMessages_;
    bool deferredLost_ = false;
    std::atomic<bool> collectionCancel_{false};
    int sequenceDepth_ = 0;
    int sequenceLost_ = 0;
};

// A sequence of board commands that belong together (a window's refresh, identification,
// a register file). Once the board is found gone, the lost connection is said once and every
// later command of the sequence fails at once with the same status, without a message.
class BoardSequence {
public:
    explicit BoardSequence(BoardLink& link) : link_(link) { link_.beginSequence(); }
    ~BoardSequence() { link_.endSequence(); }
    BoardSequence(const BoardSequence&) = delete;
    BoardSequence& operator=(const BoardSequence&) = delete;
    // True once the board was lost during the sequence.
    bool lost() const { return link_.sequenceLost() != 0; }

private:
    BoardLink& link_;
};

// RAII claim of the board for a long operation.
class BoardClaim {
public:
    BoardClaim(BoardLink& link, const std::string& what) : link_(link), ok_(link.tryClaim(what)) {}
    ~BoardClaim() {
        if (ok_) link_.release();
    }
    BoardClaim(const BoardClaim&) = delete;
    BoardClaim& operator=(const BoardClaim&) = delete;
    bool ok() const { return ok_; }

private:
    BoardLink& link_;
    bool ok_;
};

}  // namespace evkit
