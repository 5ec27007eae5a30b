#pragma once
// The data window's "More figures" section: the converter figures of the spectrum shown,
// beside the five result displays (SINAD and SNR in dBFS, ENOB, THD, SFDR with its spur,
// noise density). Hidden for the other analyses.
#include <QGroupBox>
#include <array>

#include "spectrum/converter_figures.h"

class QLabel;

namespace evkit::app {

class MoreFiguresWidget : public QGroupBox {
    Q_OBJECT
  public:
    explicit MoreFiguresWidget(QWidget* parent = nullptr);

    // Shows the figures and makes the section visible.
    void showFigures(const spectrum::ConverterFigures& figures);
    // Empties the values and hides the section.
    void clearFigures();

  private:
    enum Row { kSinadDbfs, kSnrDbfs, kEnob, kThd, kSfdrDbc, kSfdrDbfs, kSpur, kNsd, kRows };
    std::array<QLabel*, kRows> values_{};
    QLabel* note_ = nullptr;
};

}  // namespace evkit::app
