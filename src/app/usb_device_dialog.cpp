#include "app/usb_device_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "support/file_writer.h"

namespace evkit::app {

namespace {

QString describe(const UsbDeviceInfo& d) {
    char where[16];
    std::snprintf(where, sizeof where, "%03d:%03d", d.bus, d.address);
    QString text = QString("%1  %2  ").arg(where, QString::fromStdString(formatUsbId(d.id)));
    if (!d.problem.empty())
        text += QString("(product string unreadable: %1)").arg(QString::fromStdString(d.problem));
    else
        text += QString("\"%1\"").arg(QString::fromStdString(d.product));
    return text;
}

QString currentSettingText() {
    const UsbIdSetting setting = resolveUsbId("");
    if (setting.id)
        return QString("Board ID now: %1 (from %2)")
            .arg(QString::fromStdString(formatUsbId(*setting.id)),
                 QString::fromStdString(setting.source));
    if (!setting.problem.empty()) return QString::fromStdString(setting.problem);
    return "No board ID is configured yet.";
}

}  // namespace

UsbIdSetting desktopUsbIdSetting(const std::string& optionText) {
    UsbIdSetting setting = resolveUsbId(optionText);
    const std::string choose =
        "Choose Connection \u25B8 USB Device\u2026 to pick the board among the attached USB "
        "devices";
    setting.howTo = "No USB board ID is configured. " + choose +
                    " (the choice is saved for the desktop program and the command line), or "
                    "start the program with --usb-id VID:PID.";
    if (!setting.problem.empty()) setting.problem += " " + choose + ".";
    return setting;
}

UsbDeviceDialog::UsbDeviceDialog(UsbDeviceLister lister, QWidget* parent)
    : QDialog(parent), lister_(std::move(lister)) {
    setObjectName("pnl_usb_device");
    setWindowTitle("USB Device");
    auto* top = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Choose the evaluation board among the attached USB devices. Its vendor and product "
        "ID are saved in " +
            QString::fromStdString(usbIdConfigPath()) +
            ", which the desktop program and the command line both read.",
        this);
    intro->setWordWrap(true);
    top->addWidget(intro);
    current_ = new QLabel(this);
    current_->setObjectName("USB_DEVICE_CURRENT");
    current_->setWordWrap(true);
    top->addWidget(current_);
    list_ = new QListWidget(this);
    list_->setObjectName("USB_DEVICE_LIST");
    list_->setMinimumSize(420, 160);
    top->addWidget(list_, 1);
    status_ = new QLabel(this);
    status_->setObjectName("USB_DEVICE_STATUS");
    status_->setWordWrap(true);
    top->addWidget(status_);
    auto* buttons = new QHBoxLayout;
    auto* refreshButton = new QPushButton("Refresh", this);
    refreshButton->setObjectName("USB_DEVICE_REFRESH");
    save_ = new QPushButton("Use as board", this);
    save_->setObjectName("USB_DEVICE_SAVE");
    save_->setEnabled(false);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("USB_DEVICE_CLOSE");
    buttons->addWidget(refreshButton);
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(close);
    top->addLayout(buttons);
    connect(refreshButton, &QPushButton::clicked, this, &UsbDeviceDialog::refresh);
    connect(save_, &QPushButton::clicked, this, &UsbDeviceDialog::USB_DEVICE_SAVE);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QListWidget::currentRowChanged, this,
            [this](int row) { save_->setEnabled(row >= 0); });
    connect(list_, &QListWidget::itemDoubleClicked, this, &UsbDeviceDialog::USB_DEVICE_SAVE);
    refresh();
}

void UsbDeviceDialog::refresh() {
    current_->setText(currentSettingText());
    list_->clear();
    devices_.clear();
    std::string problem;
    if (!lister_ || lister_(&devices_, &problem) != 0) {
        status_->setText("The USB devices cannot be listed: " + QString::fromStdString(problem));
        return;
    }
    const UsbIdSetting setting = resolveUsbId("");
    for (const auto& d : devices_) {
        auto* item = new QListWidgetItem(describe(d), list_);
        if (setting.id && *setting.id == d.id) item->setText(item->text() + "  [board]");
    }
    status_->setText(devices_.empty() ? "No USB device is attached."
                                      : QString("%1 USB devices attached.").arg(devices_.size()));
}

bool UsbDeviceDialog::saveUsbId(const std::string& path, UsbId id, std::string* problem) {
    if (path.empty()) {
        if (problem) *problem = "no configuration directory is known (HOME is not set)";
        return false;
    }
    const QString file = QString::fromStdString(path);
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        if (problem)
            *problem = "cannot create the folder " + QFileInfo(file).absolutePath().toStdString();
        return false;
    }
    // Through the program's file writer: whole or not at all, and a configuration file
    // that is a link (dotfiles kept elsewhere) stays a link to the new content.
    const std::string text =
        "# The evaluation board's USB vendor and product ID.\nusb-id = " + formatUsbId(id) + "\n";
    return writeFileAtomically(path, text, problem);
}

void UsbDeviceDialog::USB_DEVICE_SAVE() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(devices_.size())) return;
    const UsbId id = devices_[static_cast<size_t>(row)].id;
    const std::string path = usbIdConfigPath();
    std::string problem;
    if (!saveUsbId(path, id, &problem)) {
        status_->setText(
            QString("The choice was not saved: %1.").arg(QString::fromStdString(problem)));
        return;
    }
    chosen_ = id;
    QString text = QString("Saved %1 in %2.")
                       .arg(QString::fromStdString(formatUsbId(id)), QString::fromStdString(path));
    const UsbIdSetting now = resolveUsbId("");
    if (now.source != path)
        text += QString(" Note: %1 is set and comes first for the command line.")
                    .arg(QString::fromStdString(now.source));
    status_->setText(text);
    current_->setText(currentSettingText());
    emit usbIdSaved(id);
    refresh();
    status_->setText(text);
}

}  // namespace evkit::app
