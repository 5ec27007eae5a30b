#include "diagnostics/register_assist_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "diagnostics/register_decoder.h"
#include "registers/word.h"
#include "ui/standing_window.h"
#include "ui/widgets.h"

namespace evkit::app {

namespace {

// "1:16 operational mode register" or a typed "1:16": the address before the first space.
std::optional<RegisterAddress> addressOf(const QString& text) {
    const QString first = text.trimmed().section(' ', 0, 0);
    return parseRegisterAddress(first.toStdString());
}

}  // namespace

RegisterAssistWindow::RegisterAssistWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx) {
    setObjectName("ASSIST_WINDOW");
    setWindowTitle("Register Decoding");

    register_ = new QComboBox(this);
    register_->setObjectName("ASSIST_REGISTER");
    register_->setEditable(true);
    register_->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& [address, name] : diagnostics::knownRegisters())
        register_->addItem(QString::fromStdString(address + " " + name));
    register_->lineEdit()->setPlaceholderText("page:address");
    word_ = makeHexWordBox(this);
    word_->setObjectName("ASSIST_WORD");
    readButton_ = new QPushButton("Read from device", this);
    readButton_->setObjectName("ASSIST_READ");
    name_ = new QLabel(this);
    name_->setObjectName("ASSIST_NAME");
    fields_ = new QTableWidget(0, 3, this);
    fields_->setObjectName("ASSIST_FIELDS");
    fields_->setHorizontalHeaderLabels({"Field", "Bits", "Value"});
    fields_->verticalHeader()->setVisible(false);
    fields_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fields_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    fields_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    fields_->horizontalHeader()->setStretchLastSection(true);
    fields_->verticalHeader()->setDefaultSectionSize(22);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel("Register (page:address)"), 0, 0);
    top->addWidget(register_, 0, 1, 1, 2);
    top->addWidget(new QLabel("Word"), 1, 0);
    top->addWidget(word_, 1, 1);
    top->addWidget(readButton_, 1, 2);
    top->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(name_);
    layout->addWidget(fields_, 1);
    resize(fittedToScreen(*this, QSize(480, 520)));  // a small screen at a large scale too

    connect(register_, &QComboBox::currentTextChanged, this, &RegisterAssistWindow::decode);
    connect(word_, &QSpinBox::valueChanged, this, &RegisterAssistWindow::decode);
    connect(readButton_, &QPushButton::clicked, this, &RegisterAssistWindow::readFromDevice);
    decode();
}

void RegisterAssistWindow::decode() {
    const auto a = addressOf(register_->currentText());
    fields_->setRowCount(0);
    if (!a) {
        name_->setText("Type a register as page:address, for example 1:16.");
        return;
    }
    const auto d = diagnostics::decodeRegister(
        a->page, a->address, static_cast<std::uint32_t>(word_->value()), ctx_.session.xtal_speed);
    name_->setText(
        QString("%1:%2  %3  =  %4")
            .arg(a->page)
            .arg(a->address)
            .arg(QString::fromStdString(d.name))
            .arg(QString::fromStdString(hexWord(static_cast<std::uint32_t>(word_->value())))));
    fields_->setRowCount(static_cast<int>(d.fields.size()));
    for (int row = 0; row < static_cast<int>(d.fields.size()); ++row) {
        const auto& f = d.fields[static_cast<std::size_t>(row)];
        fields_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(f.name)));
        fields_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(f.bits)));
        fields_->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(f.value)));
    }
}

int RegisterAssistWindow::readFromDevice() {
    const auto a = addressOf(register_->currentText());
    if (!a) {
        ctx_.messages.show("Error", "Type a register as page:address, for example 1:16.");
        return kF32xInvalidParameter;
    }
    std::int32_t word = 0;
    const int status =
        ctx_.session.link.readRegister(a->page, a->address, &word, ctx_.session.number_of_bits);
    if (status == 0) word_->setValue(static_cast<int>(word & 0xFFFFFF));
    decode();
    return status;
}

}  // namespace evkit::app
