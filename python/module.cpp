// The evkit714 Python module: one open board as a context manager, with numpy arrays for
// captures and spectra. Every call goes through the same core functions the command-line
// program and the windows use; this file only checks arguments, releases the interpreter
// while the board works, and turns statuses and messages into Python results, exceptions,
// warnings and log records.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <condition_variable>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "board/board_selection.h"
#include "board/connection.h"
#include "board/session.h"
#include "board/tracing_transport.h"
#include "board/usb_id.h"
#include "calibration/calibration.h"
#include "collection/analysis.h"
#include "collection/capture.h"
#include "collection/data_files.h"
#include "conversion/monitor.h"
#include "diagnostics/eeprom.h"
#include "diagnostics/register_debug.h"
#include "module_support.h"
#include "pulse/pulse_measurement.h"
#include "registers/register_file.h"
#include "registers/word.h"
#include "setup/setup_model.h"
#include "sim/variants.h"
#include "sim/virtual_board.h"
#include "spectrum/fft_collection.h"
#include "spectrum/freq_test.h"
#include "support/clock.h"
#include "temperature/scale_choice.h"
#include "temperature/temperature.h"

namespace evkit::python {

namespace {

using collection::DataCollection;

// --- exceptions, warnings and log records -----------------------------------------------

py::object& boardErrorType() {
    static py::object type;
    return type;
}
py::object& boardWarningType() {
    static py::object type;
    return type;
}

bool isErrorTitle(const std::string& title) {
    return title == msg::kErrorTitle;
}

std::string joinTexts(const Shown& shown, const std::string& console, bool errorsOnly) {
    std::string text;
    for (const auto& [title, t] : shown) {
        if (errorsOnly && !isErrorTitle(title)) continue;
        if (!text.empty()) text += "\n";
        text += t;
    }
    if (text.empty() && !errorsOnly) {
        for (const auto& [title, t] : shown) text += (text.empty() ? "" : "\n") + t;
    }
    if (text.empty()) {
        text = console;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    }
    return text;
}

py::list shownList(const Shown& shown) {
    py::list out;
    for (const auto& [title, text] : shown) out.append(py::make_tuple(title, text));
    return out;
}

// Raises BoardError (interpreter held) with the program's own text.
[[noreturn]] void raiseBoardError(int status, const Shown& shown, const std::string& console) {
    std::string text = joinTexts(shown, console, true);
    if (text.empty()) text = joinTexts(shown, console, false);
    if (text.empty()) text = "The board operation failed (status " + std::to_string(status) + ").";
    py::object e = boardErrorType()(text);
    e.attr("status") = status;
    e.attr("messages") = shownList(shown);
    PyErr_SetObject(boardErrorType().ptr(), e.ptr());
    throw py::error_already_set();
}

// What the windows would show in a box: errors and notes that did not end the operation
// become warnings, information becomes log records of the "evkit714" logger.
void emitShown(const Shown& shown, const std::string& console) {
    if (shown.empty() && console.empty()) return;
    py::object logger = py::module_::import("logging").attr("getLogger")("evkit714");
    py::object warn = py::module_::import("warnings").attr("warn");
    for (const auto& [title, text] : shown) {
        const bool informative = title == msg::kDeviceDetectedTitle || title == msg::kNoteTitle ||
                                 text == evkit::msg::kFileRetrieved ||
                                 text == evkit::msg::kFileStored;
        if (informative)
            logger.attr("info")("%s: %s", title, text);
        else
            warn(title.empty() || title == " " ? text : title + ": " + text, boardWarningType(), 2);
    }
    if (!console.empty()) logger.attr("info")("%s", console);
}

[[noreturn]] void valueError(const std::string& text) {
    throw py::value_error(text);
}

// OSError (FileNotFoundError for a missing file) with the program's text.
[[noreturn]] void osError(const std::string& text, bool missing = false) {
    PyErr_SetString(missing ? PyExc_FileNotFoundError : PyExc_OSError, text.c_str());
    throw py::error_already_set();
}

// A file path argument (str or os.PathLike).
std::string pathText(const py::object& path) {
    return py::str(py::module_::import("os").attr("fspath")(path));
}

std::string sixDecimals(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", v);
    return buf;
}

template <class T>
py::array_t<T> toArray(const T* data, std::size_t n) {
    py::array_t<T> a(static_cast<py::ssize_t>(n));
    std::copy(data, data + n, a.mutable_data());
    return a;
}

// A contiguous float64 view of an array-like (no copy when it already is one).
py::array_t<double, py::array::c_style | py::array::forcecast> realBlock(const py::object& x) {
    if (py::isinstance<py::str>(x) || py::isinstance<py::bytes>(x))
        throw py::type_error("expected an array of numbers, not a string");
    auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(x);
    if (!a) throw py::type_error("expected an array of numbers");
    if (a.ndim() != 1) valueError("expected a one-dimensional array");
    if (a.size() == 0) valueError("the array is empty");
    return a;
}

// --- results ----------------------------------------------------------------------------

struct Capture {
    py::object channel1 = py::none();
    py::object channel2 = py::none();
    double fs = 0.0;
    py::tuple names = py::make_tuple();
    std::string part;
    std::int32_t range = 0;
    int samples = 0;
    std::string source;  // "board" or the file read

    py::array_t<std::int32_t, py::array::c_style | py::array::forcecast> channel(int which) const {
        if (which != 1 && which != 2) valueError("channel must be 1 or 2");
        const py::object& c = which == 1 ? channel1 : channel2;
        if (c.is_none()) valueError("this capture holds no channel " + std::to_string(which));
        return py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>::ensure(c);
    }
    void save(const py::object& path, int which) const {
        const auto codes = channel(which);
        const std::string p = pathText(path);
        bool ok = false;
        {
            py::gil_scoped_release release;
            ok = collection::write_capture_file(
                p, part, static_cast<float>(fs), samples, range,
                std::span<const std::int32_t>(codes.data(), static_cast<std::size_t>(samples)));
        }
        if (!ok) osError("Unable to write the file \"" + p + "\".");
    }
    void exportSamples(const py::object& path) const {
        const auto a = channel(1), b = channel(2);
        const std::string p = pathText(path);
        const std::size_t n = static_cast<std::size_t>(samples);
        if (!collection::write_sample_export(p, samples, std::span(a.data(), n),
                                             std::span(b.data(), n)))
            osError("Unable to write the file \"" + p + "\".");
    }
};

struct Spectrum {
    spectrum::SpectrumResult r;
    py::array_t<double> powerDb, freqHz, power;

