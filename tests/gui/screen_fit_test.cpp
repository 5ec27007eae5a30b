// Every window of the running program opens inside the screen's available area, whatever
// its size and scale. With EVKIT_SCREENSHOT_DIR set, the screen is saved with each window
// open (run under Xvfb with EVKIT_GUI_PLATFORM=xcb to see the windows as a user does).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "collection/collection_settings.h"
#include "shell_rig.h"
#include "ui/qt_seams.h"

using namespace evkit;

namespace {

const std::pair<const char*, const char*> kWindows[] = {
    {"MENU_SETUP", "pnl_setup"},     {"MENU_COLLECTION", "pnl_data"},
    {"MENU_CONVERSION", "pnl_conv"}, {"MENU_CALIBRATION", "pnl_cal"},
    {"MENU_PULSE", "pnl_pulse"},     {"MENU_DEBUG", "pnl_debug"},
    {"MENU_EEPROM", "pnl_eeprom"},   {"MENU_SCALING", "pnl_scaling"},
    {"MENU_SOURCE", "pnl_source"},   {"MENU_ACCURACY", "pnl_accuracy"}};

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

void expectInsideScreen(QWidget* w, const QString& what) {
    const QRect area = w->screen()->availableGeometry();
    const QRect frame = w->frameGeometry();
    const std::string name = what.toStdString();
    EXPECT_LE(frame.width(), area.width()) << name;
    EXPECT_LE(frame.height(), area.height()) << name;
    EXPECT_TRUE(area.contains(frame))
        << name << ": " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
        << frame.height() << " in " << area.width() << "x" << area.height();
}

// Numbers the screenshots in the order of the tour.
struct Tour {
    // Checks that `w` is shown inside the screen and saves the screen.
    void look(QWidget* w, const QString& what) {
        ASSERT_NE(w, nullptr) << what.toStdString();
        settle();
        ASSERT_TRUE(w->isVisible()) << what.toStdString();
        expectInsideScreen(w, what);
        const QString dir = qEnvironmentVariable("EVKIT_SCREENSHOT_DIR");
        if (dir.isEmpty()) return;
        QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_NE(screen, nullptr);
        const QString name = QString("%1_%2").arg(shots++, 2, 10, QChar('0')).arg(what);
        EXPECT_TRUE(screen->grabWindow(0).save(QDir(dir).filePath(name + ".png")))
            << name.toStdString();
    }
    // Runs `open`, which opens a modal dialog, and looks at that dialog before `close` ends it.
    void lookAtModal(const QString& what, const std::function<void()>& open,
                     const std::function<void(QWidget*)>& close) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr) << what.toStdString();
            seen = true;
            look(dialog, what);
            close(dialog);
        });
        open();
        EXPECT_TRUE(seen) << what.toStdString();
    }
    int shots = 0;
};

}  // namespace

TEST(ScreenFit, EveryWindowOpensInsideTheAvailableScreen) {
    test::ShellRig s;
    Tour tour;
    s.start().show();
    tour.look(&s.start(), "start");
    s.connect();
    tour.look(&s.start(), "start_connected");
    for (const auto& [item, panel] : kWindows) {
        s.item(item)->trigger();
        QWidget* w = s.shell.window(panel);
        tour.look(w, item);
        if (w) w->close();
        settle();
    }

    // The windows opened from other windows.
    s.item("MENU_SETUP")->trigger();
    QTest::mouseClick(s.shell.window("pnl_setup")->findChild<QPushButton*>("SETUP_TEMP_SETTINGS"),
                      Qt::LeftButton);
    tour.look(s.shell.window("pnl_temp"), "temperature");
    s.shell.window("pnl_temp")->close();
    s.shell.window("pnl_setup")->close();
    s.item("MENU_DEBUG")->trigger();
    QWidget* debug = s.shell.window("pnl_debug");
    QTest::mouseClick(debug->findChild<QPushButton*>("DEBUG_ASSIST"), Qt::LeftButton);
    QWidget* assist = debug->findChild<QWidget*>("ASSIST_WINDOW");
    tour.look(assist, "register_assist");
    if (assist) assist->close();
    debug->close();

    // The data window: its settings, an averaged spectrum with the newest block, saving.
    s.item("MENU_COLLECTION")->trigger();
    QWidget* data = s.shell.window("pnl_data");
    QTest::mouseClick(data->findChild<QPushButton*>("DATA_CONFIG"), Qt::LeftButton);
    QWidget* settings = data->findChild<QWidget*>("pnl_config");
    tour.look(settings, "collection_settings");
    if (settings) {
        auto* samples = settings->findChild<QComboBox*>("CONFIG_SAMPLES");
        samples->setCurrentIndex(samples->findData(4096));
        settings->findChild<QSpinBox*>("CONFIG_AVERAGE")->setValue(2);
        QTest::mouseClick(settings->findChild<QPushButton*>("POPCONFIG_OK"), Qt::LeftButton);
    }
    auto* ring = data->findChild<QComboBox*>("DATA_TEST");
    ring->setCurrentIndex(collection::kTestFft);
    emit ring->activated(collection::kTestFft);
    QTest::mouseClick(data->findChild<QPushButton*>("DATA_COLLECT"), Qt::LeftButton);
    QTest::mouseClick(data->findChild<QCheckBox*>("DATA_SHOW_NEWEST"), Qt::LeftButton);
    tour.look(data, "data_fft");
    tour.lookAtModal(
        "save",
        [&] { QTest::mouseClick(data->findChild<QPushButton*>("DATA_IO"), Qt::LeftButton); },
        [](QWidget* d) { d->findChild<QPushButton*>("SAVE_CANCEL")->click(); });
    data->close();

    // The start window's dialogs.
    s.item("MENU_REMOTE")->trigger();
    QWidget* remote = s.start().findChild<QWidget*>("pnl_remote");
    tour.look(remote, "remote_access");
    if (remote) remote->close();
    s.start().listUsbDevices = [](std::vector<UsbDeviceInfo>* out, std::string*) {
        out->push_back({1, 4, {0x1234, 0x5678}, "EVKIT714 evaluation board", {}});
        out->push_back({1, 2, {0x0BAD, 0xCAFE}, "Example keyboard", {}});
        out->push_back({2, 3, {0x0ABC, 0x0DEF}, {}, "access denied"});
        return 0;
    };
    s.item("MENU_USB_DEVICE")->trigger();
    QWidget* usb = s.start().findChild<QWidget*>("pnl_usb_device");
    tour.look(usb, "usb_device");
    if (usb) usb->close();
    s.start().listBoards = [] {
        return std::vector<UsbDeviceInfo>{{1, 4, {0x1234, 0x5678}, "EVKIT714", {}, "1-4", "EX0001"},
                                          {1, 5, {0x1234, 0x5678}, "EVKIT714", {}, "1-5.2", {}}};
    };
    tour.lookAtModal(
        "board_choice", [&] { s.connect(); }, [](QWidget* d) { d->close(); });
    s.start().listBoards = nullptr;

    // The console, as the diagnostics fill it.
    app::QtConsole console;
    console.print("stat from F32x_Read is 3\n");
    console.print("EEPROM read returned 12 of 128 bytes\n");
    tour.look(console.window(), "console");
    console.hide();

    s.item("MENU_QUIT")->trigger();
    QWidget* quit = s.start().findChild<QWidget*>("pnl_quit");
    tour.look(quit, "quit");
    if (quit) quit->close();
}
