#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QApplication>
#include <QPushButton>

#include "shell_rig.h"
#include "ui/standing_window.h"
#include "variant_table.h"

using namespace evkit;
using evkit::test::ShellRig;

namespace {

const char* const kAllItems[] = {"MENU_START",      "MENU_SETUP", "MENU_CALIBRATION",
                                 "MENU_CONVERSION", "MENU_PULSE", "MENU_COLLECTION",
                                 "MENU_EEPROM",     "MENU_DEBUG", "MENU_USB",
                                 "MENU_DISK",       "MENU_QUIT"};
const char* const kBoardOnly[] = {"MENU_SETUP",       "MENU_PULSE",  "MENU_CONVERSION",
                                  "MENU_CALIBRATION", "MENU_EEPROM", "MENU_DEBUG"};

struct WindowItem {
    const char* role;
    const char* panel;
};
const WindowItem kWindowItems[] = {{"MENU_SETUP", "pnl_setup"},     {"MENU_CALIBRATION", "pnl_cal"},
                                   {"MENU_CONVERSION", "pnl_conv"}, {"MENU_PULSE", "pnl_pulse"},
                                   {"MENU_COLLECTION", "pnl_data"}, {"MENU_EEPROM", "pnl_eeprom"},
                                   {"MENU_DEBUG", "pnl_debug"}};

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

TEST(Shell, StartsWithVersionWindowsInOrderAndOnlyConnectionItemsUsable) {
    ShellRig s;
    EXPECT_EQ(s.label("START_VERSION"), "3.0.2");
    EXPECT_EQ(s.rig.session.range, 8388608);

    const char* order[] = {"pnl_start", "pnl_setup",  "pnl_conv", "pnl_data", "pnl_cal",
                           "pnl_debug", "pnl_eeprom", "pnl_temp", "pnl_pulse",
                           // the program's own windows follow the nine
                           "pnl_scaling", "pnl_source", "pnl_accuracy"};
    ASSERT_EQ(s.shell.windows().size(), std::size(order));
    for (std::size_t i = 0; i < std::size(order); ++i) {
        EXPECT_EQ(s.shell.windows()[i].panel, order[i]);
        EXPECT_EQ(s.shell.windows()[i].window->objectName().toStdString(), order[i]);
        EXPECT_EQ(s.shell.context().window(order[i]), s.shell.windows()[i].window);
    }
    EXPECT_EQ(s.shell.windows()[0].window, &s.start());
    EXPECT_EQ(s.shell.context().window("pnl_none"), nullptr);

    // Windows and modes carry check marks; the commands Quit and USB Device do not.
    for (const char* role : kAllItems) {
        ASSERT_NE(s.item(role), nullptr) << role;
        EXPECT_EQ(s.item(role)->isCheckable(), std::string(role) != "MENU_QUIT") << role;
    }
    ASSERT_NE(s.item("MENU_USB_DEVICE"), nullptr);
    EXPECT_FALSE(s.item("MENU_USB_DEVICE")->isCheckable());
    EXPECT_TRUE(s.usable("MENU_USB_DEVICE"));
    EXPECT_TRUE(s.checked("MENU_START"));
    for (const char* role : {"MENU_START", "MENU_USB", "MENU_DISK", "MENU_QUIT"})
        EXPECT_TRUE(s.usable(role)) << role;
    for (const char* role : kBoardOnly) EXPECT_FALSE(s.usable(role)) << role;
    EXPECT_FALSE(s.usable("MENU_COLLECTION"));
    EXPECT_FALSE(s.checked("MENU_USB"));
    EXPECT_FALSE(s.checked("MENU_DISK"));
    EXPECT_EQ(s.rig.session.port_number, kPortNone);
}

TEST(Shell, UsbConnectionIdentifiesTheBoardAndMakesEveryWindowReachable) {
    ShellRig s;
    s.connect();
    EXPECT_TRUE(s.rig.messages.shown.empty());
    EXPECT_NE(s.rig.link.cyHandle, 0u);
    EXPECT_TRUE(s.rig.board.isOpen());
    EXPECT_EQ(s.rig.session.port_number, kPortUsb);
    EXPECT_EQ(s.rig.session.chip, 14);
    EXPECT_EQ(s.label("START_DEVICE_NAME"), "PM7014 Rev C");
    // The query answers the bytes '7', '1', '4': each label starts one byte later.
    EXPECT_EQ(s.label("START_BOARD_ID_1"), "714");
    EXPECT_EQ(s.label("START_BOARD_ID_2"), "14");
    EXPECT_EQ(s.label("START_BOARD_ID_3"), "4");
    EXPECT_FALSE(s.label("START_PRODUCT").isEmpty());
    EXPECT_TRUE(s.checked("MENU_USB"));
    EXPECT_FALSE(s.checked("MENU_DISK"));
    for (const char* role : kAllItems) EXPECT_TRUE(s.usable(role)) << role;
}

TEST(Shell, FailedConnectionChangesNothing) {
    ShellRig s;
    s.rig.board.unplug();
    s.connect();
    ASSERT_EQ(s.rig.messages.shown.size(), 1u);
    EXPECT_EQ(s.rig.messages.shown[0].first, "Error Message");
    EXPECT_EQ(s.rig.messages.shown[0].second, msg::kNoBoard);
    EXPECT_FALSE(s.checked("MENU_USB"));
    for (const char* role : kBoardOnly) EXPECT_FALSE(s.usable(role)) << role;
    EXPECT_EQ(s.rig.session.port_number, kPortNone);
    EXPECT_TRUE(s.label("START_BOARD_ID_1").isEmpty());
}

// Every identification sets the device label: blank where its row names no text, and a
// failed identification read names no device, so no label of the earlier board stays.
TEST(Shell, DeviceLabelFollowsEveryIdentification) {
    ShellRig s("PM7014-C1");
    s.connect();
    ASSERT_EQ(s.label("START_DEVICE_NAME"), "PM7014 Rev C1");
    // The last identification read (5:11) fails: its word 0 would name the PM7017 Rev C1.
    s.rig.board.unplugAfterReads(4);  // board query, 0:15, 65:0, 5:11 (its page restore fails)
    s.connect();
    EXPECT_EQ(s.rig.session.chip, 0);
    EXPECT_EQ(s.label("START_DEVICE_NAME"), "");
    EXPECT_TRUE(s.rig.messages.contains("The device is not recognized."));

    ShellRig other("PM7014-C");
    other.connect();
    ASSERT_EQ(other.label("START_DEVICE_NAME"), "PM7014 Rev C");
    other.rig.board.device().setReg(0, 15, 0x000301);  // now a PM7010A: its row has no label
    other.connect();
    EXPECT_EQ(other.rig.session.chip, 10);
    EXPECT_EQ(other.label("START_DEVICE_NAME"), "");
}

TEST(Shell, IdentificationMessagesAndLabelsForEveryVariant) {
    for (const auto& v : test::kEveryVariant) {
        SCOPED_TRACE(v.variant);
        ShellRig s(v.variant);
        s.connect();
        EXPECT_EQ(s.rig.session.chip, v.chip);
        EXPECT_EQ(s.label("START_DEVICE_NAME").toStdString(), v.label ? v.label : "");
        if (v.title) {
            ASSERT_EQ(s.rig.messages.shown.size(), 1u);
            EXPECT_EQ(s.rig.messages.shown[0].first, v.title);
            EXPECT_EQ(s.rig.messages.shown[0].second, v.text);
        } else {
            EXPECT_TRUE(s.rig.messages.shown.empty());
        }
        // An unknown device still leaves the board connected and every window reachable.
        EXPECT_TRUE(s.checked("MENU_USB"));
        EXPECT_TRUE(s.usable("MENU_SETUP"));
    }
}

TEST(Shell, DeviceLabelKeepsItsTextWhenAReconnectNamesNone) {
    ShellRig s("PM7014-B");
    s.connect();
    EXPECT_EQ(s.label("START_DEVICE_NAME"), "PM7014 Rev B");
    // Connecting again while connected runs the whole sequence on the open board.
    s.connect();
    EXPECT_TRUE(s.rig.messages.shown.empty());
    EXPECT_TRUE(s.rig.board.isOpen());
    std::int32_t word = 0;
    EXPECT_EQ(s.rig.link.readRegister(0, 15, &word), 0);
}

TEST(Shell, DiskModeLeavesOnlyStartAndCollectionAndClosesTheBoard) {
    ShellRig s;
    QWidget* data = s.shell.window("pnl_data");
    auto* overlay = data->findChild<QPushButton*>("DATA_OVERLAY");
    auto* collect = data->findChild<QPushButton*>("DATA_COLLECT");
    auto* graph = data->findChild<QCustomPlot*>("DATA_GRAPH");
    ASSERT_TRUE(overlay && collect && graph);
    EXPECT_FALSE(collect->isEnabled());
    graph->addGraph()->setData({0, 1, 2}, {1, 2, 3});

    s.connect();
    EXPECT_TRUE(overlay->isEnabled());
    s.dialogs.answers.push_back("/data/capture.dat");
    s.item("MENU_DISK")->trigger();

    EXPECT_EQ(s.dialogs.lastTitle, "Select a File");
    EXPECT_EQ(s.dialogs.lastPattern, "*.dat");
    EXPECT_EQ(s.rig.session.input_file, "/data/capture.dat");
    EXPECT_EQ(s.rig.session.port_number, kPortDisk);
    EXPECT_EQ(s.rig.link.cyHandle, 0u);
    EXPECT_FALSE(s.rig.board.isOpen());
    EXPECT_TRUE(s.checked("MENU_DISK"));
    EXPECT_FALSE(s.checked("MENU_USB"));
    EXPECT_TRUE(s.usable("MENU_START"));
    EXPECT_TRUE(s.usable("MENU_COLLECTION"));
    for (const char* role : kBoardOnly) EXPECT_FALSE(s.usable(role)) << role;
    EXPECT_FALSE(overlay->isEnabled());
    EXPECT_TRUE(collect->isEnabled());
    EXPECT_EQ(graph->plottableCount(), 0);

    // Back to the board: everything reachable again, disk mark removed.
    s.connect();
    EXPECT_TRUE(s.checked("MENU_USB"));
    EXPECT_FALSE(s.checked("MENU_DISK"));
    EXPECT_EQ(s.rig.session.port_number, kPortUsb);
    for (const char* role : kAllItems) EXPECT_TRUE(s.usable(role)) << role;
}

TEST(Shell, CancelledDiskChoiceLeavesTheConnectionAndMenus) {
    ShellRig s;
    s.connect();
    s.item("MENU_DISK")->trigger();  // no scripted answer: cancelled
    EXPECT_EQ(s.dialogs.lastTitle, "Select a File");
    EXPECT_TRUE(s.rig.board.isOpen());
    EXPECT_NE(s.rig.link.cyHandle, 0u);
    EXPECT_EQ(s.rig.session.port_number, kPortUsb);
    EXPECT_TRUE(s.checked("MENU_USB"));
    EXPECT_FALSE(s.checked("MENU_DISK"));
    for (const char* role : kAllItems) EXPECT_TRUE(s.usable(role)) << role;
}

TEST(Shell, LostConnectionRemovesOnlyTheUsbCheckMark) {
    ShellRig s;
    s.connect();
    s.item("MENU_SETUP")->trigger();
    s.rig.board.unplug();
    std::int32_t word = 0;
    EXPECT_NE(s.rig.link.readRegister(0, 15, &word), 0);
    ASSERT_FALSE(s.rig.messages.shown.empty());
    EXPECT_EQ(s.rig.messages.shown.back().second, msg::kConnectionLost);
    EXPECT_FALSE(s.checked("MENU_USB"));
    EXPECT_TRUE(s.checked("MENU_SETUP"));
    for (const char* role : kAllItems) EXPECT_TRUE(s.usable(role)) << role;
}

TEST(Shell, EachWindowCheckMarkFollowsOpenAndClose) {
    ShellRig s;
    s.connect();
    for (const auto& w : kWindowItems) {
        SCOPED_TRACE(w.role);
        QWidget* window = s.shell.window(w.panel);
        s.item(w.role)->trigger();
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(s.checked(w.role));
        // Choosing the item of an open window keeps it open and checked.
        s.item(w.role)->trigger();
        EXPECT_TRUE(s.checked(w.role));
        window->close();
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(s.checked(w.role));
        EXPECT_EQ(s.shell.window(w.panel), window);  // hidden, never destroyed
    }
    // The temperature window has no menu item; it opens and closes without touching any.
    auto* temp = qobject_cast<app::StandingWindow*>(s.shell.window("pnl_temp"));
    ASSERT_NE(temp, nullptr);
    temp->openFromMenu();
    EXPECT_TRUE(temp->isVisible());
    temp->close();
    EXPECT_FALSE(temp->isVisible());
}

TEST(Shell, StartupKeepsPulseAndEepromMarksAndHidesNothing) {
    ShellRig s;
    s.connect();
    for (const auto& w : kWindowItems) s.item(w.role)->trigger();
    s.item("MENU_START")->trigger();
    EXPECT_TRUE(s.checked("MENU_START"));
    for (const char* role :
         {"MENU_SETUP", "MENU_COLLECTION", "MENU_CONVERSION", "MENU_CALIBRATION", "MENU_DEBUG"})
        EXPECT_FALSE(s.checked(role)) << role;
    EXPECT_TRUE(s.checked("MENU_PULSE"));
    EXPECT_TRUE(s.checked("MENU_EEPROM"));
    for (const auto& w : kWindowItems) EXPECT_TRUE(s.shell.window(w.panel)->isVisible());
    EXPECT_TRUE(s.start().isVisible());
}

TEST(Shell, EachQuitOpensItsOwnConfirmationAndNoDiscardsOnlyThatOne) {
    ShellRig s;
    s.item("MENU_QUIT")->trigger();
    s.item("MENU_QUIT")->trigger();
    EXPECT_FALSE(s.checked("MENU_QUIT"));
    auto panels = s.start().findChildren<app::QuitConfirmation*>();
    ASSERT_EQ(panels.size(), 2);
    EXPECT_TRUE(panels[0]->isVisible());
    EXPECT_FALSE(panels[0]->isModal());
    QPointer<app::QuitConfirmation> first = panels[0], second = panels[1];
    first->findChild<QPushButton*>("QUIT_NO")->click();
    flushDeletes();
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(s.exits.empty());
}

TEST(Shell, QuitYesWithoutConnectionEndsWithoutTouchingTheTransport) {
    ShellRig s;
    test::CountingTransport counting(s.rig.board);
    s.rig.link.setTransport(counting);
    s.item("MENU_QUIT")->trigger();
    auto* panel = s.start().findChild<app::QuitConfirmation*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->QUIT_YES(), 0);
    EXPECT_EQ(counting.calls, 0);
    EXPECT_EQ(s.exits, std::vector<int>{0});
    EXPECT_TRUE(s.rig.messages.shown.empty());
}

