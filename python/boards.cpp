// Several boards and recorded sessions: the attached boards (evkit714.boards()), which one
// a Board has open, and the end of a recording or a replay when the board is closed.
#include <pybind11/stl.h>

#include "board.h"
#include "board/usb_transport.h"

namespace evkit::python {

namespace {

py::dict boardDict(const UsbDeviceInfo& d) {
    py::dict out;
    out["port"] = d.port;
    out["bus"] = d.bus;
    out["address"] = d.address;
    out["usb_id"] = formatUsbId(d.id);
    out["product"] = d.product;
    out["serial"] = d.serial;
    out["problem"] = d.problem;
    return out;
}

py::list attachedBoards(const std::optional<std::string>& usbId) {
    if (usbId && !parseUsbId(*usbId)) valueError("usb_id '" + *usbId + "' is not VID:PID (hex)");
    const UsbIdSetting setting = resolveUsbId(usbId.value_or(""));
    if (!setting.id) valueError(setting.problem.empty() ? usbIdHowTo() : setting.problem);
    std::vector<UsbDeviceInfo> found;
    std::string problem;
    int status = 0;
    {
        py::gil_scoped_release release;
        status = UsbTransport::listBoards(*setting.id, &found, &problem);
    }
    if (status != 0) osError(problem);
    py::list out;
    for (std::size_t i = 0; i < found.size(); ++i) {
        py::dict d = boardDict(found[i]);
        d["default"] = i + 1 == found.size();  // the one open("usb") takes
        out.append(d);
    }
    return out;
}

}  // namespace

void Board::finishSession(bool check, bool reported) {
    if (recorder_) {
        std::string error;
        if (!recorder_->finish(&error) && check) osError(error);
    }
    if (replay_) {
        if (!replay_->finish() && !reported && check)
            raiseBoardError(kF32xIoFailed, {{msg::kErrorTitle, replay_->divergence()}}, {});
    }
}

void registerBoards(py::module_& m, BoardClass& board) {
    m.def("boards", &attachedBoards, py::arg("usb_id") = py::none(),
          "Every attached board (USB devices with the board ID): dicts with port, bus, address, "
          "usb_id, product, serial, problem and default (the one open('usb') takes).");
    board.def_property_readonly(
        "usb_board",
        [](const Board& b) -> py::object {
            auto* usb = dynamic_cast<UsbTransport*>(b.base_.get());
            UsbDeviceInfo info;
            if (!usb || !usb->openBoardInfo(&info)) return py::none();
            return boardDict(info);
        },
        "The open USB board's port, address, product and serial (None for other boards).");
    board.def_property_readonly(
        "recording",
        [](const Board& b) -> py::object {
            if (!b.recorder_) return py::none();
            return py::str(b.recorder_->path());
        },
        "The path the session is recorded in (open(record=PATH)), or None.");
}

}  // namespace evkit::python
