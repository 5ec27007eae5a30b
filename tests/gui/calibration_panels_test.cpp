// The calibration, temperature and pulse windows on the virtual board.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <map>

#include "calibration/calibration_panel.h"
#include "panel_context.h"
#include "pulse/pulse_panel.h"
#include "temperature/temperature_panel.h"

using namespace evkit;

namespace {

struct PanelTest : ::testing::Test, test::PanelContext {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
    }
    template <class T>
    T* child(QWidget& w, const char* name) {
        auto* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
};

bool sent(const std::vector<std::string>& frames, const std::string& frame) {
    return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

}  // namespace

TEST_F(PanelTest, CalibrationWindowRefreshesOnOpenAndShowsGainFormats) {
    app::CalibrationPanel panel(ctx);
    EXPECT_EQ(panel.objectName(), "pnl_cal");
    panel.CAL_MNU();
    EXPECT_TRUE(checks["MENU_CALIBRATION"]);
    EXPECT_EQ(child<QLineEdit>(panel, "CAL_V1_AC_GAIN")->text(), "1.00000000");
    EXPECT_EQ(child<QSpinBox>(panel, "CAL_I2_AC_GAIN_HEX")->value(), 0x400000);

    auto* word = child<QSpinBox>(panel, "CAL_I2_AC_GAIN_HEX");
    word->selectAll();
    QTest::keyClicks(word, "C00000");
    QTest::keyClick(word, Qt::Key_Return);
    EXPECT_EQ(rig.board.device().reg(1, 8), 0xC00000u);
    // One word, one number: the word entry shows what the refresh shows.
    EXPECT_EQ(child<QLineEdit>(panel, "CAL_I2_AC_GAIN")->text(), "3.00000000");
    child<QPushButton>(panel, "CAL_REFRESH")->click();
    EXPECT_EQ(child<QLineEdit>(panel, "CAL_I2_AC_GAIN")->text(), "3.00000000");
    panel.close();
    EXPECT_FALSE(checks["MENU_CALIBRATION"]);
}

TEST_F(PanelTest, CalibrationButtonShowsProgressAndFollowsTheGainMode) {
    app::CalibrationPanel panel(ctx);
    auto* progress = child<QProgressBar>(panel, "CAL_PROGRESS");
    auto* button = child<QPushButton>(panel, "CAL_GAIN_V1");
    int seenVisible = 0, seenDimmed = 0, maxValue = 0;
    rig.pump.onProcess = [&] {
        seenVisible += progress->isVisibleTo(&panel);
        seenDimmed += !button->isEnabled();
        maxValue = std::max(maxValue, progress->value());
    };
    child<QCheckBox>(panel, "CAL_GAIN_MODE")->setChecked(true);
    button->click();
    EXPECT_TRUE(sent(rig.takeFrames(), "92 00 00 00 00 00"));
    EXPECT_GT(seenVisible, 10);
    EXPECT_EQ(seenDimmed, seenVisible);
    EXPECT_GT(maxValue, 900);
    EXPECT_FALSE(progress->isVisibleTo(&panel));
    EXPECT_TRUE(button->isEnabled());

    child<QCheckBox>(panel, "CAL_GAIN_MODE")->setChecked(false);
    button->click();
    EXPECT_TRUE(sent(rig.takeFrames(), "b2 00 00 00 00 00"));
    EXPECT_EQ(panel.calibrate("CAL_GAIN_MODE"), 0);
    EXPECT_TRUE(rig.messages.contains("The calibration command is not supported"));
}

TEST_F(PanelTest, TemperatureWindowOpensByNameAndBehavesAsARadioPair) {
    app::TemperaturePanel panel(ctx);
    ASSERT_TRUE(QMetaObject::invokeMethod(&panel, "cbf_tempsettingwin"));
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(child<QLineEdit>(panel, "TEMP_GAIN_VALUE")->text(), "0.406900878906");
    EXPECT_EQ(child<QSpinBox>(panel, "TEMP_GAIN_WORD")->value(), 0x200000);
    auto* down = child<QCheckBox>(panel, "TEMP_SCALE_DOWN");
    auto* up = child<QCheckBox>(panel, "TEMP_SCALE_UP");
    EXPECT_TRUE(down->isChecked());

    up->click();
    EXPECT_TRUE(up->isChecked());
    EXPECT_FALSE(down->isChecked());
    EXPECT_EQ(child<QSpinBox>(panel, "TEMP_GAIN_WORD")->value(),
              static_cast<int>(rig.board.device().reg(1, 22)));
    const auto gainAfterUp = rig.board.device().reg(1, 22);
    up->click();  // clearing the set box keeps it set
    EXPECT_TRUE(up->isChecked());
    EXPECT_EQ(rig.board.device().reg(1, 22), gainAfterUp);

    auto* gain = child<QLineEdit>(panel, "TEMP_GAIN_VALUE");
    const QString shownGain = gain->text();
    for (const char* refused : {"0", "1e6"}) {  // no word, or a word truncated to 0
        gain->selectAll();
        QTest::keyClicks(gain, refused);
        QTest::keyClick(gain, Qt::Key_Return);
        EXPECT_EQ(rig.board.device().reg(1, 22), gainAfterUp) << refused;
        EXPECT_EQ(rig.messages.shown.back().first, "Error") << refused;
        EXPECT_EQ(gain->text(), shownGain) << refused;  // the device's value again
    }

    rig.board.device().setReg(1, 23, 0x123456);
    child<QLineEdit>(panel, "TEMP_QUICK_SET_VALUE")->setText("0");
    child<QPushButton>(panel, "TEMP_QUICK_SET")->click();
    EXPECT_EQ(child<QSpinBox>(panel, "TEMP_OFFSET_WORD")->value(), 0x123455);

    panel.close();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(checks.empty());  // no menu item of its own
}

TEST_F(PanelTest, PulseWindowCountsAndStopsWith255) {
    app::PulsePanel panel(ctx);
    panel.PULSEWIN();
    EXPECT_TRUE(checks["MENU_PULSE"]);
    auto* start = child<QPushButton>(panel, "PULSE_START");
    auto* stop = child<QPushButton>(panel, "PULSE_STOP");
    EXPECT_FALSE(stop->isVisibleTo(&panel));
    EXPECT_TRUE(start->isEnabled());
    child<QDoubleSpinBox>(panel, "PULSE_TIME")->setValue(3.0);
    child<QSpinBox>(panel, "PULSE_REPEAT")->setValue(2);

    start->click();
    EXPECT_GT(child<QLineEdit>(panel, "PULSE_COUNT_1")->text().toInt(), 50);
    EXPECT_GT(child<QLineEdit>(panel, "PULSE_MEAN_3")->text().toDouble(), 100.0);
    EXPECT_TRUE(start->isEnabled());

    // The user presses Stop while the board counts.
    int stopsSeenVisible = 0;
    rig.pump.onProcess = [&] {
        if (stop->isVisibleTo(&panel) && !start->isEnabled()) {
            ++stopsSeenVisible;
            stop->click();
        }
    };
    EXPECT_EQ(panel.START_PULSE(), kStatusCancelled);
    EXPECT_GE(stopsSeenVisible, 1);
    EXPECT_FALSE(stop->isVisibleTo(&panel));
    EXPECT_TRUE(start->isEnabled());
    EXPECT_EQ(child<QLineEdit>(panel, "PULSE_COUNT_1")->text(), "0");
    EXPECT_TRUE(sent(rig.takeFrames(), "a0 00 00 00 00 00"));

    // The next measurement is not cancelled by the earlier stop.
    rig.pump.onProcess = nullptr;
    child<QSpinBox>(panel, "PULSE_REPEAT")->setValue(1);
    EXPECT_EQ(panel.START_PULSE(), 0);
}

// Closing the window hides it; a measurement that runs goes on to its last count.
TEST_F(PanelTest, ClosingThePulseWindowLetsTheMeasurementGoOn) {
    app::PulsePanel panel(ctx);
    panel.PULSEWIN();
    child<QDoubleSpinBox>(panel, "PULSE_TIME")->setValue(3.0);
    child<QSpinBox>(panel, "PULSE_REPEAT")->setValue(3);
    rig.takeFrames();
    bool closed = false;
    rig.pump.onProcess = [&] {
        if (closed) return;
        closed = true;
        panel.close();
    };
    EXPECT_EQ(panel.START_PULSE(), 0);
    rig.pump.onProcess = nullptr;
    EXPECT_TRUE(closed);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(checks["MENU_PULSE"]);
    int counts = 0;
    for (const auto& f : rig.takeFrames()) counts += f.rfind("f6 ", 0) == 0;
    EXPECT_EQ(counts, 3);
    EXPECT_NE(child<QLineEdit>(panel, "PULSE_COUNT_1")->text(), "0");
}

TEST_F(PanelTest, PulseGateTooShortIsRefused) {
    app::PulsePanel panel(ctx);
    child<QDoubleSpinBox>(panel, "PULSE_TIME")->setValue(1.0);  // N = 4000: dead time 2 s
    panel.PULSEWIN();
    rig.takeFrames();
    rig.messages.shown.clear();
    QTest::mouseClick(child<QPushButton>(panel, "PULSE_START"), Qt::LeftButton);
    // Refused before anything starts, in the window and without a box to dismiss: no count
    // is sent and the window never says it is counting.
    EXPECT_TRUE(rig.messages.shown.empty());
    const QString status = child<QLabel>(panel, "PULSE_STATUS")->text();
    EXPECT_TRUE(status.contains("The gate time must be longer than 2 s")) << status.toStdString();
    EXPECT_FALSE(status.contains("error")) << status.toStdString();
    EXPECT_FALSE(child<QPushButton>(panel, "PULSE_STOP")->isVisible());
    EXPECT_TRUE(child<QPushButton>(panel, "PULSE_START")->isEnabled());
    for (const auto& f : rig.takeFrames()) EXPECT_NE(f.rfind("f6 ", 0), 0u) << f;
    EXPECT_NE(rig.console.output.find("The gate time must be longer"), std::string::npos);
}

// Saves the three windows as PNG files when EVKIT_SCREENSHOT_DIR names a folder.
TEST_F(PanelTest, Screenshots) {
    const QString dir = qEnvironmentVariable("EVKIT_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "EVKIT_SCREENSHOT_DIR not set";
    app::CalibrationPanel cal(ctx);
    cal.CAL_MNU();
    app::TemperaturePanel temp(ctx);
    temp.cbf_tempsettingwin();
    app::PulsePanel pulse(ctx);
    pulse.PULSEWIN();
    child<QSpinBox>(pulse, "PULSE_REPEAT")->setValue(3);
    pulse.START_PULSE();
    // The calibration window while the device calibrates.
    bool grabbed = false;
    rig.pump.onProcess = [&] {
        if (!grabbed) grabbed = cal.grab().save(QDir(dir).filePath("pnl_cal_running.png"));
    };
    child<QPushButton>(cal, "CAL_AC_OFFSET_ALL")->click();
    rig.pump.onProcess = nullptr;
    EXPECT_TRUE(grabbed);
    for (QWidget* w : {static_cast<QWidget*>(&cal), static_cast<QWidget*>(&temp),
                       static_cast<QWidget*>(&pulse)}) {
        w->adjustSize();
        EXPECT_TRUE(w->grab().save(QDir(dir).filePath(w->objectName() + ".png")));
    }
}
