// The board itself: opening, identification, registers, EEPROM, the virtual board's faults
// and the frame trace.
#include "board.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "arrays.h"
#include "board/board_selection.h"
#include "board/usb_id.h"
#include "diagnostics/eeprom.h"
#include "diagnostics/register_debug.h"
#include "registers/word.h"
#include "sim/variants.h"
#include "sim/virtual_board.h"
#include "support/version.h"

namespace evkit::python {

Board::Board(const std::string& boardText, const std::optional<std::string>& usbId, bool realtime,
             const std::vector<std::string>& faults, bool trace,
             const std::optional<std::string>& record, const std::string& replayTiming) {
    std::string error;
    auto selection = parseBoardSelection(boardText, &error);
    if (!selection) valueError(error);
    if (usbId) {
        if (!selection->usb()) valueError("usb_id applies to usb boards only");
        if (!parseUsbId(*usbId)) valueError("usb_id '" + *usbId + "' is not VID:PID (hex)");
        selection->usbIdOption = *usbId;
    }
    if (!faults.empty() && !selection->simulated)
        valueError("faults can only be injected into the virtual board");
    for (const auto& f : faults) checkFault(f);
    simulated_ = selection->simulated;
    variant_ = selection->variant.empty() && simulated_ ? sim::kDefaultVariant : selection->variant;

    const auto timing = parseReplayTiming(replayTiming);
    if (!timing) valueError("replay_timing must be 'instant' or 'recorded'");
    selection->replayTiming = *timing;
    // A replay keeps virtual time unless it follows the recorded timing.
    const bool virtualTime =
        selection->replay() ? *timing == ReplayTiming::kInstant : simulated_ && !realtime;
    if (virtualTime)
        clock_ = std::make_unique<VirtualClock>();
    else
        clock_ = std::make_unique<SystemClock>();
    base_ = createTransport(*selection, *clock_, &error);
    if (!base_) osError(error, error.find("No such file") != std::string::npos);
    replay_ = dynamic_cast<ReplayTransport*>(base_.get());
    if (replay_)
        replay_->onDivergence = [this](const std::string& text) {
            messages_.show(msg::kErrorTitle, text);
        };
    if (record)
        recorder_ = std::make_unique<RecordingTransport>(*base_, *clock_, *record,
                                                         versionLine("evkit714-python", ""));
    F32x& recorded = recorder_ ? static_cast<F32x&>(*recorder_) : *base_;
    // Frames are formatted only for a traced board: formatting every frame costs as much as
    // the rest of a capture.
    if (trace)
        tracer_ = std::make_unique<TracingTransport>(recorded, [this](const std::string& line) {
            std::lock_guard lock(traceMutex_);
            trace_.push_back(line);
        });
    link_ = std::make_unique<BoardLink>(tracer_ ? static_cast<F32x&>(*tracer_) : recorded, *clock_,
                                        messages_, pump_);
    session_ = std::make_unique<Session>(*link_);
    data_ = std::make_unique<DataCollection>(*session_);
    temperature_ = std::make_unique<temperature::TemperatureSettings>(*link_);
    setup_ = std::make_unique<setup::SetupModel>(*session_, messages_);

    call([this] {
        const int status = open_board(*link_, &session_->DeviceString);
        // Plain "usb" with several boards attached says which one it took.
        if (const std::string note = status == 0 ? severalBoardsNote(*base_) : std::string();
            !note.empty())
            messages_.show(msg::kNoteTitle, note);
        return status;
    });
    session_->port_number = kPortUsb;
    open_ = true;
    opening_ = false;
    identify();
    for (const auto& f : faults) injectFault(f);
}

void Board::ensureOpen() const {
    if (!open_) throw py::value_error("the board is closed");
    if (monitorRunning_)
        throw py::value_error(
            "a monitor run owns the board; close its iterator or call board.stop() first");
}

std::unique_lock<std::recursive_mutex> Board::lockCalls() {
    std::unique_lock<std::recursive_mutex> serial(callMutex_, std::defer_lock);
    {
        py::gil_scoped_release release;
        serial.lock();
    }
    if (depth_ > 0)
        raiseBoardError(kStatusBusy,
                        {{msg::kErrorTitle,
                          "The board is busy (another operation is running). "
                          "Wait until it ends or stop it, then try again."}},
                        {});
    return serial;
}

void Board::closeQuietly() {
    if (!open_) return;
    open_ = false;
    if (link_->cyHandle) link_->transport().Close(link_->cyHandle);
    link_->cyHandle = 0;
}

void Board::close(bool check) {
    const bool reported = replay_ && replay_->diverged();
    stopMonitor();
    if (open_) {
        // An operation of another thread ends first (asked to stop, as by stop()).
        pump_.requestCancel();
        locked([this] {
            closeQuietly();
            return 0;
        });
    }
    finishSession(check, reported);
}

void Board::stop() {
    stopMonitor();
    pump_.requestCancel();
}

py::dict Board::identify() {
    ensureOpen();
    std::array<std::string, 3> ids;
    DeviceIdentity id;
    std::string product;
    call([&] {
        ids = query_board_id(*link_);
        id = autodetect_device(*link_);
        session_->chip = id.chip;
        product = session_->DeviceString;
        return 0;
    });
    py::dict d;
    d["chip"] = id.chip;
    d["device"] = id.name;
    d["board_id"] = ids[0] + " " + ids[1] + " " + ids[2];
    d["board_ids"] = py::make_tuple(ids[0], ids[1], ids[2]);
    d["product"] = product;
    return d;
}

double Board::sampleRate() {
    // Until a capture has read it, the rate is read from the device (register 0:0).
    if (!peek([this] { return fsRead_; })) {
        ensureOpen();
        call([this] {
            const int status = data_->readSampleRate();
            if (status == 0) fsRead_ = true;
            return status;
        });
    }
    return peek([this] { return static_cast<double>(session_->fs); });
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
    // bytes, a list of ints, or a numpy array of integers (uint8 and others).
    for (const auto& item : data) {
        if (!PyIndex_Check(item.ptr()) || py::isinstance<py::bool_>(item))
            throw py::type_error("expected bytes or ints");
        bytes.push_back(static_cast<std::uint8_t>(checkWord(intArg(item, "byte"), 255)));
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

// The virtual board guards its fault switches itself: a fault may be injected from another
// thread while an operation runs (an unplug in the middle of a capture).
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
    board
        .def("close", &Board::close, py::arg("check") = true,
             "Stop what runs on the board and close the connection (also on leaving `with`).")
        .def("stop", &Board::stop,
             "End whatever long operation owns the board (a monitor run, a capture's delay, "
             "FFT averaging, a pulse count) the way the stop buttons do. Any thread may call "
             "it; the operation then ends as after Ctrl-C.")
        .def("__enter__", [](std::shared_ptr<Board> self) { return self; })
        .def("__exit__",
             [](Board& self, py::args args) {
                 // An exception on its way out is not hidden behind a closing complaint.
                 self.close(args.size() == 0 || args[0].is_none());
                 return false;
             })
        .def("__repr__",
             [](Board& b) {
                 std::string device = b.peek([&] { return b.session_->part; });
                 return "<Board " + (b.simulated_ ? "sim:" + b.variant_ : std::string("usb")) +
                        " device=" + device + " " + (b.open_ ? "connected" : "closed") + ">";
             })
        .def_property_readonly(
            "closed", [](const Board& b) { return !b.open_; }, "True once closed.")
        .def_property_readonly(
            "simulated", [](const Board& b) { return b.simulated_; }, "True for the virtual board.")
        .def_property_readonly(
            "variant", [](const Board& b) { return b.variant_; },
            "The virtual board's variant (one of VARIANTS); '' for a USB board.")
        .def_property_readonly(
            "chip", [](Board& b) { return b.peek([&] { return b.session_->chip; }); },
            "The device's chip code found by identify().")
        .def_property_readonly("fs", &Board::sampleRate,
                               "Sample rate in Hz: the device's (read from it before the first "
                               "capture), as captures and spectra carry it.")
        .def_property(
            "xtal_mhz",
            [](Board& b) {
                // The entry is kept as a float; it reads back as it was typed (7 digits).
                const float v = b.peek([&] { return b.session_->xtal_speed; });
                char text[32];
                std::snprintf(text, sizeof text, "%.7g", static_cast<double>(v));
                return std::strtod(text, nullptr);
            },
            [](Board& b, double mhz) {
                if (!(mhz >= 0.001 && mhz <= 1000.0)) valueError("xtal_mhz must be 0.001..1000");
                b.locked([&] {
                    b.session_->xtal_speed = static_cast<float>(mhz);
                    b.fsRead_ = false;  // the rate follows the oscillator
                });
            },
            "Oscillator frequency in MHz (0.001..1000), as --xtal.")
        .def("identify", &Board::identify,
             "Read the board's identification and detect the device: dict chip, device, "
             "board_id, board_ids, product. Raises BoardError when the board fails.")
        .def("read", &Board::read, py::arg("page"), py::arg("addr"), py::arg("width") = 24,
             "Read register page:addr (page 0..255, addr 0..31) as a 24- or 32-bit word.")
        .def("write", &Board::write, py::arg("page"), py::arg("addr"), py::arg("word"),
             "Write a 24-bit word (0..0xffffff) to register page:addr.")
        .def("command", &Board::command, py::arg("byte"),
             "Send a command byte (0..255) through the board's command layer.")
        .def("raw_read", &Board::rawRead, py::arg("addr"),
             "Read address 0..31 on the page the device has selected.")
        .def("raw_write", &Board::rawWrite, py::arg("addr"), py::arg("word"),
             "Write a 24-bit word to address 0..31 on the page the device has selected.")
        .def("dump", &Board::dump, py::arg("addr"), py::arg("count"), py::arg("path") = py::none(),
             "Read register 0:addr count times (numpy uint32); the readings also go to the "
             "dump file (register_dump.txt by default). Raises OSError for the file.")
        .def("eeprom_read", &Board::eepromRead, py::arg("n") = 48,
             "Read the first n bytes of the board's EEPROM (bytes).")
        .def("eeprom_write", &Board::eepromWrite, py::arg("data"),
             "Write bytes (bytes, ints or a numpy integer array; at most 255) from address 0; "
             "returns the number written.")
        .def("inject_fault", &Board::injectFault, py::arg("kind"),
             "Virtual board only: arm a fault (unplug, unplug@N, write, read, flush, queue, "
             "overrun, stall, short-read, hangup). Any thread may call it.")
        .def("clear_faults", &Board::clearFaults,
             "Virtual board only: plug back in, end a stall and failing I/O.")
        .def_property_readonly("trace", &Board::trace,
                               "Every frame written ('> ..') and read ('< ..') when opened with "
                               "trace=True; empty otherwise.")
        .def("clear_trace", &Board::clearTrace, "Forget the frames traced so far.");

    m.def(
        "open",
        [](const std::string& boardText, std::optional<std::string> usbId, bool realtime,
           std::optional<std::vector<std::string>> faults, bool trace, const py::object& record,
           const std::string& replayTiming, bool simIdeal) {
            if (simIdeal && boardText.rfind("sim", 0) != 0)
                valueError("sim_ideal applies to the virtual board only");
            std::optional<std::string> path;
            if (!record.is_none()) path = pathText(record);
            auto b = std::make_shared<Board>(boardText, usbId, realtime,
                                             faults.value_or(std::vector<std::string>{}), trace,
                                             path, replayTiming);
            if (simIdeal) setIdeal(*b);
            return b;
        },
        py::arg("board") = "sim", py::arg("usb_id") = py::none(), py::arg("realtime") = false,
        py::arg("faults") = py::none(), py::arg("trace") = false, py::arg("record") = py::none(),
        py::arg("replay_timing") = "instant", py::arg("sim_ideal") = false,
        "Open a board and identify its device; returns a Board (a context manager).\n\n"
        "board: 'usb', 'usb:SERIAL', 'usb@PORT', 'sim', 'sim:VARIANT' or 'replay:FILE'; "
        "usb_id: 'VID:PID' in hex for a USB board; realtime: run the virtual board in real "
        "time; faults: virtual board faults to arm (see Board.inject_fault); trace: keep "
        "every frame in Board.trace; record=PATH records the session; replay_timing: how a "
        "replay paces itself; sim_ideal: a virtual device without gain, phase, offset or "
        "noise errors (the default virtual device is a plausible uncalibrated part). Raises "
        "ValueError for bad arguments, OSError for a session file, BoardError when the board "
        "cannot be opened.");
}

}  // namespace evkit::python