TEST(Shell, QuitYesClosesTheBoardAndReportsAFailedClose) {
    {
        ShellRig s;
        s.connect();
        s.item("MENU_QUIT")->trigger();
        s.start().findChild<app::QuitConfirmation*>()->findChild<QPushButton*>("QUIT_YES")->click();
        EXPECT_FALSE(s.rig.board.isOpen());
        EXPECT_EQ(s.exits, std::vector<int>{0});
    }
    {
        ShellRig s;
        s.connect();
        test::CountingTransport counting(s.rig.board);
        counting.failClose = true;
        s.rig.link.setTransport(counting);
        s.item("MENU_QUIT")->trigger();
        EXPECT_NE(s.start().findChild<app::QuitConfirmation*>()->QUIT_YES(), 0);
        ASSERT_EQ(s.rig.messages.shown.size(), 1u);
        EXPECT_EQ(s.rig.messages.shown[0].first, "Error Message");
        EXPECT_EQ(s.rig.messages.shown[0].second, "USB connection error.");
        EXPECT_EQ(s.exits, std::vector<int>{0});  // the program ends all the same
    }
}

TEST(Shell, ClosingTheStartWindowEndsAtOnceAndLeavesTheBoardOpen) {
    ShellRig s;
    s.connect();
    s.start().show();
    s.start().close();
    EXPECT_EQ(s.exits, std::vector<int>{0});
    EXPECT_TRUE(s.rig.board.isOpen());
    EXPECT_TRUE(s.start().findChildren<app::QuitConfirmation*>().isEmpty());
}