    // Keeps the figures and copies the three arrays once, straight into numpy's memory.
    explicit Spectrum(const spectrum::SpectrumResult& result) {
        r.samples = result.samples;
        r.window = result.window;
        r.fs = result.fs;
        r.range = result.range;
        r.block = result.block;
        r.blocks = result.blocks;
        r.state = result.state;
        r.stats = result.stats;
        powerDb = toArray(result.spectrum.db.data(), result.spectrum.db.size());
        freqHz = toArray(result.spectrum.freq.data(), result.spectrum.freq.size());
        power = toArray(result.power.data(), result.power.size());
    }
    py::dict figures() const {
        const auto& f = r.stats.figures;
        py::dict d;
        d["S/PN"] = f.spn;
        d["SINAD"] = f.sinad;
        d["S/D"] = f.sd;
        d["SNR"] = f.snr;
        d["FS-PdB"] = f.fsPdB;
        return d;
    }
    py::list harmonics() const {
        py::list out;
        for (const auto& h : r.stats.harmonics) {
            py::dict d;
            d["harmonic"] = h.harmonic;
            d["lo"] = h.lo;
            d["hi"] = h.hi;
            d["excluded"] = h.excluded;
            d["warned"] = h.warned;
            d["power"] = h.power;
            out.append(d);
        }
        return out;
    }
    void save(const py::object& path, const std::string& part) const {
        const std::string p = pathText(path);
        if (!collection::write_fft_file(
                p, part, static_cast<float>(r.fs), r.samples, r.range,
                std::span(freqHz.data(), static_cast<std::size_t>(freqHz.size())),
                std::span(powerDb.data(), static_cast<std::size_t>(powerDb.size()))))
            osError("Unable to write the file \"" + p + "\".");
    }
};

struct HistogramResult {
    collection::HistResult r;
    int samples = 0;
    py::array_t<std::int32_t> counts;
    py::array_t<double> axis, edges;

