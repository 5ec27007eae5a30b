// The data collection window on the virtual board: settings, captures in each analysis,
// channel and analysis switches, zoom, restore, overlay, saving, printing, export, disk mode
// and the busy guard.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "collection/collection_settings_window.h"
#include "collection/data_collection_panel.h"
#include "collection/plot_navigation.h"
#include "collection/save_dialog.h"
#include "sim_rig.h"
#include "support/file_writer.h"
#include "ui/graph_widget.h"

using namespace evkit;
using app::DataCollectionPanel;

namespace {

std::string readAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct DataPanelTest : ::testing::Test {
    DataPanelTest()
        : ctx{rig.session,
              rig.messages,
              rig.console,
              dialogs,
              rig.clock,
              [this](const std::string& item, bool on) { checks[item] = on; },
              [](const std::string&) -> QWidget* { return nullptr; }} {}

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(rig.open(), 0);
        panel = std::make_unique<DataCollectionPanel>(ctx);
        panel->COLLECTION();
        // As wide as on a laptop screen, whatever the test platform's screen: clicks on the
        // graph land on whole pixels.
        panel->resize(1300, 700);
        rig.takeFrames();
    }

    template <class W>
    W* find(const char* name) {
        auto* w = panel->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text(const char* name) { return find<QLineEdit>(name)->text(); }
    QString label(const char* name) {
        return find<QLabel>((std::string(name) + "_LABEL").c_str())->text();
    }
    app::GraphWidget* graph() { return panel->graph(); }
    QCPRange xRange() { return graph()->xAxis->range(); }
    QCPRange yRange() { return graph()->yAxis->range(); }

    // Opens the settings window, lets `edit` change it, and presses OK.
    void configure(const std::function<void(app::CollectionSettingsWindow&)>& edit = {}) {
        find<QPushButton>("DATA_CONFIG")->click();
        auto* w = panel->settingsWindow();
        ASSERT_NE(w, nullptr);
        if (edit) edit(*w);
        w->findChild<QPushButton*>("POPCONFIG_OK")->click();
    }
    void configureSamples(int count, int average = 1) {
        configure([&](app::CollectionSettingsWindow& w) {
            auto* s = w.findChild<QComboBox*>("CONFIG_SAMPLES");
            s->setCurrentIndex(s->findData(count));
            w.findChild<QSpinBox*>("CONFIG_AVERAGE")->setValue(average);
        });
    }
    // Chooses an analysis as the user does (commit of the ring).
    void chooseAnalysis(int test) {
        auto* ring = find<QComboBox>("DATA_TEST");
        ring->setCurrentIndex(test);
        emit ring->activated(test);
    }
    // Presses Collect (it must be usable) and returns the capture's status.
    int collect() {
        EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());
        return panel->COLLECT();
    }
    // A click on the graph at plot coordinates.
    void clickAt(double x, double y) {
        graph()->replot();
        const QPointF p = graph()->pixelOf(x, y);
        QTest::mouseClick(graph(), Qt::LeftButton, {}, p.toPoint());
    }
    // Runs the save dialog, checking box `box` (none when empty), then OK.
    void save(const char* box) {
        QTimer::singleShot(0, [box] {
            auto* d = qobject_cast<app::SaveDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            if (box) d->findChild<QRadioButton*>(box)->click();
            d->findChild<QPushButton*>("SAVE_OK")->click();
        });
        find<QPushButton>("DATA_IO")->click();
    }
    QString path(const char* name) { return dir.filePath(name); }
    collection::DataCollection& data() { return panel->data(); }

    test::SimRig rig;
    ScriptedFileDialogs dialogs;
    std::map<std::string, bool> checks;
    app::AppContext ctx;
    QTemporaryDir dir;
    std::unique_ptr<DataCollectionPanel> panel;
};

}  // namespace

TEST_F(DataPanelTest, OpeningDimsCollectUntilTheSettingsAreConfirmed) {
    EXPECT_TRUE(checks["MENU_COLLECTION"]);
    EXPECT_EQ(panel->windowTitle(), "Data Collection Window");
    EXPECT_FALSE(find<QPushButton>("DATA_COLLECT")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("DATA_RESTORE")->isVisible());
    EXPECT_TRUE(find<QPushButton>("DATA_OVERLAY")->isVisible());
    EXPECT_TRUE(find<QPushButton>("DATA_BOARD_ONLY")->isEnabled());
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_1")->text(), "No Data");
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_2")->text(), "No Data");
    // The cleared block: a flat line with the y axis -7 .. 7.
    EXPECT_EQ(yRange(), QCPRange(-7.0, 7.0));
    EXPECT_EQ(xRange(), QCPRange(0.0, 16.0));
    EXPECT_EQ(label("DATA_CURSOR_X"), "COUNT");
    EXPECT_EQ(label("DATA_RESULT_4"), "MAXIMUM");
    EXPECT_EQ(text("DATA_RESULT_4"), "0");
    EXPECT_FALSE(find<QLineEdit>("DATA_RESULT_1")->isVisible());

    configure();
    EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());
    // The settings window is discarded by OK.
    QPointer<app::CollectionSettingsWindow> w = panel->settingsWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());

    // Closing hides and unchecks; reopening dims collect again and clears the block.
    panel->DATAPANEL();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(checks["MENU_COLLECTION"]);
    panel->COLLECTION();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(find<QPushButton>("DATA_COLLECT")->isEnabled());
}

