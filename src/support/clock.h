#pragma once
// Time seam. SystemClock runs on the wall clock; VirtualClock advances only when asked
// (delay, pollPause), so tests and the CLI's virtual board never wait in real time.
#include <atomic>
#include <cstdint>

namespace evkit {

class Clock {
public:
    virtual ~Clock() = default;
    // Waits the given number of seconds (negative or zero: returns at once).
    virtual void delay(double seconds) = 0;
    // Seconds since an arbitrary origin, monotonic.
    virtual double now() const = 0;
    // Called once per round by polling loops: a short pause so a loop neither spins
    // the processor nor stalls virtual time.
    virtual void pollPause() = 0;
};

class SystemClock : public Clock {
public:
    void delay(double seconds) override;
    double now() const override;
    void pollPause() override;
};

class VirtualClock : public Clock {
public:
    static constexpr double kPollStep = 0.001;  // virtual seconds per polling round

    void delay(double seconds) override {
        if (seconds > 0) advance(seconds);
    }
    double now() const override { return static_cast<double>(ns_.load()) * 1e-9; }
    void pollPause() override { advance(kPollStep); }
    void advance(double seconds) {
        ns_.fetch_add(static_cast<std::int64_t>(seconds * 1e9 + 0.5));
    }

private:
    std::atomic<std::int64_t> ns_{0};
};

}  // namespace evkit
