#include "board/board_selection.h"

#include <cstdio>

#include "board/session_storage.h"
#include "sim/virtual_board.h"

namespace evkit {

namespace {
// "text" in double quotes (built by appending: GCC 12 warns wrongly on "\"" + s + "\"").
std::string quoted(const std::string& text) {
    std::string out(1, '"');
    out += text;
    out += '"';
    return out;
}
}  // namespace

std::optional<BoardSelection> parseBoardSelection(const std::string& text, std::string* error) {
    BoardSelection out;
    const auto fail = [error](const std::string& why) -> std::optional<BoardSelection> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (text == "usb") return out;
    if (text.rfind("usb:", 0) == 0 || text.rfind("usb@", 0) == 0) {
        const std::string value = text.substr(4);
        if (value.empty())
            return fail("'" + text + "' names no board (usb:SERIAL or usb@PORT, e.g. usb@1-4.2)");
        (text[3] == ':' ? out.usbBoard.serial : out.usbBoard.port) = value;
        return out;
    }
    if (text.rfind("replay:", 0) == 0) {
        out.replayFile = text.substr(7);
        if (out.replayFile.empty()) return fail("'replay:' names no session file");
        return out;
    }
    if (text == "sim" || text.rfind("sim:", 0) == 0) {
        out.simulated = true;
        if (text.size() > 4) {
            out.variant = text.substr(4);
            if (!sim::findVariant(out.variant)) {
                std::string why = "unknown virtual board variant '" + out.variant + "' (known:";
                for (const auto& v : sim::variants()) why += " " + v.name;
                return fail(why + ")");
            }
        }
        return out;
    }
    return fail("unknown board '" + text +
                "' (use usb, usb:SERIAL, usb@PORT, sim[:VARIANT] or replay:FILE)");
}

std::unique_ptr<F32x> createTransport(const BoardSelection& selection, Clock& clock,
                                      std::string* error) {
    if (selection.simulated) {
        auto board = std::make_unique<sim::VirtualBoard>(
            clock, selection.variant.empty() ? sim::kDefaultVariant : selection.variant);
        // A plausible uncalibrated part, as a board fresh from the bench (--sim-ideal: none).
        board->setErrorModel(sim::uncalibratedPart());
        return board;
    }
    if (selection.replay()) {
        SessionFile session;
        if (!readSessionFile(selection.replayFile, &session, error)) return nullptr;
        return std::make_unique<ReplayTransport>(std::move(session), clock, selection.replayTiming);
    }
    return std::make_unique<UsbTransport>(resolveUsbId(selection.usbIdOption), true,
                                          selection.usbBoard);
}

std::string severalBoardsNote(F32x& transport) {
    auto* usb = dynamic_cast<UsbTransport*>(&transport);
    if (!usb || !usb->selector().empty()) return {};
    std::uint32_t count = 0;
    UsbDeviceInfo open;
    if (usb->GetNumDevices(&count) != 0 || count < 2 || !usb->openBoardInfo(&open)) return {};
    char where[16];
    std::snprintf(where, sizeof where, "%03d:%03d", open.bus, open.address);
    std::string text = std::to_string(count);
    text += " boards are attached; using the last one listed, at port ";
    text += open.port;
    text += " (device ";
    text += where;
    text += ", serial ";
    text += open.serial.empty() ? std::string("none") : quoted(escapeUsbString(open.serial));
    text +=
        "). Choose one with --board usb:SERIAL or --board usb@PORT ('evkit714-cli boards' "
        "lists them).";
    return text;
}

}  // namespace evkit