TEST_F(DataPanelTest, SettingsWindowKeepsOnePairAndStoresOnlyOnOk) {
    find<QPushButton>("DATA_CONFIG")->click();
    QPointer<app::CollectionSettingsWindow> w = panel->settingsWindow();
    ASSERT_TRUE(w);
    auto box = [&](int i) { return w->findChild<QCheckBox*>(QString("CONFIG_PAIR_%1").arg(i)); };
    EXPECT_TRUE(box(1)->isChecked());
    box(3)->click();
    EXPECT_FALSE(box(1)->isChecked());
    EXPECT_TRUE(box(3)->isChecked());
    box(3)->click();  // unchecking the only checked box leaves it checked
    EXPECT_TRUE(box(3)->isChecked());
    int checked = 0;
    for (int i = 1; i <= 4; ++i) checked += box(i)->isChecked();
    EXPECT_EQ(checked, 1);
    w->findChild<QComboBox*>("CONFIG_WINDOW")->setCurrentIndex(2);
    w->findChild<QSpinBox*>("CONFIG_BIN_WIDTH")->setValue(8);

    // A second press of the settings button raises the same window.
    find<QPushButton>("DATA_CONFIG")->click();
    EXPECT_EQ(panel->settingsWindow(), w.data());

    // Cancel (as closing) stores nothing and discards the window.
    QTest::mouseClick(w->findChild<QPushButton*>("POPCONFIG_CANCEL"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(data().settings.checkmark[0], 1);
    EXPECT_EQ(data().settings.window, 4);
    EXPECT_EQ(data().settings.bin_width, 256);
    EXPECT_FALSE(find<QPushButton>("DATA_COLLECT")->isEnabled());

    configure([](app::CollectionSettingsWindow& s) {
        s.findChild<QCheckBox*>("CONFIG_PAIR_3")->click();
        s.findChild<QComboBox*>("CONFIG_WINDOW")->setCurrentIndex(2);
        s.findChild<QComboBox*>("CONFIG_SAMPLES")->setCurrentIndex(8);
        s.findChild<QSpinBox*>("CONFIG_BIN_WIDTH")->setValue(8);
        s.findChild<QSpinBox*>("CONFIG_AVERAGE")->setValue(5);
        s.findChild<QSpinBox*>("CONFIG_DATA_DELAY")->setValue(3);
    });
    const auto& st = data().settings;
    EXPECT_EQ(st.checkmark[0], 0);
    EXPECT_EQ(st.checkmark[2], 1);
    EXPECT_EQ(st.window_index, 2);
    EXPECT_EQ(st.window, 2);
    EXPECT_EQ(st.samples_index, 8);
    EXPECT_EQ(st.samples, 4096);
    EXPECT_EQ(st.bin_width, 8);
    EXPECT_EQ(st.average, 5);
    EXPECT_EQ(st.data_delay, 3);

    // The pair chosen is the pair captured, with the sample-count index and data delay.
    ASSERT_EQ(collect(), 0);
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_1")->text(), "Active Power 1");
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_2")->text(), "Reactive Power 1");
    bool started = false;
    for (const auto& f : rig.takeFrames()) started = started || f == "f8 06 1c 00 08 03";
    EXPECT_TRUE(started);
}

TEST_F(DataPanelTest, TimeCaptureShowsTheCoresNumbersAndTheFullRecord) {
    configureSamples(4096);
    ASSERT_EQ(collect(), 0);
    EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_1")->text(), "Current 1");
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_2")->text(), "Voltage 1");
    EXPECT_EQ(rig.session.fs, 4000.0f);

    const auto r = collection::time_test(data().block());
    EXPECT_NE(r.maximum, r.minimum);  // the virtual board delivers a signal
    EXPECT_EQ(text("DATA_RESULT_4"), QString::number(r.maximum, 'f', 0));
    EXPECT_EQ(text("DATA_RESULT_5"), QString::number(r.minimum, 'f', 0));
    EXPECT_EQ(yRange(), QCPRange(r.minimum - 7.0, r.maximum + 7.0));
    EXPECT_EQ(xRange(), QCPRange(0.0, 4096.0));
    ASSERT_EQ(graph()->graphCount(), 1);
    EXPECT_EQ(graph()->graph(0)->dataCount(), 4096);
    EXPECT_EQ(graph()->graph(0)->pen().color(), app::dosColor(13));
    EXPECT_FALSE(text("DATA_DATE").isEmpty());
    EXPECT_FALSE(text("DATA_TIME").isEmpty());
    // After the capture the device is told to stop and the status register is written.
    // Divider read, capture start (pair 1, entry 8, data delay 1), then the device is told
    // to stop and status register 0:15 is written with 0x900000.
    EXPECT_EQ(
        rig.takeFrames(),
        (std::vector<std::string>{"7e 00 00 00 00 00", "00 00 00 00 00 00", "f8 02 04 00 08 01",
                                  "a0 00 00 00 00 00", "7e 00 00 00 00 00", "5e 00 00 90 00 00"}));

    // The cursor snaps to the record and its readouts follow it.
    clickAt(1000.0, 0.0);
    const QPointF c = graph()->cursorPosition();
    EXPECT_NEAR(c.x(), 1000.0, 8.0);
    EXPECT_EQ(c.y(), data().buffers.sample_data[static_cast<std::size_t>(c.x())]);
    EXPECT_EQ(text("DATA_CURSOR_X"), QString::number(c.x(), 'f', 0));
    EXPECT_EQ(text("DATA_CURSOR_Y"), QString::number(c.y(), 'f', 0));
}

TEST_F(DataPanelTest, HistogramCaptureAndItsRefusal) {
    configure([](app::CollectionSettingsWindow& s) {
        s.findChild<QComboBox*>("CONFIG_SAMPLES")->setCurrentIndex(8);
        s.findChild<QSpinBox*>("CONFIG_BIN_WIDTH")->setValue(65536);
    });
    chooseAnalysis(collection::kTestHistogram);
    EXPECT_FALSE(find<QPushButton>("DATA_OVERLAY")->isVisible());
    ASSERT_EQ(collect(), 0);
    const auto h = collection::hist_test(data().block(), 65536);
    ASSERT_TRUE(h.binned);
    const char* labels[] = {"MEAN", "STD_DEV", "VARIANCE", "MAXIMUM", "MINIMUM"};
    const double values[] = {h.mean, h.std_dev, h.variance, h.maximum, h.minimum};
    const int digits[] = {3, 3, 3, 0, 0};
    for (int i = 0; i < 5; ++i) {
        const std::string name = "DATA_RESULT_" + std::to_string(i + 1);
        EXPECT_EQ(label(name.c_str()), labels[i]);
        EXPECT_EQ(text(name.c_str()), QString::number(values[i], 'f', digits[i]));
    }
    auto* bars = qobject_cast<QCPBars*>(graph()->plottable(0));
    ASSERT_NE(bars, nullptr);
    EXPECT_EQ(bars->dataCount(), static_cast<int>(h.bins()));
    EXPECT_EQ(xRange(), QCPRange(h.minimum - 5.0, h.maximum + 5.0));
    EXPECT_EQ(label("DATA_CURSOR_X"), "BIN");
    ASSERT_TRUE(panel->lastHistogram());

    // One-code bins over a span of millions of codes: refused, plot cleared, the last good
    // histogram kept for saving; statistics still shown.
    configure([](app::CollectionSettingsWindow& s) {
        s.findChild<QSpinBox*>("CONFIG_BIN_WIDTH")->setValue(1);
    });
    rig.messages.shown.clear();
    panel->RESTORE();  // redraws the histogram with the current bin width
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error Message");
    EXPECT_EQ(rig.messages.shown[0].second,
              "Distribution too large to plot, Try a larger bin width, no AC on inputs");
    EXPECT_EQ(graph()->plottableCount(), 0);
    EXPECT_EQ(panel->lastHistogram()->bin_width, 65536);
    EXPECT_EQ(label("DATA_RESULT_1"), "MEAN");
    EXPECT_EQ(text("DATA_RESULT_4"), QString::number(h.maximum, 'f', 0));

    // Far more bins than pixels: one vertical line per bin.
    configure([](app::CollectionSettingsWindow& s) {
        s.findChild<QSpinBox*>("CONFIG_BIN_WIDTH")->setValue(256);
    });
    panel->RESTORE();
    const auto dense = collection::hist_test(data().block(), 256);
    auto* lines = qobject_cast<QCPGraph*>(graph()->plottable(0));
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->lineStyle(), QCPGraph::lsImpulse);
    EXPECT_EQ(lines->dataCount(), static_cast<int>(dense.bins()));
}

TEST_F(DataPanelTest, FftCaptureAveragesAndAnnotatesTheSpectrum) {
    configureSamples(4096, 3);
    chooseAnalysis(collection::kTestFft);
    rig.messages.shown.clear();  // the refusal of the 16-sample block at the switch
    // The view is redrawn after every averaged block while the capture runs.
    std::vector<int> shownBlocks;
    QObject::connect(graph(), &QCustomPlot::afterReplot, [&] {
        const int b = find<QSpinBox>("DATA_AVERAGE_COUNT")->value();
        if (panel->running() && b > 0 && (shownBlocks.empty() || shownBlocks.back() != b))
            shownBlocks.push_back(b);
    });
    ASSERT_EQ(collect(), 0);
    EXPECT_EQ(shownBlocks, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(rig.messages.shown.empty());
    ASSERT_TRUE(panel->fftTest().last());
    const auto& r = *panel->fftTest().last();
    EXPECT_EQ(r.block, 3);
    EXPECT_EQ(find<QSpinBox>("DATA_AVERAGE_COUNT")->value(), 3);
    EXPECT_EQ(find<QLabel>("DATA_AVERAGE_LABEL")->text(), "# of Averages");
    // One curve shown: the average (the newest block alone is hidden unless asked for).
    int shownCurves = 0;
    for (int i = 0; i < graph()->graphCount(); ++i) shownCurves += graph()->graph(i)->visible();
    EXPECT_EQ(shownCurves, 1);

    const auto& f = r.stats.figures;
    const struct {
        const char* name;
        const char* label;
        double value;
        int digits;
    } shown[] = {{"DATA_RESULT_1", "S/PN", f.spn, 3},
                 {"DATA_RESULT_2", "SINAD", f.sinad, 3},
                 {"DATA_RESULT_3", "S/D", f.sd, 3},
                 {"DATA_RESULT_4", "SNR", f.snr, 2},
                 {"DATA_RESULT_5", "FS-PdB", f.fsPdB, 3}};
    const QString colour = app::dosColor(r.stats.warning ? 14 : 11).name();
    for (const auto& s : shown) {
        EXPECT_EQ(label(s.name), s.label);
        EXPECT_EQ(text(s.name), QString::number(s.value, 'f', s.digits)) << s.name;
        EXPECT_TRUE(find<QLineEdit>(s.name)->styleSheet().contains(colour)) << s.name;
    }

    // Axes: 0 .. fs/2 and the bottom in whole 20 dB steps up to 0 dB.
    EXPECT_EQ(xRange(), QCPRange(0.0, 2000.0));
    EXPECT_EQ(yRange().upper, 0.0);
    EXPECT_EQ(std::fmod(yRange().lower, 20.0), 0.0);
    // Labels "F", "2".."5" at the core's places; red fundamental and black harmonic markers.
    std::vector<QString> texts;
    int red = 0, black = 0;
    for (int i = 0; i < graph()->itemCount(); ++i) {
        if (auto* t = qobject_cast<QCPItemText*>(graph()->item(i))) {
            texts.push_back(t->text());
            EXPECT_EQ(t->color(), QColor(Qt::black));
        }
        if (auto* l = qobject_cast<QCPItemLine*>(graph()->item(i))) {
            if (l->pen().color() == QColor(Qt::red)) ++red;
            if (l->pen().color() == QColor(Qt::black)) ++black;
            EXPECT_EQ(l->layer()->name(), "markers");  // under the curve
        }
    }
    EXPECT_EQ(texts, (std::vector<QString>{"F", "2", "3", "4", "5"}));
    int coreRed = 0, coreBlack = 0;
    for (const auto& m : r.annotation.markers)
        (m.colour == spectrum::kFundamentalMarkerColour ? coreRed : coreBlack)++;
    EXPECT_EQ(red, coreRed);
    EXPECT_EQ(black, coreBlack);
    EXPECT_GT(red, 0);
    // Cursor 1 at the fundamental, readouts with three decimals.
    EXPECT_EQ(graph()->cursorPosition(), QPointF(r.annotation.cursorX, r.annotation.cursorY));
    EXPECT_EQ(label("DATA_CURSOR_X"), "FREQUENCY");
    EXPECT_EQ(label("DATA_CURSOR_Y"), "MAGNITUDE");
    EXPECT_EQ(text("DATA_CURSOR_X"), QString::number(r.annotation.cursorX, 'f', 3));
    EXPECT_NEAR(r.fundamentalHz(), 50.0, 1.0);

    // Zoom in on the fundamental and restore: the averaged spectrum and its figures stay.
    const QString sinad = text("DATA_RESULT_2");
    find<QPushButton>("DATA_ZOOM")->click();
    clickAt(20.0, -100.0);
    clickAt(120.0, -5.0);
    EXPECT_LT(xRange().size(), 150.0);
    find<QPushButton>("DATA_RESTORE")->click();
    EXPECT_EQ(xRange(), QCPRange(0.0, 2000.0));
    EXPECT_EQ(text("DATA_RESULT_2"), sinad);
    EXPECT_EQ(panel->fftTest().last()->block, 3);
    EXPECT_EQ(graph()->cursorPosition(), QPointF(r.annotation.cursorX, r.annotation.cursorY));
}

TEST_F(DataPanelTest, StopEndsTheAveragingAfterTheBlockBeingCaptured) {
    configureSamples(1024, 5);
    chooseAnalysis(collection::kTestFft);
    rig.messages.shown.clear();
    rig.takeFrames();
    // The spectrum of block 2 is on the screen when the user presses Stop.
    bool stopShown = false;
    QObject::connect(graph(), &QCustomPlot::afterReplot, [&] {
        auto* stop = find<QPushButton>("DATA_STOP");
        stopShown = stopShown || stop->isVisible();
        if (panel->running() && find<QSpinBox>("DATA_AVERAGE_COUNT")->value() == 2 &&
            stop->isEnabled())
            stop->click();
    });
    ASSERT_EQ(collect(), 0);
    EXPECT_TRUE(stopShown);
    EXPECT_FALSE(find<QPushButton>("DATA_STOP")->isVisible());
    ASSERT_TRUE(panel->fftTest().last());
    EXPECT_EQ(panel->fftTest().last()->block, 2);
    EXPECT_EQ(text("DATA_RESULT_2"),
              QString::number(panel->fftTest().last()->stats.figures.sinad, 'f', 3));
    EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());
    EXPECT_TRUE(rig.messages.shown.empty());
    // Two captures, then the device is told to stop as after every analysis.
    const auto frames = rig.takeFrames();
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                            [](const std::string& f) { return f.rfind("f8", 0) == 0; }),
              2);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[frames.size() - 3], "a0 00 00 00 00 00");
    EXPECT_EQ(frames.back(), "5e 00 00 90 00 00");
    // Once only: a stop does not send the closing commands a second time.
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "a0 00 00 00 00 00"), 1);
}

