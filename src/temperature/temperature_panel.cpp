#include "temperature/temperature_panel.h"

#include <QCheckBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "ui/edit_commit.h"
#include "ui/widgets.h"

namespace evkit::app {

namespace {

QLineEdit* makeValueEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAlignment(Qt::AlignRight);
    e->setMinimumWidth(140);
    auto* v = new QDoubleValidator(e);
    v->setLocale(QLocale::c());
    v->setNotation(QDoubleValidator::ScientificNotation);
    e->setValidator(v);
    return e;
}

QString formatValue(double v) {
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return QString::number(v, 'g', 12);
}

}  // namespace

TemperaturePanel::TemperaturePanel(AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "", "Temperature Sensor Settings", parent), settings_(ctx.session.link) {
    setObjectName(kPanelName);
    auto* outer = new QVBoxLayout(this);

    auto* regs = new QGroupBox("Temperature registers", this);
    auto* grid = new QGridLayout(regs);
    grid->addWidget(new QLabel("<b>Value</b>", regs), 0, 1);
    grid->addWidget(new QLabel("<b>Word</b>", regs), 0, 2);
    grid->addWidget(new QLabel("Gain (1:22)", regs), 1, 0);
    grid->addWidget(new QLabel("Offset (1:23)", regs), 2, 0);
    gainValue_ = makeValueEdit(regs, "TEMP_GAIN_VALUE");
    offsetValue_ = makeValueEdit(regs, "TEMP_OFFSET_VALUE");
    gainWord_ = makeHexWordBox(regs);
    gainWord_->setObjectName("TEMP_GAIN_WORD");
    offsetWord_ = makeHexWordBox(regs);
    offsetWord_->setObjectName("TEMP_OFFSET_WORD");
    grid->addWidget(gainValue_, 1, 1);
    grid->addWidget(gainWord_, 1, 2);
    grid->addWidget(offsetValue_, 2, 1);
    grid->addWidget(offsetWord_, 2, 2);
    outer->addWidget(regs);
    commitOnEdit(gainWord_, [this] { TEMP_GAIN_HEX(); });
    commitOnEdit(offsetWord_, [this] { TEMP_OFFSET_HEX(); });
    commitOnEdit(gainValue_, [this] { TEMP_GAIN_DEC(); });
    commitOnEdit(offsetValue_, [this] { TEMP_OFFSET_DEC(); });

    auto* scale = new QGroupBox("Scale", this);
    auto* scaleRow = new QHBoxLayout(scale);
    scaleDown_ = new QCheckBox("Down (gain / 1.8)", scale);
    scaleDown_->setObjectName("TEMP_SCALE_DOWN");
    scaleUp_ = new QCheckBox("Up (gain x 1.8)", scale);
    scaleUp_->setObjectName("TEMP_SCALE_UP");
    scaleRow->addWidget(scaleDown_);
    scaleRow->addWidget(scaleUp_);
    scaleRow->addStretch(1);
    outer->addWidget(scale);
    connect(scaleDown_, &QCheckBox::clicked, this, &TemperaturePanel::TEMP_CHK);
    connect(scaleUp_, &QCheckBox::clicked, this, &TemperaturePanel::TEMP_CHK);

    auto* quick = new QGroupBox("Quick offset correction", this);
    auto* quickRow = new QHBoxLayout(quick);
    quickRow->addWidget(new QLabel("Amount", quick));
    quickSetValue_ = makeValueEdit(quick, "TEMP_QUICK_SET_VALUE");
    quickSetValue_->setText("0");
    quickRow->addWidget(quickSetValue_);
    auto* apply = new QPushButton("Apply", quick);
    apply->setObjectName("TEMP_QUICK_SET");
    quickRow->addWidget(apply);
    outer->addWidget(quick);
    // The amount is applied on Enter in the entry or with the button, not on leaving it.
    connect(quickSetValue_, &QLineEdit::returnPressed, this, &TemperaturePanel::TOFF_QUICK_SET);
    connect(apply, &QPushButton::clicked, this, &TemperaturePanel::TOFF_QUICK_SET);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    auto* refresh = new QPushButton("Refresh", this);
    refresh->setObjectName("TEMP_REFRESH");
    bottom->addWidget(refresh);
    outer->addLayout(bottom);
    connect(refresh, &QPushButton::clicked, this, &TemperaturePanel::TEMP_UPDATE);
}

