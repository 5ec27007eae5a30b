#include "sim/virtual_board.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace evkit::sim {

namespace {
constexpr F32xHandle kHandle = 0x714;

// Answers of the timed measurement: three 24-bit counts after the gate time.
class TimedMeasurement : public Activity {
  public:
    TimedMeasurement(double due, std::array<std::uint32_t, 3> counts)
        : due_(due), counts_(counts) {}
    double nextTime() const override { return done_ ? kNever : due_; }
    std::vector<std::uint8_t> produce(VirtualBoard&) override {
        done_ = true;
        // Bytes 0..2 carry count 1, 3..5 count 0, 6..8 count 2 (the host's word order).
        std::vector<std::uint8_t> out;
        for (int idx : {1, 0, 2})
            for (int shift = 0; shift < 24; shift += 8)
                out.push_back(
                    static_cast<std::uint8_t>(counts_[static_cast<size_t>(idx)] >> shift));
        return out;
    }

  private:
    double due_;
    std::array<std::uint32_t, 3> counts_;
    bool done_ = false;
};
}  // namespace

VirtualBoard::VirtualBoard(Clock& clock, const std::string& variant)
    : clock_(clock),
      device_(findVariant(variant) ? *findVariant(variant) : *findVariant(kDefaultVariant)),
      modules_(standardModules()) {}

SignalSource VirtualBoard::signal() const {
    std::lock_guard lock(mutex_);
    return device_.signal;
}

void VirtualBoard::setSignal(const SignalSource& source) {
    std::lock_guard lock(mutex_);
    device_.signal = source;
}

ErrorModel VirtualBoard::errorModel() const {
    std::lock_guard lock(mutex_);
    return device_.errors;
}

void VirtualBoard::setErrorModel(const ErrorModel& errors) {
    std::lock_guard lock(mutex_);
    device_.errors = errors;
}

int VirtualBoard::checkHandle(F32xHandle handle) const {
    if (!plugged_) return kF32xDeviceNotFound;
    if (!open_ || handle != kHandle) return kF32xInvalidHandle;
    return kF32xOk;
}

int VirtualBoard::GetNumDevices(std::uint32_t* count) {
    std::lock_guard lock(mutex_);
    countCall();
    if (failCount_) {
        const int s = std::exchange(failCount_, 0);
        return s;
    }
    if (count) *count = plugged_ ? 1 : 0;
    return kF32xOk;
}

int VirtualBoard::GetProductString(std::uint32_t index, std::string* product) {
    std::lock_guard lock(mutex_);
    countCall();
    if (!plugged_ || index != 0) return kF32xDeviceNotFound;
    if (product) *product = kProductString;
    return kF32xOk;
}

int VirtualBoard::Open(std::uint32_t index, F32xHandle* handle) {
    std::lock_guard lock(mutex_);
    countCall();
    if (!plugged_ || index != 0) return kF32xDeviceNotFound;
    open_ = true;
    if (handle) *handle = kHandle;
    return kF32xOk;
}

int VirtualBoard::SetTimeouts(std::uint32_t readMs, std::uint32_t /*writeMs*/) {
    std::lock_guard lock(mutex_);
    countCall();
    readTimeout_ = readMs / 1000.0;
    return kF32xOk;
}

int VirtualBoard::Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                        std::uint32_t* written) {
    std::lock_guard lock(mutex_);
    countCall();
    if (written) *written = 0;
    if (int s = checkHandle(handle)) return s;
    if (failAll_) return kF32xWriteError;
    if (failWrite_) return std::exchange(failWrite_, 0);
    produceUntil(clock_.now());
    for (std::uint32_t i = 0; i < count; ++i) {
        partialFrame_.push_back(buffer[i]);
        if (partialFrame_.size() == 6) {
            Frame f;
            std::copy(partialFrame_.begin(), partialFrame_.end(), f.begin());
            partialFrame_.clear();
            frames_.push_back(f);
            handleFrame(f);
        }
    }
    if (written) *written = count;
    return kF32xOk;
}

