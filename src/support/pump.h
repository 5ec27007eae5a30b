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
};

// Does nothing; cancellation can be requested programmatically (Ctrl-C handler, tests).
class NullPump : public Pump {
public:
    void processEvents() override {
        if (onProcess) onProcess();
    }
    bool cancelRequested() override { return cancel.load(); }
    std::atomic<bool> cancel{false};
    std::function<void()> onProcess;  // tests hook events in here
};

}  // namespace evkit
