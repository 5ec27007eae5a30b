// The Accuracy Test, Virtual Source and Scaling windows and the monitor's unit column, driven
// as a user drives them on the virtual board.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "calibration/calibration.h"
#include "conversion/conversion_panel.h"
#include "metrology/accuracy_window.h"
#include "metrology/source_settings.h"
#include "metrology/virtual_source_window.h"
#include "own_config_fixture.h"
#include "ui/graph_widget.h"

using namespace evkit;

namespace {

// Every window here reads the saved scaling: a configuration folder of the test's own.
struct MetrologyFixture : test::OwnConfigFixture {
    void SetUp() override {
        useOwnConfigFolder("metrology_gui");
        openBoard();
    }
    // A short plan loaded through the window's Load plan... button.
    void loadPlan(metrology::AccuracyWindow& w, const std::string& text) {
        const std::string path = dir + "/plan.txt";
        std::ofstream(path) << text;
        dialogs.answers.push_back(path);
        click(w, "ACC_LOAD_PLAN");
    }
    int count(const std::vector<std::string>& frames, const std::string& prefix) {
        int n = 0;
        for (const auto& f : frames) n += f.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
};

}  // namespace

TEST_F(MetrologyFixture, AccuracyWindowRunsThePlanPointByPointAndExports) {
    metrology::AccuracyWindow w(ctx);
    // Before a run the progress counts the points a Start would measure.
    EXPECT_EQ(in<QProgressBar>(w, "ACC_PROGRESS")->text(),
              QString("0 of %1 points").arg(metrology::defaultPlan().points.size()));
    loadPlan(w,
             "settle = 0.1\nwindow = 2\nmin-pulses = 200\npoint = 10%, 1\npoint = 100%, 1\n"
             "point = 50%, 0.5L\n");
    EXPECT_EQ(in<QProgressBar>(w, "ACC_PROGRESS")->text(), "0 of 3 points");
    std::vector<int> rowsSeen;
    rig.pump.onProcess = [&] { rowsSeen.push_back(in<QTableWidget>(w, "ACC_TABLE")->rowCount()); };
    click(w, "ACC_START");
    rig.pump.onProcess = nullptr;
    auto* table = in<QTableWidget>(w, "ACC_TABLE");
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(2, 0)->text().toStdString(), "3  50 % Ib, PF 0.5L");
    EXPECT_EQ(table->item(0, 6)->text(), "pass");
    // Progress came point by point: events were served while earlier rows stood alone.
    EXPECT_NE(std::find(rowsSeen.begin(), rowsSeen.end(), 1), rowsSeen.end());
    EXPECT_EQ(in<QLabel>(w, "ACC_STATUS")->text(), "3 of 3 judged points within class 0.5S.");
    const auto frames = rig.takeFrames();
    EXPECT_EQ(count(frames, "fb "), 3);  // one single update per point: the power method
    EXPECT_EQ(count(frames, "f6 "), 3);  // one pulse count per point
    ASSERT_EQ(w.lastRun().points.size(), 3u);
    EXPECT_LT(std::fabs(w.lastRun().points[1].powerErrorPct), 0.05);

    const std::string png = dir + "/plot.png", csv = dir + "/table.csv";
    dialogs.answers.push_back(png);
    click(w, "ACC_EXPORT_PLOT");
    EXPECT_GT(std::filesystem::file_size(png), 1000u);
    dialogs.answers.push_back(csv);
    click(w, "ACC_SAVE_CSV");
    std::ifstream in(csv);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header.rfind("point,label,current_pct_ib", 0), 0u);
}

TEST_F(MetrologyFixture, AccuracyStopLeavesTheBoardAtRestAndKeepsThePointsDone) {
    metrology::AccuracyWindow w(ctx);
    loadPlan(w, "settle = 0.5\nwindow = 2\npoint = 10%, 1\npoint = 20%, 1\npoint = 50%, 1\n");
    in<QComboBox>(w, "ACC_METHOD")->setCurrentText("power");
    rig.pump.onProcess = [&] {
        if (in<QTableWidget>(w, "ACC_TABLE")->rowCount() == 1) click(w, "ACC_STOP");
    };
    click(w, "ACC_START");
    rig.pump.onProcess = nullptr;
    EXPECT_TRUE(w.lastRun().stopped);
    EXPECT_EQ(in<QTableWidget>(w, "ACC_TABLE")->rowCount(), 1);
    EXPECT_TRUE(in<QLabel>(w, "ACC_STATUS")->text().startsWith("Stopped after 1 of 3 points"));
    const auto frames = rig.takeFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), "a0 00 00 00 00 00");
    EXPECT_TRUE(in<QPushButton>(w, "ACC_START")->isEnabled());
    EXPECT_FALSE(rig.pump.cancelRequested());  // the next run starts afresh
}

