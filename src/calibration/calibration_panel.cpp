#include "calibration/calibration_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/display_look.h"
#include "ui/edit_commit.h"
#include "ui/widgets.h"

namespace evkit::app {

namespace {

using calibration::CalType;

struct TypeRow {
    const char* label;
    CalType type;
    std::array<int, 4> addresses;  // registers of I1, V1, I2, V2
};

constexpr TypeRow kRows[] = {
    {"DC offset", CalType::DcOffset, {0, 2, 7, 9}},
    {"AC gain", CalType::Gain, {1, 3, 8, 10}},
    {"AC offset", CalType::AcOffset, {5, 6, 12, 13}},
};
constexpr std::pair<const char*, int> kChannels[] = {{"I1", calibration::kI1},
                                                     {"V1", calibration::kV1},
                                                     {"I2", calibration::kI2},
                                                     {"V2", calibration::kV2}};

QLineEdit* makeNumberDisplay(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    makeResultDisplay(e);
    e->setAlignment(Qt::AlignRight);
    e->setMinimumWidth(110);
    e->setText("0.00000000");
    return e;
}

}  // namespace

CalibrationPanel::CalibrationPanel(AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, kMenuItem, "Calibration", parent) {
    setObjectName(kPanelName);
    auto* outer = new QVBoxLayout(this);

    // One register cell: word above number.
    const auto makeRegisterCell = [this](int address, QWidget* parent) {
        const auto& reg = calibration::registers()[static_cast<size_t>(address)];
        auto* word = makeHexWordBox(parent);
        word->setObjectName(reg.wordControl);
        word->setToolTip(QString("%1 (1:%2) word").arg(reg.name).arg(address));
        commitOnEdit(word, [this, word] { writeWord(word->objectName()); });
        auto* number = makeNumberDisplay(parent);
        number->setObjectName(reg.numberControl);
        number->setToolTip(QString("%1 (1:%2)").arg(reg.name).arg(address));
        words_[static_cast<size_t>(address)] = word;
        numbers_[static_cast<size_t>(address)] = number;
        auto* box = new QVBoxLayout;
        box->setSpacing(2);
        box->addWidget(word);
        box->addWidget(number);
        return box;
    };
    const auto makeCalButton = [this](CalType type, int channels, const QString& text,
                                      QWidget* parent) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(calibration::findButton(type, channels)->control);
        connect(b, &QPushButton::clicked, this, &CalibrationPanel::CALIBRATE);
        calButtons_.push_back(b);
        return b;
    };

    auto* registersBox = new QGroupBox("Calibration registers (page 1)", this);
    auto* grid = new QGridLayout(registersBox);
    grid->setHorizontalSpacing(12);
    for (int c = 0; c < 4; ++c) {
        auto* head = new QLabel(QString("<b>%1</b>").arg(kChannels[c].first), registersBox);
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, c + 1);
    }
    auto* allHead = new QLabel("<b>All channels</b>", registersBox);
    allHead->setAlignment(Qt::AlignCenter);
    grid->addWidget(allHead, 0, 5);
    int row = 1;
    for (const auto& r : kRows) {
        grid->addWidget(new QLabel(r.label, registersBox), row, 0, 2, 1);
        for (int c = 0; c < 4; ++c) {
            grid->addLayout(makeRegisterCell(r.addresses[static_cast<size_t>(c)], registersBox),
                            row, c + 1);
            grid->addWidget(
                makeCalButton(r.type, kChannels[c].second,
                              QString("Calibrate %1").arg(kChannels[c].first), registersBox),
                row + 1, c + 1);
        }
        grid->addWidget(makeCalButton(r.type, calibration::kAll, "Calibrate all", registersBox),
                        row + 1, 5);
        row += 2;
    }
    // Registers 1:4 and 1:11: shown and written only, each beside its channel pair.
    grid->addWidget(new QLabel("Other", registersBox), row, 0);
    for (const auto& [address, column] : {std::pair{4, 1}, std::pair{11, 3}}) {
        auto* label = new QLabel(QString("Register 1:%1").arg(address), registersBox);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, row, column);
        grid->addLayout(makeRegisterCell(address, registersBox), row, column + 1);
    }
    outer->addWidget(registersBox);

    auto* bottom = new QHBoxLayout;
    gainMode_ = new QCheckBox("Gain mode (gain commands 0x9_ instead of 0xB_)", this);
    gainMode_->setObjectName("CAL_GAIN_MODE");
    bottom->addWidget(gainMode_);
    bottom->addStretch(1);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("CAL_PROGRESS");
    progress_->setRange(0, 1000);
    progress_->setFormat("Calibrating... %p%");
    progress_->setMinimumWidth(220);
    progress_->setVisible(false);
    bottom->addWidget(progress_);
    refresh_ = new QPushButton("Refresh", this);
    refresh_->setObjectName("CAL_REFRESH");
    connect(refresh_, &QPushButton::clicked, this, &CalibrationPanel::REFRESH_CAL);
    bottom->addWidget(refresh_);
    outer->addLayout(bottom);
}

