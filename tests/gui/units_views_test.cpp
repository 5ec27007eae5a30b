// Engineering units beside the device's values in the views that had none: the conversion
// window's strip chart and the data window's sample export, driven as a user drives them.
#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "collection/collection_settings_window.h"
#include "collection/data_collection_panel.h"
#include "collection/data_files.h"
#include "conversion/conversion_panel.h"
#include "metrology/sample_units.h"
#include "metrology/scaling.h"
#include "own_config_fixture.h"
#include "sim/error_model.h"
#include "temp_files.h"

using namespace evkit;

using evkit::test::slurp;

namespace {

// Decimals after the point of a tick label ("0.425": 3, "12": 0).
int decimalsOf(const QString& label) {
    const int point = label.indexOf('.');
    return point < 0 ? 0 : static_cast<int>(label.size()) - point - 1;
}

// A saved scaling of 250 V and 10 A on pair 1, in a configuration folder of the test's own.
struct UnitsViews : test::OwnConfigFixture {
    void SetUp() override {
        useOwnConfigFolder("units_views");
        metrology::Scaling s;
        s.channel[0] = {250.0, 10.0};
        std::string why;
        ASSERT_TRUE(metrology::saveScaling(s, &why)) << why;
        openBoard();
    }
};

}  // namespace

TEST_F(UnitsViews, StripChartShowsTheUnitAxisAndTicksOfOneNumberOfDecimals) {
    rig.board.setErrorModel(sim::uncalibratedPart());  // noise: the values move a little
    conversion::ConversionPanel monitor(ctx);
    monitor.resize(1300, 760);
    monitor.show();
    in<QSpinBox>(monitor, "CONV_AVERAGE_COUNT")->setValue(4);
    click(monitor, "CONV_SINGLE");
    click(monitor, "CONV_SINGLE");
    auto* chart = in<QCustomPlot>(monitor, "CONV_CHART");
    chart->replot();

    // The device's value keeps its axis; the same line reads in volts on the other.
    EXPECT_EQ(chart->yAxis->label(), "V1 RMS");
    EXPECT_EQ(chart->graph(0)->dataCount(), 8);
    EXPECT_NEAR(chart->graph(0)->data()->at(0)->value, 0.4243, 0.003);
    ASSERT_TRUE(chart->yAxis2->visible());
    EXPECT_EQ(chart->yAxis2->label(), "V1 RMS (V)");
    EXPECT_NEAR(chart->yAxis2->range().lower, chart->yAxis->range().lower * 250.0, 1e-9);
    EXPECT_NEAR(chart->yAxis2->range().upper, chart->yAxis->range().upper * 250.0, 1e-9);
    EXPECT_NEAR(chart->yAxis2->range().center(), 0.4243 * 250.0, 1.0);

    for (QCPAxis* axis : {chart->yAxis, chart->yAxis2}) {
        const QVector<QString> labels = axis->tickVectorLabels();
        ASSERT_GE(labels.size(), 3) << axis->label().toStdString();
        for (const QString& l : labels)
            EXPECT_EQ(decimalsOf(l), decimalsOf(labels[0]))
                << axis->label().toStdString() << ": " << l.toStdString() << " beside "
                << labels[0].toStdString();
        // Each label is its tick, written in full.
        for (int i = 0; i < labels.size(); ++i)
            EXPECT_NEAR(labels[i].toDouble(), axis->tickVector()[i],
                        std::pow(10.0, -decimalsOf(labels[0])) / 2);
    }

    // Cycles are whole numbers, also when the chart holds more of them (no "2.5" cycle).
    for (int i = 0; i < 8; ++i) {
        click(monitor, "CONV_SINGLE");
        chart->replot();
        for (const QString& l : chart->xAxis->tickVectorLabels())
            EXPECT_EQ(decimalsOf(l), 0)
                << chart->graph(0)->dataCount() << " cycles: " << l.toStdString();
    }

    // A current reads in amperes; a power factor has no unit and no second axis.
    auto* quantity = in<QComboBox>(monitor, "CONV_CHART_QUANTITY");
    quantity->setCurrentIndex(conversion::I1RMS);
    EXPECT_EQ(chart->yAxis2->label(), "I1 RMS (A)");
    EXPECT_NEAR(chart->yAxis2->range().upper, chart->yAxis->range().upper * 10.0, 1e-9);
    quantity->setCurrentIndex(conversion::PF1);
    EXPECT_FALSE(chart->yAxis2->visible());
    EXPECT_EQ(chart->yAxis->label(), "PF1");
}

TEST_F(UnitsViews, DataWindowExportsTheChannelShownInUnitsBesideTheSampleExport) {
    app::DataCollectionPanel panel(ctx);
    panel.COLLECTION();
    panel.show();
    click(panel, "DATA_CONFIG");
    ASSERT_NE(panel.settingsWindow(), nullptr);
    click(*panel.settingsWindow(), "POPCONFIG_OK");
    // Nothing captured yet: said, and no dialog.
    click(panel, "DATA_EXPORT_UNITS");
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].second, "There are no samples to save: collect a block first.");
    EXPECT_EQ(dialogs.lastTitle, "");

    click(panel, "DATA_COLLECT");
    click(panel, "DATA_CHANNEL_2");  // Voltage 1
    const std::string csv = dir + "/volts.csv";
    dialogs.answers.push_back(csv);
    click(panel, "DATA_EXPORT_UNITS");
    EXPECT_EQ(dialogs.lastTitle, "Export samples in units");
    const auto& data = panel.data();
    const int n = data.capturedSamples;
    ASSERT_GT(n, 0);
    const auto volts = std::span<const std::int32_t>(data.buffers.channel2_data)
                           .first(static_cast<std::size_t>(n));
    EXPECT_EQ(slurp(csv),
              metrology::samplesInUnitsCsv({"Voltage 1", "V", 250.0}, 8388608, 4000.0, volts));
    EXPECT_EQ(slurp(csv).substr(0, 80).find("# Voltage 1 in V: 250 V at full-scale code 8388608"),
              0u);

    // Channel 1 is the current, in amperes.
    click(panel, "DATA_CHANNEL_1");
    dialogs.answers.push_back(csv);
    click(panel, "DATA_EXPORT_UNITS");
    EXPECT_EQ(slurp(csv).rfind("# Current 1 in A: 10 A at", 0), 0u);
    EXPECT_EQ(rig.messages.shown.size(), 1u);

    // Export samples… writes its own table as before.
    const std::string table = dir + "/table.txt";
    dialogs.answers.push_back(table);
    click(panel, "DATA_BOARD_ONLY");
    EXPECT_EQ(slurp(table), collection::format_sample_export(
                                n,
                                std::span<const std::int32_t>(data.buffers.channel1_data)
                                    .first(static_cast<std::size_t>(n)),
                                volts));

    // A file that cannot be written is said, with the reason.
    dialogs.answers.push_back(dir + "/missing/volts.csv");
    click(panel, "DATA_EXPORT_UNITS");
    ASSERT_EQ(rig.messages.shown.size(), 2u);
    EXPECT_EQ(rig.messages.shown[1].second.rfind("Unable to write the file \"" + dir, 0), 0u);
}
