#pragma once
// The start window: version, device identification, the menu bar that reaches every other
// window, the board connection (USB) and disk mode, and the quit confirmation.
#include <QMainWindow>
#include <functional>
#include <string>

#include "app/usb_device_dialog.h"
#include "ui/app_context.h"

class QAction;
class QLabel;

namespace evkit::app {

class StartWindow : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr const char* kVersion = "3.0.2";

    explicit StartWindow(AppContext& ctx);

    // Menu item by role name ("MENU_USB"); nullptr when there is none.
    QAction* menuItem(const std::string& role) const;
    void setMenuChecked(const std::string& role, bool checked);
    void setMenuDimmed(const std::string& role, bool dimmed);

    // Ends the event loop with a code. Tests replace it to observe the end of the program.
    std::function<void(int)> endEventLoop;
    // Lists the attached USB devices for Connection ▸ USB Device… (tests script it).
    UsbDeviceLister listUsbDevices;
    // Called after the USB device dialog saved a board ID, so that the next connection
    // uses it.
    std::function<void(const UsbId&)> onUsbIdChosen;

    // The confirmed quit (Yes on a confirmation window): closes the board and ends the
    // event loop. Returns the close status (0 when nothing was closed or the close worked).
    int quitConfirmed();
    // Runs once the event loop has returned: closes the board if a quit was confirmed while
    // a board operation was still running underneath.
    void afterEventLoop();

  public slots:
    void STARTUP();
    void SETUP();
    void CAL_MNU();
    void CONVERSION();
    void PULSEWIN();
    void COLLECTION();
    void EEPROMWIN();
    void DEBUGWIN();
    // Engineering units, the virtual board's source and the energy accuracy test.
    void SCALINGWIN();
    void SOURCEWIN();
    void ACCURACYWIN();
    void cbfUSB();
    void SELECT_DISK();
    // Connection ▸ USB Device…: the dialog that picks the board among the USB devices.
    void USB_DEVICE();
    void QUIT();
    // The close request of the start window: ends the program, the board stays as it is.
    void STARTPANEL();
    // The board link lost the connection.
    void connectionLost();
    // A board command refused because another operation owns the board: said in the
    // status bar, in the window the user is working in and on the console, without a
    // modal box, so that the running operation goes on.
    void busyNotice(const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    void buildContents();
    void openPanel(const char* role, const char* panel);
    QWidget* dataControl(const char* name) const;
    void clearDataGraph();
    void setHint(const QString& text);
    void showModeText(const QString& text);
    int closeBoard();

    AppContext& ctx_;
    QLabel* version_ = nullptr;
    QLabel* mode_ = nullptr;
    QLabel* product_ = nullptr;
    QLabel* deviceName_ = nullptr;
    QLabel* boardId_[3] = {nullptr, nullptr, nullptr};
    QLabel* hint_ = nullptr;
    bool closeAfterLoop_ = false;
};

// The quit confirmation: a new non-modal window per QUIT; Yes ends the program, No discards
// this window only.
class QuitConfirmation : public QWidget {
    Q_OBJECT
  public:
    explicit QuitConfirmation(StartWindow& start);

  public slots:
    int QUIT_YES();
    void QUIT_NO();

  private:
    StartWindow& start_;
};

}  // namespace evkit::app
