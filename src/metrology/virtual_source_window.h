#pragma once
// The Virtual Source window (simulation only): the virtual board's inputs set as on a bench
// AC source, per channel pair RMS voltage and current, power factor, and the line frequency;
// further settings (harmonics, DC, noise, die temperature) as source words.
#include "metrology/scaling.h"
#include "ui/standing_window.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace evkit::metrology {

class VirtualSourceWindow : public app::StandingWindow {
    Q_OBJECT
  public:
    explicit VirtualSourceWindow(app::AppContext& ctx, QWidget* parent = nullptr);
    // The source words the entries stand for ("V1=230V I1=5A PF1=0.5L ... f=50 ...").
    std::string settingsText() const;

  public slots:
    // Programs the source; a refused word changes nothing and is said in the window.
    void SOURCE_APPLY();
    // Shows the source as it is now.
    void refresh();

  protected:
    void onOpened() override { refresh(); }

  private:
    struct Pair {
        QDoubleSpinBox *volts, *amperes, *pf;
        QComboBox* kind;  // L or C
    };
    Pair pairs_[2];
    QDoubleSpinBox* frequency_;
    QLineEdit* extra_;
    QLabel* shown_;
    QPushButton* apply_;
};

}  // namespace evkit::metrology
