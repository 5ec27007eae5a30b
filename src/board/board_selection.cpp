#include "board/board_selection.h"

#include "board/usb_transport.h"
#include "sim/virtual_board.h"

namespace evkit {

std::optional<BoardSelection> parseBoardSelection(const std::string& text, std::string* error) {
    BoardSelection out;
    if (text == "usb") return out;
    if (text == "sim" || text.rfind("sim:", 0) == 0) {
        out.simulated = true;
        if (text.size() > 4) {
            out.variant = text.substr(4);
            if (!sim::findVariant(out.variant)) {
                if (error) {
                    *error = "unknown virtual board variant '" + out.variant + "' (known:";
                    for (const auto& v : sim::variants()) *error += " " + v.name;
                    *error += ")";
                }
                return std::nullopt;
            }
        }
        return out;
    }
    if (error) *error = "unknown board '" + text + "' (use usb or sim[:VARIANT])";
    return std::nullopt;
}

std::unique_ptr<F32x> createTransport(const BoardSelection& selection, Clock& clock) {
    if (selection.simulated) {
        auto board = std::make_unique<sim::VirtualBoard>(
            clock, selection.variant.empty() ? sim::kDefaultVariant : selection.variant);
        // A plausible uncalibrated part, as a board fresh from the bench (--sim-ideal: none).
        board->setErrorModel(sim::uncalibratedPart());
        return board;
    }
    return std::make_unique<UsbTransport>(resolveUsbId(selection.usbIdOption));
}

}  // namespace evkit
