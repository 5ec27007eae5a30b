#pragma once
// A fresh session over a virtual board on virtual time, with recorded messages:
//   SimRig rig;            // PM7014-C, not yet open
//   SimRig rig("PM7010A"); rig.open();
#include <memory>
#include <string>

#include "board/board_link.h"
#include "board/connection.h"
#include "board/session.h"
#include "sim/virtual_board.h"
#include "support/clock.h"
#include "support/console.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit::test {

struct SimRig {
    explicit SimRig(const std::string& variant = sim::kDefaultVariant)
        : board(clock, variant), link(board, clock, messages, pump), session(link) {}

    // Opens the board as the connection does; asserts nothing, returns the status.
    int open() {
        const int s = open_board(link, &session.DeviceString);
        if (s == 0) session.port_number = kPortUsb;
        return s;
    }
    // Frames written since the last call, as "7e 01 00 00 00 00" strings.
    std::vector<std::string> takeFrames();

    VirtualClock clock;
    sim::VirtualBoard board;
    RecordingMessages messages;
    RecordingConsole console;
    NullPump pump;
    BoardLink link;
    Session session;
};

}  // namespace evkit::test
