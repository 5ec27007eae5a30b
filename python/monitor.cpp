// The monitor as a Python iterator.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "board.h"
#include "conversion/monitor.h"

namespace evkit::python {

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

namespace {

std::shared_ptr<MonitorIterator> monitor(Board& b, int count, bool single,
                                         std::optional<int> updates) {
    if (count < 1 || count > conversion::kMaxAverageCount)
        valueError("count must be 1.." + std::to_string(conversion::kMaxAverageCount));
    if (updates && *updates < 1) valueError("updates must be 1 or more (None: until stopped)");
    b.ensureOpen();
    auto it = std::make_shared<MonitorIterator>(b.shared_from_this(), count, single, updates);
    it->start();
    b.activeMonitor_ = it;
    return it;
}

}  // namespace

void Board::stopMonitor() {
    if (auto m = activeMonitor_.lock()) m->stopAndJoin();
}

void registerMonitor(py::module_& m, BoardClass& board) {
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
    board.def("monitor", &monitor, py::arg("count") = 1, py::arg("single") = false,
              py::arg("updates") = py::none());
}

}  // namespace evkit::python
