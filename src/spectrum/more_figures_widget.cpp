#include "spectrum/more_figures_widget.h"

#include <QGridLayout>
#include <QLabel>
#include <cmath>

namespace evkit::app {

namespace {

struct RowText {
    const char* name;     // label and object name suffix
    const char* tooltip;  // the definition
};

constexpr std::array<RowText, 8> kRowTexts = {{
    {"SINAD_dBFS", "SINAD referred to full scale: SINAD + FS-PdB (dB)"},
    {"SNR_dBFS", "SNR referred to full scale: SNR + FS-PdB (dB)"},
    {"ENOB", "Effective number of bits: (SINAD_dBFS - 1.76) / 6.02"},
    {"THD_dBc", "Harmonics 2 to 9 against the fundamental, each at its folded frequency (dBc)"},
    {"SFDR_dBc", "Fundamental against the largest spur outside its band and DC (dBc)"},
    {"SFDR_dBFS", "Full scale against the largest spur (dB)"},
    {"SFDR_spur_Hz", "Frequency of the largest spur (Hz)"},
    {"NSD_dBFS_Hz", "Noise of SNR per hertz, against full scale (dBFS/Hz)"},
}};

QString number(double v, int decimals) {
    if (std::isinf(v)) return v > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (std::isnan(v)) return QStringLiteral("\u2014");
    return QString::number(v, 'f', decimals);
}

}  // namespace

MoreFiguresWidget::MoreFiguresWidget(QWidget* parent) : QGroupBox("More figures", parent) {
    setObjectName("DATA_MORE_FIGURES");
    // Two figures a row: the section stays short beside the five displays.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(8);
    for (std::size_t i = 0; i < kRowTexts.size(); ++i) {
        auto* v = new QLabel(this);
        v->setObjectName(QString("DATA_MORE_%1").arg(kRowTexts[i].name));
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        v->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // As wide empty as filled: the window's column keeps its width between analyses.
        v->setMinimumWidth(v->fontMetrics().horizontalAdvance("-0000.000"));
        v->setToolTip(kRowTexts[i].tooltip);
        auto* label = new QLabel(kRowTexts[i].name, this);
        label->setToolTip(kRowTexts[i].tooltip);
        const int row = static_cast<int>(i / 2);
        const int column = static_cast<int>(i % 2) * 2;
        grid->addWidget(label, row, column);
        grid->addWidget(v, row, column + 1);
        values_[i] = v;
    }
    note_ = new QLabel(this);
    note_->setObjectName("DATA_MORE_NOTE");
    note_->setWordWrap(true);
    grid->addWidget(note_, grid->rowCount(), 0, 1, 4);
    setVisible(false);
}

void MoreFiguresWidget::showFigures(const spectrum::ConverterFigures& c) {
    values_[kSinadDbfs]->setText(number(c.sinadDbfs, 3));
    values_[kSnrDbfs]->setText(number(c.snrDbfs, 3));
    values_[kEnob]->setText(number(c.enob, 3));
    values_[kThd]->setText(number(c.thdDbc, 3));
    values_[kSfdrDbc]->setText(number(c.sfdrDbc, 3));
    values_[kSfdrDbfs]->setText(number(c.sfdrDbfs, 3));
    values_[kSpur]->setText(c.noSpur ? QStringLiteral("\u2014") : number(c.spurHz, 3));
    values_[kNsd]->setText(number(c.nsdDbfsHz, 2));
    QString note = QString::fromStdString(c.note());
    if (c.noSpur)
        note = note.isEmpty() ? spectrum::kNoSpur : QString(spectrum::kNoSpur) + "; " + note;
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
    setVisible(true);
}

void MoreFiguresWidget::clearFigures() {
    for (QLabel* v : values_) v->clear();
    note_->clear();
    setVisible(false);
}

}  // namespace evkit::app