TEST_F(DataPanelTest, FftRefusesSixteenSamplesButSwitchesTheReadouts) {
    configure();
    ASSERT_EQ(collect(), 0);
    rig.takeFrames();
    rig.messages.shown.clear();
    chooseAnalysis(collection::kTestFft);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error Message");
    EXPECT_EQ(rig.messages.shown[0].second,
              "Sample Size too Small, Increase it using the Settings\u2026 button");
    EXPECT_EQ(label("DATA_CURSOR_X"), "FREQUENCY");
    EXPECT_EQ(graph()->plottableCount(), 0);
    EXPECT_FALSE(find<QPushButton>("DATA_OVERLAY")->isVisible());
    EXPECT_TRUE(rig.takeFrames().empty());  // no capture
}

TEST_F(DataPanelTest, ChannelsAndAnalysesSwitchWithoutCapturing) {
    configureSamples(1024);
    ASSERT_EQ(collect(), 0);
    rig.takeFrames();
    find<QPushButton>("DATA_CHANNEL_2")->click();
    EXPECT_EQ(data().buffers.sample_data, data().buffers.channel2_data);
    EXPECT_EQ(graph()->graph(0)->pen().color(), app::dosColor(9));
    const auto r2 = collection::time_test(data().block());
    EXPECT_EQ(text("DATA_RESULT_4"), QString::number(r2.maximum, 'f', 0));
    EXPECT_TRUE(find<QPushButton>("DATA_CHANNEL_2")->isChecked());

    chooseAnalysis(collection::kTestFft);
    ASSERT_TRUE(panel->fftTest().last());
    EXPECT_EQ(label("DATA_RESULT_2"), "SINAD");
    chooseAnalysis(collection::kTestHistogram);
    EXPECT_EQ(label("DATA_RESULT_1"), "MEAN");
    // The figure colours belong to the spectrum alone.
    EXPECT_TRUE(find<QLineEdit>("DATA_RESULT_1")->styleSheet().isEmpty());
    find<QPushButton>("DATA_CHANNEL_1")->click();
    EXPECT_EQ(graph()->plottable(0)->pen().color(), app::dosColor(13));  // dense: lines
    chooseAnalysis(collection::kTestTime);
    EXPECT_EQ(data().buffers.sample_data, data().buffers.channel1_data);
    EXPECT_TRUE(rig.takeFrames().empty());
}

