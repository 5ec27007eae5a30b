#include "app/board_choice.h"

#include <QFileInfo>

#include "board/replay_transport.h"
#include "board/usb_transport.h"

namespace evkit::app {

void connectBoardChoice(StartWindow& start, const BoardSelection& selection,
                        std::function<F32x*()> transport, Messages& messages) {
    if (selection.replay()) {
        const std::string file =
            QFileInfo(QString::fromStdString(selection.replayFile)).fileName().toStdString();
        if (auto* replay = dynamic_cast<ReplayTransport*>(transport())) {
            start.modeName = "Replay of " + file + " (recorded " +
                             (replay->simulated() ? "on the virtual board" : "on a USB board") +
                             ", no hardware)";
            replay->onDivergence = [&messages](const std::string& text) {
                messages.show("Error Message", text);
            };
        }
        return;
    }
    if (!selection.usb()) return;
    // A board named on the command line is the one; otherwise the user chooses among several.
    if (selection.usbBoard.empty()) {
        start.listBoards = [transport] {
            std::vector<UsbDeviceInfo> boards;
            auto* usb = dynamic_cast<UsbTransport*>(transport());
            if (usb && usb->setting().id)
                UsbTransport::listBoards(*usb->setting().id, &boards, nullptr);
            return boards;
        };
        start.useBoard = [transport](const UsbDeviceInfo& board) {
            if (auto* usb = dynamic_cast<UsbTransport*>(transport()))
                usb->setSelector(board.serial.empty() ? UsbBoardSelector{"", board.port}
                                                      : UsbBoardSelector{board.serial, ""});
        };
    }
    start.boardName = [transport] {
        UsbDeviceInfo open;
        auto* usb = dynamic_cast<UsbTransport*>(transport());
        if (!usb || !usb->openBoardInfo(&open)) return std::string();
        return open.serial.empty() ? open.port : open.serial;
    };
}

}  // namespace evkit::app
