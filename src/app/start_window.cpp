#include "app/start_window.h"

#include <qcustomplot.h>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/remote_access_dialog.h"
#include "board/connection.h"
#include "ui/standing_window.h"

namespace evkit::app {

namespace {

using Callback = void (StartWindow::*)();

struct MenuEntry {
    const char* role;
    const char* text;
    int menu;  // index into kMenus
    Callback callback;
};

const char* const kMenus[] = {"&Program", "&Connection", "&Windows"};

const MenuEntry kMenuEntries[] = {
    {"MENU_START", "&Start Window", 0, &StartWindow::STARTUP},
    {"MENU_REMOTE", "&Remote access...", 0, &StartWindow::REMOTE},
    {"MENU_QUIT", "&Quit...", 0, &StartWindow::QUIT},
    {"MENU_USB", "&USB Board", 1, &StartWindow::cbfUSB},
    {"MENU_DISK", "&Disk File...", 1, &StartWindow::SELECT_DISK},
    {"MENU_USB_DEVICE", "USB De&vice...", 1, &StartWindow::USB_DEVICE},
    {"MENU_SETUP", "&Setup", 2, &StartWindow::SETUP},
    {"MENU_COLLECTION", "Data &Collection", 2, &StartWindow::COLLECTION},
    {"MENU_CONVERSION", "C&onversion Monitor", 2, &StartWindow::CONVERSION},
    {"MENU_CALIBRATION", "C&alibration", 2, &StartWindow::CAL_MNU},
    {"MENU_PULSE", "Energy &Pulse", 2, &StartWindow::PULSEWIN},
    {"MENU_DEBUG", "Register &Debug", 2, &StartWindow::DEBUGWIN},
    {"MENU_EEPROM", "Board &EEPROM", 2, &StartWindow::EEPROMWIN},
    {"MENU_SCALING", "Sca&ling", 2, &StartWindow::SCALINGWIN},
    {"MENU_SOURCE", "&Virtual Source", 2, &StartWindow::SOURCEWIN},
    {"MENU_ACCURACY", "Accuracy &Test", 2, &StartWindow::ACCURACYWIN},
};

// The windows reachable only with a board.
const char* const kBoardWindows[] = {"MENU_SETUP",       "MENU_PULSE",  "MENU_CONVERSION",
                                     "MENU_CALIBRATION", "MENU_EEPROM", "MENU_DEBUG"};

const char* const kHintStart =
    "Connect the evaluation board and choose Connection \u25B8 USB Board, or choose "
    "Connection \u25B8 Disk File to analyse a stored capture (*.dat).";
const char* const kHintStartSim =
    "The virtual board (simulation, no hardware) is selected and not yet connected: choose "
    "Connection \u25B8 USB Board to connect to it, or Connection \u25B8 Disk File to analyse "
    "a stored capture (*.dat).";
const char* const kHintUsb =
    "Connected. Open a window from the Windows menu: Setup to read and edit the device "
    "registers, Data Collection to capture and analyse samples, Conversion Monitor for live "
    "results.";
const char* const kHintLost =
    "The connection to the board was lost. Check the cable and power, reset the board and "
    "choose Connection \u25B8 USB Board again.";

QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

StartWindow::StartWindow(AppContext& ctx) : ctx_(ctx) {
    setObjectName("pnl_start");
    setWindowTitle("EVKIT714");
    endEventLoop = [](int code) { QCoreApplication::exit(code); };
    listUsbDevices = &UsbTransport::listDevices;
    chooseBoard = [this](const std::vector<UsbDeviceInfo>& boards) {
        QStringList items;
        for (const auto& b : boards)
            items << QString("%1   serial %2   (bus %3, device %4)")
                         .arg(QString::fromStdString(b.port),
                              b.serial.empty() ? QString("none")
                                               : QString::fromStdString(escapeUsbString(b.serial)))
                         .arg(b.bus)
                         .arg(b.address);
        bool ok = false;
        const QString item = QInputDialog::getItem(
            this, "Choose the Board", "Several boards are attached. Which one do you want to use?",
            items, static_cast<int>(items.size()) - 1, false, &ok);
        return ok ? static_cast<int>(items.indexOf(item)) : -1;
    };
    buildMenus();
    buildContents();
    // "Remote: 2 clients" while the instrument server runs (Program > Remote access...).
    remoteStatus_ = valueLabel("START_REMOTE", this);
    statusBar()->addPermanentWidget(remoteStatus_);
    remoteStatus_->hide();
    resize(520, 330);
}

void StartWindow::REMOTE() {
    if (!remote_)
        remote_ = new RemoteAccessDialog(
            ctx_, remoteStatus_, [this](bool running) { setMenuChecked("MENU_REMOTE", running); },
            this);
    remote_->show();
    remote_->raise();
    remote_->activateWindow();
}

void StartWindow::buildMenus() {
    QMenu* menus[std::size(kMenus)];
    for (std::size_t i = 0; i < std::size(kMenus); ++i) menus[i] = menuBar()->addMenu(kMenus[i]);
    for (const auto& e : kMenuEntries) {
        QAction* action = menus[e.menu]->addAction(e.text);
        action->setObjectName(e.role);
        // The usual shortcuts: quit and open a file.
        if (e.callback == &StartWindow::QUIT) action->setShortcut(QKeySequence::Quit);
        if (e.callback == &StartWindow::SELECT_DISK) action->setShortcut(QKeySequence::Open);
        // Windows and the two connection modes carry check marks; commands do not.
        const bool checkable =
            e.callback != &StartWindow::QUIT && e.callback != &StartWindow::USB_DEVICE;
        action->setCheckable(checkable);
        if (e.callback == &StartWindow::QUIT || e.callback == &StartWindow::USB_DEVICE)
            menus[e.menu]->insertSeparator(action);
        const Callback callback = e.callback;
        // Triggering a checkable action flips its mark; the callbacks alone decide the
        // marks, so the flip is undone before the callback runs.
        connect(action, &QAction::triggered, this, [this, action, callback](bool checked) {
            if (action->isCheckable()) action->setChecked(!checked);
            (this->*callback)();
        });
    }
    // Before a connection only the start window, the connection items and quit are usable.
    setMenuChecked("MENU_START", true);
    for (const char* role : kBoardWindows) setMenuDimmed(role, true);
    setMenuDimmed("MENU_COLLECTION", true);
    // The programmable source exists on the virtual board only.
    setMenuDimmed("MENU_SOURCE", !ctx_.session.link.transport().simulated());
}

void StartWindow::buildContents() {
    const bool simulated = ctx_.session.link.transport().simulated();
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(16, 12, 16, 12);
    outer->setSpacing(10);

    auto* title = new QLabel("EVKIT714 Evaluation Kit", central);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    title->setFont(big);
    auto* subtitle = new QLabel("PM70xx power and energy measurement converter", central);
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(title);
    versionRow->addStretch(1);
    versionRow->addWidget(new QLabel("Version", central));
    version_ = valueLabel("START_VERSION", central);
    version_->setText(kVersion);
    QFont bold = version_->font();
    bold.setBold(true);
    version_->setFont(bold);
    versionRow->addWidget(version_);
    outer->addLayout(versionRow);
    outer->addWidget(subtitle);

    auto* box = new QGroupBox("Board", central);
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(1, 1);
    int row = 0;
    const auto addRow = [&](const char* caption, QWidget* value) {
        grid->addWidget(new QLabel(caption, box), row, 0);
        grid->addWidget(value, row, 1);
        ++row;
    };
    mode_ = valueLabel("START_MODE", box);
    mode_->setText(simulated ? "Virtual board (simulation) selected, not connected"
                             : "Not connected");
    addRow("Mode:", mode_);
    product_ = valueLabel("START_PRODUCT", box);
    addRow("Product:", product_);
    serial_ = valueLabel("START_SERIAL", box);
    addRow("Serial:", serial_);
    deviceName_ = valueLabel("START_DEVICE_NAME", box);
    deviceName_->setFont(bold);
    addRow("Device:", deviceName_);
    auto* ids = new QWidget(box);
    auto* idRow = new QHBoxLayout(ids);
    idRow->setContentsMargins(0, 0, 0, 0);
    const char* idNames[3] = {"START_BOARD_ID_1", "START_BOARD_ID_2", "START_BOARD_ID_3"};
    for (int i = 0; i < 3; ++i) {
        boardId_[i] = valueLabel(idNames[i], ids);
        boardId_[i]->setFrameShape(QFrame::StyledPanel);
        boardId_[i]->setMinimumWidth(48);
        boardId_[i]->setAlignment(Qt::AlignCenter);
        idRow->addWidget(boardId_[i]);
    }
    idRow->addStretch(1);
    addRow("Board ID:", ids);
    outer->addWidget(box);

    hint_ = new QLabel(central);
    hint_->setObjectName("START_HINT");
    hint_->setWordWrap(true);
    hint_->setFrameShape(QFrame::StyledPanel);
    hint_->setMargin(8);
    hint_->setText(simulated ? kHintStartSim : kHintStart);
    outer->addWidget(hint_);
    outer->addStretch(1);
    setCentralWidget(central);
}

QAction* StartWindow::menuItem(const std::string& role) const {
    return findChild<QAction*>(QString::fromStdString(role));
}

void StartWindow::setMenuChecked(const std::string& role, bool checked) {
    if (QAction* a = menuItem(role)) a->setChecked(checked);
}

void StartWindow::setMenuDimmed(const std::string& role, bool dimmed) {
    if (QAction* a = menuItem(role)) a->setEnabled(!dimmed);
}

void StartWindow::setHint(const QString& text) {
    hint_->setText(text);
}
void StartWindow::showModeText(const QString& text) {
    mode_->setText(text);
}

void StartWindow::openPanel(const char* role, const char* panel) {
    QWidget* w = ctx_.window ? ctx_.window(panel) : nullptr;
    if (auto* standing = qobject_cast<StandingWindow*>(w)) {
        standing->openFromMenu();
    } else if (w) {
        setMenuChecked(role, true);
        w->show();
        w->raise();
        w->activateWindow();
    }
}

void StartWindow::STARTUP() {
    setMenuChecked("MENU_START", true);
    for (const char* role :
         {"MENU_SETUP", "MENU_COLLECTION", "MENU_CONVERSION", "MENU_CALIBRATION", "MENU_DEBUG"})
        setMenuChecked(role, false);
    show();
    raise();
    activateWindow();
}

void StartWindow::SETUP() {
    openPanel("MENU_SETUP", "pnl_setup");
}
void StartWindow::CAL_MNU() {
    openPanel("MENU_CALIBRATION", "pnl_cal");
}
void StartWindow::CONVERSION() {
    openPanel("MENU_CONVERSION", "pnl_conv");
}
void StartWindow::PULSEWIN() {
    openPanel("MENU_PULSE", "pnl_pulse");
}
void StartWindow::COLLECTION() {
    openPanel("MENU_COLLECTION", "pnl_data");
}
void StartWindow::EEPROMWIN() {
    openPanel("MENU_EEPROM", "pnl_eeprom");
}
void StartWindow::SCALINGWIN() {
    openPanel("MENU_SCALING", "pnl_scaling");
}
void StartWindow::SOURCEWIN() {
    openPanel("MENU_SOURCE", "pnl_source");
}
void StartWindow::ACCURACYWIN() {
    openPanel("MENU_ACCURACY", "pnl_accuracy");
}
void StartWindow::DEBUGWIN() {
    openPanel("MENU_DEBUG", "pnl_debug");
}

QWidget* StartWindow::dataControl(const char* name) const {
    QWidget* data = ctx_.window ? ctx_.window("pnl_data") : nullptr;
    return data ? data->findChild<QWidget*>(name) : nullptr;
}

void StartWindow::clearDataGraph() {
    QWidget* data = ctx_.window ? ctx_.window("pnl_data") : nullptr;
    if (!data) return;
    // The data window knows what it has drawn and which source it came from; it clears what
    // belongs to the other source itself when it can.
    for (const char* slot : {"sourceChanged", "clearDataGraph"}) {
        if (data->metaObject()->indexOfMethod((std::string(slot) + "()").c_str()) >= 0) {
            QMetaObject::invokeMethod(data, slot, Qt::DirectConnection);
            return;
        }
    }
    // Otherwise empty every curve (the plottables stay, the window may still hold them).
    QWidget* graph = data->findChild<QWidget*>("DATA_GRAPH");
    auto* plot = qobject_cast<QCustomPlot*>(graph);
    if (!plot && graph) plot = graph->findChild<QCustomPlot*>();
    if (!plot) return;
    for (int i = 0; i < plot->plottableCount(); ++i) {
        QCPAbstractPlottable* p = plot->plottable(i);
        if (auto* g = qobject_cast<QCPGraph*>(p))
            g->data()->clear();
        else if (auto* c = qobject_cast<QCPCurve*>(p))
            c->data()->clear();
        else if (auto* b = qobject_cast<QCPBars*>(p))
            b->data()->clear();
    }
    plot->replot(QCustomPlot::rpImmediateRefresh);
}

void StartWindow::cbfUSB() {
    BoardLink& link = ctx_.session.link;
    // Opening or identifying while another operation owns the board would interleave
    // with its traffic.
    if (link.busy() || link.insideEventProcessing()) {
        link.refuseBusy();
        return;
    }
    if (!chooseAmongBoards()) return;
    const F32xHandle previous = link.cyHandle;
    if (open_board(link, &ctx_.session.DeviceString) != 0) return;
    link.closedForDiskMode = false;
    // Connecting again while connected: the earlier handle is released once the new one
    // is open, so no handle leaks.
    if (previous != 0 && previous != link.cyHandle) link.transport().Close(previous);

    const bool fromDisk = ctx_.session.port_number == kPortDisk;
    ctx_.session.port_number = kPortUsb;
    // The data window drops the file's block and takes the board's settings again.
    if (fromDisk) clearDataGraph();
    setMenuChecked("MENU_DISK", false);
    setMenuChecked("MENU_USB", true);
    for (const char* role : {"MENU_START", "MENU_SETUP", "MENU_COLLECTION", "MENU_PULSE",
                             "MENU_CONVERSION", "MENU_CALIBRATION", "MENU_EEPROM", "MENU_DEBUG"})
        setMenuDimmed(role, false);
    if (QWidget* overlay = dataControl("DATA_OVERLAY")) overlay->setEnabled(true);
    showModeText(!modeName.empty()              ? QString::fromStdString(modeName)
                 : link.transport().simulated() ? "Virtual board (simulation, no hardware)"
                                                : "USB board");
    product_->setText(QString::fromStdString(ctx_.session.DeviceString));
    nameBoard(boardName ? boardName() : std::string());
    setHint(kHintUsb);

    BoardSequence identification(link);  // a lost board is said once
    const auto ids = query_board_id(link);
    boardId_[2]->setText(QString::fromLatin1(ids[2].c_str()));
    boardId_[1]->setText(QString::fromLatin1(ids[1].c_str()));
    boardId_[0]->setText(QString::fromLatin1(ids[0].c_str()));

    const DeviceIdentity id = autodetect_device(link);
    ctx_.session.chip = id.chip;
    deviceName_->setText(QString::fromStdString(id.label));
    statusBar()->showMessage(QString("Connected: %1").arg(QString::fromStdString(id.name)));
}

void StartWindow::SELECT_DISK() {
    BoardLink& link = ctx_.session.link;
    // Closing the board under a running operation would pull the transport from under it.
    if (link.busy() || link.insideEventProcessing()) {
        link.refuseBusy();
        return;
    }
    const auto file = ctx_.dialogs.openFile("Select a File", "*.dat");
    if (!file || file->empty()) return;
    ctx_.session.input_file = *file;

    setMenuChecked("MENU_DISK", true);
    setMenuDimmed("MENU_START", false);
    setMenuDimmed("MENU_SETUP", true);
    setMenuDimmed("MENU_COLLECTION", false);
    for (const char* role :
         {"MENU_PULSE", "MENU_CONVERSION", "MENU_CALIBRATION", "MENU_EEPROM", "MENU_DEBUG"})
        setMenuDimmed(role, true);
    if (QWidget* overlay = dataControl("DATA_OVERLAY")) overlay->setEnabled(false);
    setMenuChecked("MENU_USB", false);

    if (link.cyHandle != 0) {
        link.transport().Close(link.cyHandle);  // status not needed: the board is left anyway
        link.cyHandle = 0;
    }
    link.closedForDiskMode = true;
    // The board windows have nothing to talk to now: they close with their menu items.
    if (ctx_.window)
        for (const char* panel : {"pnl_setup", "pnl_conv", "pnl_cal", "pnl_pulse", "pnl_debug",
                                  "pnl_eeprom", "pnl_temp"})
            if (QWidget* w = ctx_.window(panel); w && w->isVisible()) w->close();
    ctx_.session.port_number = kPortDisk;
    if (QWidget* collect = dataControl("DATA_COLLECT")) collect->setEnabled(true);
    clearDataGraph();

    showModeText("Disk file");
    // The board is closed: nothing of it stays shown as if it were there.
    product_->clear();
    nameBoard("");
    deviceName_->clear();
    for (QLabel* id : boardId_) id->clear();
    const QString name = QFileInfo(QString::fromStdString(*file)).fileName();
    setHint(QString("Disk mode: captures are read from %1. Open Windows \u25B8 Data Collection "
                    "to analyse it, or choose Connection \u25B8 USB Board to use the board.")
                .arg(name));
    statusBar()->showMessage(QString::fromStdString(*file));
}

void StartWindow::USB_DEVICE() {
    if (auto* open = findChild<UsbDeviceDialog*>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new UsbDeviceDialog(listUsbDevices, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    connect(dialog, &UsbDeviceDialog::usbIdSaved, this, [this](UsbId id) {
        if (onUsbIdChosen) onUsbIdChosen(id);
        statusBar()->showMessage(
            QString("USB board ID %1 saved; choose Connection \u25B8 USB Board to connect.")
                .arg(QString::fromStdString(formatUsbId(id))));
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

bool StartWindow::chooseAmongBoards() {
    const std::vector<UsbDeviceInfo> boards =
        listBoards ? listBoards() : std::vector<UsbDeviceInfo>{};
    if (boards.size() < 2) return true;
    const int chosen = chooseBoard ? chooseBoard(boards) : -1;
    if (chosen < 0 || chosen >= static_cast<int>(boards.size())) return false;
    if (useBoard) useBoard(boards[static_cast<std::size_t>(chosen)]);
    return true;
}

void StartWindow::nameBoard(const std::string& name) {
    serial_->setText(QString::fromStdString(escapeUsbString(name)));
    if (onBoardNamed) onBoardNamed(name);
}

void StartWindow::connectionLost() {
    setMenuChecked("MENU_USB", false);
    showModeText("Connection lost");
    setHint(kHintLost);
    statusBar()->clearMessage();
}

void StartWindow::busyNotice(const QString& text) {
    statusBar()->showMessage(text, 10000);
    // The bar may cut a long refusal: the whole text is in its tooltip and on the Console.
    statusBar()->setToolTip(text);
    ctx_.console.print(text.toStdString() + "\n");
    if (auto* standing = qobject_cast<StandingWindow*>(QApplication::activeWindow()))
        standing->showNotice(text);
}

void StartWindow::QUIT() {
    auto* confirmation = new QuitConfirmation(*this);
    // Centred on the start window, not in a corner of the screen.
    confirmation->adjustSize();
    confirmation->move(frameGeometry().center() - confirmation->rect().center());
    confirmation->show();
    confirmation->raise();
    confirmation->activateWindow();
}

int StartWindow::closeBoard() {
    BoardLink& link = ctx_.session.link;
    const int status = link.transport().Close(link.cyHandle);
    if (status != 0) {
        ctx_.messages.show(msg::kErrorTitle, "USB connection error.");
        return status;
    }
    link.cyHandle = 0;
    return 0;
}

int StartWindow::quit(int exitCode) {
    BoardLink& link = ctx_.session.link;
    int status = 0;
    if (link.cyHandle != 0) {
        if (link.busy() || link.insideEventProcessing()) {
            // A board operation is still running below this callback: stop it, and close
            // the board once it has returned and the event loop has ended.
            link.pump().requestCancel();
            closeAfterLoop_ = true;
        } else {
            status = closeBoard();
        }
    }
    endEventLoop(exitCode);
    return status;
}

void StartWindow::afterEventLoop() {
    if (!closeAfterLoop_) return;
    closeAfterLoop_ = false;
    if (ctx_.session.link.cyHandle != 0) closeBoard();
}

void StartWindow::STARTPANEL() {
    BoardLink& link = ctx_.session.link;
    // Let a running operation end so that the event loop can return.
    if (link.busy() || link.insideEventProcessing()) link.pump().requestCancel();
    endEventLoop(0);
}

void StartWindow::closeEvent(QCloseEvent* event) {
    STARTPANEL();
    event->accept();
}

QuitConfirmation::QuitConfirmation(StartWindow& start)
    : QWidget(&start, Qt::Window), start_(start) {
    setObjectName("pnl_quit");
    setWindowTitle("Quit EVKIT714");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Do you want to quit EVKIT714?", this));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* yes = new QPushButton("Yes", this);
    yes->setObjectName("QUIT_YES");
    auto* no = new QPushButton("No", this);
    no->setObjectName("QUIT_NO");
    no->setDefault(true);
    buttons->addWidget(yes);
    buttons->addWidget(no);
    layout->addLayout(buttons);
    connect(yes, &QPushButton::clicked, this, &QuitConfirmation::QUIT_YES);
    connect(no, &QPushButton::clicked, this, &QuitConfirmation::QUIT_NO);
}

int QuitConfirmation::QUIT_YES() {
    return start_.quitConfirmed();
}

void QuitConfirmation::QUIT_NO() {
    hide();
    deleteLater();
}

}  // namespace evkit::app