TEST_F(DataPanelTest, ZoomByTwoPointsInEitherOrderThenRestore) {
    configureSamples(1024);
    ASSERT_EQ(collect(), 0);
    const QCPRange fullX = xRange(), fullY = yRange();
    const double y1 = fullY.lower + fullY.size() * 0.25, y2 = fullY.lower + fullY.size() * 0.75;

    // The same point twice: refused, the view unchanged.
    find<QPushButton>("DATA_ZOOM")->click();
    EXPECT_EQ(find<QPushButton>("DATA_ZOOM")->text(), "1st Point");
    EXPECT_EQ(graph()->cursorMode(), app::CursorMode::Free);
    EXPECT_EQ(graph()->crossHair(), app::CrossHair::Long);
    clickAt(300.0, y1);
    EXPECT_EQ(find<QPushButton>("DATA_ZOOM")->text(), "2nd Point");
    clickAt(300.0, y1);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "");
    EXPECT_EQ(rig.messages.shown[0].second, "Deltas must be non-zero...");
    EXPECT_EQ(xRange(), fullX);
    EXPECT_EQ(find<QPushButton>("DATA_ZOOM")->text(), "ZOOM");
    EXPECT_FALSE(find<QPushButton>("DATA_RESTORE")->isVisible());

    find<QPushButton>("DATA_ZOOM")->click();
    clickAt(200.0, y1);
    const QPointF a = graph()->cursorPosition();
    clickAt(600.0, y2);
    const QPointF b = graph()->cursorPosition();
    EXPECT_EQ(xRange(), QCPRange(a.x(), b.x()));
    EXPECT_EQ(yRange(), QCPRange(a.y(), b.y()));
    EXPECT_EQ(text("DATA_CURSOR_X"), QString::number(b.x(), 'f', 0));
    EXPECT_TRUE(find<QPushButton>("DATA_RESTORE")->isVisible());
    EXPECT_EQ(graph()->cursorMode(), app::CursorMode::Snap);
    const QCPRange zoomX = xRange(), zoomY = yRange();

    find<QPushButton>("DATA_RESTORE")->click();
    EXPECT_EQ(xRange(), fullX);
    EXPECT_EQ(yRange(), fullY);
    EXPECT_FALSE(find<QPushButton>("DATA_RESTORE")->isVisible());

    // Corners picked the other way round: the same rectangle.
    find<QPushButton>("DATA_ZOOM")->click();
    clickAt(b.x(), b.y());
    clickAt(a.x(), a.y());
    // The corners are clicked on whole pixels: the same rectangle within a pixel.
    const double pxX = fullX.size() / graph()->axisRect()->width();
    const double pxY = fullY.size() / graph()->axisRect()->height();
    EXPECT_NEAR(xRange().lower, zoomX.lower, pxX);
    EXPECT_NEAR(xRange().upper, zoomX.upper, pxX);
    EXPECT_NEAR(yRange().lower, zoomY.lower, pxY);
    EXPECT_NEAR(yRange().upper, zoomY.upper, pxY);

    // Wheel zoom and drag pan change the view and offer the restore.
    panel->RESTORE();
    graph()->replot();
    const QPoint centre = graph()->axisRect()->rect().center();
    QWheelEvent wheel(centre, graph()->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(graph(), &wheel);
    EXPECT_LT(xRange().size(), fullX.size());
    EXPECT_TRUE(find<QPushButton>("DATA_RESTORE")->isVisible());
    const QCPRange zoomed = xRange();
    QTest::mousePress(graph(), Qt::LeftButton, {}, centre + QPoint(40, 0));
    QTest::mouseMove(graph(), centre + QPoint(80, 0));
    QTest::mouseRelease(graph(), Qt::LeftButton, {}, centre + QPoint(140, 0));
    EXPECT_LT(xRange().lower, zoomed.lower);  // dragged right: earlier samples come in
    EXPECT_NEAR(xRange().size(), zoomed.size(), 1e-9);
    panel->RESTORE();
    EXPECT_EQ(xRange(), fullX);
}

