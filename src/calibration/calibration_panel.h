#pragma once
// The calibration window: fifteen calibration buttons, the gain-mode switch, and the
// fourteen calibration registers of page 1 as editable words and numbers.
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "ui/standing_window.h"
#include "calibration/calibration.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace evkit::app {

class CalibrationPanel : public StandingWindow {
    Q_OBJECT
  public:
    static constexpr const char* kPanelName = "pnl_cal";
    static constexpr const char* kMenuItem = "MENU_CALIBRATION";

    explicit CalibrationPanel(AppContext& ctx, QWidget* parent = nullptr);

    // The callbacks by control name (the slots below find the name from the sender).
    int calibrate(const QString& control);
    int writeWord(const QString& wordControl);
    // The fourteen numbers as the window shows them (1:0 .. 1:13); nullopt before the
    // window has shown every register once.
    std::optional<std::array<double, 14>> shownNumbers() const;

  public slots:
    // Menu callback: check mark, show, refresh.
    void CAL_MNU() { openFromMenu(); }
    int CALIBRATE();
    int GET_CAL_HEX();
    int REFRESH_CAL();

  protected:
    void onOpened() override { REFRESH_CAL(); }

  private:
    void showRegister(const calibration::Shown& shown);
    void setProgress(double fraction);
    void setRunning(bool running);

    std::array<QSpinBox*, 14> words_{};
    std::array<int, 14> shownWords_{};  // the words last read from the device
    std::array<QLineEdit*, 14> numbers_{};
    std::vector<QPushButton*> calButtons_;
    QCheckBox* gainMode_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

}  // namespace evkit::app