    void save(const py::object& path, const std::string& part) const {
        const std::string p = pathText(path);
        if (!collection::write_hit_file(p, part, samples, r))
            osError("Unable to write the file \"" + p + "\".");
    }
};

// Runs an analysis on arrays with its messages collected, then hands them to Python.
template <class F>
auto withMessages(F&& f) {
    CollectedMessages messages;
    auto result = f(messages);
    emitShown(messages.take(), {});
    return result;
}

py::dict timeStats(const py::object& x) {
    const auto a = realBlock(x);
    const std::span<const double> block(a.data(), static_cast<std::size_t>(a.size()));
    const auto t = collection::time_test(block);
    const auto h = collection::hist_test(block, 0);  // statistics only: no bins
    py::dict d;
    d["maximum"] = t.maximum;
    d["minimum"] = t.minimum;
    d["mean"] = h.mean;
    d["std_dev"] = h.std_dev;
    d["variance"] = h.variance;
    return d;
}

HistogramResult histogram(const py::object& x, int binWidth) {
    if (binWidth < 1) valueError("bin_width must be 1 or more");
    const auto a = realBlock(x);
    HistogramResult out;
    out.samples = static_cast<int>(a.size());
    {
        py::gil_scoped_release release;
        out.r = collection::hist_test(
            std::span<const double>(a.data(), static_cast<std::size_t>(a.size())), binWidth);
    }
    if (!out.r.binned) valueError(collection::msg::kHistogramTooLarge);
    const std::size_t m = out.r.bins();
    out.counts = toArray(out.r.counts.data(), m);
    out.axis = toArray(out.r.axis.data(), m);
    // Bin i covers [min + i w, min + (i + 1) w) with w = (max + 1 - min) / m: the intervals
    // the counts were made with.
    out.edges = py::array_t<double>(static_cast<py::ssize_t>(m + 1));
    const double w = (out.r.maximum + 1.0 - out.r.minimum) / static_cast<double>(m);
    for (std::size_t i = 0; i <= m; ++i)
        out.edges.mutable_at(static_cast<py::ssize_t>(i)) =
            out.r.minimum + w * static_cast<double>(i);
    return out;
}

void checkWindow(int window) {
    if (window < 0 || window > 4) valueError("window must be 0..4");
}

[[noreturn]] void raiseFftRefused(const spectrum::FftTest& test, const Shown& shown) {
    std::string text = joinTexts(shown, {}, false);
    if (text.empty()) {
        switch (test.outcome()) {
            case spectrum::FftOutcome::kTooSmall:
                text = spectrum::kSampleSizeTooSmall;
                break;
            case spectrum::FftOutcome::kNoReference:
                text = spectrum::kNoReferencePower;
                break;
            default:
                text = "The spectrum could not be computed.";
                break;
        }
    }
    throw py::value_error(text);
}

Spectrum spectrumOf(const py::object& x, int window, int range, double fs) {
    checkWindow(window);
    if (!(fs > 0)) valueError("fs must be above 0");
    if (range < 1) valueError("range_ must be 1 or more");
    const auto a = realBlock(x);
    spectrum::FftTestSettings s;
    s.samples = static_cast<int>(a.size());
    s.window = window;
    s.average = 1;
    s.fs = fs;
    s.range = range;
    CollectedMessages messages;
    // One test per thread, kept between calls: its work buffers are allocated once, as in a
    // window that analyses block after block.
    thread_local spectrum::FftTest test;
    {
        py::gil_scoped_release release;
        test.freq_test(s, std::span<const double>(a.data(), static_cast<std::size_t>(a.size())),
                       messages);
    }
    const Shown shown = messages.take();
    if (test.outcome() != spectrum::FftOutcome::kAnalysed || !test.last())
        raiseFftRefused(test, shown);
    emitShown(shown, {});
    return Spectrum(*test.last());
}

Capture readCapture(const py::object& path) {
    const std::string p = pathText(path);
    const auto read = collection::read_capture_file(p);
    if (!read.file) {
        const auto m = collection::captureFileErrorMessage(read, p);
        if (read.error == collection::CaptureFileError::kCannotOpen) osError(m.text, true);
        valueError(m.text);
    }
    const auto& f = *read.file;
    Capture c;
    c.channel1 = toArray(f.codes.data(), f.codes.size());
    c.fs = f.fs;
    c.part = f.part;
    c.range = f.range;
    c.samples = f.samples;
    c.source = p;
    return c;
}

// --- the board --------------------------------------------------------------------------

struct SetupControls;
struct TemperatureControls;
class MonitorIterator;

class Board : public std::enable_shared_from_this<Board> {
  public:
    Board(const std::string& boardText, const std::optional<std::string>& usbId, bool realtime,
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
        variant_ =
            selection->variant.empty() && simulated_ ? sim::kDefaultVariant : selection->variant;
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
    ~Board() { closeQuietly(); }

    // Runs `op` with the interpreter released; raises BoardError for a failing status or an
    // error message, the pending exception of a Ctrl-C or a callback, and hands the other
    // messages to Python.
    // `refused`: the status with which the core turns down a value before sending anything
    // (its message explains why); it raises ValueError with that text.
    template <class F>
    int call(F&& op, bool raiseOnStatus = true, int refused = 0) {
        // One operation at a time per board, whichever Python thread calls: the board link
        // is not shared between threads. A callback of a running operation that calls the
        // board again gets the link's own busy refusal instead.
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
        struct Depth {
            int& d;
            explicit Depth(int& v) : d(v) { ++d; }
            ~Depth() { --d; }
        } depth(depth_);
        messages_.take();
        console_.take();
        pump_.begin();
        int status = 0;
        try {
            py::gil_scoped_release release;
            status = op();
        } catch (...) {
            pump_.end();
            throw;
        }
        pump_.end();
        const Shown shown = messages_.take();
        const std::string console = console_.take();
        if (pump_.hasPending()) {
            emitShown(shown, console);
            pump_.raisePending();
        }
        bool errorShown = false;
        for (const auto& m : shown) errorShown = errorShown || isErrorTitle(m.first);
        if (refused != 0 && status == refused && !errorShown) {
            std::string text = joinTexts(shown, console, false);
            throw py::value_error(text.empty() ? "the value was refused" : text);
        }
        if ((raiseOnStatus && status != 0) || errorShown) raiseBoardError(status, shown, console);
        emitShown(shown, console);
        return status;
    }

    void ensureOpen() const {
        if (!open_) throw py::value_error("the board is closed");
        if (monitorRunning_)
            throw py::value_error("a monitor run owns the board; close its iterator first");
    }

    void closeQuietly() {
        if (!open_) return;
        open_ = false;
        if (link_->cyHandle) link_->transport().Close(link_->cyHandle);
        link_->cyHandle = 0;
    }
    void close() {
        stopMonitor();
        closeQuietly();
    }
    void stopMonitor();

    py::dict identify() {
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

    // --- registers ---
    static void checkPageAddress(int page, int address) {
        if (page < 0 || page > 255) valueError("page must be 0..255");
        if (address < 0 || address > 31) valueError("address must be 0..31");
    }
    static std::uint32_t checkWord(long long word, long long max = 0xFFFFFF) {
        if (word < 0 || word > max)
            valueError(max == 0xFFFFFF ? "word must fit in 24 bits (0..0xffffff)"
                                       : "value must be 0.." + std::to_string(max));
        return static_cast<std::uint32_t>(word);
    }

    std::uint32_t read(int page, int address, int width) {
        checkPageAddress(page, address);
        if (width != 24 && width != 32) valueError("width must be 24 or 32");
        ensureOpen();
        std::int32_t word = 0;
        call([&] { return link_->readRegister(page, address, &word, width); });
        return width == 32 ? static_cast<std::uint32_t>(word)
                           : static_cast<std::uint32_t>(word) & 0xFFFFFF;
    }
    void write(int page, int address, long long word) {
        checkPageAddress(page, address);
        const auto w = checkWord(word);
        ensureOpen();
        call([&] { return link_->writeRegister(page, address, w); });
    }
    void command(long long byte) {
        const auto b = checkWord(byte, 255);
        ensureOpen();
        call([&] {
            return link_->Fun_USB(static_cast<int>(b), 0, 0, 0, session_->number_of_bits, nullptr);
        });
    }
    std::uint32_t rawRead(int address) {
        if (address < 0 || address > 31) valueError("address must be 0..31");
        ensureOpen();
        std::int32_t word = 0;
        call(
            [&] { return diagnostics::rawRead(*link_, address, &word, session_->number_of_bits); });
        return static_cast<std::uint32_t>(word) & 0xFFFFFF;
    }
    void rawWrite(int address, long long word) {
        if (address < 0 || address > 31) valueError("address must be 0..31");
        const auto w = checkWord(word);
        ensureOpen();
        call([&] { return diagnostics::rawWrite(*link_, address, w, session_->number_of_bits); });
    }
    py::array_t<std::uint32_t> dump(int address, int count, const py::object& path) {
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
    py::bytes eepromRead(int n) {
        if (n < 0 || n > diagnostics::kEepromBlockSize)
            valueError("n must be 0.." + std::to_string(diagnostics::kEepromBlockSize));
        ensureOpen();
        diagnostics::EepromBlock block{};
        call([&] { return diagnostics::eepromRead(*link_, console_, block); });
        return py::bytes(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(n));
    }
    int eepromWrite(const py::object& data) {
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

    // --- capture and spectrum ---
    static void checkPairSamples(int pair, int samples) {
        if (pair < 1 || pair > 4) valueError("pair must be 1..4");
        if (!collection::indexForSampleCount(samples))
            valueError("samples must be one of " + collection::sampleCountList());
    }

    Capture capture(int pair, int samples, int dataDelay, int secondsDelay) {
        checkPairSamples(pair, samples);
        if (dataDelay < 0 || dataDelay > 255) valueError("data_delay must be 0..255");
        if (secondsDelay < 0 || secondsDelay > 86400) valueError("seconds_delay must be 0..86400");
        ensureOpen();
        DataCollection& data = *data_;
        data.settings.selectPair(pair - 1);
        data.settings.setSampleIndex(*collection::indexForSampleCount(samples));
        data.settings.data_delay = dataDelay;
        data.settings.seconds_delay = secondsDelay;
        data.settings.test = collection::kTestTime;
        call([&] { return data.collectSequence([&] { return data.captureBlock(); }); });
        Capture c;
        const auto n = static_cast<std::size_t>(data.settings.samples);
        c.channel1 = toArray(data.buffers.channel1_data.data(), n);
        c.channel2 = toArray(data.buffers.channel2_data.data(), n);
        c.fs = session_->fs;
        c.names = py::make_tuple(data.buttonlabel1, data.buttonlabel2);
        c.part = session_->part;
        c.range = session_->range;
        c.samples = data.settings.samples;
        c.source = "board";
        return c;
    }

    Spectrum fft(int pair, int samples, int average, int window, const py::object& onBlock) {
        checkPairSamples(pair, samples);
        if (average < 1 || average > 10000) valueError("average must be 1..10000");
        checkWindow(window);
        if (!onBlock.is_none() && !PyCallable_Check(onBlock.ptr()))
            throw py::type_error("on_block must be callable");
        ensureOpen();
        DataCollection& data = *data_;
        data.settings.selectPair(pair - 1);
        data.settings.setSampleIndex(*collection::indexForSampleCount(samples));
        data.settings.test = collection::kTestFft;
        data.settings.window = window;
        data.settings.average = average;
        spectrum::FftTest test;
        spectrum::FftObserver observer;
        if (!onBlock.is_none())
            observer.spectrum = [&](const spectrum::SpectrumResult& r) {
                py::gil_scoped_acquire gil;
                try {
                    onBlock(r.block, r.blocks);
                } catch (py::error_already_set& e) {
                    e.restore();
                    pump_.keepPending();
                }
            };
        spectrum::FftCollectionHooks hooks;
        // A stop between blocks (Ctrl-C, a callback that raised) ends the averaging the way
        // the window's stop button does.
        hooks.stopRequested = [this] { return pump_.cancelRequested(); };
        call([&] { return spectrum::collectAveragedFft(data, test, messages_, observer, hooks); });
        if (test.outcome() != spectrum::FftOutcome::kAnalysed || !test.last())
            raiseFftRefused(test, {});
        return Spectrum(*test.last());
    }

    // --- monitor, line frequency, Tmeas ---
    std::shared_ptr<MonitorIterator> monitor(int count, bool single, std::optional<int> updates);

    double lineFrequency(double hz) {
        if (!(hz >= 0.0 && hz <= 1.0e6)) valueError("hz must be 0..1e6");
        ensureOpen();
        double shown = 0;
        call([&] { return conversion::setLineFrequency(*session_, hz, &shown); });
        return shown;
    }
    void tmeas(long long n) {
        const auto v = checkWord(n);
        ensureOpen();
        call([&] { return conversion::setTmeas(*session_, v); });
    }

    // --- calibration ---
    py::dict calibrate(const std::string& kind, const std::string& channel, int gainMode) {
        static const std::map<std::string, calibration::CalType> kinds = {
            {"dc-offset", calibration::CalType::DcOffset},
            {"ac-offset", calibration::CalType::AcOffset},
            {"gain", calibration::CalType::Gain}};
        static const std::map<std::string, int> channels = {{"i1", calibration::kI1},
                                                            {"v1", calibration::kV1},
                                                            {"i2", calibration::kI2},
                                                            {"v2", calibration::kV2},
                                                            {"all", calibration::kAll}};
        const auto k = kinds.find(kind);
        if (k == kinds.end()) valueError("kind must be dc-offset, ac-offset or gain");
        const auto c = channels.find(channel);
        if (c == channels.end()) valueError("channel must be i1, v1, i2, v2 or all");
        if (gainMode != 0 && gainMode != 1) valueError("gain_mode must be 0 or 1");
        const auto* button = calibration::findButton(k->second, c->second);
        if (!button) valueError("no such calibration");
        ensureOpen();
        std::vector<calibration::Shown> shown;
        call([&] {
            return calibration::runCalibration(
                *link_, *button, gainMode != 0,
                [&](const calibration::Shown& s) { shown.push_back(s); });
        });
        return registersDict(shown);
    }
    py::dict calibrationRegisters() {
        ensureOpen();
        std::vector<calibration::Shown> shown;
        call([&] {
            return calibration::refresh(*link_,
                                        [&](const calibration::Shown& s) { shown.push_back(s); });
        });
        return registersDict(shown);
    }
    static py::dict registersDict(const std::vector<calibration::Shown>& shown) {
        py::dict d;
        for (const auto& s : shown) d[s.reg->name] = py::make_tuple(s.word, s.number);
        return d;
    }

    // --- pulse ---
    py::dict pulse(double seconds, int repeat, const py::object& onCount) {
        if (!(seconds >= 0.0 && seconds <= 335544.0)) valueError("time must be 0..335544 s");
        if (repeat < 0 || repeat > 1000000) valueError("repeat must be 0..1000000");
        if (!onCount.is_none() && !PyCallable_Check(onCount.ptr()))
            throw py::type_error("on_count must be callable");
        ensureOpen();
        std::int32_t cycleCount = 0;
        std::vector<pulse::CountResult> counts;
        pulse::Callbacks cb;
        cb.started = [&](std::int32_t n) { cycleCount = n; };
        cb.counted = [&](const pulse::CountResult& r) {
            counts.push_back(r);
            if (onCount.is_none()) return;
            py::gil_scoped_acquire gil;
            try {
                onCount(countDict(r));
            } catch (py::error_already_set& e) {
                e.restore();
                pump_.keepPending();
            }
        };
        cb.stopRequested = [this] { return pump_.cancelRequested(); };
        call([&] { return pulse::measure(*link_, seconds, repeat, cb); }, true,
             pulse::kStatusRefused);
        py::dict d;
        d["cycle_count"] = cycleCount;
        py::list list;
        for (const auto& r : counts) list.append(countDict(r));
        d["counts"] = list;
        return d;
    }
    static py::dict countDict(const pulse::CountResult& r) {
        py::dict d;
        d["index"] = r.index;
        d["counts"] = py::make_tuple(r.counts[0], r.counts[1], r.counts[2]);
        d["rates"] = py::make_tuple(r.rates[0], r.rates[1], r.rates[2]);
        d["means"] = py::make_tuple(r.means[0], r.means[1], r.means[2]);
        d["deviations"] = py::make_tuple(r.deviations[0], r.deviations[1], r.deviations[2]);
        return d;
    }

    // --- virtual board faults ---
    static void checkFault(const std::string& text) { parseFault(text); }
    struct Fault {
        std::string kind;
        int n = 0;
    };
    static Fault parseFault(const std::string& text) {
        static const std::vector<std::string> kinds = {"unplug", "write",      "read",
                                                       "flush",  "queue",      "overrun",
                                                       "stall",  "short-read", "hangup"};
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
    void injectFault(const std::string& text) {
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
    void clearFaults() {
        auto* board = dynamic_cast<sim::VirtualBoard*>(base_.get());
        if (!board) valueError("faults can only be injected into the virtual board");
        board->stall(false);
        board->failAllIo(false);
        board->plug();
    }

    py::list trace() {
        std::lock_guard lock(traceMutex_);
        py::list out;
        for (const auto& l : trace_) out.append(l);
        return out;
    }
    void clearTrace() {
        std::lock_guard lock(traceMutex_);
        trace_.clear();
    }

    bool simulated_ = false;
    std::string variant_;
    bool open_ = false;
    std::atomic<bool> monitorRunning_{false};
    std::weak_ptr<MonitorIterator> activeMonitor_;

    std::unique_ptr<Clock> clock_;
    std::unique_ptr<F32x> base_;
    std::unique_ptr<TracingTransport> tracer_;
    CollectedMessages messages_;
    CollectedConsole console_;
    PythonPump pump_;
    std::unique_ptr<BoardLink> link_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<DataCollection> data_;
    std::unique_ptr<temperature::TemperatureSettings> temperature_;
    std::unique_ptr<setup::SetupModel> setup_;
    bool tracing_ = false;
    std::recursive_mutex callMutex_;
    int depth_ = 0;  // calls running on the thread that holds callMutex_
    std::mutex traceMutex_;
    std::vector<std::string> trace_;
};

// --- the monitor as an iterator -----------------------------------------------------------
//
// The monitor loop runs on a thread of its own (it keeps polling the board between the
// records); each finished update is queued as a dict, and the Python thread takes them one
// by one. Closing the iterator (break, del, with-exit, Ctrl-C) asks the loop to stop at the
// end of its update, the way the window's stop button does, and waits for the halt.

struct UpdateRecord {
    int update = 0;
    std::string time;
    conversion::Values current{}, means{}, deviations{};
    bool statistics = false;
    std::optional<double> lineFrequency;
    std::optional<std::uint32_t> tmeas;
};

class MonitorIterator : public conversion::MonitorView {
  public:
    static constexpr std::size_t kQueueLimit = 256;

    MonitorIterator(std::shared_ptr<Board> board, int count, bool single,
                    std::optional<int> updates)
        : board_(std::move(board)),
          monitor_(*board_->session_, board_->console_),
          count_(count),
          single_(single),
          updates_(updates.value_or(0)) {}
    ~MonitorIterator() override { stopAndJoin(); }

    void start() {
        board_->messages_.take();
        board_->console_.take();
        board_->pump_.clearCancel();
        board_->monitorRunning_ = true;
        thread_ = std::thread([this] {
            const int status = monitor_.START(count_, single_, *this);
            board_->monitorRunning_ = false;
            std::lock_guard lock(mutex_);
            status_ = status;
            finished_ = true;
            changed_.notify_all();
        });
    }

    // MonitorView, on the monitor thread.
    void showStatistics(const conversion::Values& means,
                        const conversion::Values& deviations) override {
        pendingMeans_ = means;
        pendingDeviations_ = deviations;
        pendingStatistics_ = true;
    }
    void showTmeas(std::uint32_t word) override { pendingTmeas_ = word; }
    void updateDone(int update, const std::string& time) override {
        UpdateRecord r;
        r.update = update;
        r.time = time;
        r.current = monitor_.current();
        r.statistics = pendingStatistics_ && count_ > 1;
        r.means = pendingMeans_;
        r.deviations = pendingDeviations_;
        if (monitor_.hasLineFrequency()) r.lineFrequency = monitor_.lineFrequency();
        r.tmeas = pendingTmeas_;
        pendingTmeas_.reset();
        pendingStatistics_ = false;
        if (updates_ > 0 && update >= updates_) board_->pump_.requestCancel();
        std::unique_lock lock(mutex_);
        // A reader that falls behind holds the loop back instead of letting records pile up.
        changed_.wait(lock, [this] { return queue_.size() < kQueueLimit || stopping_; });
        queue_.push_back(std::move(r));
        changed_.notify_all();
    }

    py::dict next() {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (!queue_.empty()) {
                    UpdateRecord r = std::move(queue_.front());
                    queue_.pop_front();
                    changed_.notify_all();
                    lock.unlock();
                    // The run's messages are handed over once it has ended (finish).
                    return toDict(r);
                }
                if (finished_) break;
            }
            {
                py::gil_scoped_release release;
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, std::chrono::milliseconds(50),
                                  [this] { return !queue_.empty() || finished_; });
            }
            if (PyErr_CheckSignals() != 0) {
                py::error_already_set e;
                stopAndJoin();
                throw e;
            }
        }
        finish();
        throw py::stop_iteration();
    }

    // Stops the run (if still going), waits for its halt and reports how it ended.
    void close() {
        stopAndJoin();
        finish();
    }

    void stopAndJoin() {
        if (!thread_.joinable()) return;
        board_->pump_.requestCancel();
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            changed_.notify_all();
        }
        {
            py::gil_scoped_release release;
            thread_.join();
        }
        board_->monitorRunning_ = false;
    }

  private:
    void finish() {
        if (thread_.joinable()) {
            py::gil_scoped_release release;
            thread_.join();
        }
        board_->monitorRunning_ = false;
        if (reported_) return;
        reported_ = true;
        const Shown shown = board_->messages_.take();
        const std::string console = board_->console_.take();
        bool errorShown = false;
        for (const auto& m : shown) errorShown = errorShown || isErrorTitle(m.first);
        if (status_ != 0 || errorShown) raiseBoardError(status_, shown, console);
        emitShown(shown, console);
    }

    py::dict toDict(const UpdateRecord& r) const {
        py::dict d;
        d["update"] = r.update;
        d["time"] = r.time;
        for (const auto& q : conversion::quantityTable()) {
            const auto i = static_cast<std::size_t>(q.quantity);
            d[q.name] = r.current[i];
            if (r.statistics) {
                d[py::str(std::string(q.name) + "_AVG")] = r.means[i];
                d[py::str(std::string(q.name) + "_SD")] = r.deviations[i];
            }
        }
        if (r.lineFrequency) d["LINE_FREQ"] = *r.lineFrequency;
        if (r.tmeas) d["TMEAS"] = *r.tmeas;
        return d;
    }

    std::shared_ptr<Board> board_;
    conversion::ConversionMonitor monitor_;
    int count_;
    bool single_;
    int updates_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<UpdateRecord> queue_;
    bool finished_ = false;
    bool stopping_ = false;
    bool reported_ = false;
    int status_ = 0;
    conversion::Values pendingMeans_{}, pendingDeviations_{};
    bool pendingStatistics_ = false;
    std::optional<std::uint32_t> pendingTmeas_;
};

std::shared_ptr<MonitorIterator> Board::monitor(int count, bool single,
                                                std::optional<int> updates) {
    if (count < 1 || count > conversion::kMaxAverageCount)
        valueError("count must be 1.." + std::to_string(conversion::kMaxAverageCount));
    if (updates && *updates < 1) valueError("updates must be 1 or more (None: until stopped)");
    ensureOpen();
    auto it = std::make_shared<MonitorIterator>(shared_from_this(), count, single, updates);
    it->start();
    activeMonitor_ = it;
    return it;
}

void Board::stopMonitor() {
    if (auto m = activeMonitor_.lock()) m->stopAndJoin();
}

// --- setup controls by name ----------------------------------------------------------------

struct SetupControls {
    std::shared_ptr<Board> board;

    static const setup::ControlSpec& control(const std::string& name) {
        const auto* c = setup::findSetupControl(name);
        if (!c) throw py::key_error("'" + name + "' is not a setup control");
        return *c;
    }
    static py::object shownValue(const setup::ControlSpec& c, double v) {
        switch (c.kind) {
            case setup::ControlKind::Value:
                return py::float_(v);
            default:
                return py::int_(static_cast<long long>(v));
        }
    }
    py::dict valuesOf(const std::vector<const setup::ControlSpec*>& controls) const {
        py::dict d;
        for (const auto* c : controls)
            d[py::str(c->name)] = shownValue(*c, board->setup_->value(*c));
        return d;
    }
    static std::vector<const setup::ControlSpec*> shownControls() {
        std::vector<const setup::ControlSpec*> out;
        for (const auto& c : setup::setupControls())
            if (c.kind != setup::ControlKind::Button) out.push_back(&c);
        return out;
    }

    py::dict refresh() {
        board->ensureOpen();
        board->call([&] { return board->setup_->Refresh_Setup(); });
        return valuesOf(shownControls());
    }
    py::object get(const std::string& name) {
        const auto& c = control(name);
        if (c.kind == setup::ControlKind::Button) valueError(name + " is a command, not a value");
        board->ensureOpen();
        board->call([&] { return board->setup_->Refresh_Setup(); });
        return shownValue(c, board->setup_->value(c));
    }
    // The edit starts from the device's values, as the window does when it opens, so that
    // the fields sharing the register keep what the device holds.
    py::dict set(const std::string& name, const py::object& value) {
        const auto& c = control(name);
        if (!setup::isEditable(c)) valueError(name + " cannot be edited");
        double v = 0;
        if (py::isinstance<py::str>(value)) {
            std::string error;
            const auto parsed = setup::parseControlValue(c, value.cast<std::string>(), &error);
            if (!parsed) valueError(name + ": " + error);
            v = *parsed;
        } else if (py::isinstance<py::bool_>(value) || py::isinstance<py::int_>(value) ||
                   py::isinstance<py::float_>(value)) {
            v = value.cast<double>();
        } else {
            throw py::type_error(name + ": expected a number or its text");
        }
        if (auto why = setup::checkControlValue(c, v)) valueError(name + ": " + *why);
        board->ensureOpen();
        board->call(
            [&] {
                if (int s = board->setup_->Refresh_Setup()) return s;
                return board->setup_->commit(c, v);
            },
            true, setup::kStatusRefusedEntry);
        return valuesOf(setup::registerControls(c));
    }
    py::dict reset() {
        board->ensureOpen();
        board->call([&] { return board->setup_->reset(); });
        return valuesOf(shownControls());
    }
    py::dict clearStatus() {
        board->ensureOpen();
        board->call([&] {
            if (int s = board->setup_->Refresh_Setup()) return s;
            return board->setup_->clearStatus();
        });
        return valuesOf(setup::registerControls(*setup::findSetupControl("SETUP_STATUS_HEX")));
    }
    void retrieve(const py::object& path) {
        const std::string p = pathText(path);
        if (!std::filesystem::is_regular_file(p))
            osError("no register settings file \"" + p + "\"", true);
        board->ensureOpen();
        board->call([&] { return retrieveRegisterFile(*board->link_, board->messages_, p); }, true,
                    kStatusFileError);
    }
    void store(const py::object& path) {
        const std::string p = pathText(path);
        board->ensureOpen();
        board->call([&] { return storeRegisterFile(*board->link_, board->messages_, p); });
    }
    static std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto* c : shownControls()) out.push_back(c->name);
        return out;
    }
};

// --- temperature -----------------------------------------------------------------------------

class DictView : public temperature::View {
  public:
    void showGainWord(std::uint32_t w) override { d["gain_word"] = w; }
    void showGainValue(double v) override { d["gain_value"] = v; }
    void showOffsetWord(std::uint32_t w) override { d["offset_word"] = w; }
    void showOffsetValue(double v) override { d["offset_value"] = v; }
    void setScaleBoxes(bool down, bool up) override {
        d["scale"] = down ? "down" : up ? "up" : "none";
    }
    std::map<std::string, std::variant<std::uint32_t, double, std::string>> d;
};

struct TemperatureControls {
    std::shared_ptr<Board> board;

