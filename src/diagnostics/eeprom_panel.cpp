#include "diagnostics/eeprom_panel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "diagnostics/eeprom.h"

namespace evkit::app {

namespace {

using diagnostics::kEepromTableRows;

// Cells hold one byte: edited in a 0..255 box, shown in decimal, hex and as a character.
class ByteDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* box = new QSpinBox(parent);
        box->setRange(0, 255);
        box->setFrame(false);
        return box;
    }
    QString displayText(const QVariant& value, const QLocale&) const override {
        const int v = value.toInt();
        QString text = QString("%1   0x%2").arg(v, 3).arg(v, 2, 16, QChar('0'));
        if (v >= 0x20 && v < 0x7F) text += QString("   '%1'").arg(QChar(v));
        return text;
    }
};

}  // namespace

EepromPanel::EepromPanel(AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "MENU_EEPROM", "Board EEPROM", parent) {
    setObjectName("pnl_eeprom");

    count_ = new QSpinBox(this);
    count_->setObjectName("EEPROM_BYTE_COUNT");
    count_->setRange(0, diagnostics::kEepromMaxWriteCount);
    count_->setValue(diagnostics::kEepromBlockSize);
    count_->setKeyboardTracking(false);
    count_->setMinimumWidth(70);
    count_->setToolTip("Bytes to show (read: 0 to 48) or to write (0 to 255)");

    table_ = new QTableWidget(kEepromTableRows, 1, this);
    table_->setObjectName("EEPROM_TABLE");
    table_->setHorizontalHeaderLabels({"Byte"});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setItemDelegate(new ByteDelegate(table_));
    QStringList rows;
    for (int r = 1; r <= kEepromTableRows; ++r) {
        rows << QString("%1").arg(r);
        auto* item = new QTableWidgetItem;
        item->setData(Qt::EditRole, 0);
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        item->setToolTip(QString("Address %1 (0x%2)").arg(r - 1).arg(r - 1, 2, 16, QChar('0')));
        table_->setItem(r - 1, 0, item);
    }
    table_->setVerticalHeaderLabels(rows);
    table_->verticalHeader()->setDefaultSectionSize(22);

    readButton_ = new QPushButton("Read", this);
    readButton_->setObjectName("EEPROM_READ");
    writeButton_ = new QPushButton("Write", this);
    writeButton_->setObjectName("EEPROM_WRITE");
    busy_ = new QLabel("Writing the EEPROM...", this);
    busy_->setObjectName("EEPROM_BUSY");
    busy_->setStyleSheet("QLabel { color: white; background: #c03030; padding: 2px 6px; }");
    busy_->setVisible(false);
    // Keep the table still when the indicator comes and goes.
    QSizePolicy keep = busy_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    busy_->setSizePolicy(keep);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Bytes"));
    top->addWidget(count_);
    top->addStretch(1);
    top->addWidget(readButton_);
    top->addWidget(writeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addWidget(busy_);
    fitToScreen(QSize(320, 560));  // at most the available screen, at any scale

    connect(readButton_, &QPushButton::clicked, this, &EepromPanel::cbfrd_br);
    connect(writeButton_, &QPushButton::clicked, this, &EepromPanel::BOOTBURN);
}

int EepromPanel::rowCount() const {
    return table_->rowCount();
}

int EepromPanel::rowValue(int row) const {
    const auto* item = table_->item(row - 1, 0);
    return item ? item->data(Qt::EditRole).toInt() : 0;
}

void EepromPanel::setRowValue(int row, int value) {
    if (auto* item = table_->item(row - 1, 0)) item->setData(Qt::EditRole, value);
}

std::vector<int> EepromPanel::tableValues() const {
    std::vector<int> values(static_cast<std::size_t>(table_->rowCount()));
    for (int r = 1; r <= table_->rowCount(); ++r)
        values[static_cast<std::size_t>(r - 1)] = rowValue(r);
    return values;
}

int EepromPanel::cbfrd_br() {
    const int n = count_->value();
    if (!diagnostics::checkEepromReadCount(ctx_.messages, n)) return kF32xInvalidParameter;
    readButton_->setEnabled(false);
    diagnostics::EepromBlock block{};
    const int status = diagnostics::eepromRead(ctx_.session.link, ctx_.console, block);
    if (status == 0) {
        auto values = tableValues();
        diagnostics::fillEepromTable(values, block, n);
        for (int r = 1; r <= diagnostics::kEepromBlockSize; ++r)
            setRowValue(r, values[static_cast<std::size_t>(r - 1)]);
    }
    readButton_->setEnabled(true);
    return status;
}

int EepromPanel::BOOTBURN() {
    const int n = count_->value();
    if (n == 0) return 0;
    if (!diagnostics::checkEepromWriteCount(ctx_.messages, n)) return kF32xInvalidParameter;
    const auto values = tableValues();
    if (!diagnostics::checkEepromBytes(ctx_.messages, values, n)) return kF32xInvalidParameter;
    std::vector<std::uint8_t> bytes(values.begin(), values.begin() + n);
    writeButton_->setEnabled(false);
    busy_->setVisible(true);
    repaint();
    auto& link = ctx_.session.link;
    const int status =
        diagnostics::eepromWrite(link, ctx_.console, bytes, [&link](int) { link.processEvents(); });
    busy_->setVisible(false);
    writeButton_->setEnabled(true);
    repaint();
    return status;
}

}  // namespace evkit::app