TEST_F(DataPanelTest, OverlayLimitsAreWholeSixes) {
    configureSamples(16);
    ASSERT_EQ(collect(), 0);
    // Codes between -100 and 50 over both channels.
    auto& b = data().buffers;
    for (int i = 0; i < 16; ++i) {
        b.channel1_data[static_cast<std::size_t>(i)] = -100 + i;
        b.channel2_data[static_cast<std::size_t>(i)] = 50 - i;
        b.raw_data[static_cast<std::size_t>(2 * i)] = -100 + i;
        b.raw_data[static_cast<std::size_t>(2 * i + 1)] = 50 - i;
    }
    find<QPushButton>("DATA_OVERLAY")->click();
    EXPECT_EQ(yRange(), QCPRange(-103.0, 55.0));
    EXPECT_EQ(xRange(), QCPRange(0.0, 16.0));
    EXPECT_EQ(text("DATA_RESULT_4"), "50");
    EXPECT_EQ(text("DATA_RESULT_5"), "-100");
    ASSERT_EQ(graph()->graphCount(), 2);
    EXPECT_EQ(graph()->graph(0)->pen().color(), app::dosColor(9));  // channel 2 first
    EXPECT_EQ(graph()->graph(1)->pen().color(), app::dosColor(13));
    EXPECT_EQ(graph()->graph(0)->pen().style(), Qt::DotLine);
    EXPECT_EQ(graph()->graph(1)->pen().style(), Qt::DotLine);
    EXPECT_EQ(label("DATA_CURSOR_X"), "COUNT");
}