    template <class F>
    py::dict run(F&& f) {
        board->ensureOpen();
        DictView view;
        board->call([&] { return f(*board->temperature_, view); }, true,
                    temperature::kStatusRefused);
        py::dict out;
        for (const auto& [k, v] : view.d)
            out[py::str(k)] = std::visit([](auto x) { return py::cast(x); }, v);
        return out;
    }
    py::dict refresh() {
        return run([](auto& t, auto& v) { return t.refresh(v); });
    }
    py::dict setGain(double value) {
        return run([value](auto& t, auto& v) { return t.gainValueEntry(value, v); });
    }
    py::dict setOffset(double value) {
        return run([value](auto& t, auto& v) { return t.offsetValueEntry(value, v); });
    }
    py::dict setGainWord(long long word) {
        const auto w = Board::checkWord(word);
        return run([w](auto& t, auto& v) { return t.gainWordEntry(w, v); });
    }
    py::dict setOffsetWord(long long word) {
        const auto w = Board::checkWord(word);
        return run([w](auto& t, auto& v) { return t.offsetWordEntry(w, v); });
    }
    py::dict quickSet(double q) {
        return run([q](auto& t, auto& v) { return t.quickSet(q, v); });
    }
    py::dict scale(const std::string& which) {
        if (which != "up" && which != "down") valueError("scale takes 'up' or 'down'");
        const bool up = which == "up";
        return run([up](auto& t, auto& v) { return temperature::chooseScale(t, up, v); });
    }
};

}  // namespace
}  // namespace evkit::python

