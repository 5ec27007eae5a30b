// Connection ▸ USB Board with several boards attached: the chooser, the chosen board's name
// in the start window and every title; and a recorded desktop session replayed click for
// click.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "board/recording_transport.h"
#include "board/replay_transport.h"
#include "board/session_storage.h"
#include "shell_rig.h"

using namespace evkit;
using evkit::test::ShellRig;

namespace {

std::vector<UsbDeviceInfo> twoBoards() {
    UsbDeviceInfo a, b;
    a.bus = b.bus = 1;
    a.address = 3;
    b.address = 5;
    a.id = b.id = {0x1234, 0x5678};
    a.port = "1-2";
    b.port = "1-4.2";
    a.serial = "EVK-TEST-0001";
    b.serial = "EVK-TEST-0002";
    return {a, b};
}

struct Choice {
    std::vector<std::vector<UsbDeviceInfo>> offered;
    std::vector<UsbDeviceInfo> used;
    int answer = 0;
};

void script(ShellRig& s, Choice& c, std::vector<UsbDeviceInfo> boards) {
    s.start().listBoards = [boards] { return boards; };
    s.start().chooseBoard = [&c](const std::vector<UsbDeviceInfo>& offered) {
        c.offered.push_back(offered);
        return c.answer;
    };
    s.start().useBoard = [&c](const UsbDeviceInfo& b) { c.used.push_back(b); };
    s.start().boardName = [&c] { return c.used.empty() ? std::string() : c.used.back().serial; };
}

TEST(BoardChoice, SeveralBoardsOfferAChoiceAndTheChosenSerialNamesEveryWindow) {
    ShellRig s;
    Choice c;
    c.answer = 0;
    script(s, c, twoBoards());
    s.connect();
    ASSERT_EQ(c.offered.size(), 1u);
    EXPECT_EQ(c.offered[0].size(), 2u);
    ASSERT_EQ(c.used.size(), 1u);
    EXPECT_EQ(c.used[0].port, "1-2");
    EXPECT_NE(s.rig.link.cyHandle, 0u);
    EXPECT_TRUE(s.checked("MENU_USB"));
    EXPECT_EQ(s.label("START_SERIAL"), "EVK-TEST-0001");
    for (const auto& w : s.shell.windows())
        EXPECT_TRUE(w.window->windowTitle().endsWith(QString::fromUtf8(" \u2014 EVK-TEST-0001")))
            << w.panel << ": " << w.window->windowTitle().toStdString();
    EXPECT_EQ(s.start().windowTitle(), QString::fromUtf8("EVKIT714 \u2014 EVK-TEST-0001"));

    // Connecting again offers the choice again; the other board renames the windows.
    c.answer = 1;
    s.connect();
    ASSERT_EQ(c.used.size(), 2u);
    EXPECT_EQ(c.used[1].serial, "EVK-TEST-0002");
    EXPECT_EQ(s.start().windowTitle(), QString::fromUtf8("EVKIT714 \u2014 EVK-TEST-0002"));
    QWidget* setup = s.shell.window("pnl_setup");
    EXPECT_EQ(setup->windowTitle().count(QString::fromUtf8("\u2014")), 1);

    // Disk mode closes the board: the names go.
    s.dialogs.answers.push_back("/data/capture.dat");
    s.item("MENU_DISK")->trigger();
    EXPECT_EQ(s.start().windowTitle(), "EVKIT714");
    EXPECT_EQ(s.label("START_SERIAL"), "");
}

TEST(BoardChoice, ACancelledChoiceConnectsNothingAndOneBoardNeedsNoChoice) {
    ShellRig s;
    Choice c;
    c.answer = -1;
    script(s, c, twoBoards());
    s.rig.takeFrames();
    s.connect();
    EXPECT_EQ(c.offered.size(), 1u);
    EXPECT_TRUE(c.used.empty());
    EXPECT_EQ(s.rig.link.cyHandle, 0u);
    EXPECT_FALSE(s.checked("MENU_USB"));
    EXPECT_TRUE(s.rig.takeFrames().empty());
    EXPECT_TRUE(s.rig.messages.shown.empty());

    ShellRig one;
    Choice d;
    script(one, d, {twoBoards()[1]});
    one.connect();
    EXPECT_TRUE(d.offered.empty());
    EXPECT_NE(one.rig.link.cyHandle, 0u);
    EXPECT_EQ(one.start().windowTitle(), "EVKIT714");  // no name known: no suffix
}

std::string tmp(const std::string& name) {
    return ::testing::TempDir() + "evkit_gui_" + name;
}

// Connect, open Setup (it refreshes itself) and press its Refresh button.
void clickThrough(ShellRig& s) {
    s.connect();
    s.item("MENU_SETUP")->trigger();
    auto* refresh = s.shell.window("pnl_setup")->findChild<QPushButton*>("SETUP_REFRESH");
    ASSERT_NE(refresh, nullptr);
    QTest::mouseClick(refresh, Qt::LeftButton);
}

std::vector<std::string> calls(const SessionFile& f) {
    std::vector<std::string> out;
    for (const auto& op : f.ops) out.push_back(describeSessionCall(op));
    return out;
}

TEST(BoardChoice, ARecordedDesktopSessionReplaysWithTheSameFramesForTheSameClicks) {
    const std::string first = tmp("desk.session"), second = tmp("desk-replay.session");
    std::string error;
    {
        ShellRig s;
        RecordingTransport recorder(s.rig.board, s.rig.clock, first, "evkit714 test");
        s.rig.link.setTransport(recorder);
        clickThrough(s);
        ASSERT_TRUE(recorder.finish(&error)) << error;
        s.rig.link.setTransport(s.rig.board);
    }
    SessionFile recorded;
    ASSERT_TRUE(readSessionFile(first, &recorded, &error)) << error;
    ASSERT_GT(recorded.ops.size(), 20u);

    ShellRig again;
    ReplayTransport replay(recorded, again.rig.clock, ReplayTiming::kInstant);
    std::vector<std::string> divergences;
    replay.onDivergence = [&](const std::string& m) { divergences.push_back(m); };
    RecordingTransport rerecord(replay, again.rig.clock, second, "evkit714 test");
    again.rig.link.setTransport(rerecord);
    clickThrough(again);
    EXPECT_TRUE(divergences.empty()) << divergences.front();
    EXPECT_TRUE(replay.finish()) << replay.divergence();
    ASSERT_TRUE(rerecord.finish(&error)) << error;
    again.rig.link.setTransport(again.rig.board);
    SessionFile replayed;
    ASSERT_TRUE(readSessionFile(second, &replayed, &error)) << error;
    EXPECT_EQ(calls(replayed), calls(recorded));
    EXPECT_EQ(again.label("START_DEVICE_NAME"), "PM7014 Rev C");

    // One more click than was recorded leaves the recording, and says so.
    ShellRig extra;
    ReplayTransport short_(recorded, extra.rig.clock, ReplayTiming::kInstant);
    extra.rig.link.setTransport(short_);
    clickThrough(extra);
    QTest::mouseClick(extra.shell.window("pnl_setup")->findChild<QPushButton*>("SETUP_REFRESH"),
                      Qt::LeftButton);
    EXPECT_TRUE(short_.diverged());
    EXPECT_NE(short_.divergence().find("expected the end of the recording"), std::string::npos);
    extra.rig.link.setTransport(extra.rig.board);
}

}  // namespace