TEST_F(MetrologyFixture, VirtualSourceWindowProgramsTheInputsAndMonitorShowsUnits) {
    metrology::VirtualSourceWindow source(ctx);
    in<QDoubleSpinBox>(source, "SOURCE_V1")->setValue(230.0);
    in<QDoubleSpinBox>(source, "SOURCE_I1")->setValue(5.0);
    in<QDoubleSpinBox>(source, "SOURCE_PF1")->setValue(0.5);
    in<QComboBox>(source, "SOURCE_PF1_KIND")->setCurrentIndex(0);
    click(source, "SOURCE_APPLY");
    const auto s = rig.board.signal();
    EXPECT_NEAR(s.inputs[sim::kI1].amplitude, std::sqrt(2.0) * 5.0 / 20.0, 1e-9);
    EXPECT_NEAR(s.inputs[sim::kI1].phaseDeg - s.inputs[sim::kV1].phaseDeg, -60.0, 1e-9);
    EXPECT_TRUE(in<QLabel>(source, "SOURCE_SHOWN")->text().startsWith("Now: f=50 V1=230V I1=5A"));

    // A refused word changes nothing.
    in<QLineEdit>(source, "SOURCE_EXTRA")->setText("I1H3=banana");
    click(source, "SOURCE_APPLY");
    EXPECT_TRUE(in<QLabel>(source, "SOURCE_SHOWN")->text().startsWith("Not applied:"));
    EXPECT_EQ(rig.board.signal().inputs[sim::kI1].harmonic3, 0.0);

    conversion::ConversionPanel monitor(ctx);
    click(monitor, "CONV_SINGLE");
    EXPECT_EQ(in<QLineEdit>(monitor, "CONV_V1RMS")->text(), "0.575000");
    EXPECT_EQ(in<QLineEdit>(monitor, "CONV_V1RMS_UNIT")->text(), "230.000 V");
    EXPECT_EQ(in<QLineEdit>(monitor, "CONV_I1RMS_UNIT")->text(), "5.000 A");
    EXPECT_EQ(in<QLineEdit>(monitor, "CONV_P1AVG_UNIT")->text(), "575.000 W");
    EXPECT_EQ(monitor.findChild<QLineEdit*>("CONV_PF1_UNIT"), nullptr);
}

// With EVKIT_SCREENSHOT_DIR set, saves the windows as a user sees them: the accuracy window
// before and after calibration on the default (uncalibrated) part, and the monitor with units.
TEST_F(MetrologyFixture, Screenshots) {
    const char* out = std::getenv("EVKIT_SCREENSHOT_DIR");
    if (!out) GTEST_SKIP() << "EVKIT_SCREENSHOT_DIR not set";
    rig.board.setErrorModel(sim::uncalibratedPart());
    metrology::AccuracyWindow w(ctx);
    w.resize(1400, 860);
    w.show();
    click(w, "ACC_START");
    w.grab().save(QString("%1/accuracy-before.png").arg(out));
    const auto run = [&](const char* settings, calibration::CalType type) {
        sim::SignalSource s = rig.board.signal();
        sim::ErrorModel e = rig.board.errorModel();
        std::string why;
        ASSERT_TRUE(metrology::applySourceSettings(settings, metrology::Scaling{}, s, e, &why));
        rig.board.setSignal(s);
        calibration::runCalibration(rig.link, *calibration::findButton(type, calibration::kAll),
                                    false, [](const calibration::Shown&) {});
    };
    run("zero", calibration::CalType::DcOffset);
    run("cal", calibration::CalType::Gain);
    click(w, "ACC_START");
    w.grab().save(QString("%1/accuracy-after.png").arg(out));

    metrology::VirtualSourceWindow source(ctx);
    in<QLineEdit>(source, "SOURCE_EXTRA")->setText("");
    source.refresh();
    in<QDoubleSpinBox>(source, "SOURCE_V1")->setValue(230.0);
    in<QDoubleSpinBox>(source, "SOURCE_I1")->setValue(5.0);
    in<QDoubleSpinBox>(source, "SOURCE_PF1")->setValue(0.5);
    click(source, "SOURCE_APPLY");
    source.show();
    source.grab().save(QString("%1/virtual-source.png").arg(out));
    conversion::ConversionPanel monitor(ctx);
    monitor.resize(1300, 760);
    monitor.show();
    in<QSpinBox>(monitor, "CONV_AVERAGE_COUNT")->setValue(3);
    for (int i = 0; i < 6; ++i) click(monitor, "CONV_SINGLE");  // a few points on the chart
    QApplication::processEvents();                              // its queued replot
    monitor.grab().save(QString("%1/monitor-units.png").arg(out));
}
