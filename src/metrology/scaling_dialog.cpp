#include "metrology/scaling_dialog.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace evkit::metrology {

namespace {
QDoubleSpinBox* entry(QWidget* parent, const char* name, const QString& suffix, double max,
                      int decimals) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(decimals == 0 ? 0.0 : 0.001, max);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setMinimumWidth(140);
    return box;
}
}  // namespace

ScalingDialog::ScalingDialog(app::AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "MENU_SCALING", "Scaling", parent) {
    setObjectName("pnl_scaling");
    auto* top = new QVBoxLayout(this);
    auto* note = new QLabel(
        "Voltage and current at the inputs' full scale (what the board's divider and shunt "
        "or current transformer give), and the pulse outputs' meter constant (0: from the "
        "pulse rate register).",
        this);
    note->setWordWrap(true);
    top->addWidget(note);
    auto* form = new QFormLayout;
    v1_ = entry(this, "SCALE_V1", " V", 1e7, 3);
    i1_ = entry(this, "SCALE_I1", " A", 1e6, 3);
    v2_ = entry(this, "SCALE_V2", " V", 1e7, 3);
    i2_ = entry(this, "SCALE_I2", " A", 1e6, 3);
    meter_ = entry(this, "SCALE_METER_CONSTANT", " pulses/kWh", 1e12, 0);
    form->addRow("V1 at full scale", v1_);
    form->addRow("I1 at full scale", i1_);
    form->addRow("V2 at full scale", v2_);
    form->addRow("I2 at full scale", i2_);
    form->addRow("Meter constant", meter_);
    top->addLayout(form);
    auto* save = new QPushButton("Apply and save", this);
    save->setObjectName("SCALE_SAVE");
    connect(save, &QPushButton::clicked, this, &ScalingDialog::SCALE_SAVE);
    top->addWidget(save);
    status_ = new QLabel(this);
    status_->setObjectName("SCALE_STATUS");
    status_->setWordWrap(true);
    top->addWidget(status_);
    std::string problem;
    scaling_ = savedScaling(&problem);
    if (!problem.empty()) status_->setText(QString::fromStdString(problem) + " (defaults shown)");
    show(scaling_);
    resize(420, 300);
}

void ScalingDialog::show(const Scaling& s) {
    v1_->setValue(s.channel[0].volts);
    i1_->setValue(s.channel[0].amperes);
    v2_->setValue(s.channel[1].volts);
    i2_->setValue(s.channel[1].amperes);
    meter_->setValue(s.meterConstant);
}

void ScalingDialog::SCALE_SAVE() {
    Scaling s;
    s.channel[0] = {v1_->value(), i1_->value()};
    s.channel[1] = {v2_->value(), i2_->value()};
    s.meterConstant = meter_->value();
    scaling_ = s;
    emit scalingChanged(s);
    std::string why;
    if (saveScaling(s, &why))
        status_->setText(QString("Saved in %1.").arg(QString::fromStdString(scalingConfigPath())));
    else
        status_->setText(QString("In use, but not saved: %1").arg(QString::fromStdString(why)));
}

Scaling ScalingDialog::current(app::AppContext& ctx) {
    if (ctx.window)
        if (auto* w = qobject_cast<ScalingDialog*>(ctx.window("pnl_scaling"))) return w->scaling();
    return savedScaling();
}

}  // namespace evkit::metrology
