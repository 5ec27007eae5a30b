#include "collection/save_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace evkit::app {

namespace {
struct ChoiceEntry {
    const char* name;
    const char* text;
    SaveChoice choice;
};
constexpr std::array<ChoiceEntry, 5> kChoices = {{
    {"SAVE_DATA", "Save capture (.dat)", SaveChoice::Data},
    {"SAVE_FFT", "Save spectrum (.fft)", SaveChoice::Fft},
    {"SAVE_HISTOGRAM", "Save histogram (.hit)", SaveChoice::Histogram},
    {"SAVE_PRINT_PANEL", "Print the window", SaveChoice::PrintPanel},
    {"SAVE_PRINT_GRAPH", "Print the graph", SaveChoice::PrintGraph},
}};
}  // namespace

SaveDialog::SaveDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("pnl_save");
    setWindowTitle("Save or Print");
    auto* top = new QVBoxLayout(this);
    auto* group = new QGroupBox("Choose one", this);
    auto* list = new QVBoxLayout(group);
    // One choice of five: radio buttons, none chosen at first.
    auto* exclusive = new QButtonGroup(this);
    for (std::size_t i = 0; i < kChoices.size(); ++i) {
        auto* box = new QRadioButton(kChoices[i].text, group);
        box->setObjectName(kChoices[i].name);
        boxes_[i] = box;
        exclusive->addButton(box);
        list->addWidget(box);
        connect(box, &QRadioButton::clicked, this, [this, i] { choose(static_cast<int>(i)); });
    }
    top->addWidget(group);

    busy_ = new QProgressBar(this);
    busy_->setObjectName("SAVE_BUSY");
    busy_->setRange(0, 0);  // busy indicator
    busy_->setTextVisible(false);
    busy_->setMaximumHeight(10);
    busy_->setVisible(false);
    top->addWidget(busy_);

    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("SAVE_OK");
    ok_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("SAVE_CANCEL");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    top->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &SaveDialog::ok);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void SaveDialog::choose(int index) {
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        if (static_cast<int>(i) != index) boxes_[i]->setChecked(false);
}

SaveChoice SaveDialog::choice() const {
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        if (boxes_[i]->isChecked()) return kChoices[i].choice;
    return SaveChoice::None;
}

void SaveDialog::ok() {
    const SaveChoice c = choice();
    if (c != SaveChoice::None && perform) {
        ok_->setEnabled(false);
        cancel_->setEnabled(false);
        busy_->setVisible(true);
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        perform(c);
    }
    accept();
}

}  // namespace evkit::app
