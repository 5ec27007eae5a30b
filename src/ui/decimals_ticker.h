#pragma once
// Axis ticks whose labels all carry the same number of decimals, as many as the tick step
// needs ("0.420", "0.425", "0.430" for a step of 0.005), instead of each label dropping its
// own trailing zeros.
#include <qcustomplot.h>

namespace evkit::app {

// The fewest decimals that write `step` exactly (0.005: 3, 2.5: 1, 20: 0); at most 15.
int decimalsForStep(double step);

class DecimalsTicker : public QCPAxisTicker {
  public:
    // Decimals of the last tick step chosen.
    int decimals() const { return decimals_; }

  protected:
    double getTickStep(const QCPRange& range) override;
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                         int precision) override;

  private:
    double step_ = 1.0;
    int decimals_ = 0;
};

}  // namespace evkit::app
