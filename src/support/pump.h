#pragma once
// Event seam used during long waits: the GUI processes its events and reports its stop
// button; the CLI reports Ctrl-C; tests script a cancel.
#include <atomic>
#include <functional>

namespace evkit {

class Pump {
public:
    virtual ~Pump() = default;
    virtual void processEvents() = 0;
    // True once the user asked the running operation to stop.
    virtual bool cancelRequested() = 0;
    // A stop button calls requestCancel(); a long operation calls clearCancel() as it
    // starts, so that an earlier stop does not end it at once.
    // Pumps without a stop button of their own ignore them.
    virtual void requestCancel() {}
    virtual void clearCancel() {}
};

// Does nothing; cancellation can be requested programmatically (Ctrl-C handler, tests).
class NullPump : public Pump {
public:
    void processEvents() override {
        if (onProcess) onProcess();
    }
    bool cancelRequested() override { return cancel.load(); }
    void requestCancel() override { cancel = true; }
    void clearCancel() override { cancel = false; }
    std::atomic<bool> cancel{false};
    std::function<void()> onProcess;  // tests hook events in here
};

}  // namespace evkit
