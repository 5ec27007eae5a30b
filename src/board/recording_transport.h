#pragma once
// Decorator that records every transport operation of a run (operation, arguments, bytes
// written and read, status, time since the start) as a session file (board/session_file.h).
// The operations are appended to a journal "FILE.part" as they happen, so that a crash loses
// at most the last few; finish() writes FILE whole through the atomic file writer
// (gzip-compressed when FILE ends in ".gz") and removes the journal.
#include <cstdint>
#include <mutex>
#include <string>

#include "board/session_file.h"
#include "board/transport.h"
#include "support/clock.h"

namespace evkit {

class RecordingTransport : public F32x {
  public:
    // `program` is the version line stored in the file; times are taken from `clock`.
    RecordingTransport(F32x& inner, Clock& clock, std::string path, const std::string& program);
    ~RecordingTransport() override;
    RecordingTransport(const RecordingTransport&) = delete;
    RecordingTransport& operator=(const RecordingTransport&) = delete;

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
    std::string errorDetail() const override { return inner_->errorDetail(); }
    bool simulated() const override { return inner_->simulated(); }
    // Records the operations of another transport from now on (a new board ID was chosen).
    void retarget(F32x& inner) { inner_ = &inner; }

    // Writes the session file. False with `error` set when it could not be written (the
    // journal then stays). Later operations are no longer recorded.
    bool finish(std::string* error);
    const std::string& path() const { return path_; }
    std::string journalPath() const { return path_ + ".part"; }
    std::uint64_t operations() const;

  private:
    void record(SessionOp op);
    // Records an operation whose only argument is the handle (flush, close).
    int recordHandleOnly(SessionOpKind kind, F32xHandle handle, int status);
    void flushJournal(bool force);

    F32x* inner_;
    Clock& clock_;
    std::string path_;
    double start_;
    mutable std::mutex mutex_;
    std::string text_;     // the whole file so far
    std::string pending_;  // lines not yet in the journal
    std::uint64_t count_ = 0;
    std::string lastDetail_;
    bool finished_ = false;
    bool journalOk_ = true;
    double lastJournal_ = 0;
};

}  // namespace evkit
