#pragma once
// The seams of the Python module: messages and console lines collected while an operation
// runs (from any thread) and handed to Python afterwards, and an event pump that turns
// Ctrl-C into the stop request the long operations already honour.
// Every file of the module includes it, so that all of them convert std:: types and
// callables the same way.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/console.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit::python {

namespace py = pybind11;

using Shown = std::vector<std::pair<std::string, std::string>>;

// Keeps every message shown until the binding takes them; safe from the capture worker and
// the monitor thread.
class CollectedMessages : public Messages {
  public:
    void show(std::string_view title, std::string_view text) override {
        std::lock_guard lock(mutex_);
        shown_.emplace_back(std::string(title), std::string(text));
    }
    Shown take() {
        std::lock_guard lock(mutex_);
        return std::exchange(shown_, {});
    }

  private:
    std::mutex mutex_;
    Shown shown_;
};

class CollectedConsole : public Console {
  public:
    void print(std::string_view text) override {
        std::lock_guard lock(mutex_);
        text_.append(text);
    }
    std::string take() {
        std::lock_guard lock(mutex_);
        return std::exchange(text_, {});
    }

  private:
    std::mutex mutex_;
    std::string text_;
};

// While an operation runs with the interpreter released, processEvents (called by every
// waiting loop of the board link, the monitor and the measurements) lets Python run its
// signal handlers. A KeyboardInterrupt (or any exception a handler raises) becomes a stop
// request; the exception is kept and raised once the operation has ended cleanly.
class PythonPump : public Pump {
  public:
    void processEvents() override {
        if (!watching_.load() || std::this_thread::get_id() != pythonThread_) return;
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) keepPending();
    }
    bool cancelRequested() override { return cancel_.load(); }
    void requestCancel() override { cancel_ = true; }
    void clearCancel() override { cancel_ = false; }

    // Called with the interpreter held, around an operation on the calling thread.
    void begin() {
        pending_.reset();
        cancel_ = false;
        pythonThread_ = std::this_thread::get_id();
        watching_ = true;
    }
    void end() { watching_ = false; }

    // With the interpreter held: the current Python error becomes the pending one and the
    // operation is asked to stop (a callback raised, or Ctrl-C arrived).
    void keepPending() {
        if (!pending_)
            pending_.emplace();
        else
            PyErr_Clear();
        cancel_ = true;
    }
    bool hasPending() const { return pending_.has_value(); }
    // Raises the pending exception (interpreter held).
    void raisePending() {
        if (!pending_) return;
        py::error_already_set e = std::move(*pending_);
        pending_.reset();
        throw e;
    }

  private:
    std::atomic<bool> cancel_{false};
    std::atomic<bool> watching_{false};
    std::thread::id pythonThread_;
    std::optional<py::error_already_set> pending_;
};

}  // namespace evkit::python
