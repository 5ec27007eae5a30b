// Every window of the running program opens inside the screen's available area, whatever
// its size and scale. With EVKIT_SCREENSHOT_DIR set, the screen is saved with each window
// open (run under Xvfb with QT_QPA_PLATFORM=xcb to see the windows as a user does).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "shell_rig.h"

using namespace evkit;

namespace {

const std::pair<const char*, const char*> kWindows[] = {
    {"MENU_SETUP", "pnl_setup"},     {"MENU_COLLECTION", "pnl_data"},
    {"MENU_CONVERSION", "pnl_conv"}, {"MENU_CALIBRATION", "pnl_cal"},
    {"MENU_PULSE", "pnl_pulse"},     {"MENU_DEBUG", "pnl_debug"},
    {"MENU_EEPROM", "pnl_eeprom"}};

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

void saveScreen(const QString& name) {
    const QString dir = qEnvironmentVariable("EVKIT_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->grabWindow(0).save(QDir(dir).filePath(name + ".png")))
        << name.toStdString();
}

void expectInsideScreen(QWidget* w, const char* what) {
    const QRect area = w->screen()->availableGeometry();
    const QRect frame = w->frameGeometry();
    EXPECT_LE(frame.width(), area.width()) << what;
    EXPECT_LE(frame.height(), area.height()) << what;
    EXPECT_TRUE(area.contains(frame))
        << what << ": " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
        << frame.height() << " in " << area.width() << "x" << area.height();
}

}  // namespace

TEST(ScreenFit, EveryWindowOpensInsideTheAvailableScreen) {
    test::ShellRig s;
    s.start().show();
    settle();
    expectInsideScreen(&s.start(), "start window");
    saveScreen("00_start");
    s.connect();
    settle();
    saveScreen("01_start_connected");
    int n = 2;
    for (const auto& [item, panel] : kWindows) {
        s.item(item)->trigger();
        settle();
        QWidget* w = s.shell.window(panel);
        ASSERT_NE(w, nullptr) << item;
        ASSERT_TRUE(w->isVisible()) << item;
        expectInsideScreen(w, item);
        saveScreen(QString("%1_%2").arg(n++, 2, 10, QChar('0')).arg(item));
        w->close();
        settle();
    }
    // The dialogs opened from the windows and the start window.
    s.item("MENU_COLLECTION")->trigger();
    settle();
    QWidget* data = s.shell.window("pnl_data");
    QTest::mouseClick(data->findChild<QPushButton*>("DATA_CONFIG"), Qt::LeftButton);
    settle();
    if (QWidget* settings = data->findChild<QWidget*>("pnl_config")) {
        expectInsideScreen(settings, "collection settings");
        saveScreen("20_collection_settings");
        settings->close();
    }
    s.item("MENU_QUIT")->trigger();
    settle();
    if (QWidget* quit = s.start().findChild<QWidget*>("pnl_quit")) {
        expectInsideScreen(quit, "quit confirmation");
        saveScreen("21_quit");
        quit->close();
    }
}
