// The numeric and word editors of every window write to the device only after a real edit:
// focus passing through every editable control sends nothing, and a value typed and entered
// sends exactly the frames of its register.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <functional>
#include <memory>

#include "calibration/calibration_panel.h"
#include "collection/data_collection_panel.h"
#include "conversion/conversion_panel.h"
#include "diagnostics/debug_panel.h"
#include "diagnostics/eeprom_panel.h"
#include "panel_context.h"
#include "typing.h"
#include "pulse/pulse_panel.h"
#include "setup/setup_panel.h"
#include "temperature/temperature_panel.h"

using namespace evkit;

namespace {

using Frames = std::vector<std::string>;

// The controls a user can type into or turn: spin boxes, line edits that are no part of a
// spin box, rings. Read-only ones are left out.
std::vector<QWidget*> editableControls(QWidget& window) {
    std::vector<QWidget*> out;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) {
            if (!spin->isReadOnly()) out.push_back(w);
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const bool inner = qobject_cast<QAbstractSpinBox*>(edit->parentWidget()) ||
                               qobject_cast<QComboBox*>(edit->parentWidget());
            if (!inner && !edit->isReadOnly()) out.push_back(w);
        } else if (qobject_cast<QComboBox*>(w)) {
            out.push_back(w);
        }
    }
    return out;
}

void sendFocus(QWidget* w, QEvent::Type type) {
    QFocusEvent e(type, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}

// A wheel turn over the widget, which does not have the focus.
void wheelOver(QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

struct Window {
    const char* name;
    std::function<std::unique_ptr<app::StandingWindow>(app::AppContext&)> make;
};

const Window kWindows[] = {
    {"setup", [](app::AppContext& c) { return std::make_unique<app::SetupPanel>(c); }},
    {"calibration", [](app::AppContext& c) { return std::make_unique<app::CalibrationPanel>(c); }},
    {"temperature", [](app::AppContext& c) { return std::make_unique<app::TemperaturePanel>(c); }},
    {"conversion",
     [](app::AppContext& c) { return std::make_unique<conversion::ConversionPanel>(c); }},
    {"pulse", [](app::AppContext& c) { return std::make_unique<app::PulsePanel>(c); }},
    {"debug", [](app::AppContext& c) { return std::make_unique<app::DebugPanel>(c); }},
    {"eeprom", [](app::AppContext& c) { return std::make_unique<app::EepromPanel>(c); }},
    {"data collection",
     [](app::AppContext& c) { return std::make_unique<app::DataCollectionPanel>(c); }},
};

struct EditCommitTest : ::testing::Test, test::PanelContext {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.session.chip = 14;
    }
    // Opens the window as its menu item does (refreshing it from the device), then forgets
    // the frames of the opening.
    std::unique_ptr<app::StandingWindow> open(const Window& w) {
        auto window = w.make(ctx);
        window->openFromMenu();
        if (auto* t = qobject_cast<app::TemperaturePanel*>(window.get())) t->cbf_tempsettingwin();
        window->activateWindow();
        QApplication::processEvents();
        rig.takeFrames();
        return window;
    }
};

}  // namespace

// Clicking from box to box, leaving a box, a wheel turned over a box the mouse merely passes:
// nothing is written, in any window. (A stale box would otherwise undo a device reset, and
// the temperature values would drift one step per pass through their float.)
TEST_F(EditCommitTest, FocusPassingThroughEveryEditableControlWritesNothing) {
    for (const auto& w : kWindows) {
        SCOPED_TRACE(w.name);
        auto window = open(w);
        const auto controls = editableControls(*window);
        ASSERT_FALSE(controls.empty());
        // The device changes behind the window (as after a reset elsewhere): the stale
        // boxes must not put their values back.
        rig.board.device().setReg(1, 8, 0x123456);
        rig.board.device().setReg(1, 22, 0x345678);
        rig.board.device().setReg(1, 23, 0x0ABCDE);
        for (QWidget* c : controls) {
            SCOPED_TRACE(c->objectName().toStdString());
            if (!c->hasFocus()) wheelOver(c);  // the mouse passes over it
            c->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            sendFocus(c, QEvent::FocusIn);
            sendFocus(c, QEvent::FocusOut);
            QApplication::processEvents();
            EXPECT_EQ(rig.takeFrames(), Frames{});
        }
        // And the focus walks on through the whole window with the Tab key.
        for (size_t i = 0; i < controls.size() + 2; ++i) {
            if (QWidget* f = QApplication::focusWidget()) QTest::keyClick(f, Qt::Key_Tab);
            QApplication::processEvents();
        }
        EXPECT_EQ(rig.takeFrames(), Frames{});
        EXPECT_EQ(rig.board.device().reg(1, 8), 0x123456u);
        EXPECT_EQ(rig.board.device().reg(1, 22), 0x345678u);
        EXPECT_EQ(rig.board.device().reg(1, 23), 0x0ABCDEu);
        rig.board.device().powerOn();
        window->close();
    }
}