TEST(Shell, ConnectionChangesAreRefusedWhileAnOperationOwnsTheBoard) {
    ShellRig s;
    s.connect();
    s.rig.messages.shown.clear();
    {
        BoardClaim claim(s.rig.link, "a capture");
        ASSERT_TRUE(claim.ok());
        s.dialogs.answers.push_back("/data/capture.dat");
        s.item("MENU_DISK")->trigger();
        EXPECT_TRUE(s.dialogs.lastTitle.empty());  // not even asked
        EXPECT_TRUE(s.rig.board.isOpen());
        s.item("MENU_USB")->trigger();
        // Both refusals are said without a modal box: status bar and console.
        EXPECT_TRUE(s.rig.messages.shown.empty());
        EXPECT_NE(s.rig.console.output.find("The board is busy (a capture is running)"),
                  std::string::npos);
        EXPECT_TRUE(s.checked("MENU_USB"));
        EXPECT_EQ(s.rig.session.port_number, kPortUsb);

        // A confirmed quit stops the operation; the board is closed once it has returned.
        s.item("MENU_QUIT")->trigger();
        s.start().findChild<app::QuitConfirmation*>()->QUIT_YES();
        EXPECT_TRUE(s.rig.pump.cancelRequested());
        EXPECT_TRUE(s.rig.board.isOpen());
        EXPECT_EQ(s.exits, std::vector<int>{0});
    }
    s.start().afterEventLoop();
    EXPECT_FALSE(s.rig.board.isOpen());
    EXPECT_EQ(s.rig.link.cyHandle, 0u);
}
