// The desktop program on SIGTERM, SIGHUP or Ctrl-C: a running monitor is stopped with its
// halt, the board is closed, and the program ends with 128 + the signal's number.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <csignal>

#include "app/stop_signals.h"
#include "conversion/conversion_panel.h"
#include "shell_rig.h"

using namespace evkit;

namespace {

// Delivers the program's signals as the desktop program's main does.
struct SignalledShell : test::ShellRig {
    SignalledShell() { start().show(); }
    app::StopSignals stops{[this](int signo) { start().quitOnSignal(signo); }};
    // Processes events until the program asked to end (bounded: the notifier is local).
    void processUntilEnded() {
        for (int i = 0; i < 1000 && exits.empty(); ++i) QApplication::processEvents();
    }
};

TEST(StopSignals, AnIdleProgramClosesTheBoardAndEndsWith128PlusTheSignal) {
    for (const int signo : {SIGTERM, SIGHUP, SIGINT}) {
        SignalledShell s;
        ASSERT_TRUE(s.stops.installed());
        s.connect();
        ASSERT_TRUE(s.rig.board.isOpen());
        std::raise(signo);
        s.processUntilEnded();
        EXPECT_EQ(s.exits, std::vector<int>{128 + signo}) << signo;
        EXPECT_FALSE(s.rig.board.isOpen()) << signo;
        EXPECT_EQ(s.rig.link.cyHandle, 0u);
    }
}

TEST(StopSignals, ARunningMonitorGetsItsHaltBeforeTheBoardIsClosed) {
    SignalledShell s;
    s.connect();
    s.item("MENU_CONVERSION")->trigger();
    auto* panel = qobject_cast<conversion::ConversionPanel*>(s.shell.window("pnl_conv"));
    ASSERT_NE(panel, nullptr);
    s.rig.takeFrames();
    // The run keeps the window alive through the pump; the signal comes after two updates.
    bool raised = false;
    s.rig.pump.onProcess = [&] {
        QApplication::processEvents();
        if (!raised && panel->monitor().updates() >= 2) {
            raised = true;
            std::raise(SIGTERM);
        }
    };
    panel->findChild<QPushButton*>("CONV_CONTINUOUS")->click();
    s.rig.pump.onProcess = nullptr;
    EXPECT_TRUE(raised);
    EXPECT_EQ(s.exits, std::vector<int>{128 + SIGTERM});
    EXPECT_FALSE(panel->monitor().running());
    const auto frames = s.rig.takeFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), "a0 00 00 00 00 00");
    // The board is closed once the operation has returned and the event loop has ended.
    s.start().afterEventLoop();
    EXPECT_FALSE(s.rig.board.isOpen());
}

}  // namespace