void TemperaturePanel::cbf_tempsettingwin() {
    show();
    raise();
    activateWindow();
    TEMP_UPDATE();
}

void TemperaturePanel::showGainWord(std::uint32_t word) {
    shownGainWord_ = static_cast<int>(word);
    gainWord_->setValue(shownGainWord_);
}
void TemperaturePanel::showGainValue(double value) {
    shownGainValue_ = formatValue(value);
    gainValue_->setText(shownGainValue_);
}
void TemperaturePanel::showOffsetWord(std::uint32_t word) {
    shownOffsetWord_ = static_cast<int>(word);
    offsetWord_->setValue(shownOffsetWord_);
}
void TemperaturePanel::showOffsetValue(double value) {
    shownOffsetValue_ = formatValue(value);
    offsetValue_->setText(shownOffsetValue_);
}

int TemperaturePanel::restoreOnFailure(int status) {
    if (status == 0) return 0;
    gainWord_->setValue(shownGainWord_);
    offsetWord_->setValue(shownOffsetWord_);
    gainValue_->setText(shownGainValue_);
    offsetValue_->setText(shownOffsetValue_);
    return status;
}
void TemperaturePanel::setScaleBoxes(bool down, bool up) {
    scaleDown_->setChecked(down);
    scaleUp_->setChecked(up);
}

std::optional<double> TemperaturePanel::typedNumber(QLineEdit* edit, const char* what) {
    bool ok = false;
    const double v = QLocale::c().toDouble(edit->text().trimmed(), &ok);
    if (ok && std::isfinite(v)) return v;
    ctx_.messages.show(temperature::kEntryErrorTitle,
                       QString("The %1 '%2' is not a number. Nothing was written.")
                           .arg(what, edit->text())
                           .toStdString());
    return std::nullopt;
}

int TemperaturePanel::TEMP_GAIN_HEX() {
    return restoreOnFailure(
        settings_.gainWordEntry(static_cast<std::uint32_t>(gainWord_->value()), *this));
}

int TemperaturePanel::TEMP_OFFSET_HEX() {
    return restoreOnFailure(
        settings_.offsetWordEntry(static_cast<std::uint32_t>(offsetWord_->value()), *this));
}

int TemperaturePanel::TEMP_GAIN_DEC() {
    const auto v = typedNumber(gainValue_, "temperature gain value");
    return restoreOnFailure(v ? settings_.gainValueEntry(*v, *this) : temperature::kStatusRefused);
}

int TemperaturePanel::TEMP_OFFSET_DEC() {
    const auto v = typedNumber(offsetValue_, "temperature offset value");
    return restoreOnFailure(v ? settings_.offsetValueEntry(*v, *this)
                              : temperature::kStatusRefused);
}

int TemperaturePanel::TEMP_CHK() {
    auto* box = qobject_cast<QCheckBox*>(sender());
    if (box != scaleDown_ && box != scaleUp_) return 0;
    return settings_.scaleChange(
        box == scaleUp_ ? temperature::ScaleBox::Up : temperature::ScaleBox::Down, box->isChecked(),
        *this);
}

int TemperaturePanel::TOFF_QUICK_SET() {
    const auto q = typedNumber(quickSetValue_, "quick-set amount");
    return q ? settings_.quickSet(*q, *this) : temperature::kStatusRefused;
}

int TemperaturePanel::TEMP_UPDATE() {
    return settings_.refresh(*this);
}

}  // namespace evkit::app
