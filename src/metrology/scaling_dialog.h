#pragma once
// The Scaling window: volts and amperes at the inputs' full scale and the meter constant,
// saved beside the USB ID. Every window that shows engineering units takes them from here.
#include "metrology/scaling.h"
#include "ui/standing_window.h"

class QDoubleSpinBox;
class QLabel;

namespace evkit::metrology {

class ScalingDialog : public app::StandingWindow {
    Q_OBJECT
  public:
    explicit ScalingDialog(app::AppContext& ctx, QWidget* parent = nullptr);
    const Scaling& scaling() const { return scaling_; }
    // The scaling in force for a window of this context: the Scaling window's, or the saved
    // one when there is no such window.
    static Scaling current(app::AppContext& ctx);

  public slots:
    // Takes the entries, saves them and tells the windows.
    void SCALE_SAVE();

  signals:
    void scalingChanged(const Scaling& scaling);

  private:
    void show(const Scaling& s);
    Scaling scaling_;
    QDoubleSpinBox *v1_, *i1_, *v2_, *i2_, *meter_;
    QLabel* status_;
};

}  // namespace evkit::metrology
