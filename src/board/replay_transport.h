#pragma once
// A transport that plays a recorded session back (--board replay:FILE). Every operation
// must match the next recorded one in kind, arguments and bytes written; it then returns
// the recorded status and results (bytes read, counts, queue state). The first operation
// that does not match stops the replay: it and every later operation fail, and the
// divergence (operation number, what the recording holds, what the program asked for) is
// reported once through onDivergence.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "board/session_file.h"
#include "board/transport.h"
#include "support/clock.h"

namespace evkit {

enum class ReplayTiming {
    kInstant,   // answer at once; a virtual clock is moved on to the recorded times
    kRecorded,  // answer at the recorded time after the start, in real time
};

// "instant" / "recorded"; nullopt for anything else.
std::optional<ReplayTiming> parseReplayTiming(const std::string& text);

class ReplayTransport : public F32x {
  public:
    ReplayTransport(SessionFile session, Clock& clock, ReplayTiming timing);

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
    bool simulated() const override { return session_.simulated; }

    // Called once, at the first divergence, with its message (from the thread that met it).
    std::function<void(const std::string& message)> onDivergence;

    bool diverged() const;
    // The divergence message; empty while the replay follows the recording.
    std::string divergence() const;
    // Operations replayed so far, and in the recording.
    std::size_t position() const;
    std::size_t size() const { return session_.ops.size(); }
    // Marks the end of the run: when recorded operations are left, that is a divergence
    // too. Returns true when the whole recording was replayed and nothing diverged.
    bool finish();
    const std::string& recordedProgram() const { return session_.program; }

  private:
    // The recorded operation matching `call`, or nullptr after a divergence.
    const SessionOp* next(const SessionOp& call);
    void diverge(const std::string& expected, const std::string& got);
    void keepTime(const SessionOp& op);
    // Replays an operation whose only argument is the handle (flush, close).
    int replayHandleOnly(SessionOpKind kind, F32xHandle handle);

    SessionFile session_;
    Clock& clock_;
    ReplayTiming timing_;
    double start_;
    std::chrono::steady_clock::time_point realStart_;
    mutable std::mutex mutex_;
    std::size_t position_ = 0;
    std::string detail_;
    std::string divergence_;
};

}  // namespace evkit
