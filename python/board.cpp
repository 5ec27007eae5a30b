// The board itself: opening, identification, registers, EEPROM, the virtual board's faults
// and the frame trace.
#include "board.h"

#include <pybind11/stl.h>

#include <algorithm>

#include "arrays.h"
#include "board/board_selection.h"
#include "board/usb_id.h"
#include "diagnostics/eeprom.h"
#include "diagnostics/register_debug.h"
#include "registers/word.h"
#include "sim/variants.h"
#include "sim/virtual_board.h"

namespace evkit::python {

Board::Board(const std::string& boardText, const std::optional<std::string>& usbId, bool realtime,
             const std::vector<std::string>& faults, bool trace) {
    std::string error;
    auto selection = parseBoardSelection(boardText, &error);
    if (!selection) valueError(error);
    if (usbId) {
        if (selection->simulated) valueError("usb_id applies to usb boards only");
        if (!parseUsbId(*usbId)) valueError("usb_id '" + *usbId + "' is not VID:PID (hex)");
        selection->usbIdOption = *usbId;
    }
    if (!faults.empty() && !selection->simulated)
        valueError("faults can only be injected into the virtual board");
    for (const auto& f : faults) checkFault(f);
    simulated_ = selection->simulated;
    variant_ = selection->variant.empty() && simulated_ ? sim::kDefaultVariant : selection->variant;
    tracing_ = trace;
    if (simulated_ && !realtime)
        clock_ = std::make_unique<VirtualClock>();
    else
        clock_ = std::make_unique<SystemClock>();
    base_ = createTransport(*selection, *clock_);
    tracer_ = std::make_unique<TracingTransport>(*base_, [this](const std::string& line) {
        if (!tracing_) return;
        std::lock_guard lock(traceMutex_);
        trace_.push_back(line);
    });
    link_ = std::make_unique<BoardLink>(*tracer_, *clock_, messages_, pump_);
    session_ = std::make_unique<Session>(*link_);
    data_ = std::make_unique<DataCollection>(*session_);
    temperature_ = std::make_unique<temperature::TemperatureSettings>(*link_);
    setup_ = std::make_unique<setup::SetupModel>(*session_, messages_);

    call([this] { return open_board(*link_, &session_->DeviceString); });
    session_->port_number = kPortUsb;
    open_ = true;
    identify();
    for (const auto& f : faults) injectFault(f);
}

void Board::ensureOpen() const {
    if (!open_) throw py::value_error("the board is closed");
    if (monitorRunning_)
        throw py::value_error("a monitor run owns the board; close its iterator first");
}

void Board::closeQuietly() {
    if (!open_) return;
    open_ = false;
    if (link_->cyHandle) link_->transport().Close(link_->cyHandle);
    link_->cyHandle = 0;
}

void Board::close() {
    stopMonitor();
    closeQuietly();
}

py::dict Board::identify() {
    ensureOpen();
    std::array<std::string, 3> ids;
    DeviceIdentity id;
    call([&] {
        ids = query_board_id(*link_);
        id = autodetect_device(*link_);
        return 0;
    });
    session_->chip = id.chip;
    py::dict d;
    d["chip"] = id.chip;
    d["device"] = id.name;
    d["board_id"] = ids[0] + " " + ids[1] + " " + ids[2];
    d["board_ids"] = py::make_tuple(ids[0], ids[1], ids[2]);
    d["product"] = session_->DeviceString;
    return d;
}

void Board::checkPageAddress(int page, int address) {
    if (page < 0 || page > 255) valueError("page must be 0..255");
    if (address < 0 || address > 31) valueError("address must be 0..31");
}

std::uint32_t Board::checkWord(long long word, long long max) {
    if (word < 0 || word > max)
        valueError(max == 0xFFFFFF ? "word must fit in 24 bits (0..0xffffff)"
                                   : "value must be 0.." + std::to_string(max));
    return static_cast<std::uint32_t>(word);
}

std::uint32_t Board::read(int page, int address, int width) {
    checkPageAddress(page, address);
    if (width != 24 && width != 32) valueError("width must be 24 or 32");
    ensureOpen();
    std::int32_t word = 0;
    call([&] { return link_->readRegister(page, address, &word, width); });
    return width == 32 ? static_cast<std::uint32_t>(word)
                       : static_cast<std::uint32_t>(word) & 0xFFFFFF;
}

void Board::write(int page, int address, long long word) {
    checkPageAddress(page, address);
    const auto w = checkWord(word);
    ensureOpen();
    call([&] { return link_->writeRegister(page, address, w); });
}

void Board::command(long long byte) {
    const auto b = checkWord(byte, 255);
    ensureOpen();
    call([&] {
        return link_->Fun_USB(static_cast<int>(b), 0, 0, 0, session_->number_of_bits, nullptr);
    });
}

std::uint32_t Board::rawRead(int address) {
    if (address < 0 || address > 31) valueError("address must be 0..31");
    ensureOpen();
    std::int32_t word = 0;
    call([&] { return diagnostics::rawRead(*link_, address, &word, session_->number_of_bits); });
    return static_cast<std::uint32_t>(word) & 0xFFFFFF;
}

void Board::rawWrite(int address, long long word) {
    if (address < 0 || address > 31) valueError("address must be 0..31");
    const auto w = checkWord(word);
    ensureOpen();
    call([&] { return diagnostics::rawWrite(*link_, address, w, session_->number_of_bits); });
}

py::array_t<std::uint32_t> Board::dump(int address, int count, const py::object& path) {
    if (address < 0 || address > 31) valueError("address must be 0..31");
    if (count < 1 || count > diagnostics::kMaxBulkCount)
        valueError("count must be 1.." + std::to_string(diagnostics::kMaxBulkCount));
    const std::string p = path.is_none() ? diagnostics::kDumpFileName : pathText(path);
    ensureOpen();
    std::vector<std::uint32_t> table;
    diagnostics::BulkReadResult r;
    call([&] {
        r = diagnostics::bulkRead(*link_, address, count, p, table);
        return r.status;
    });
    return toArray(table.data(), static_cast<std::size_t>(r.readings));
}

py::bytes Board::eepromRead(int n) {
    if (n < 0 || n > diagnostics::kEepromBlockSize)
        valueError("n must be 0.." + std::to_string(diagnostics::kEepromBlockSize));
    ensureOpen();
    diagnostics::EepromBlock block{};
    call([&] { return diagnostics::eepromRead(*link_, console_, block); });
    return py::bytes(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(n));
}

int Board::eepromWrite(const py::object& data) {
    std::vector<std::uint8_t> bytes;
    if (py::isinstance<py::str>(data)) throw py::type_error("expected bytes, not str");
    for (const auto& item : data) {
        if (!py::isinstance<py::int_>(item)) throw py::type_error("expected bytes or ints");
        bytes.push_back(static_cast<std::uint8_t>(checkWord(item.cast<long long>(), 255)));
    }
    if (bytes.size() > static_cast<std::size_t>(diagnostics::kEepromMaxWriteCount))
        valueError("at most 255 bytes (addresses 0..254)");
    ensureOpen();
    call([&] { return diagnostics::eepromWrite(*link_, console_, bytes); });
    return static_cast<int>(bytes.size());
}

Board::Fault Board::parseFault(const std::string& text) {
    static const std::vector<std::string> kinds = {
        "unplug", "write", "read", "flush", "queue", "overrun", "stall", "short-read", "hangup"};
    Fault f;
    const auto at = text.find('@');
    f.kind = text.substr(0, at);
    if (at != std::string::npos) {
        const auto n = parseInteger(text.substr(at + 1));
        if (!n || *n < 0 || *n > 1000000)
            valueError("fault '" + text + "': the count after @ must be 0..1000000");
        f.n = static_cast<int>(*n);
        if (f.kind != "unplug") valueError("fault '" + text + "': only unplug takes @N");
    }
    if (std::find(kinds.begin(), kinds.end(), f.kind) == kinds.end()) {
        std::string known;
        for (const auto& k : kinds) known += " " + k;
        valueError("unknown fault '" + text + "' (known:" + known + ", unplug@N)");
    }
    return f;
}

void Board::injectFault(const std::string& text) {
    const Fault f = parseFault(text);
    auto* board = dynamic_cast<sim::VirtualBoard*>(base_.get());
    if (!board) valueError("faults can only be injected into the virtual board");
    if (f.kind == "unplug") {
        if (text.find('@') != std::string::npos)
            board->unplugAfterReads(f.n);
        else
            board->unplug();
    } else if (f.kind == "write")
        board->failNextWrite();
    else if (f.kind == "read")
        board->failNextRead();
    else if (f.kind == "flush")
        board->failNextFlush();
    else if (f.kind == "queue")
        board->failNextQueueCheck(false);
    else if (f.kind == "overrun")
        board->failNextQueueCheck(true);
    else if (f.kind == "stall")
        board->stall(true);
    else if (f.kind == "short-read")
        board->shortReadNext();
    else if (f.kind == "hangup")
        board->failAllIo(true);
}

void Board::clearFaults() {
    auto* board = dynamic_cast<sim::VirtualBoard*>(base_.get());
    if (!board) valueError("faults can only be injected into the virtual board");
    board->stall(false);
    board->failAllIo(false);
    board->plug();
}

py::list Board::trace() {
    std::lock_guard lock(traceMutex_);
    py::list out;
    for (const auto& l : trace_) out.append(l);
    return out;
}

void Board::clearTrace() {
    std::lock_guard lock(traceMutex_);
    trace_.clear();
}

void registerBoard(py::module_& m, BoardClass& board) {
    board.def("close", &Board::close)
        .def("__enter__", [](std::shared_ptr<Board> self) { return self; })
        .def("__exit__",
             [](Board& self, py::args) {
                 self.close();
                 return false;
             })
        .def_property_readonly("closed", [](const Board& b) { return !b.open_; })
        .def_property_readonly("simulated", [](const Board& b) { return b.simulated_; })
        .def_property_readonly("variant", [](const Board& b) { return b.variant_; })
        .def_property_readonly("chip", [](const Board& b) { return b.session_->chip; })
        .def_property_readonly("fs", [](const Board& b) { return b.session_->fs; })
        .def_property(
            "xtal_mhz", [](const Board& b) { return b.session_->xtal_speed; },
            [](Board& b, double mhz) {
                if (!(mhz >= 0.001 && mhz <= 1000.0)) valueError("xtal_mhz must be 0.001..1000");
                b.session_->xtal_speed = static_cast<float>(mhz);
            })
        .def("identify", &Board::identify)
        .def("read", &Board::read, py::arg("page"), py::arg("addr"), py::arg("width") = 24)
        .def("write", &Board::write, py::arg("page"), py::arg("addr"), py::arg("word"))
        .def("command", &Board::command, py::arg("byte"))
        .def("raw_read", &Board::rawRead, py::arg("addr"))
        .def("raw_write", &Board::rawWrite, py::arg("addr"), py::arg("word"))
        .def("dump", &Board::dump, py::arg("addr"), py::arg("count"), py::arg("path") = py::none(),
             "Read register 0:addr count times; the readings also go to the dump file.")
        .def("eeprom_read", &Board::eepromRead, py::arg("n") = 48)
        .def("eeprom_write", &Board::eepromWrite, py::arg("data"))
        .def("inject_fault", &Board::injectFault, py::arg("kind"))
        .def("clear_faults", &Board::clearFaults)
        .def_property_readonly("trace", &Board::trace)
        .def("clear_trace", &Board::clearTrace);

    m.def(
        "open",
        [](const std::string& boardText, std::optional<std::string> usbId, bool realtime,
           std::vector<std::string> faults, bool trace) {
            return std::make_shared<Board>(boardText, usbId, realtime, faults, trace);
        },
        py::arg("board") = "sim", py::arg("usb_id") = py::none(), py::arg("realtime") = false,
        py::arg("faults") = std::vector<std::string>{}, py::arg("trace") = false,
        "Open a board: 'usb', 'sim' or 'sim:VARIANT'; connects and identifies the device.");
}

}  // namespace evkit::python