int VirtualBoard::Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* read) {
    std::unique_lock lock(mutex_);
    countCall();
    if (read) *read = 0;
    if (int s = checkHandle(handle)) return s;
    if (failAll_) return kF32xReadError;
    if (failRead_) return std::exchange(failRead_, 0);
    const double deadline = clock_.now() + readTimeout_;
    for (;;) {
        produceUntil(clock_.now());
        if (queue_.size() >= count) break;
        const double next = stalled_ ? Activity::kNever : nextActivityTime();
        const double now = clock_.now();
        if (next > deadline) {
            lock.unlock();
            clock_.delay(deadline - now);
            lock.lock();
            produceUntil(clock_.now());
            if (queue_.size() >= count) break;
            return kF32xReadTimeout;
        }
        lock.unlock();
        clock_.delay(std::max(next - now, 1e-6));
        lock.lock();
        if (!plugged_) return kF32xDeviceNotFound;
    }
    std::uint32_t n = count;
    if (shortRead_) {
        shortRead_ = false;
        n = count > 0 ? count - 1 : 0;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        buffer[i] = queue_.front();
        queue_.pop_front();
    }
    if (read) *read = n;
    if (unplugAfterReads_ > 0 && --unplugAfterReads_ == 0) {
        unplugAfterReads_ = -1;
        plugged_ = false;
        open_ = false;
    }
    return kF32xOk;
}

int VirtualBoard::CheckRXQueue(F32xHandle handle, std::uint32_t* bytes, std::uint32_t* state) {
    std::lock_guard lock(mutex_);
    countCall();
    if (int s = checkHandle(handle)) return s;
    if (failQueue_) {
        if (state) *state = failQueueOverrun_ ? kRxOverrun : 0;
        return std::exchange(failQueue_, 0);
    }
    if (!stalled_) produceUntil(clock_.now());
    if (bytes) *bytes = static_cast<std::uint32_t>(queue_.size());
    if (state) *state = (queue_.empty() ? 0 : kRxReady) | (overrun_ ? kRxOverrun : 0);
    return kF32xOk;
}

int VirtualBoard::FlushBuffers(F32xHandle handle) {
    std::lock_guard lock(mutex_);
    countCall();
    if (int s = checkHandle(handle)) return s;
    if (failFlush_) return std::exchange(failFlush_, 0);
    produceUntil(clock_.now());
    queue_.clear();
    overrun_ = false;
    return kF32xOk;
}

int VirtualBoard::Close(F32xHandle handle) {
    std::lock_guard lock(mutex_);
    countCall();
    if (int s = checkHandle(handle)) return s;
    open_ = false;
    queue_.clear();
    partialFrame_.clear();
    activities_.clear();
    return kF32xOk;
}

void VirtualBoard::unplug() {
    std::lock_guard lock(mutex_);
    plugged_ = false;
    open_ = false;
    activities_.clear();
    queue_.clear();
}
void VirtualBoard::plug() {
    std::lock_guard lock(mutex_);
    plugged_ = true;
}
void VirtualBoard::unplugAfterReads(int reads) {
    std::lock_guard lock(mutex_);
    unplugAfterReads_ = reads;
}
void VirtualBoard::failNextWrite(int status) {
    std::lock_guard lock(mutex_);
    failWrite_ = status;
}
void VirtualBoard::failNextRead(int status) {
    std::lock_guard lock(mutex_);
    failRead_ = status;
}
void VirtualBoard::failNextFlush(int status) {
    std::lock_guard lock(mutex_);
    failFlush_ = status;
}
void VirtualBoard::failNextDeviceCount(int status) {
    std::lock_guard lock(mutex_);
    failCount_ = status;
}
void VirtualBoard::failNextQueueCheck(bool overrun, int status) {
    std::lock_guard lock(mutex_);
    failQueue_ = status;
    failQueueOverrun_ = overrun;
}
void VirtualBoard::stall(bool stalled) {
    std::lock_guard lock(mutex_);
    stalled_ = stalled;
}
void VirtualBoard::shortReadNext() {
    std::lock_guard lock(mutex_);
    shortRead_ = true;
}
void VirtualBoard::failAllIo(bool fail) {
    std::lock_guard lock(mutex_);
    failAll_ = fail;
}

void VirtualBoard::scheduleFault(const ScheduledFault& fault) {
    std::lock_guard lock(mutex_);
    scheduled_.push_back(fault);
}

std::uint64_t VirtualBoard::transportCalls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void VirtualBoard::countCall() {
    ++calls_;
    for (const auto& f : scheduled_) {
        if (f.call != calls_) continue;
        switch (f.kind) {
            case FaultKind::kUnplug:
                plugged_ = false;
                open_ = false;
                activities_.clear();
                queue_.clear();
                break;
            case FaultKind::kFailWrite:
                failWrite_ = kF32xWriteError;
                break;
            case FaultKind::kFailRead:
                failRead_ = kF32xReadError;
                break;
            case FaultKind::kFailFlush:
                failFlush_ = kF32xIoFailed;
                break;
            case FaultKind::kStall:
                stalled_ = true;
                break;
            case FaultKind::kShortRead:
                shortRead_ = true;
                break;
            case FaultKind::kOverrun:
                failQueue_ = kF32xIoFailed;
                failQueueOverrun_ = true;
                break;
        }
    }
}

