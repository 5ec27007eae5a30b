#pragma once
// The continuous conversion monitor: starts the board's result stream, reads one record per
// computation cycle, shows the values, the per-update means and deviations, the line
// frequency and the Tmeas register, and ends the stream with 0xA0. Runs on the calling
// (user-interface) thread and keeps the interface alive through BoardLink::processEvents.
#include <cstdint>
#include <string>

#include "board/session.h"
#include "conversion/record.h"
#include "conversion/statistics.h"
#include "support/console.h"

namespace evkit::conversion {

namespace msg {
inline constexpr const char* kCycleCountTitle = " ";
inline constexpr const char* kCycleCountTooLow =
    "Please go to Menu, Setup Window, set Cycle Count > 400 decimal";
inline constexpr const char* kReadErrorConsole = "USB READ error\n";
// A result stream that stays silent (the capture's time-out message).
inline constexpr const char* kStreamTimedOut = "Timed out during data collection.";
inline constexpr const char* kAfcTitle = "Error";
inline constexpr const char* kAfcEnabled =
    "Cannot set the Line Frequency when the AFC flag is enabled.";
inline constexpr const char* kLineFrequencyTitle = "Error";
// printf format: the frequency asked for, then the word rate.
inline constexpr const char* kLineFrequencyRange =
    "Cannot set the Line Frequency to %g Hz: it must be above 0 Hz and not above the "
    "output word rate of %g words per second. Nothing was written.";
}  // namespace msg

constexpr int kMinCycleCount = 400;
// Status of a run whose result stream stayed silent for 10 s (message shown).
constexpr int kStatusStreamTimedOut = -1;
// Largest number of computation cycles per update (the board's single-run group).
constexpr int kMaxAverageCount = 1000;
constexpr std::uint8_t kStartContinuous = 0xF9;
constexpr std::uint8_t kStartSingle = 0xFB;
constexpr std::uint8_t kHalt = 0xA0;

// Registers the monitor and its entries use (page, address).
constexpr int kConfigPage = 0, kConfigAddress = 0;
constexpr int kOpModePage = 1, kOpModeAddress = 16;
constexpr int kEpsilonPage = 1, kEpsilonAddress = 17;
constexpr int kCycleCountPage = 1, kCycleCountAddress = 19;
constexpr int kTmeasPage = 5, kTmeasAddress = 26;

// What the monitor shows; the window and the command line implement it.
class MonitorView {
  public:
    virtual ~MonitorView() = default;
    // Set-up: averages are meaningful when count > 1 in continuous mode; the temperature
    // displays are hidden in single mode.
    virtual void prepare(int /*count*/, bool /*single*/) {}
    // A continuous run has started: command buttons dimmed, running indicator shown.
    virtual void runStarted() {}
    // The run has ended (normally or through an error): buttons enabled, indicator hidden.
    virtual void runEnded() {}
    // One computation cycle's values, in display order.
    virtual void showCycle(const Values& /*values*/) {}
    virtual void showLineFrequency(double /*hz*/) {}
    virtual void showTmeas(std::uint32_t /*word*/) {}
    // End of an update of more than one cycle.
    virtual void showStatistics(const Values& /*means*/, const Values& /*deviations*/) {}
    // End of every update, with its number (1, 2, ...) and time of day.
    virtual void updateDone(int /*update*/, const std::string& /*time*/) {}
    // After a read failure the console window is hidden.
    virtual void hideConsole() {}
};

class ConversionMonitor {
  public:
    ConversionMonitor(Session& session, Console& console) : session_(session), console_(console) {}

    // Runs the monitor with `count` cycles per update, one update when single. Returns 0,
    // -1 (cycle count too low, read failure, a stream silent for 10 s), kStatusBusy, or a
    // transport status. A stop request of the event pump (Ctrl-C, quitting) ends the run
    // within one event interval, with the halt command sent; the stop button
    // (STOP_CONV) ends it at the end of the update. A board step that fails during the run
    // (a line frequency or Tmeas read, the halt) has shown its message; the run goes on
    // unless endOnFailure is set, and START returns that step's status at the end.
    int START(int count, bool single, MonitorView& view);
    // Set by callers that must not show values after a failure (the command line): the
    // first failed step ends the run at once, its update is not shown, the halt is sent.
    bool endOnFailure = false;
    // Status of the first board step that failed during the last run (0: none).
    int failedStatus() const { return failedStatus_; }
    // The stop button: the run ends at the end of the current update.
    void STOP_CONV() { convert_flag = 0; }

    bool running() const { return running_; }
    int updates() const { return updates_; }
    // Latest values of the run (display order) and the line frequency shown last.
    const Values& current() const { return current_; }
    double lineFrequency() const { return lineFrequency_; }
    bool hasLineFrequency() const { return hasLineFrequency_; }
    const UpdateStatistics& statistics() const { return stats_; }

    int convert_flag = 0;
    std::string time_;  // time of the last update

  private:
    enum class Wait { Ready, Lost, QueueFailed, Abandoned, TimedOut };
    Wait waitForRecord(int* status, double cyclePeriod);
    int refreshLineFrequency(int k, MonitorView& view);
    int refreshTmeas(MonitorView& view);
    bool stopRequested();

    Session& session_;
    Console& console_;
    UpdateStatistics stats_;
    Values current_{};
    double lineFrequency_ = 0.0;
    bool hasLineFrequency_ = false;
    bool running_ = false;
    int updates_ = 0;
    int failedStatus_ = 0;
};

// The line frequency entry: refused while the AFC flag (operational mode bit 0) is set and for
// frequencies that are not above 0 or whose word would not fit 23 bits (above the output word
// rate; with the clock divider K = 0 every frequency gives the word 0); otherwise writes
// epsilon = f x (K x 1024) / (10^6 x xtal_speed) as a word of 2^23 - 1 steps. Returns 0 (and the
// accepted frequency in *shown), -1 when refused, or the status of a failed read or write (nothing
// further is sent after a failed read).
int setLineFrequency(Session& session, double hz, double* shown, std::uint32_t* written = nullptr);
// The epsilon word for a line frequency (K = 0 gives 0).
// Whether that word fits the register's 23 bits without wrapping (K = 0: always).
bool epsilonWordFits(double hz, int k, float xtalMHz);
std::uint32_t epsilonWord(double hz, int k, float xtalMHz);

// The Tmeas entry: writes register 5:26 and asks the monitor to follow it until it reads 0.
int setTmeas(Session& session, std::int64_t value);

// Time of day as "HH:MM:SS".
std::string timeString();

}  // namespace evkit::conversion
