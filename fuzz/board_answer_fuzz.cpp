// The board's answers: register words, the board query, the timed measurement, sample
// packets and result records, taken from arbitrary bytes through the command layer. Short,
// failing or odd answers must give statuses and messages, never a crash or a read past a
// buffer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "board/board_link.h"
#include "board/connection.h"
#include "collection/capture.h"
#include "conversion/record.h"
#include "support/clock.h"
#include "support/messages.h"
#include "support/pump.h"

namespace {

// A transport whose answers (and failures) come from the fuzzer's bytes.
class FuzzTransport : public evkit::F32x {
  public:
    FuzzTransport(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    int GetNumDevices(std::uint32_t* count) override {
        *count = take() % 4 == 0 ? 0 : 1;
        return 0;
    }
    int GetProductString(std::uint32_t, std::string* p) override {
        *p = "fuzz";
        return 0;
    }
    int Open(std::uint32_t, evkit::F32xHandle* h) override {
        *h = 1;
        return 0;
    }
    int SetTimeouts(std::uint32_t, std::uint32_t) override { return 0; }
    int Write(evkit::F32xHandle, const std::uint8_t*, std::uint32_t count,
              std::uint32_t* written) override {
        *written = count;
        return take() == 0xFF ? evkit::kF32xWriteError : 0;
    }
    int Read(evkit::F32xHandle, std::uint8_t* buffer, std::uint32_t count,
             std::uint32_t* read) override {
        if (at_ >= size_) return evkit::kF32xReadTimeout;
        const std::uint32_t n =
            static_cast<std::uint32_t>(std::min<std::size_t>(count, size_ - at_));
        std::memcpy(buffer, data_ + at_, n);
        at_ += n;
        *read = n;
        return 0;
    }
    int CheckRXQueue(evkit::F32xHandle, std::uint32_t* bytes, std::uint32_t* state) override {
        *bytes = static_cast<std::uint32_t>(size_ - at_);
        *state = take() & 3;
        return at_ >= size_ ? evkit::kF32xIoFailed : 0;
    }
    int FlushBuffers(evkit::F32xHandle) override { return at_ >= size_ ? evkit::kF32xIoFailed : 0; }
    int Close(evkit::F32xHandle) override { return 0; }

  private:
    std::uint8_t take() { return at_ < size_ ? data_[at_++] : 0; }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace evkit;
    // Packets and records straight from the bytes.
    for (std::size_t at = 0; at + 60 <= size; at += 60) {
        std::int32_t codes[collection::kValuesPerPacket];
        collection::decodePacket(data + at, codes);
        for (std::int32_t c : codes)
            if (c < -8388608 || c > 8388607) __builtin_trap();
        const auto values = conversion::decodeRecord(data + at);
        (void)values;
    }
    // The same bytes as the answers of a session's commands.
    FuzzTransport transport(data, size);
    VirtualClock clock;
    RecordingMessages messages;
    NullPump pump;
    BoardLink link(transport, clock, messages, pump);
    if (open_board(link, nullptr) != 0) return 0;
    int status = 0;
    query_board_id(link, &status);
    const DeviceIdentity id = autodetect_device(link);
    if (id.status == 0 && id.chip != 0 && id.chip != 10 && id.chip != 11 && id.chip != 12 &&
        id.chip != 13 && id.chip != 14 && id.chip != 17)
        __builtin_trap();
    std::int32_t word = 0;
    link.readRegister(1, 22, &word, 32);
    link.readRegister(0, 15, &word);
    if (link.readRegister(0, 0, &word) == 0 && (static_cast<std::uint32_t>(word) >> 24) != 0)
        __builtin_trap();
    std::int32_t counts[3] = {0, 0, 0};
    link.timedMeasurement(50, counts);
    return 0;
}
