#include "metrology/virtual_source_window.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "metrology/scaling_dialog.h"
#include "metrology/source_settings.h"
#include "sim/virtual_board.h"
#include "support/format.h"

namespace evkit::metrology {

namespace {
QDoubleSpinBox* entry(QWidget* parent, const QString& name, const QString& suffix, double max,
                      int decimals) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0.0, max);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return box;
}
}  // namespace

VirtualSourceWindow::VirtualSourceWindow(app::AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "MENU_SOURCE", "Virtual Source", parent) {
    setObjectName("pnl_source");
    auto* top = new QVBoxLayout(this);
    auto* box = new QGroupBox("Source (RMS of the fundamental)", this);
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Voltage", box), 0, 1);
    grid->addWidget(new QLabel("Current", box), 0, 2);
    grid->addWidget(new QLabel("Power factor", box), 0, 3, 1, 2);
    for (int c = 0; c < 2; ++c) {
        const QString n = QString::number(c + 1);
        Pair& p = pairs_[c];
        p.volts = entry(box, "SOURCE_V" + n, " V", 1e7, 3);
        p.amperes = entry(box, "SOURCE_I" + n, " A", 1e6, 4);
        p.pf = entry(box, "SOURCE_PF" + n, "", 1.0, 4);
        p.pf->setMinimum(0.0001);
        p.pf->setSingleStep(0.05);
        p.kind = new QComboBox(box);
        p.kind->setObjectName("SOURCE_PF" + n + "_KIND");
        p.kind->addItems({"L (lagging)", "C (leading)"});
        grid->addWidget(new QLabel("Channel " + n, box), c + 1, 0);
        grid->addWidget(p.volts, c + 1, 1);
        grid->addWidget(p.amperes, c + 1, 2);
        grid->addWidget(p.pf, c + 1, 3);
        grid->addWidget(p.kind, c + 1, 4);
    }
    frequency_ = entry(box, "SOURCE_F", " Hz", 1000.0, 3);
    frequency_->setMinimum(0.001);
    grid->addWidget(new QLabel("Line frequency", box), 3, 0);
    grid->addWidget(frequency_, 3, 1);
    top->addWidget(box);
    top->addWidget(
        new QLabel("Further settings, e.g. I1H3=10%@30 V1DC=0.5V I1NOISE=0.001A TEMP=40:", this));
    extra_ = new QLineEdit(this);
    extra_->setObjectName("SOURCE_EXTRA");
    top->addWidget(extra_);
    apply_ = new QPushButton("Apply", this);
    apply_->setObjectName("SOURCE_APPLY");
    connect(apply_, &QPushButton::clicked, this, &VirtualSourceWindow::SOURCE_APPLY);
    connect(extra_, &QLineEdit::returnPressed, this, &VirtualSourceWindow::SOURCE_APPLY);
    top->addWidget(apply_);
    shown_ = new QLabel(this);
    shown_->setObjectName("SOURCE_SHOWN");
    shown_->setWordWrap(true);
    shown_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(shown_);
    top->addStretch(1);
    resize(620, 330);
    refresh();
}

std::string VirtualSourceWindow::settingsText() const {
    std::string s;
    for (int c = 0; c < 2; ++c) {
        const Pair& p = pairs_[c];
        const double pf = p.pf->value();
        s += strprintf("V%d=%.6gV I%d=%.6gA ", c + 1, p.volts->value(), c + 1, p.amperes->value());
        s += pf >= 0.99995
                 ? strprintf("PF%d=1 ", c + 1)
                 : strprintf("PF%d=%.6g%s ", c + 1, pf, p.kind->currentIndex() ? "C" : "L");
    }
    s += strprintf("f=%.6g", frequency_->value());
    const std::string extra = extra_->text().trimmed().toStdString();
    if (!extra.empty()) s += " " + extra;
    return s;
}

void VirtualSourceWindow::refresh() {
    sim::VirtualBoard* board = virtualBoardOf(ctx_.session.link.transport());
    for (auto* w : findChildren<QWidget*>())
        if (w != shown_) w->setEnabled(board != nullptr);
    if (!board) {
        shown_->setText(
            "The programmable source belongs to the virtual board: start the program "
            "with --board sim.");
        return;
    }
    const Scaling scaling = ScalingDialog::current(ctx_);
    const sim::SignalSource s = board->signal();
    for (int c = 0; c < 2; ++c) {
        const auto& v = s.inputs[static_cast<size_t>(2 * c)];
        const auto& i = s.inputs[static_cast<size_t>(2 * c + 1)];
        const auto& fs = scaling.channel[static_cast<size_t>(c)];
        pairs_[c].volts->setValue(v.amplitude / std::sqrt(2.0) * fs.volts);
        pairs_[c].amperes->setValue(i.amplitude / std::sqrt(2.0) * fs.amperes);
        const double phi = i.phaseDeg - v.phaseDeg;
        pairs_[c].pf->setValue(std::fabs(std::cos(phi * M_PI / 180.0)));
        pairs_[c].kind->setCurrentIndex(std::sin(phi * M_PI / 180.0) > 1e-9 ? 1 : 0);
    }
    frequency_->setValue(s.lineFrequency);
    shown_->setText(QString::fromStdString("Now: " + describeSource(s, scaling)));
}

void VirtualSourceWindow::SOURCE_APPLY() {
    sim::VirtualBoard* board = virtualBoardOf(ctx_.session.link.transport());
    if (!board) return;
    const Scaling scaling = ScalingDialog::current(ctx_);
    sim::SignalSource s = board->signal();
    sim::ErrorModel e = board->errorModel();
    std::string why;
    if (!applySourceSettings(settingsText(), scaling, s, e, &why)) {
        shown_->setText(QString::fromStdString("Not applied: " + why));
        return;
    }
    board->setSignal(s);
    board->setErrorModel(e);
    shown_->setText(QString::fromStdString("Now: " + describeSource(s, scaling)));
}

}  // namespace evkit::metrology