TEST_F(DataPanelTest, SaveDialogWritesEachFileThroughTheCoreWriters) {
    configureSamples(1024);
    chooseAnalysis(collection::kTestFft);
    rig.messages.shown.clear();
    ASSERT_EQ(collect(), 0);

    dialogs.answers.push_back(path("c.dat").toStdString());
    save("SAVE_DATA");
    EXPECT_EQ(dialogs.lastTitle, "");
    EXPECT_EQ(dialogs.lastPattern, "*.dat");
    EXPECT_EQ(readAll(path("c.dat")), collection::format_capture_file(
                                          "PM7014", 4000.0f, 1024, 8388608, data().blockCodes()));

    const auto& r = *panel->fftTest().last();
    dialogs.answers.push_back(path("s.fft").toStdString());
    save("SAVE_FFT");
    EXPECT_EQ(dialogs.lastTitle, "Save FFT");
    EXPECT_EQ(dialogs.lastPattern, "*.fft");
    EXPECT_EQ(readAll(path("s.fft")), collection::format_fft_file("PM7014", 4000.0f, 1024, 8388608,
                                                                  r.spectrum.freq, r.spectrum.db));

    // No histogram yet: said so, no file asked for.
    dialogs.lastTitle.clear();
    save("SAVE_HISTOGRAM");
    EXPECT_EQ(dialogs.lastTitle, "");
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    chooseAnalysis(collection::kTestHistogram);
    dialogs.answers.push_back(path("h.hit").toStdString());
    save("SAVE_HISTOGRAM");
    EXPECT_EQ(dialogs.lastTitle, "Save Histogram");
    EXPECT_EQ(dialogs.lastPattern, "*.hit");
    EXPECT_EQ(readAll(path("h.hit")),
              collection::format_hit_file("PM7014", 1024, *panel->lastHistogram()));

    // The choices exclude each other (radio buttons); OK without a choice does nothing. A
    // cancelled file choice writes nothing.
    dialogs.lastTitle = "untouched";
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<app::SaveDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->choice(), app::SaveChoice::None);
        d->findChild<QRadioButton*>("SAVE_FFT")->click();
        d->findChild<QRadioButton*>("SAVE_DATA")->click();  // the other choice clears
        EXPECT_FALSE(d->findChild<QRadioButton*>("SAVE_FFT")->isChecked());
        EXPECT_EQ(d->choice(), app::SaveChoice::Data);
        d->findChild<QPushButton*>("SAVE_CANCEL")->click();
    });
    find<QPushButton>("DATA_IO")->click();
    EXPECT_EQ(dialogs.lastTitle, "untouched");
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<app::SaveDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->findChild<QPushButton*>("SAVE_OK")->click();
    });
    find<QPushButton>("DATA_IO")->click();
    EXPECT_EQ(dialogs.lastTitle, "untouched");
    save("SAVE_DATA");  // no scripted answer: cancelled
    EXPECT_FALSE(QFile::exists(path("capture.dat")));

    // An unwritable file is reported, not passed over.
    rig.messages.shown.clear();
    dialogs.answers.push_back(path("missing/dir/c.dat").toStdString());
    save("SAVE_DATA");
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error Message");
}

