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

class RemoteAccessDialog;

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
    // Connection ▸ USB Board with several boards attached: the boards to choose from (unset
    // or fewer than two: nothing to choose), the chooser (returns the index, -1 when
    // cancelled; tests script it) and what makes the chosen board the one that opens.
    std::function<std::vector<UsbDeviceInfo>()> listBoards;
    std::function<int(const std::vector<UsbDeviceInfo>&)> chooseBoard;
    std::function<void(const UsbDeviceInfo&)> useBoard;
    // The open board's name for the start window and every title (its serial number, or its
    // port path when it has none); empty or unset: no name.
    std::function<std::string()> boardName;
    // Called with that name after each connection, and with "" in disk mode.
    std::function<void(const std::string&)> onBoardNamed;
    // Replaces the connection mode text after USB Board when not empty (a replay says so).
    std::string modeName;

    // The confirmed quit (Yes on a confirmation window): closes the board and ends the
    // event loop. Returns the close status (0 when nothing was closed or the close worked).
    int quitConfirmed() { return quit(0); }
    // A stop signal (SIGTERM, SIGHUP, SIGINT): ends the program as a confirmed quit does,
    // the board left at rest and closed, with the exit code 128 + the signal's number.
    int quitOnSignal(int signo) { return quit(128 + signo); }
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
    // Program ▸ Remote access…: the instrument server's dialog.
    void REMOTE();
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
    // Offers the chooser when several boards are attached; false when it was cancelled.
    bool chooseAmongBoards();
    void nameBoard(const std::string& name);

    AppContext& ctx_;
    QLabel* version_ = nullptr;
    QLabel* mode_ = nullptr;
    QLabel* product_ = nullptr;
    QLabel* serial_ = nullptr;
    QLabel* deviceName_ = nullptr;
    QLabel* boardId_[3] = {nullptr, nullptr, nullptr};
    QLabel* hint_ = nullptr;
    int quit(int exitCode);
    bool closeAfterLoop_ = false;
    QLabel* remoteStatus_ = nullptr;
    RemoteAccessDialog* remote_ = nullptr;
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
