#include "board/recording_transport.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "board/session_storage.h"
#include "support/file_writer.h"

namespace evkit {

namespace {
// The journal is appended to after this many operations, and after every failure.
constexpr std::size_t kJournalBatch = 16;
}  // namespace

RecordingTransport::RecordingTransport(F32x& inner, Clock& clock, std::string path,
                                       const std::string& program)
    : inner_(&inner), clock_(clock), path_(std::move(path)), start_(clock.now()) {
    text_ = formatSessionHeader(program, inner_->simulated());
    journalOk_ = writeFileAtomically(journalPath(), text_);
}

RecordingTransport::~RecordingTransport() {
    if (!finished_) finish(nullptr);
}

std::uint64_t RecordingTransport::operations() const {
    std::lock_guard lock(mutex_);
    return count_;
}

void RecordingTransport::record(SessionOp op) {
    const double elapsed = clock_.now() - start_;
    op.timeNs = std::max<std::int64_t>(0, std::llround(elapsed * 1e9));
    std::string detail = inner_->errorDetail();
    std::lock_guard lock(mutex_);
    if (finished_) return;
    if (detail != lastDetail_) {
        op.detail = detail;
        lastDetail_ = std::move(detail);
    }
    const std::string line = formatSessionOp(++count_, op);
    text_ += line;
    pending_ += line;
    flushJournal(op.status != 0 || count_ % kJournalBatch == 0);
}

void RecordingTransport::flushJournal(bool force) {
    if (!force || pending_.empty()) return;
    if (journalOk_) journalOk_ = appendToFile(journalPath(), pending_);
    pending_.clear();
}

bool RecordingTransport::finish(std::string* error) {
    std::lock_guard lock(mutex_);
    if (finished_) return true;
    finished_ = true;
    flushJournal(true);
    const std::string end = formatSessionEnd(text_, count_);
    std::string why;
    if (!writeSessionFile(path_, text_ + end, &why)) {
        if (error) *error = fileWriteErrorText(path_, why);
        return false;
    }
    ::unlink(journalPath().c_str());
    return true;
}

int RecordingTransport::GetNumDevices(std::uint32_t* count) {
    std::uint32_t n = 0;
    SessionOp op;
    op.kind = SessionOpKind::kCount;
    const int status = inner_->GetNumDevices(&n);
    op.status = status;
    op.value = n;
    if (count) *count = n;
    record(std::move(op));
    return status;
}

int RecordingTransport::GetProductString(std::uint32_t index, std::string* product) {
    std::string text;
    SessionOp op;
    op.kind = SessionOpKind::kProduct;
    op.index = index;
    const int status = inner_->GetProductString(index, &text);
    op.status = status;
    op.data.assign(text.begin(), text.end());
    if (product) *product = text;
    record(std::move(op));
    return status;
}

int RecordingTransport::Open(std::uint32_t index, F32xHandle* handle) {
    F32xHandle h = 0;
    SessionOp op;
    op.kind = SessionOpKind::kOpen;
    op.index = index;
    const int status = inner_->Open(index, &h);
    op.status = status;
    op.value = h;
    if (handle) *handle = h;
    record(std::move(op));
    return status;
}

int RecordingTransport::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    SessionOp op;
    op.kind = SessionOpKind::kTimeouts;
    op.first = readMs;
    op.second = writeMs;
    const int status = inner_->SetTimeouts(readMs, writeMs);
    op.status = status;
    record(std::move(op));
    return status;
}

int RecordingTransport::Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                              std::uint32_t* written) {
    std::uint32_t n = 0;
    SessionOp op;
    op.kind = SessionOpKind::kWrite;
    op.handle = handle;
    if (buffer)
        op.bytes.assign(buffer, buffer + std::min<std::size_t>(count, kSessionMaxBytesPerOp));
    const int status = inner_->Write(handle, buffer, count, &n);
    op.status = status;
    op.value = n;
    if (written) *written = n;
    record(std::move(op));
    return status;
}

int RecordingTransport::Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
                             std::uint32_t* read) {
    std::uint32_t got = 0;
    SessionOp op;
    op.kind = SessionOpKind::kRead;
    op.handle = handle;
    op.first = count;
    const int status = inner_->Read(handle, buffer, count, &got);
    op.status = status;
    op.value = got;
    if (buffer) {
        const std::size_t n = std::min<std::size_t>({got, count, kSessionMaxBytesPerOp});
        op.data.assign(buffer, buffer + n);
    }
    if (read) *read = got;
    record(std::move(op));
    return status;
}

int RecordingTransport::CheckRXQueue(F32xHandle handle, std::uint32_t* bytes,
                                     std::uint32_t* state) {
    std::uint32_t b = 0, s = 0;
    SessionOp op;
    op.kind = SessionOpKind::kRxQueue;
    op.handle = handle;
    const int status = inner_->CheckRXQueue(handle, &b, &s);
    op.status = status;
    op.value = b;
    op.state = s;
    if (bytes) *bytes = b;
    if (state) *state = s;
    record(std::move(op));
    return status;
}

int RecordingTransport::FlushBuffers(F32xHandle handle) {
    return recordHandleOnly(SessionOpKind::kFlush, handle, inner_->FlushBuffers(handle));
}

int RecordingTransport::Close(F32xHandle handle) {
    return recordHandleOnly(SessionOpKind::kClose, handle, inner_->Close(handle));
}

int RecordingTransport::recordHandleOnly(SessionOpKind kind, F32xHandle handle, int status) {
    SessionOp op;
    op.kind = kind;
    op.handle = handle;
    op.status = status;
    record(std::move(op));
    return status;
}

}  // namespace evkit
