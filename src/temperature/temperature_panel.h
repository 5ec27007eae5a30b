#pragma once
// The temperature sensor settings window: gain and offset as words and scaled values, the
// pair of scale boxes, the quick offset correction and a refresh. Opened by the setup
// window's button through the public slot cbf_tempsettingwin.
#include <optional>

#include "ui/standing_window.h"
#include "temperature/temperature.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace evkit::app {

class TemperaturePanel : public StandingWindow, private temperature::View {
    Q_OBJECT
  public:
    static constexpr const char* kPanelName = "pnl_temp";

    explicit TemperaturePanel(AppContext& ctx, QWidget* parent = nullptr);

    temperature::TemperatureSettings& settings() { return settings_; }

  public slots:
    // Shows the window and refreshes it from the device.
    void cbf_tempsettingwin();
    int TEMP_GAIN_HEX();
    int TEMP_GAIN_DEC();
    int TEMP_OFFSET_HEX();
    int TEMP_OFFSET_DEC();
    int TEMP_CHK();
    int TOFF_QUICK_SET();
    int TEMP_UPDATE();

  private:
    // temperature::View
    void showGainWord(std::uint32_t word) override;
    void showGainValue(double value) override;
    void showOffsetWord(std::uint32_t word) override;
    void showOffsetValue(double value) override;
    void setScaleBoxes(bool down, bool up) override;

    // The number typed into a value control, or nullopt (message shown).
    std::optional<double> typedNumber(QLineEdit* edit, const char* what);
    // After a refused or failed entry: the four register boxes show the device's last
    // values again instead of what was typed.
    int restoreOnFailure(int status);

    temperature::TemperatureSettings settings_;
    QSpinBox* gainWord_ = nullptr;
    QSpinBox* offsetWord_ = nullptr;
    QLineEdit* gainValue_ = nullptr;
    QLineEdit* offsetValue_ = nullptr;
    QLineEdit* quickSetValue_ = nullptr;
    QCheckBox* scaleDown_ = nullptr;
    QCheckBox* scaleUp_ = nullptr;
    int shownGainWord_ = 0, shownOffsetWord_ = 0;
    QString shownGainValue_, shownOffsetValue_;
};

}  // namespace evkit::app
