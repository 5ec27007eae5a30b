#include "support/clock.h"

#include <chrono>
#include <thread>

namespace evkit {

void SystemClock::delay(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

double SystemClock::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::pollPause() { std::this_thread::sleep_for(std::chrono::microseconds(500)); }

}  // namespace evkit
