#pragma once
// The conversion window: live results of the device (20 quantities with their update
// averages and deviations), the power commands, the line frequency and Tmeas entries, a
// strip chart of one quantity, and the conversion log controls.
#include <QStringList>
#include <array>
#include <deque>
#include <functional>
#include <optional>

#include "conversion/conversion_log.h"
#include "conversion/monitor.h"
#include "metrology/scaling.h"
#include "ui/standing_window.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace evkit::conversion {

class ConversionPanel : public app::StandingWindow, private MonitorView {
    Q_OBJECT
  public:
    static constexpr int kChartLength = 300;  // cycles kept by the strip chart

    explicit ConversionPanel(app::AppContext& ctx, QWidget* parent = nullptr);

    ConversionMonitor& monitor() { return monitor_; }
    ConversionLog& log() { return log_; }
    // Values for the log header. Until the setup and calibration windows provide theirs,
    // they are read from the device (or, while the board is busy, the last ones read).
    std::function<std::optional<LogHeaderValues>()> headerSource;

  public slots:
    // Monitor: single update from CONV_SINGLE, continuous from any other control.
    int START();
    int startRun(bool single);
    void STOP_CONV();
    int POWER_BUTTONS();
    int cbf_set_line_freq();
    int cbf_Tmeas();
    // Conversion log.
    void Conv_OpenFile();
    void Conv_Collect();
    void EDWREFRESH();

  protected:
    void onOpened() override;

  private:
    struct Row {
        QLabel* label = nullptr;
        QLineEdit* current = nullptr;
        QLineEdit* average = nullptr;
        QLineEdit* deviation = nullptr;
        QLineEdit* units = nullptr;  // the value in V, A, W, var or VA
    };

    // MonitorView
    void prepare(int count, bool single) override;
    void runStarted() override;
    void runEnded() override;
    void showCycle(const Values& values) override;
    void showLineFrequency(double hz) override;
    void showTmeas(std::uint32_t word) override;
    void showStatistics(const Values& means, const Values& deviations) override;
    void updateDone(int update, const std::string& time) override;

    void setCommandButtonsEnabled(bool enabled);
    void redrawChart();
    // The chart's unit axis over the same line as the device's axis.
    void followUnitAxis();
    std::optional<LogHeaderValues> deviceHeaderValues();
    void logFileChosen(const std::optional<std::string>& chosen);

    ConversionMonitor monitor_;
    ConversionLog log_;
    std::optional<LogHeaderValues> lastHeader_;
    std::optional<LogHeaderValues> runHeader_;  // taken as the current run started
    double lineFrequencyShown_ = 0.0;

    QPushButton *single_, *continuous_, *stop_;
    QPushButton *cmdB0_, *cmd90_, *cmdA0_;
    QSpinBox* averageCount_;
    QLineEdit* time_;
    QLabel* running_;
    QDoubleSpinBox* lineFreqEntry_;
    QLineEdit* lineFreq_;
    QSpinBox* tmeas_;
    QLabel* tmeasLabel_;
    std::array<Row, kQuantities> rows_;
    QComboBox* chartQuantity_;
    QCustomPlot* chart_;
    std::deque<Values> history_;
    metrology::Scaling chartScaling_;  // the scaling of the last cycle shown
    long long cycles_ = 0;
    QLineEdit* logPath_;
    QPushButton *logOpen_, *logAppend_, *logReset_;
    QLineEdit* logCount_;
};

}  // namespace evkit::conversion
