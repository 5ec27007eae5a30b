// Test program for the windows: a QApplication on the offscreen platform (unless
// EVKIT_GUI_PLATFORM names another, e.g. xcb under Xvfb for screenshots) with the desktop
// program's look, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/display_look.h"

int main(int argc, char** argv) {
    const QByteArray platform = qgetenv("EVKIT_GUI_PLATFORM");
    qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    QApplication app(argc, argv);
    // The look of the desktop program, read-only results included.
    evkit::app::installDisplayLook(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
