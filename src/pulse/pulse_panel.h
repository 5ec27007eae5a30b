#pragma once
// The pulse window: counts the board's three energy pulse inputs M times over a gate time T
// and shows counts, rates, mean rates and their deviations.
//
// Stopping: PULSE_STOP sets the window's own stop flag (checked between counts) and asks the
// board link's pump to cancel (checked by the timed measurement's wait, which then answers
// 255). By default the request goes to a NullPump's cancel flag; a shell with its own pump
// installs its request/clear functions with setCancelHooks.
#include <QString>
#include <array>
#include <functional>

#include "ui/standing_window.h"
#include "pulse/pulse_measurement.h"

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace evkit::app {

class PulsePanel : public StandingWindow {
    Q_OBJECT
  public:
    static constexpr const char* kPanelName = "pnl_pulse";
    static constexpr const char* kMenuItem = "MENU_PULSE";

    explicit PulsePanel(AppContext& ctx, QWidget* parent = nullptr);

    // request: make the pump's cancelRequested() true; clear: make it false again.
    void setCancelHooks(std::function<void()> request, std::function<void()> clear);
    bool running() const { return running_; }

  public slots:
    // Menu callback: check mark, stop hidden, start undimmed, show.
    void PULSEWIN();
    int START_PULSE();
    void STOP_PULSE();

  private:
    void clearDisplays();
    void showCount(const pulse::CountResult& r);
    void setRunning(bool running);

    QDoubleSpinBox* time_ = nullptr;
    QSpinBox* repeat_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* status_ = nullptr;
    std::array<QLineEdit*, 3> counts_{}, rates_{}, means_{}, deviations_{};
    std::function<void()> requestCancel_, clearCancel_;
    bool stopRequested_ = false;
    bool running_ = false;
};

}  // namespace evkit::app
