#include "board/replay_transport.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace evkit {

std::optional<ReplayTiming> parseReplayTiming(const std::string& text) {
    if (text == "instant") return ReplayTiming::kInstant;
    if (text == "recorded") return ReplayTiming::kRecorded;
    return std::nullopt;
}

ReplayTransport::ReplayTransport(SessionFile session, Clock& clock, ReplayTiming timing)
    : session_(std::move(session)),
      clock_(clock),
      timing_(timing),
      start_(clock.now()),
      realStart_(std::chrono::steady_clock::now()) {}

bool ReplayTransport::diverged() const {
    std::lock_guard lock(mutex_);
    return !divergence_.empty();
}

std::string ReplayTransport::divergence() const {
    std::lock_guard lock(mutex_);
    return divergence_;
}

std::size_t ReplayTransport::position() const {
    std::lock_guard lock(mutex_);
    return position_;
}

std::string ReplayTransport::errorDetail() const {
    std::lock_guard lock(mutex_);
    return divergence_.empty() ? detail_ : divergence_;
}

void ReplayTransport::diverge(const std::string& expected, const std::string& got) {
    divergence_ = "Replay diverged at operation " + std::to_string(position_ + 1) + ": expected " +
                  expected + ", got " + got + ".";
}

const SessionOp* ReplayTransport::next(const SessionOp& call) {
    std::function<void(const std::string&)> report;
    std::string message;
    const SessionOp* op = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!divergence_.empty()) return nullptr;
        if (position_ >= session_.ops.size()) {
            diverge("the end of the recording", describeSessionCall(call));
        } else if (describeSessionCall(session_.ops[position_]) != describeSessionCall(call)) {
            diverge(describeSessionCall(session_.ops[position_]), describeSessionCall(call));
        } else {
            op = &session_.ops[position_++];
            if (op->detail) detail_ = *op->detail;
        }
        if (!op) {
            report = onDivergence;
            message = divergence_;
        }
    }
    if (!op) {
        if (report) report(message);
        return nullptr;
    }
    keepTime(*op);
    return op;
}

void ReplayTransport::keepTime(const SessionOp& op) {
    const double at = static_cast<double>(op.timeNs) * 1e-9;
    if (timing_ == ReplayTiming::kRecorded) {
        std::this_thread::sleep_until(realStart_ + std::chrono::nanoseconds(op.timeNs));
        return;
    }
    // The program sees the times of the recording: a virtual clock is moved on to them
    // (it is never set back).
    if (auto* virtualClock = dynamic_cast<VirtualClock*>(&clock_)) {
        const double behind = start_ + at - virtualClock->now();
        if (behind > 0) virtualClock->advance(behind);
    }
}

bool ReplayTransport::finish() {
    std::function<void(const std::string&)> report;
    std::string message;
    {
        std::lock_guard lock(mutex_);
        if (!divergence_.empty()) return false;
        if (position_ == session_.ops.size()) return true;
        diverge(describeSessionCall(session_.ops[position_]), "the end of the run");
        report = onDivergence;
        message = divergence_;
    }
    if (report) report(message);
    return false;
}

int ReplayTransport::GetNumDevices(std::uint32_t* count) {
    SessionOp call;
    call.kind = SessionOpKind::kCount;
    const SessionOp* op = next(call);
    if (!op) return kF32xIoFailed;
    if (count) *count = static_cast<std::uint32_t>(op->value);
    return op->status;
}

int ReplayTransport::GetProductString(std::uint32_t index, std::string* product) {
    SessionOp call;
    call.kind = SessionOpKind::kProduct;
    call.index = index;
    const SessionOp* op = next(call);
    if (!op) return kF32xIoFailed;
    if (product) product->assign(op->data.begin(), op->data.end());
    return op->status;
}

int ReplayTransport::Open(std::uint32_t index, F32xHandle* handle) {
    SessionOp call;
    call.kind = SessionOpKind::kOpen;
    call.index = index;
    const SessionOp* op = next(call);
    if (!op) return kF32xIoFailed;
    if (handle) *handle = static_cast<F32xHandle>(op->value);
    return op->status;
}

int ReplayTransport::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    SessionOp call;
    call.kind = SessionOpKind::kTimeouts;
    call.first = readMs;
    call.second = writeMs;
    const SessionOp* op = next(call);
    return op ? op->status : kF32xIoFailed;
}

int ReplayTransport::Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                           std::uint32_t* written) {
    SessionOp call;
    call.kind = SessionOpKind::kWrite;
    call.handle = handle;
    if (buffer)
        call.bytes.assign(buffer, buffer + std::min<std::size_t>(count, kSessionMaxBytesPerOp));
    if (written) *written = 0;
    const SessionOp* op = next(call);
    if (!op) return kF32xWriteError;
    if (written) *written = static_cast<std::uint32_t>(op->value);
    return op->status;
}

int ReplayTransport::Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
                          std::uint32_t* read) {
    SessionOp call;
    call.kind = SessionOpKind::kRead;
    call.handle = handle;
    call.first = count;
    if (read) *read = 0;
    const SessionOp* op = next(call);
    if (!op) return kF32xReadError;
    if (buffer && !op->data.empty())
        std::memcpy(buffer, op->data.data(), std::min<std::size_t>(op->data.size(), count));
    if (read) *read = static_cast<std::uint32_t>(op->value);
    return op->status;
}

int ReplayTransport::CheckRXQueue(F32xHandle handle, std::uint32_t* bytes, std::uint32_t* state) {
    SessionOp call;
    call.kind = SessionOpKind::kRxQueue;
    call.handle = handle;
    const SessionOp* op = next(call);
    if (!op) return kF32xIoFailed;
    if (bytes) *bytes = static_cast<std::uint32_t>(op->value);
    if (state) *state = op->state;
    return op->status;
}

int ReplayTransport::FlushBuffers(F32xHandle handle) {
    return replayHandleOnly(SessionOpKind::kFlush, handle);
}

int ReplayTransport::Close(F32xHandle handle) {
    return replayHandleOnly(SessionOpKind::kClose, handle);
}

int ReplayTransport::replayHandleOnly(SessionOpKind kind, F32xHandle handle) {
    SessionOp call;
    call.kind = kind;
    call.handle = handle;
    const SessionOp* op = next(call);
    return op ? op->status : kF32xIoFailed;
}

}  // namespace evkit
