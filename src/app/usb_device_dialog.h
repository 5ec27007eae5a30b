#pragma once
// Connection ▸ USB Device…: lists the attached USB devices (as `usb list` does), lets the
// user pick the board and saves its ID in the configuration file the command line reads.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "board/usb_id.h"
#include "board/usb_transport.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace evkit::app {

// The desktop program's USB ID setting: as the command line resolves it, with advice that
// points at Connection ▸ USB Device… when no valid ID is configured.
UsbIdSetting desktopUsbIdSetting(const std::string& optionText);

using UsbDeviceLister = std::function<int(std::vector<UsbDeviceInfo>*, std::string*)>;

class UsbDeviceDialog : public QDialog {
    Q_OBJECT
  public:
    UsbDeviceDialog(UsbDeviceLister lister, QWidget* parent = nullptr);

    // Writes "usb-id = VID:PID" to `path` whole or not at all; false (and *problem) on failure.
    static bool saveUsbId(const std::string& path, UsbId id, std::string* problem);

    // The ID saved by the last accepted choice.
    const UsbId& chosen() const { return chosen_; }

  signals:
    // The user saved a choice (the file has been written).
    void usbIdSaved(evkit::UsbId id);

  public slots:
    void refresh();
    void USB_DEVICE_SAVE();

  private:
    UsbDeviceLister lister_;
    std::vector<UsbDeviceInfo> devices_;
    QListWidget* list_ = nullptr;
    QLabel* current_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* save_ = nullptr;
    UsbId chosen_;
};

}  // namespace evkit::app