// A typed value is written once, on Enter, with exactly its register's frames (write,
// then the read-back where the window shows it); leaving the box afterwards adds nothing.
TEST_F(EditCommitTest, ATypedValueWritesExactlyItsRegister) {
    struct Case {
        const char* window;
        const char* control;
        const char* text;
        Frames frames;
    };
    const Case cases[] = {
        {"calibration",
         "CAL_I2_AC_GAIN_HEX",
         "C00000",  // 1:8 <- 0xC00000, read back
         {"7e 01 00 00 00 00", "50 00 00 c0 00 00", "7e 00 00 00 00 00", "7e 01 00 00 00 00",
          "10 00 00 00 00 00", "7e 00 00 00 00 00"}},
        {"temperature",
         "TEMP_GAIN_WORD",
         "040000",  // 1:22 <- 0x040000, read back
         {"7e 01 00 00 00 00", "6c 00 00 04 00 00", "7e 00 00 00 00 00", "7e 01 00 00 00 00",
          "2c 00 00 00 00 00", "7e 00 00 00 00 00"}},
        {"temperature",
         "TEMP_OFFSET_VALUE",
         "416.6665",  // 1:23 <- 0x3FFFFF, read back
         {"7e 01 00 00 00 00", "6e ff ff 3f 00 00", "7e 00 00 00 00 00", "7e 01 00 00 00 00",
          "2e 00 00 00 00 00", "7e 00 00 00 00 00"}},
        {"setup",
         "SETUP_PULSE_RATE",
         "100.0",  // 1:14 <- 400, read back
         {"7e 01 00 00 00 00", "5c 90 01 00 00 00", "7e 00 00 00 00 00", "7e 01 00 00 00 00",
          "1c 00 00 00 00 00", "7e 00 00 00 00 00"}},
        {"setup",
         "SETUP_EPSILON_HEX",
         "400000",  // 1:17 <- 0x400000, read back
         {"7e 01 00 00 00 00", "62 00 00 40 00 00", "7e 00 00 00 00 00", "7e 01 00 00 00 00",
          "22 00 00 00 00 00", "7e 00 00 00 00 00"}},
        {"conversion",
         "CONV_TMEAS",
         "2",  // 5:26 <- 2
         {"7e 05 00 00 00 00", "74 02 00 00 00 00", "7e 00 00 00 00 00"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.window) + " " + c.control);
        const Window* w = nullptr;
        for (const auto& candidate : kWindows)
            if (std::string(candidate.name) == c.window) w = &candidate;
        ASSERT_NE(w, nullptr);
        auto window = open(*w);
        auto* control = window->findChild<QWidget*>(c.control);
        ASSERT_NE(control, nullptr);
        test::typeAndEnter(control, c.text);
        EXPECT_EQ(rig.takeFrames(), c.frames);
        sendFocus(control, QEvent::FocusOut);
        QTest::keyClick(control, Qt::Key_Return);  // Enter again without typing: nothing
        EXPECT_EQ(rig.takeFrames(), Frames{});
        rig.board.device().powerOn();
        window->close();
    }
}

// Stepping a spin box with the arrow keys is an edit too: written once when the box is left.
TEST_F(EditCommitTest, ArrowKeyStepIsWrittenWhenTheBoxIsLeft) {
    auto window = open(kWindows[1]);  // calibration
    auto* box = window->findChild<QAbstractSpinBox*>("CAL_REG_1_4_HEX");
    ASSERT_NE(box, nullptr);
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(rig.takeFrames(), Frames{});  // not yet: the user may step on
    sendFocus(box, QEvent::FocusOut);
    EXPECT_EQ(rig.board.device().reg(1, 4), 1u);
    const auto frames = rig.takeFrames();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "48 01 00 00 00 00"), 1);
}