TEST_F(DataPanelTest, DiskModeReadsASavedCaptureBack) {
    configureSamples(256);
    ASSERT_EQ(collect(), 0);
    const std::vector<std::int32_t> saved(data().blockCodes().begin(), data().blockCodes().end());
    dialogs.answers.push_back(path("back.dat").toStdString());
    save("SAVE_DATA");

    rig.session.port_number = kPortDisk;
    rig.session.input_file = path("back.dat").toStdString();
    rig.session.fs = 1.0f;
    panel->close();
    panel->COLLECTION();
    rig.takeFrames();
    EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_1")->text(), "Disk");
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_2")->text(), "No Data");
    EXPECT_FALSE(find<QPushButton>("DATA_CHANNEL_2")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("DATA_BOARD_ONLY")->isEnabled());

    // The settings window shows the file's count read-only (before the file is read: that
    // it comes from the file, not the board's count), averaging and pairs dimmed.
    find<QPushButton>("DATA_CONFIG")->click();
    auto* w = panel->settingsWindow();
    ASSERT_NE(w, nullptr);
    auto* samples = w->findChild<QComboBox*>("CONFIG_SAMPLES");
    EXPECT_EQ(samples->count(), 1);
    EXPECT_EQ(samples->currentText(), "from the file");
    EXPECT_FALSE(w->findChild<QSpinBox*>("CONFIG_AVERAGE")->isEnabled());
    EXPECT_FALSE(w->findChild<QCheckBox*>("CONFIG_PAIR_1")->isEnabled());
    w->findChild<QPushButton*>("POPCONFIG_OK")->click();

    ASSERT_EQ(collect(), 0);
    EXPECT_TRUE(rig.takeFrames().empty());  // nothing is sent to a board in disk mode
    EXPECT_EQ(panel->windowTitle(), path("back.dat"));
    EXPECT_EQ(rig.session.fs, 4000.0f);
    EXPECT_EQ(data().settings.samples, 256);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), data().buffers.sample_data.begin()));
    EXPECT_EQ(graph()->graph(0)->dataCount(), 256);
    // Channel 1 in disk mode keeps the block read from the file.
    find<QPushButton>("DATA_CHANNEL_1")->click();
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), data().buffers.sample_data.begin()));
    // The spectrum of the file's block.
    chooseAnalysis(collection::kTestFft);
    ASSERT_EQ(collect(), 0);
    ASSERT_TRUE(panel->fftTest().last());
    EXPECT_EQ(panel->fftTest().last()->samples, 256);
    EXPECT_EQ(panel->fftTest().last()->fs, 4000.0);
    EXPECT_EQ(panel->fftTest().last()->block, 1);

    // An unreadable file: its message, Collect stays dimmed until the settings are confirmed.
    rig.session.input_file = path("nothing.dat").toStdString();
    rig.messages.shown.clear();
    find<QPushButton>("DATA_COLLECT")->click();
    EXPECT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_FALSE(find<QPushButton>("DATA_COLLECT")->isEnabled());
}

TEST_F(DataPanelTest, CaptureHoldsTheBoardAndDimsTheWindow) {
    configureSamples(4096);
    bool checked = false;
    QString progress;
    rig.pump.onProcess = [&] {
        if (checked) return;
        checked = true;
        EXPECT_TRUE(panel->running());
        // Progress reported from the worker's thread reaches the bar through the event loop.
        std::thread([&] { panel->data().onProgress(4000, 8192); }).join();
        QCoreApplication::processEvents();
        progress = find<QProgressBar>("DATA_PROGRESS")->text();
        EXPECT_FALSE(find<QPushButton>("DATA_COLLECT")->isEnabled());
        EXPECT_FALSE(find<QComboBox>("DATA_TEST")->isEnabled());
        EXPECT_FALSE(find<QPushButton>("DATA_OVERLAY")->isEnabled());
        EXPECT_FALSE(find<QPushButton>("DATA_CHANNEL_2")->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        // Another window's board command is refused while the capture runs.
        std::int32_t word = 0;
        EXPECT_EQ(rig.link.readRegister(0, 0, &word), kStatusBusy);
        // Slots reached by other paths do nothing.
        panel->OVERLAY();
        panel->NEWCHAN(2);
        EXPECT_EQ(panel->COLLECT(), 0);
    };
    ASSERT_EQ(collect(), 0);
    rig.pump.onProcess = nullptr;
    EXPECT_TRUE(checked);
    EXPECT_EQ(progress, "Capturing \u2014 4000 of 8192 values");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());
    EXPECT_TRUE(find<QComboBox>("DATA_TEST")->isEnabled());
    EXPECT_EQ(data().shownChannel, 1);
    EXPECT_EQ(find<QProgressBar>("DATA_PROGRESS")->format(), "Ready");

    // With the board held by another operation the capture is refused and Collect stays usable.
    {
        BoardClaim other(rig.link, "pulse measurement");
        rig.messages.shown.clear();
        EXPECT_EQ(panel->COLLECT(), kStatusBusy);
        EXPECT_EQ(rig.messages.shown.size(), 1u);
    }
    EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());

    // A lost board fails the capture: Collect stays dimmed until the settings are confirmed.
    rig.board.unplug();
    rig.messages.shown.clear();
    EXPECT_NE(panel->COLLECT(), 0);
    EXPECT_FALSE(find<QPushButton>("DATA_COLLECT")->isEnabled());
    configure();
    EXPECT_TRUE(find<QPushButton>("DATA_COLLECT")->isEnabled());
}

