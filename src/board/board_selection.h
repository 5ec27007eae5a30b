#pragma once
// Which board a program talks to: "usb" (a real board) or "sim[:VARIANT]" (the virtual board).
#include <memory>
#include <optional>
#include <string>

#include "board/transport.h"
#include "support/clock.h"

namespace evkit {

struct BoardSelection {
    bool simulated = false;
    std::string variant;  // virtual board variant, empty = default
    // Real boards: the --usb-id text (empty: not given). The ID is resolved from it, the
    // environment and the configuration file by resolveUsbId (board/usb_id.h).
    std::string usbIdOption;
};

// nullopt when the text names no board; `error` then says why.
std::optional<BoardSelection> parseBoardSelection(const std::string& text, std::string* error);

// The transport for a selection. The virtual board keeps time with `clock`.
std::unique_ptr<F32x> createTransport(const BoardSelection& selection, Clock& clock);

}  // namespace evkit
