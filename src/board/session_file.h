#pragma once
// Session files: every transport operation of a run, one operation a line, so that a run
// on a real board can be replayed anywhere (see the README, "Recording a session").
//
//   EVKIT714 session 1
//   program evkit714-cli 3.0.2 (git 1a2b3c4d5e)
//   board usb                                  (or "virtual")
//   1 0.000000000 count = 0 1
//   2 0.000000000 product 0 = 0 "EVKIT714 USB Board"
//   3 0.000000000 open 0 = 0 1
//   4 0.000000000 timeouts 987 876 = 0
//   5 0.000000000 flush 1 = 0
//   6 0.000000000 write 1 7e0000000000 = 0 6
//   7 0.010000000 read 1 3 = 0 3 c3a500
//   8 0.011000000 rxqueue 1 = 0 60 2
//   9 0.011000000 close 1 = 0
//   end 9 1c291ca3
//
// An operation line is: its number (from 1), the time since the start of the recording at
// which it returned (seconds, nine decimals), the operation and its arguments, "=", the
// status and the results. Bytes are lower-case hex ("-" for none); texts are quoted, with
// \" \\ and \xHH for anything outside printable ASCII. A line may end with
// `detail "TEXT"`: the transport's explanation of a failure, from then on. The closing
// line holds the number of operations and the CRC-32 of every byte before it; a file
// without it was cut off.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace evkit {

enum class SessionOpKind {
    kCount,
    kProduct,
    kOpen,
    kTimeouts,
    kWrite,
    kRead,
    kRxQueue,
    kFlush,
    kClose
};

struct SessionOp {
    SessionOpKind kind = SessionOpKind::kCount;
    std::int64_t timeNs = 0;  // since the start of the recording, when the operation returned

    // Arguments: `index` (product, open), `handle` (write, read, rxqueue, flush, close),
    // `first`/`second` (timeouts: read and write ms; read: the byte count), `bytes` (write).
    std::uint32_t index = 0;
    std::uint64_t handle = 0;
    std::uint32_t first = 0, second = 0;
    std::vector<std::uint8_t> bytes;

    // Results: `status`; `value` (count: boards; open: the handle; write: bytes written;
    // read: bytes read; rxqueue: bytes queued) and `state` (rxqueue); `data` (read: the
    // bytes read; product: the string).
    int status = 0;
    std::uint64_t value = 0;
    std::uint32_t state = 0;
    std::vector<std::uint8_t> data;
    std::optional<std::string> detail;

    bool operator==(const SessionOp&) const = default;
};

struct SessionFile {
    std::string program;     // the program and version that recorded it
    bool simulated = false;  // recorded on the virtual board
    std::vector<SessionOp> ops;
};

inline constexpr const char* kSessionMagic = "EVKIT714 session 1";
// Bounds that keep a damaged file from asking for absurd amounts of memory.
inline constexpr std::size_t kSessionMaxBytesPerOp = 65536;
inline constexpr std::size_t kSessionMaxLine = 4 * kSessionMaxBytesPerOp;

// The operation's name as it appears in the file ("write").
const char* sessionOpName(SessionOpKind kind);
// The operation and its arguments as in the file ("write 1 7e0100000000"), for messages.
std::string describeSessionCall(const SessionOp& op);

// The file's first lines (up to and including "board ...").
std::string formatSessionHeader(const std::string& program, bool simulated);
// One operation line, numbered `number`, with its newline.
std::string formatSessionOp(std::uint64_t number, const SessionOp& op);
// The closing line for `text` (everything before it) holding `count` operations.
std::string formatSessionEnd(std::string_view text, std::uint64_t count);

// Parses a whole session file (uncompressed). False, with `error` naming the line and the
// fault, for anything but a complete, well-formed file.
bool parseSessionText(std::string_view text, SessionFile* out, std::string* error);

// "stall" -> "\"stall\"" with the escapes above.
std::string quoteSessionText(std::string_view text);

}  // namespace evkit
