#include "conversion/monitor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "board/board_link.h"
#include "registers/conversions.h"
#include "support/format.h"

namespace evkit::conversion {

namespace {
// While waiting for a record the window is kept alive at about this interval.
constexpr double kEventInterval = 0.02;
// After a stop request, a stream that stays silent this long (at least) is given up.
constexpr double kSilentStreamLimit = 1.0;
// A stream silent this long (or two computation cycles, when longer) has stopped: the run
// ends with the capture's time-out message.
constexpr double kStreamTimeout = 10.0;
}  // namespace

std::string timeString() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    return buf;
}

bool ConversionMonitor::stopRequested() {
    return convert_flag == 0 || session_.link.pump().cancelRequested();
}

ConversionMonitor::Wait ConversionMonitor::waitForRecord(int* status, double cyclePeriod) {
    BoardLink& link = session_.link;
    F32x& transport = link.transport();
    Clock& clock = link.clock();
    const double start = clock.now();
    double lastEvents = start;
    const double silentLimit = std::max(kSilentStreamLimit, 2.0 * cyclePeriod);
    const double timeout = std::max(kStreamTimeout, 2.0 * cyclePeriod);
    for (;;) {
        std::uint32_t devices = 0;
        int s = transport.GetNumDevices(&devices);
        if (s == 0 && devices == 0) s = kF32xDeviceNotFound;
        if (s != 0) {
            *status = s;
            return Wait::Lost;
        }
        std::uint32_t bytes = 0, state = 0;
        s = transport.CheckRXQueue(link.cyHandle, &bytes, &state);
        if (s != 0) {
            *status = s;
            return Wait::QueueFailed;
        }
        if (state & kRxReady) return Wait::Ready;
        const double now = clock.now();
        if (now - lastEvents >= kEventInterval) {
            // Keeps the window painted and its stop button alive between records; other
            // board commands from these events are refused by the link.
            link.processEvents();
            lastEvents = now;
            // An interrupt (Ctrl-C, quitting) ends the run now, not at the end of the update.
            if (link.pump().cancelRequested()) return Wait::Abandoned;
            // A stream that has gone silent would otherwise hold the run forever.
            if (stopRequested() && now - start > silentLimit) return Wait::Abandoned;
            if (now - start > timeout) return Wait::TimedOut;
        }
        clock.pollPause();
    }
}

int ConversionMonitor::refreshLineFrequency(int k, MonitorView& view) {
    std::int32_t word = 0;
    // A failed read (already reported) and K = 0 leave the display as it was.
    if (int s = session_.link.readRegister(kEpsilonPage, kEpsilonAddress, &word,
                                           session_.number_of_bits))
        return s;
    if (k == 0) return 0;
    lineFrequency_ = Hex_to_TwosComp(word) * (1000000.0 * session_.xtal_speed) / (k * 1024.0);
    hasLineFrequency_ = true;
    view.showLineFrequency(lineFrequency_);
    return 0;
}

int ConversionMonitor::refreshTmeas(MonitorView& view) {
    if (session_.TmeasID != 1) return 0;
    std::int32_t word = 0;
    // A failed read keeps it followed; the display keeps its value.
    if (int s =
            session_.link.readRegister(kTmeasPage, kTmeasAddress, &word, session_.number_of_bits))
        return s;
    const auto w = static_cast<std::uint32_t>(word) & 0xFFFFFFu;
    view.showTmeas(w);
    if (w == 0) session_.TmeasID = 0;
    return 0;
}

