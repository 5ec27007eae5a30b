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
#include "board/recording_transport.h"
#include "board/replay_transport.h"
#include "board/session.h"
#include "board/tracing_transport.h"
#include "collection/capture.h"
#include "errors.h"
#include "metrology/scaling.h"
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
    // Opens and identifies the board ("usb", "usb:SERIAL", "usb@PORT", "sim", "sim:VARIANT"
    // or "replay:FILE"); `record` names a session file to record the run in.
    Board(const std::string& boardText, const std::optional<std::string>& usbId, bool realtime,
          const std::vector<std::string>& faults, bool trace,
          const std::optional<std::string>& record = std::nullopt,
          const std::string& replayTiming = "instant");
    ~Board() { closeQuietly(); }

    // Runs `op` with the interpreter released and the board's call lock held; raises
    // BoardError for a failing status or an error message, the pending exception of a Ctrl-C
    // or a callback, and hands the other messages to Python. Everything `op` does to the
    // session, the collection settings and the buffers happens under the lock, so results
    // are copied out inside `op` too (another thread's call may follow at once).
    // `refused`: the status with which the core turns down a value before sending anything
    // (its message explains why); it raises ValueError with that text.
    // `fileError`: the status of a file that could not be read or written; OSError.
    template <class F>
    int call(F&& op, bool raiseOnStatus = true, int refused = 0, int fileError = 0) {
        auto serial = lockCalls();
        // Checked again under the lock: the board may have been closed, or a monitor run
        // started, while this call waited.
        if (!opening_) ensureOpen();
        Depth depth(depth_);
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
        if (fileError != 0 && status == fileError) osError(joinTexts(shown, console, false));
        if ((raiseOnStatus && status != 0) || errorShown) raiseBoardError(status, shown, console);
        emitShown(shown, console);
        return status;
    }

    // Runs `f` (interpreter held) under the call lock: for work on the board's state that
    // sends nothing (the crystal entry, the virtual board's faults, starting a monitor).
    template <class F>
    auto locked(F&& f) {
        auto serial = lockCalls();
        Depth depth(depth_);
        return f();
    }

    // Reads the board's state under the call lock; also from a callback of the running
    // operation (the same thread already holds the lock).
    template <class F>
    auto peek(F&& f) {
        std::unique_lock<std::recursive_mutex> serial(callMutex_, std::defer_lock);
        {
            py::gil_scoped_release release;
            serial.lock();
        }
        return f();
    }

    // One operation at a time per board, whichever Python thread calls: the board link is
    // not shared between threads. Waits with the interpreter released; a callback of a
    // running operation that calls the board again gets the busy refusal (BoardError).
    std::unique_lock<std::recursive_mutex> lockCalls();
    struct Depth {
        int& d;
        explicit Depth(int& v) : d(v) { ++d; }
        ~Depth() { --d; }
    };

    void ensureOpen() const;

    void closeQuietly();
    // Closes the board; `check`: raises when the recording cannot be written or a replay
    // did not play the whole recording.
    void close(bool check = true);
    // Writes the recording and checks the replay (boards.cpp).
    // `reported`: a divergence of the replay was raised already.
    void finishSession(bool check, bool reported);
    void stopMonitor();
    // Ends whatever long operation owns the board (a monitor run, a capture, averaging, a
    // pulse count) the way the stop buttons do; callable from any thread.
    void stop();

    py::dict identify();
    double sampleRate();

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
    bool opening_ = true;
    bool fsRead_ = false;  // session_->fs holds the device's rate (read by a capture or fs)  // the
                           // constructor's calls run before open_ is set
    std::atomic<bool> monitorRunning_{false};
    std::weak_ptr<MonitorIterator> activeMonitor_;

    std::unique_ptr<Clock> clock_;
    std::unique_ptr<F32x> base_;
    std::unique_ptr<RecordingTransport> recorder_;
    ReplayTransport* replay_ = nullptr;  // base_, when it plays a recording back
    std::unique_ptr<TracingTransport> tracer_;
    CollectedMessages messages_;
    CollectedConsole console_;
    PythonPump pump_;
    std::unique_ptr<BoardLink> link_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<DataCollection> data_;
    std::unique_ptr<temperature::TemperatureSettings> temperature_;
    std::unique_ptr<setup::SetupModel> setup_;
    // Engineering units of the results (board.scaling), from the saved scaling.
    metrology::Scaling scaling_ = metrology::savedScaling();
    std::recursive_mutex callMutex_;
    int depth_ = 0;  // calls running on the thread that holds callMutex_
    std::mutex traceMutex_;
    std::vector<std::string> trace_;
};

// The virtual board without the uncalibrated part's errors (open(..., sim_ideal=True)).
void setIdeal(Board& board);

}  // namespace evkit::python
