#pragma once
// An instrument over a fresh virtual board on virtual time, and client sessions on it.
#include <memory>
#include <string>

#include "board/connection.h"
#include "scpi/client_session.h"
#include "scpi/instrument.h"
#include "sim/virtual_board.h"
#include "support/clock.h"
#include "support/console.h"
#include "support/pump.h"

namespace evkit::test {

struct ScpiRig {
    explicit ScpiRig(scpi::InstrumentOptions options = {})
        : board(clock, sim::kDefaultVariant),
          messages(&fallback),
          link(board, clock, messages, pump),
          session(link) {
        open_board(link, &session.DeviceString);
        session.port_number = kPortUsb;
        scpi::Identity id;
        id.model = "PM7014 Rev C";
        id.serial = "EVK-TEST-0001";
        id.version = "3.0.2";
        instrument = std::make_unique<scpi::Instrument>(
            scpi::BoardContext{session, link, console, pump, messages}, options, id);
        board.clearFramesReceived();
    }
    scpi::ClientSession client(std::uint64_t id) {
        return scpi::ClientSession(*instrument, id, "127.0.0.1:" + std::to_string(40000 + id));
    }
    std::size_t framesSent() {
        const auto n = board.framesReceived().size();
        board.clearFramesReceived();
        return n;
    }

    VirtualClock clock;
    sim::VirtualBoard board;
    RecordingMessages fallback;
    scpi::JobMessages messages;
    RecordingConsole console;
    NullPump pump;
    BoardLink link;
    Session session;
    std::unique_ptr<scpi::Instrument> instrument;
};

// Runs one message with the board free for this client.
inline std::string run(scpi::ClientSession& c, const std::string& message) {
    return c.execute(message, scpi::Instrument::Availability::kFree);
}

}  // namespace evkit::test