TEST_F(DataPanelTest, PrintExportAndSampleTable) {
    configureSamples(512);
    ASSERT_EQ(collect(), 0);
    QString printed;
    panel->choosePrinter = [&](QPrinter& printer, const QString& title) {
        printed = title;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path(title == "Print Graph" ? "graph.pdf" : "panel.pdf"));
        return true;
    };
    save("SAVE_PRINT_GRAPH");
    EXPECT_EQ(printed, "Print Graph");
    EXPECT_GT(QFileInfo(path("graph.pdf")).size(), 1000);
    save("SAVE_PRINT_PANEL");
    EXPECT_GT(QFileInfo(path("panel.pdf")).size(), 1000);

    for (const char* name : {"p.png", "p.pdf", "p.svg"}) {
        dialogs.answers.push_back(path(name).toStdString());
        find<QPushButton>("DATA_EXPORT")->click();
        EXPECT_GT(QFileInfo(path(name)).size(), 500) << name;
    }
    EXPECT_TRUE(readAll(path("p.svg")).find("<svg") != std::string::npos);
    dialogs.answers.push_back(path("noext").toStdString());
    find<QPushButton>("DATA_EXPORT")->click();
    EXPECT_TRUE(QFile::exists(path("noext.png")));
    rig.messages.shown.clear();
    dialogs.answers.push_back(path("p.bmpx").toStdString());
    find<QPushButton>("DATA_EXPORT")->click();
    EXPECT_EQ(rig.messages.shown.size(), 1u);

    dialogs.answers.push_back(path("table.txt").toStdString());
    find<QPushButton>("DATA_BOARD_ONLY")->click();
    EXPECT_EQ(dialogs.lastTitle, "FILING DATA");
    const auto n = static_cast<std::size_t>(512);
    EXPECT_EQ(readAll(path("table.txt")),
              collection::format_sample_export(
                  512, std::span<const std::int32_t>(data().buffers.channel1_data).first(n),
                  std::span<const std::int32_t>(data().buffers.channel2_data).first(n)));
}

// Redraw times of the largest views, for the log (not asserted: timing is the benchmark's).
TEST_F(DataPanelTest, RedrawOfTheLargestViewsIsLogged) {
    configureSamples(32768);
    ASSERT_EQ(collect(), 0);
    panel->resize(1280, 800);
    QElapsedTimer t;
    t.start();
    panel->run_test();
    graph()->grab();
    const qint64 timeMs = t.elapsed();
    chooseAnalysis(collection::kTestFft);
    t.restart();
    panel->run_test();
    graph()->grab();
    const qint64 fftMs = t.elapsed();
    t.restart();
    graph()->replot(QCustomPlot::rpImmediateRefresh);
    graph()->grab();
    const qint64 replotMs = t.elapsed();
    RecordProperty("time_view_ms", static_cast<int>(timeMs));
    RecordProperty("fft_view_ms", static_cast<int>(fftMs));
    std::printf(
        "32768-point time view: analysis + redraw %lld ms; FFT view: analysis + redraw "
        "%lld ms, redraw alone %lld ms\n",
        static_cast<long long>(timeMs), static_cast<long long>(fftMs),
        static_cast<long long>(replotMs));
}

TEST_F(DataPanelTest, AFailedSaveOrExportKeepsTheFileItWasReplacing) {
    configureSamples(1024);
    chooseAnalysis(collection::kTestFft);
    ASSERT_EQ(collect(), 0);
    chooseAnalysis(collection::kTestHistogram);
    const std::string old = "the file as it was before\n";
    const auto keep = [&](const char* name, const std::function<void()>& act) {
        const QString p = path(name);
        std::ofstream(p.toStdString(), std::ios::binary) << old;
        rig.messages.shown.clear();
        dialogs.answers.push_back(p.toStdString());
        injectWriteFailure(100);  // the disk fills up part-way through the file
        act();
        clearInjectedWriteFailure();
        EXPECT_EQ(readAll(p), old) << name;
        EXPECT_EQ(rig.messages.shown.size(), 1u) << name;
        EXPECT_EQ(QDir(QFileInfo(p).path())
                      .entryList({"*" + QFileInfo(p).fileName() + "*"}, QDir::Files | QDir::Hidden)
                      .size(),
                  1)
            << name << ": a temporary file was left behind";
    };
    keep("keep.dat", [&] { save("SAVE_DATA"); });
    keep("keep.fft", [&] { save("SAVE_FFT"); });
    keep("keep.hit", [&] { save("SAVE_HISTOGRAM"); });
    keep("keep.txt", [&] { find<QPushButton>("DATA_BOARD_ONLY")->click(); });
    for (const char* name : {"keep.png", "keep.pdf", "keep.svg"})
        keep(name, [&] { find<QPushButton>("DATA_EXPORT")->click(); });
}

TEST_F(DataPanelTest, Screenshots) {
    const QString out = qEnvironmentVariable("EVKIT_SCREENSHOT_DIR");
    if (out.isEmpty()) GTEST_SKIP() << "EVKIT_SCREENSHOT_DIR not set";
    configureSamples(4096, 4);
    panel->resize(1280, 760);
    ASSERT_EQ(collect(), 0);
    EXPECT_TRUE(panel->grab().save(QDir(out).filePath("data_time.png")));
    chooseAnalysis(collection::kTestHistogram);
    EXPECT_TRUE(panel->grab().save(QDir(out).filePath("data_histogram.png")));
    chooseAnalysis(collection::kTestFft);
    ASSERT_EQ(collect(), 0);
    EXPECT_TRUE(panel->grab().save(QDir(out).filePath("data_fft.png")));
    chooseAnalysis(collection::kTestTime);
    panel->OVERLAY();
    EXPECT_TRUE(panel->grab().save(QDir(out).filePath("data_overlay.png")));
    find<QPushButton>("DATA_CONFIG")->click();
    ASSERT_NE(panel->settingsWindow(), nullptr);
    panel->settingsWindow()->adjustSize();
    EXPECT_TRUE(panel->settingsWindow()->grab().save(QDir(out).filePath("data_settings.png")));
}