using namespace evkit::python;

PYBIND11_MODULE(evkit714, m) {
    m.doc() = "Scripting the EVKIT714 evaluation board (or its virtual board) from Python.";
    m.attr("__version__") = EVKIT_VERSION;
#if defined(__GLIBC__)
    // Every result hands Python fresh arrays of up to a few hundred kilobytes. With the
    // allocator's default padding the heap top is given back to the system after each
    // result and faulted in again for the next, which costs more than the analysis of a
    // long block itself; a padding of 16 MiB keeps that memory for the next result.
    mallopt(M_TOP_PAD, 16 << 20);
#endif

    boardErrorType() = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "evkit714.BoardError", "A board operation failed; the text is the program's message.",
        PyExc_RuntimeError, nullptr));
    m.attr("BoardError") = boardErrorType();
    boardWarningType() = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "evkit714.BoardWarning", "A message the program shows without ending the operation.",
        PyExc_UserWarning, nullptr));
    m.attr("BoardWarning") = boardWarningType();

    py::list variants;
    for (const auto& v : evkit::sim::variants()) variants.append(v.name);
    m.attr("VARIANTS") = variants;
    m.attr("SAMPLE_COUNTS") = py::cast(std::vector<int>(evkit::collection::kSampleCounts.begin(),
                                                        evkit::collection::kSampleCounts.end()));
    py::list quantities;
    for (const auto& q : evkit::conversion::quantityTable()) quantities.append(q.name);
    m.attr("QUANTITIES") = quantities;
    m.attr("FULL_SCALE") = 8388608;

    py::class_<Capture>(m, "Capture", "Both channels of a capture, or the block of a .dat file.")
        .def_readonly("channel1", &Capture::channel1, "numpy int32 codes of channel 1")
        .def_readonly("channel2", &Capture::channel2,
                      "numpy int32 codes of channel 2 (None for a file)")
        .def_readonly("fs", &Capture::fs, "sample rate in Hz")
        .def_readonly("names", &Capture::names, "the two quantities' names")
        .def_readonly("part", &Capture::part)
        .def_readonly("range", &Capture::range, "full-scale code")
        .def_readonly("samples", &Capture::samples)
        .def_readonly("source", &Capture::source)
        .def("channel", &Capture::channel, py::arg("which"))
        .def("save", &Capture::save, py::arg("path"), py::arg("channel") = 1,
             "Write one channel as a capture file (.dat).")
        .def("export", &Capture::exportSamples, py::arg("path"),
             "Write both channels as a sample text export.")
        .def("__len__", [](const Capture& c) { return c.samples; })
        .def("__repr__", [](const Capture& c) {
            return "<Capture " + std::to_string(c.samples) + " samples, fs=" + sixDecimals(c.fs) +
                   " Hz, " + c.source + ">";
        });

    py::class_<Spectrum>(m, "Spectrum", "An averaged spectrum and its figures of merit.")
        .def_readonly("power_db", &Spectrum::powerDb, "dB below the full-scale sine, bins 0..N/2")
        .def_readonly("freq_hz", &Spectrum::freqHz, "frequency of each bin of power_db")
        .def_readonly("power", &Spectrum::power, "averaged linear power, bins 0..N-1")
        .def_property_readonly("spn", [](const Spectrum& s) { return s.r.stats.figures.spn; })
        .def_property_readonly("sinad", [](const Spectrum& s) { return s.r.stats.figures.sinad; })
        .def_property_readonly("sd", [](const Spectrum& s) { return s.r.stats.figures.sd; })
        .def_property_readonly("snr", [](const Spectrum& s) { return s.r.stats.figures.snr; })
        .def_property_readonly("fs_pdb", [](const Spectrum& s) { return s.r.stats.figures.fsPdB; })
        .def_property_readonly("figures", &Spectrum::figures)
        .def_property_readonly("fundamental_bin",
                               [](const Spectrum& s) { return s.r.fundamentalBin(); })
        .def_property_readonly("fundamental_hz",
                               [](const Spectrum& s) { return s.r.fundamentalHz(); })
        .def_property_readonly("harmonics", &Spectrum::harmonics)
        .def_property_readonly("spur_bin", [](const Spectrum& s) { return s.r.stats.spur; })
        .def_property_readonly("warning", [](const Spectrum& s) { return s.r.stats.warning; })
        .def_property_readonly("samples", [](const Spectrum& s) { return s.r.samples; })
        .def_property_readonly("window", [](const Spectrum& s) { return s.r.window; })
        .def_property_readonly("fs", [](const Spectrum& s) { return s.r.fs; })
        .def_property_readonly("range", [](const Spectrum& s) { return s.r.range; })
        .def_property_readonly("blocks", [](const Spectrum& s) { return s.r.block; })
        .def("save", &Spectrum::save, py::arg("path"), py::arg("part") = "PM7014",
             "Write the spectrum file (.fft).")
        .def("__repr__", [](const Spectrum& s) {
            const auto& f = s.r.stats.figures;
            return "<Spectrum N=" + std::to_string(s.r.samples) + " SINAD=" + sixDecimals(f.sinad) +
                   " SNR=" + sixDecimals(f.snr) + ">";
        });

    py::class_<HistogramResult>(m, "Histogram", "Code histogram and statistics of a block.")
        .def_readonly("counts", &HistogramResult::counts)
        .def_readonly("axis", &HistogramResult::axis, "bin positions as the program plots them")
        .def_readonly("edges", &HistogramResult::edges, "len(counts) + 1 bin edges")
        .def_property_readonly("bin_width", [](const HistogramResult& h) { return h.r.bin_width; })
        .def_property_readonly("mean", [](const HistogramResult& h) { return h.r.mean; })
        .def_property_readonly("std_dev", [](const HistogramResult& h) { return h.r.std_dev; })
        .def_property_readonly("variance", [](const HistogramResult& h) { return h.r.variance; })
        .def_property_readonly("maximum", [](const HistogramResult& h) { return h.r.maximum; })
        .def_property_readonly("minimum", [](const HistogramResult& h) { return h.r.minimum; })
        .def("save", &HistogramResult::save, py::arg("path"), py::arg("part") = "PM7014",
             "Write the histogram file (.hit).");

    py::class_<SetupControls>(m, "Setup",
                              "The setup controls by name; every access reads the device.")
        .def("__getitem__", &SetupControls::get)
        .def("__setitem__",
             [](SetupControls& s, const std::string& n, const py::object& v) { s.set(n, v); })
        .def("set", &SetupControls::set, py::arg("name"), py::arg("value"),
             "Commit a value; returns what the device now shows for that register's controls.")
        .def("refresh", &SetupControls::refresh)
        .def("reset", &SetupControls::reset)
        .def("clear_status", &SetupControls::clearStatus)
        .def("retrieve", &SetupControls::retrieve, py::arg("path"),
             "Write a register settings file (.rsf) to the device.")
        .def("store", &SetupControls::store, py::arg("path"),
             "Save the device's registers as a register settings file (.rsf).")
        .def("keys", &SetupControls::names)
        .def("__iter__",
             [](const SetupControls&) { return py::iter(py::cast(SetupControls::names())); })
        .def("__contains__", [](const SetupControls&, const std::string& n) {
            const auto* c = evkit::setup::findSetupControl(n);
            return c && c->kind != evkit::setup::ControlKind::Button;
        });

    py::class_<TemperatureControls>(m, "Temperature", "Temperature sensor gain, offset and scale.")
        .def("refresh", &TemperatureControls::refresh)
        .def("set_gain", &TemperatureControls::setGain, py::arg("value"))
        .def("set_offset", &TemperatureControls::setOffset, py::arg("value"))
        .def("set_gain_word", &TemperatureControls::setGainWord, py::arg("word"))
        .def("set_offset_word", &TemperatureControls::setOffsetWord, py::arg("word"))
        .def("quick_set", &TemperatureControls::quickSet, py::arg("q"))
        .def("scale", &TemperatureControls::scale, py::arg("which"));

    py::class_<MonitorIterator, std::shared_ptr<MonitorIterator>>(m, "Monitor",
                                                                  "Iterator over monitor updates.")
        .def("__iter__", [](std::shared_ptr<MonitorIterator> self) { return self; })
        .def("__next__", &MonitorIterator::next)
        .def("close", &MonitorIterator::close)
        .def("__enter__", [](std::shared_ptr<MonitorIterator> self) { return self; })
        .def("__exit__", [](MonitorIterator& self, py::args) {
            self.close();
            return false;
        });

    py::class_<Board, std::shared_ptr<Board>>(m, "Board", "One open board (a context manager).")
        .def("close", &Board::close)
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
        .def_property_readonly("setup", [](std::shared_ptr<Board> b) { return SetupControls{b}; })
        .def("capture", &Board::capture, py::arg("pair"), py::arg("samples"),
             py::arg("data_delay") = 1, py::arg("seconds_delay") = 0)
        .def("fft", &Board::fft, py::arg("pair"), py::arg("samples"), py::arg("average") = 1,
             py::arg("window") = 4, py::arg("on_block") = py::none())
        .def("monitor", &Board::monitor, py::arg("count") = 1, py::arg("single") = false,
             py::arg("updates") = py::none())
        .def("line_frequency", &Board::lineFrequency, py::arg("hz"))
        .def("tmeas", &Board::tmeas, py::arg("n"))
        .def("calibrate", &Board::calibrate, py::arg("kind"), py::arg("channel"),
             py::arg("gain_mode") = 0)
        .def("calibration", &Board::calibrationRegisters)
        .def_property_readonly("temperature",
                               [](std::shared_ptr<Board> b) { return TemperatureControls{b}; })
        .def("pulse", &Board::pulse, py::arg("time"), py::arg("repeat") = 1,
             py::arg("on_count") = py::none())
        .def("inject_fault", &Board::injectFault, py::arg("kind"))
        .def("clear_faults", &Board::clearFaults)
        .def_property_readonly("trace", &Board::trace)
        .def("clear_trace", &Board::clearTrace);

    m.def(
        "open",
        [](const std::string& board, std::optional<std::string> usbId, bool realtime,
           std::vector<std::string> faults,
           bool trace) { return std::make_shared<Board>(board, usbId, realtime, faults, trace); },
        py::arg("board") = "sim", py::arg("usb_id") = py::none(), py::arg("realtime") = false,
        py::arg("faults") = std::vector<std::string>{}, py::arg("trace") = false,
        "Open a board: 'usb', 'sim' or 'sim:VARIANT'; connects and identifies the device.");
    m.def("read_capture", &readCapture, py::arg("path"), "Read a capture file (.dat).");
    m.def("time_stats", &timeStats, py::arg("x"));
    m.def("histogram", &histogram, py::arg("x"), py::arg("bin_width") = 256);
    m.def("spectrum", &spectrumOf, py::arg("x"), py::arg("window") = 4, py::arg("range_") = 8388608,
          py::arg("fs") = 1.0);
}