void CalibrationPanel::showRegister(const calibration::Shown& shown) {
    const auto i = static_cast<size_t>(shown.reg->address);
    shownWords_[i] = static_cast<int>(shown.word);
    words_[i]->setValue(static_cast<int>(shown.word));
    numbers_[i]->setText(QString::number(shown.number, 'f', 8));
    numbers_[i]->setProperty("readFromDevice", true);
}

std::optional<std::array<double, 14>> CalibrationPanel::shownNumbers() const {
    std::array<double, 14> out{};
    for (size_t i = 0; i < out.size(); ++i) {
        // The placeholder shown before the first refresh is not a device value.
        if (!numbers_[i]->property("readFromDevice").toBool()) return std::nullopt;
        bool ok = false;
        out[i] = numbers_[i]->text().toDouble(&ok);
        if (!ok) return std::nullopt;
    }
    return out;
}

void CalibrationPanel::setProgress(double fraction) {
    progress_->setValue(static_cast<int>(fraction * 1000.0 + 0.5));
}

void CalibrationPanel::setRunning(bool running) {
    for (auto* b : calButtons_) b->setEnabled(!running);
    refresh_->setEnabled(!running);
    progress_->setValue(0);
    progress_->setVisible(running);
}

int CalibrationPanel::calibrate(const QString& control) {
    const bool gainMode = gainMode_->isChecked();  // read first, for every control
    const std::string name = control.toStdString();
    if (!calibration::findButton(name))
        return calibration::calibrateControl(ctx_.session.link, name, gainMode, {});
    setRunning(true);
    const int status = calibration::calibrateControl(
        ctx_.session.link, name, gainMode, [this](const calibration::Shown& s) { showRegister(s); },
        [this](double f) { setProgress(f); });
    setRunning(false);
    return status;
}

int CalibrationPanel::writeWord(const QString& wordControl) {
    const auto* reg = calibration::registerByWordControl(wordControl.toStdString());
    if (!reg) return 0;
    const auto i = static_cast<size_t>(reg->address);
    const auto word = static_cast<std::uint32_t>(words_[i]->value());
    const int status = calibration::writeWord(
        ctx_.session.link, *reg, word, [this](const calibration::Shown& s) { showRegister(s); });
    // Without a read-back the box goes back to the device's last word, not the typed one.
    if (status != 0) words_[i]->setValue(shownWords_[i]);
    return status;
}

int CalibrationPanel::CALIBRATE() {
    return calibrate(sender() ? sender()->objectName() : QString());
}

int CalibrationPanel::GET_CAL_HEX() {
    return writeWord(sender() ? sender()->objectName() : QString());
}

int CalibrationPanel::REFRESH_CAL() {
    return calibration::refresh(ctx_.session.link,
                                [this](const calibration::Shown& s) { showRegister(s); });
}

}  // namespace evkit::app
