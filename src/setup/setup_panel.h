#pragma once
// The device setup window: the configuration, mask, status, control and operational-mode
// registers as words and fields, the oscillator and cycle count, the sag, pulse, temperature
// and other numeric registers, and the register settings files. Every control is a row of
// setup::setupControls(); edits go through setup::SetupModel, which writes, reads back and
// keeps what the device holds.
#include <map>
#include <string>

#include "ui/standing_window.h"
#include "setup/setup_model.h"

class QGridLayout;

namespace evkit::app {

class SetupPanel : public StandingWindow {
    Q_OBJECT
  public:
    explicit SetupPanel(AppContext& ctx, QWidget* parent = nullptr);

    // The values the window shows (last refresh or edit), for other windows.
    const setup::SetupValues& values() const { return model_.values(); }
    setup::SetupModel& model() { return model_; }
    // The window's control for a role name, nullptr when there is none.
    QWidget* control(const std::string& name) const;

  public slots:
    // Menu callback of MENU_SETUP: check mark, show, refresh.
    void SETUP() { openFromMenu(); }
    // Close request: hide and remove the check mark.
    void SETUP_PANEL() { close(); }
    // Fills every control from the device; returns the first read's failing status.
    int Refresh_Setup();

    void CONFIG_BIN() { commitFrom(sender()); }
    void MASK_BIN() { commitFrom(sender()); }
    void CONTROL_BIN() { commitFrom(sender()); }
    void OPMODE_BIN() { commitFrom(sender()); }
    void XTAL_SPEED() { commitFrom(sender()); }
    void CY_COUNT() { commitFrom(sender()); }
    void PulseRate() { commitFrom(sender()); }
    void SAG() { commitFrom(sender()); }
    void Temp_Gain_Offset() { commitFrom(sender()); }
    void VF_RMS() { commitFrom(sender()); }
    void Settle_Time() { commitFrom(sender()); }
    void cbf_Epsilon() { commitFrom(sender()); }
    void cbf_LoadMin() { commitFrom(sender()); }
    void CLEAR_STATUS();
    void RESET_REFRESH();
    void RETRIEVE();
    void STORE();
    void TEMP_SETTINGS();

  protected:
    void onOpened() override { Refresh_Setup(); }

  private:
    void commitFrom(QObject* source);
    void showValues();
    QWidget* make(const std::string& name);
    QWidget* buildConfig();
    QWidget* buildControl();
    QWidget* buildOpMode();
    QWidget* buildMask();
    QWidget* buildStatus();
    QWidget* buildCycle();
    QWidget* buildSag();
    QWidget* buildNumeric();
    QWidget* buildTemperature();
    QWidget* buildFiles();
    void addRow(QGridLayout* grid, int row, const std::string& name);

    setup::SetupModel model_;
    std::map<std::string, QWidget*> controls_;
};

}  // namespace evkit::app
