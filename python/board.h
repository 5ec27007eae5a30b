#pragma once
// One open board: its transport, link, session and the core's models, and call(), through
// which every board operation of the module runs.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board/connection.h"
#include "board/session.h"
#include "board/tracing_transport.h"
#include "collection/capture.h"
#include "errors.h"
#include "module.h"
#include "module_support.h"
#include "setup/setup_model.h"
#include "support/clock.h"
#include "support/messages.h"
#include "temperature/temperature.h"

namespace evkit::python {

using collection::DataCollection;

class MonitorIterator;

class Board : public std::enable_shared_from_this<Board> {
  public:
    // Opens and identifies the board ("usb", "sim" or "sim:VARIANT").
    Board(const std::string& boardText, const std::optional<std::string>& usbId, bool realtime,
          const std::vector<std::string>& faults, bool trace);
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

    void ensureOpen() const;

    void closeQuietly();
    void close();
    void stopMonitor();

    py::dict identify();

    // --- registers ---
    static void checkPageAddress(int page, int address);
    static std::uint32_t checkWord(long long word, long long max = 0xFFFFFF);

    std::uint32_t read(int page, int address, int width);
    void write(int page, int address, long long word);
    void command(long long byte);
    std::uint32_t rawRead(int address);
    void rawWrite(int address, long long word);
    py::array_t<std::uint32_t> dump(int address, int count, const py::object& path);
    py::bytes eepromRead(int n);
    int eepromWrite(const py::object& data);

    // --- virtual board faults ---
    static void checkFault(const std::string& text) { parseFault(text); }
    struct Fault {
        std::string kind;
        int n = 0;
    };
    static Fault parseFault(const std::string& text);
    void injectFault(const std::string& text);
    void clearFaults();

    py::list trace();
    void clearTrace();

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

}  // namespace evkit::python
