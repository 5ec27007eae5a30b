// Instrument sessions: any byte stream from a client goes through the framer, the parser and
// the session state machine (authentication, error queue, formats, lock) without a crash, an
// answer without its newline, or an error queue past its capacity.
#include <cstdint>
#include <string>
#include <vector>

#include "scpi/client_session.h"
#include "scpi/message_framer.h"

namespace {

// A board that is never there: every board command fails with the link's own message.
class NoBoard : public evkit::F32x {
  public:
    int GetNumDevices(std::uint32_t* count) override { return *count = 0, 0; }
    int GetProductString(std::uint32_t, std::string*) override { return 1; }
    int Open(std::uint32_t, evkit::F32xHandle*) override { return 1; }
    int SetTimeouts(std::uint32_t, std::uint32_t) override { return 0; }
    int Write(evkit::F32xHandle, const std::uint8_t*, std::uint32_t, std::uint32_t*) override {
        return 1;
    }
    int Read(evkit::F32xHandle, std::uint8_t*, std::uint32_t, std::uint32_t*) override { return 1; }
    int CheckRXQueue(evkit::F32xHandle, std::uint32_t*, std::uint32_t*) override { return 1; }
    int FlushBuffers(evkit::F32xHandle) override { return 1; }
    int Close(evkit::F32xHandle) override { return 0; }
};

// Rows that take every kind of parameter, some of them through the board.
std::vector<evkit::scpi::CommandRow> rows() {
    using namespace evkit::scpi;
    auto r = commonRows();
    r.push_back({"TEST:INTeger?", Access::kLocal,
                 [](Call& c) {
                     c.expect(1, 3);
                     c.respond(std::to_string(c.integer(0, -1000000, 1000000)));
                 },
                 ""});
    r.push_back({"TEST:NUMBer", Access::kBoardWrite, [](Call& c) { c.number(0, -1e9, 1e9); }, ""});
    r.push_back({"TEST:CHOice?", Access::kLocal,
                 [](Call& c) {
                     c.respond(std::to_string(c.choice(0, {"ASCii", "INTeger", "SWAPped"})));
                 },
                 ""});
    r.push_back({"TEST:BLOCk?", Access::kLocal,
                 [](Call& c) {
                     c.expect(1, 1);
                     const std::string t = c.unit.params[0].text;
                     c.respondIntegers(std::vector<std::int32_t>(t.begin(), t.end()));
                 },
                 ""});
    r.push_back({"TEST:BOARD?", Access::kBoard,
                 [](Call& c) {
                     std::int32_t w = 0;
                     c.board(c.link().readRegister(1, 2, &w));
                     c.respond("x");
                 },
                 ""});
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace evkit;
    if (size < 1) return 0;
    NoBoard transport;
    VirtualClock clock;
    RecordingMessages fallback;
    scpi::JobMessages messages(&fallback);
    RecordingConsole console;
    NullPump pump;
    BoardLink link(transport, clock, messages, pump);
    Session session(link);
    scpi::InstrumentOptions options;
    options.readOnly = (data[0] & 1) != 0;
    if (data[0] & 2) options.token = "tok";
    scpi::Instrument instrument({session, link, console, pump, messages}, options, {}, rows());
    scpi::ClientSession a(instrument, 1, "a"), b(instrument, 2, "b");
    scpi::MessageFramer framer(512);
    std::vector<scpi::MessageFramer::Piece> pieces;
    framer.feed(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), pieces);
    int k = 0;
    for (const auto& p : pieces) {
        auto& s = (k++ & 1) ? b : a;
        if (p.overlong) {
            s.rejectOverlong();
            continue;
        }
        if (p.text.size() > 512) __builtin_trap();
        const auto availability = instrument.availabilityFor(s.state().id);
        s.needsBoard(p.text);
        const std::string out = s.execute(p.text, availability);
        if (!out.empty() && out.back() != '\n') __builtin_trap();
        if (s.state().errors.size() > scpi::ErrorQueue::kCapacity) __builtin_trap();
        if (s.state().closeRequested && s.state().authenticated) __builtin_trap();
    }
    if (framer.pending() > 512) __builtin_trap();
    return 0;
}