int ConversionMonitor::START(int count, bool single, MonitorView& view) {
    BoardLink& link = session_.link;
    if (link.closedForDiskMode) return link.refuseClosed();
    BoardClaim claim(link, "the conversion monitor");
    if (!claim.ok()) return kStatusBusy;

    int status = link.transport().FlushBuffers(link.cyHandle);
    if (status != 0) {
        link.reportConnectionLost();
        return status;
    }
    count = std::clamp(count, 1, kMaxAverageCount);
    view.prepare(count, single);

    std::int32_t cycleCount = 0, config = 0;
    // A set-up read that fails (already reported) gives no value to judge the start by.
    if ((status = link.readRegister(kCycleCountPage, kCycleCountAddress, &cycleCount,
                                    session_.number_of_bits)) != 0)
        return status;
    if ((status =
             link.readRegister(kConfigPage, kConfigAddress, &config, session_.number_of_bits)) != 0)
        return status;
    const int k = static_cast<int>(config & 0xF);
    cycleCount &= 0xFFFFFF;
    if (cycleCount < kMinCycleCount) {
        link.messages().show(msg::kCycleCountTitle, msg::kCycleCountTooLow);
        return -1;
    }
    const double wordRate = k == 0 ? 0.0 : 1000000.0 * session_.xtal_speed / (k * 1024.0);
    const double cyclePeriod = wordRate > 0 ? cycleCount / wordRate : 0.0;

    link.wBuffer.fill(0);
    link.wBuffer[0] = single ? kStartSingle : kStartContinuous;
    std::uint32_t written = 0;
    status = link.transport().Write(link.cyHandle, link.wBuffer.data(), 6, &written);
    if (status != 0) {
        link.messages().show(evkit::msg::kErrorTitle, evkit::msg::kWriteError);
        return status;
    }
    running_ = true;
    updates_ = 0;
    failedStatus_ = 0;
    if (!single) view.runStarted();
    convert_flag = 1;

    const auto endWithError = [&](int result) {
        convert_flag = 0;
        running_ = false;
        view.runEnded();
        return result;
    };

    bool abandoned = false;
    while (convert_flag == 1 && !abandoned) {
        stats_.reset();
        for (int c = 1; c <= count; ++c) {
            int waitStatus = 0;
            const Wait w = waitForRecord(&waitStatus, cyclePeriod);
            if (w == Wait::Lost) {
                link.reportConnectionLost();
                return endWithError(waitStatus);
            }
            if (w == Wait::Abandoned) {
                abandoned = true;
                break;
            }
            if (w == Wait::TimedOut) {
                link.messages().show(evkit::msg::kErrorTitle, msg::kStreamTimedOut);
                link.sendCommand(kHalt);  // rest the device; its status is not consulted
                return endWithError(kStatusStreamTimedOut);
            }
            std::uint32_t got = 0;
            status =
                w == Wait::QueueFailed
                    ? waitStatus
                    : link.transport().Read(link.cyHandle, link.rBuffer.data(), kRecordBytes, &got);
            // A failed queue check or a short record is a failed read: nothing of it is shown.
            if (status != 0 || got != static_cast<std::uint32_t>(kRecordBytes)) {
                console_.print(msg::kReadErrorConsole);
                link.clock().delay(4.0);
                view.hideConsole();
                return endWithError(-1);
            }
            current_ = decodeRecord(link.rBuffer.data());
            view.showCycle(current_);
            const int lineStatus = refreshLineFrequency(k, view);
            const int tmeasStatus = refreshTmeas(view);
            if (failedStatus_ == 0) failedStatus_ = lineStatus != 0 ? lineStatus : tmeasStatus;
            if (endOnFailure && failedStatus_ != 0) {
                abandoned = true;
                break;
            }
            stats_.add(current_);
            if (link.pump().cancelRequested()) {
                abandoned = true;
                break;
            }
        }
        if (abandoned) break;
        if (count > 1) view.showStatistics(stats_.means(), stats_.deviations());
        time_ = timeString();
        ++updates_;
        view.updateDone(updates_, time_);
        link.processEvents();
        if (session_.link.pump().cancelRequested()) convert_flag = 0;
        if (single) convert_flag = 0;
    }

    // A failed halt may leave the device streaming: the run did not end as it should.
    if (const int halt = link.sendCommand(kHalt); failedStatus_ == 0) failedStatus_ = halt;
    convert_flag = 0;
    running_ = false;
    view.runEnded();
    return failedStatus_;
}

namespace {
double epsilonSteps(double hz, int k, float xtalMHz) {
    const double epsilon = hz * (k * 1024.0) / (1000000.0 * static_cast<double>(xtalMHz));
    return std::trunc(epsilon * 8388607.0);
}
}  // namespace

bool epsilonWordFits(double hz, int k, float xtalMHz) {
    const double steps = epsilonSteps(hz, k, xtalMHz);
    return std::isfinite(steps) && steps >= 0.0 && steps < 8388608.0;
}

std::uint32_t epsilonWord(double hz, int k, float xtalMHz) {
    const double steps = epsilonSteps(hz, k, xtalMHz);
    // Sent as its three low bytes; values beyond any register are kept finite first.
    if (!std::isfinite(steps) || std::fabs(steps) >= 9.0e18) return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(steps)) & 0xFFFFFFu;
}

int setLineFrequency(Session& session, double hz, double* shown, std::uint32_t* written) {
    BoardLink& link = session.link;
    std::int32_t opmode = 0, config = 0;
    // Nothing is written when a read fails: its word would not be a device value.
    if (int s = link.readRegister(kOpModePage, kOpModeAddress, &opmode, session.number_of_bits))
        return s;
    if (opmode & 1) {
        link.messages().show(msg::kAfcTitle, msg::kAfcEnabled);
        return -1;
    }
    if (int s = link.readRegister(kConfigPage, kConfigAddress, &config, session.number_of_bits))
        return s;
    const int k = static_cast<int>(config & 0xF);
    // The oscillator entry is a decimal held as a float: its decimal value gives the rate
    // (4.096 MHz and K = 1: exactly 4000 words per second).
    const double mhz =
        std::strtod(strprintf("%.7g", static_cast<double>(session.xtal_speed)).c_str(), nullptr);
    const double rate = k == 0 ? 0.0 : 1000000.0 * mhz / (k * 1024.0);
    // A frequency has a word when it is above 0 and its word fits the register's 23 bits
    // (the word rate itself gives 0x7FFFFF or just below). Larger words would wrap around and
    // a later monitor would show another frequency. With K = 0 the word is 0.
    if (!(hz > 0.0) || !std::isfinite(hz) || !epsilonWordFits(hz, k, session.xtal_speed)) {
        link.messages().show(msg::kLineFrequencyTitle,
                             strprintf(msg::kLineFrequencyRange, hz, rate));
        return -1;
    }
    const std::uint32_t word = epsilonWord(hz, k, session.xtal_speed);
    if (int s = link.writeRegister(kEpsilonPage, kEpsilonAddress, word)) return s;
    if (shown) *shown = hz;
    if (written) *written = word;
    return 0;
}

int setTmeas(Session& session, std::int64_t value) {
    session.TmeasID = 1;
    const int s = session.link.writeRegister(kTmeasPage, kTmeasAddress,
                                             static_cast<std::uint32_t>(value) & 0xFFFFFFu);
    // Without the write there is nothing to follow.
    if (s != 0) session.TmeasID = 0;
    return s;
}

}  // namespace evkit::conversion
