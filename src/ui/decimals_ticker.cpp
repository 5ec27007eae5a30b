#include "ui/decimals_ticker.h"

#include <cmath>

namespace evkit::app {

int decimalsForStep(double step) {
    if (!(step > 0.0) || !std::isfinite(step)) return 0;
    constexpr int kMaxDecimals = 15;
    double scaled = step;
    for (int d = 0; d < kMaxDecimals; ++d, scaled *= 10.0) {
        const double whole = std::round(scaled);
        if (whole >= 1.0 && std::fabs(scaled - whole) <= 1e-6 * whole) return d;
    }
    return kMaxDecimals;
}

double DecimalsTicker::getTickStep(const QCPRange& range) {
    step_ = QCPAxisTicker::getTickStep(range);
    decimals_ = decimalsForStep(step_);
    return step_;
}

QString DecimalsTicker::getTickLabel(double tick, const QLocale& locale, QChar, int) {
    // A tick at zero reached by adding steps may come out as -1e-17: it is written "0.000".
    if (std::fabs(tick) < step_ * 1e-9) tick = 0.0;
    return locale.toString(tick, 'f', decimals_);
}

}  // namespace evkit::app