namespace {
constexpr std::pair<const char*, FaultKind> kFaultNames[] = {
    {"unplug", FaultKind::kUnplug},      {"fail-write", FaultKind::kFailWrite},
    {"fail-read", FaultKind::kFailRead}, {"fail-flush", FaultKind::kFailFlush},
    {"stall", FaultKind::kStall},        {"short-read", FaultKind::kShortRead},
    {"overrun", FaultKind::kOverrun},
};
}  // namespace

std::string faultKindList() {
    std::string out;
    for (const auto& [name, kind] : kFaultNames)
        out += (out.empty() ? "" : ", ") + std::string(name);
    return out;
}

std::optional<ScheduledFault> parseFault(const std::string& text, std::string* error) {
    const auto fail = [&](const std::string& why) -> std::optional<ScheduledFault> {
        if (error) *error = "fault '" + text + "': " + why;
        return std::nullopt;
    };
    const auto at = text.find('@');
    if (at == std::string::npos) return fail("not KIND@N");
    const std::string name = text.substr(0, at);
    const std::string number = text.substr(at + 1);
    ScheduledFault f;
    bool known = false;
    for (const auto& [n, kind] : kFaultNames)
        if (name == n) {
            f.kind = kind;
            known = true;
        }
    if (!known) return fail("unknown kind (use one of " + faultKindList() + ")");
    if (number.empty() || number.size() > 18 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return fail("N must be a transport operation number, 1 or more");
    f.call = std::stoull(number);
    if (f.call == 0) return fail("N must be a transport operation number, 1 or more");
    return f;
}

void VirtualBoard::startActivity(std::unique_ptr<Activity> activity) {
    std::lock_guard lock(mutex_);
    activities_.push_back(std::move(activity));
}

void VirtualBoard::stopActivities() {
    std::lock_guard lock(mutex_);
    activities_.clear();
}

void VirtualBoard::answer(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    if (stalled_) return;  // a hung firmware answers nothing
    for (auto b : bytes) {
        if (queue_.size() >= kQueueCapacity) {
            overrun_ = true;
            return;
        }
        queue_.push_back(b);
    }
}

std::vector<Frame> VirtualBoard::framesReceived() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

void VirtualBoard::clearFramesReceived() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

double VirtualBoard::nextActivityTime() const {
    double next = Activity::kNever;
    for (const auto& a : activities_) next = std::min(next, a->nextTime());
    return next;
}

void VirtualBoard::produceUntil(double t) {
    if (stalled_) return;
    for (;;) {
        Activity* earliest = nullptr;
        for (auto& a : activities_)
            if (!earliest || a->nextTime() < earliest->nextTime()) earliest = a.get();
        if (!earliest || earliest->nextTime() > t) break;
        answer(earliest->produce(*this));
    }
    std::erase_if(activities_, [](const auto& a) { return a->nextTime() == Activity::kNever; });
}

void VirtualBoard::handleFrame(const Frame& f) {
    for (auto& m : modules_)
        if (m->onFrame(*this, f)) return;
    const int b = f[0];
    const std::uint32_t data = f[1] | (f[2] << 8) | (f[3] << 16);
    if (b <= 62) {
        // Register read: 3 bytes, or 4 when byte 5 asks for the wide word.
        const std::uint32_t word = device_.busRead(b >> 1);
        std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(word),
                                         static_cast<std::uint8_t>(word >> 8),
                                         static_cast<std::uint8_t>(word >> 16)};
        if (f[5] == 1) out.push_back(static_cast<std::uint8_t>(word >> 24));
        answer(out);
    } else if (b >= 64 && b <= 126) {
        const int address = (b - 64) >> 1;
        const int page = device_.page;
        device_.busWrite(address, data);
        for (auto& m : modules_) m->onRegisterWrite(*this, page, address, data);
    } else if (b == 245) {
        answer({'7', '1', '4'});  // board firmware identification bytes
    } else if (b == 246) {
        const double gate = data * 0.02;
        std::array<std::uint32_t, 3> counts{0, 0, 0};
        for (auto& m : modules_)
            if (m->pulseCounts(*this, gate, counts)) break;
        activities_.push_back(std::make_unique<TimedMeasurement>(clock_.now() + gate, counts));
    } else if (b == 0xA0) {
        activities_.clear();  // halt whatever the firmware is streaming
    } else if (b == 0xF4) {
        activities_.clear();
        device_.powerOn();
    }
    // Every other frame is ignored, as the board's firmware does.
}

}  // namespace evkit::sim
