#pragma once
// The Accuracy Test window: the plan's settings, Start and Stop, progress point by point, the
// table of points and the error-versus-current plot with the class's limits, and the table,
// report and plot exports.
#include <functional>

#include "metrology/accuracy_run.h"
#include "ui/standing_window.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace evkit::app {
class GraphWidget;
}

namespace evkit::metrology {

class AccuracyWindow : public app::StandingWindow {
    Q_OBJECT
  public:
    explicit AccuracyWindow(app::AppContext& ctx, QWidget* parent = nullptr);
    const AccuracyRun& lastRun() const { return run_; }
    // The plan the entries make (the loaded plan's points, or the default points).
    AccuracyPlan plan() const;
    app::GraphWidget* graph() const { return plot_; }
    // A real bench: how the user is asked to set the source and give the reference (tests
    // replace them; the defaults ask in a box).
    std::function<bool(const PointResult&)> askToSetSource;
    std::function<std::optional<double>(const PointResult&)> askForReference;

  public slots:
    int ACC_START();
    void ACC_STOP();
    void ACC_LOAD_PLAN();
    void ACC_EXPORT_PLOT();
    void ACC_SAVE_CSV();
    void ACC_SAVE_REPORT();

  private:
    void showPoint(const PointResult& p);
    void redrawPlot();
    void saveText(const char* title, const char* pattern, const char* name,
                  const std::string& text);

    AccuracyPlan loaded_;
    bool planLoaded_ = false;
    AccuracyRun run_;
    bool running_ = false;
    QComboBox *class_, *method_, *channel_;
    QDoubleSpinBox *ib_, *imax_, *volts_, *settle_;
    QSpinBox *window_, *minPulses_;
    QPushButton *start_, *stop_, *load_, *exportPlot_, *saveCsv_, *saveReport_;
    QProgressBar* progress_;
    QLabel* status_;
    QTableWidget* table_;
    app::GraphWidget* plot_;
};

}  // namespace evkit::metrology
