#pragma once
// Which board a program talks to: "usb" (a real board: the last one listed, or the one
// chosen by "usb:SERIAL" or "usb@PORT"), "sim[:VARIANT]" (the virtual board) or
// "replay:FILE" (a recorded session played back).
#include <memory>
#include <optional>
#include <string>

#include "board/replay_transport.h"
#include "board/transport.h"
#include "board/usb_transport.h"
#include "support/clock.h"

namespace evkit {

struct BoardSelection {
    bool simulated = false;
    std::string variant;  // virtual board variant, empty = default
    // Real boards: the --usb-id text (empty: not given). The ID is resolved from it, the
    // environment and the configuration file by resolveUsbId (board/usb_id.h).
    std::string usbIdOption;
    // Real boards: which of several attached boards; empty: the last one listed.
    UsbBoardSelector usbBoard;
    // A session file to play back instead of a board; empty: none.
    std::string replayFile;
    ReplayTiming replayTiming = ReplayTiming::kInstant;

    bool replay() const { return !replayFile.empty(); }
    bool usb() const { return !simulated && !replay(); }
};

// nullopt when the text names no board; `error` then says why.
std::optional<BoardSelection> parseBoardSelection(const std::string& text, std::string* error);

// The transport for a selection. The virtual board keeps time with `clock`; a replay moves
// a virtual `clock` on to the recorded times. Null when a session file cannot be replayed
// (`error` then says why).
std::unique_ptr<F32x> createTransport(const BoardSelection& selection, Clock& clock,
                                      std::string* error = nullptr);

// When `transport` is a real-board transport that took the last of several attached boards
// because none was chosen: which one it took and how to choose; empty otherwise.
std::string severalBoardsNote(F32x& transport);

}  // namespace evkit
