// The data collection window's "Show newest block": the averaged spectrum alone by default,
// the newest block's bare spectrum under it on request, shown and hidden without a capture.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include "board/tracing_transport.h"
#include "collection/collection_settings_window.h"
#include "collection/data_collection_panel.h"
#include "panel_context.h"
#include "ui/graph_widget.h"

using namespace evkit;
using app::DataCollectionPanel;

namespace {

struct NewestBlockTest : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(p.rig.open(), 0);
        panel = std::make_unique<DataCollectionPanel>(p.ctx);
        panel->COLLECTION();
        panel->resize(1300, 700);
        panel->show();
        box = panel->findChild<QCheckBox*>("DATA_SHOW_NEWEST");
        ASSERT_NE(box, nullptr);
    }

    // 4096 samples, three averages, FFT chosen, then Collect.
    void collectAveragedFft() {
        QTest::mouseClick(panel->findChild<QPushButton*>("DATA_CONFIG"), Qt::LeftButton);
        auto* w = panel->settingsWindow();
        ASSERT_NE(w, nullptr);
        auto* samples = w->findChild<QComboBox*>("CONFIG_SAMPLES");
        samples->setCurrentIndex(samples->findData(4096));
        w->findChild<QSpinBox*>("CONFIG_AVERAGE")->setValue(3);
        QTest::mouseClick(w->findChild<QPushButton*>("POPCONFIG_OK"), Qt::LeftButton);
        auto* ring = panel->findChild<QComboBox*>("DATA_TEST");
        ring->setCurrentIndex(collection::kTestFft);
        emit ring->activated(collection::kTestFft);
        ASSERT_EQ(panel->COLLECT(), 0);
        ASSERT_TRUE(panel->fftTest().last());
        ASSERT_EQ(panel->fftTest().last()->block, 3);
    }

    // A click on the box's indicator, as the user clicks it.
    void clickBox() {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
    }

    // Where the box is in the window once the layout has settled.
    QPoint placeOfBox() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        return box->mapTo(panel.get(), QPoint(0, 0));
    }

    std::vector<QCPGraph*> visibleGraphs() {
        std::vector<QCPGraph*> shown;
        for (int i = 0; i < panel->graph()->graphCount(); ++i)
            if (panel->graph()->graph(i)->visible()) shown.push_back(panel->graph()->graph(i));
        return shown;
    }

    test::PanelContext p;
    std::unique_ptr<DataCollectionPanel> panel;
    QCheckBox* box = nullptr;
};

std::vector<double> valuesOf(QCPGraph* g) {
    std::vector<double> v;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        v.push_back(it->value);
    return v;
}

}  // namespace

TEST_F(NewestBlockTest, OffByDefaultAndDimmedOutsideTheFft) {
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(box->isEnabled());  // the time view is shown at opening
    EXPECT_TRUE(box->isVisible());
    collectAveragedFft();
    EXPECT_TRUE(box->isEnabled());
    const QPoint place = placeOfBox();
    const QRect graphPlace = panel->graph()->geometry();
    auto* ring = panel->findChild<QComboBox*>("DATA_TEST");
    ring->setCurrentIndex(collection::kTestHistogram);
    emit ring->activated(collection::kTestHistogram);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(placeOfBox(), place);  // nothing moved, the graph neither
    EXPECT_EQ(panel->graph()->geometry(), graphPlace);
    ring->setCurrentIndex(collection::kTestTime);
    emit ring->activated(collection::kTestTime);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(placeOfBox(), place);
    EXPECT_EQ(panel->graph()->geometry(), graphPlace);
}

TEST_F(NewestBlockTest, TheBoxShowsAndHidesTheNewestBlockWithoutSendingAFrame) {
    collectAveragedFft();
    const auto& r = *panel->fftTest().last();
    // Box off: the annotated average alone.
    auto shown = visibleGraphs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(valuesOf(shown[0]), r.spectrum.db);

    // From here on every transport operation is traced: the box must cause none.
    std::vector<std::string> traffic;
    TracingTransport tracing(p.rig.board,
                             [&](const std::string& line) { traffic.push_back(line); });
    p.rig.link.setTransport(tracing);
    p.rig.takeFrames();
    const QPointF cursor = panel->graph()->cursorPosition();
    const QCPRange x = panel->graph()->xAxis->range();

    clickBox();
    ASSERT_TRUE(box->isChecked());
    shown = visibleGraphs();
    ASSERT_EQ(shown.size(), 2u);
    // The newest block first (under the average), thin and grey.
    EXPECT_EQ(valuesOf(shown[0]), r.newest.db);
    EXPECT_NE(r.newest.db, r.spectrum.db);
    EXPECT_EQ(shown[0]->pen().color(), QColor(128, 128, 128));
    EXPECT_EQ(shown[0]->pen().widthF(), 1.0);
    EXPECT_EQ(valuesOf(shown[1]), r.spectrum.db);
    EXPECT_EQ(panel->graph()->cursorPosition(), cursor);
    EXPECT_EQ(panel->graph()->xAxis->range(), x);

    clickBox();
    ASSERT_FALSE(box->isChecked());
    shown = visibleGraphs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(valuesOf(shown[0]), r.spectrum.db);

    EXPECT_TRUE(traffic.empty()) << traffic.front();
    EXPECT_TRUE(p.rig.takeFrames().empty());
    EXPECT_EQ(panel->fftTest().last()->block, 3);  // the same average, not a new capture
    p.rig.link.setTransport(p.rig.board);
}

TEST_F(NewestBlockTest, ACheckedBoxDrawsTheNewestBlockOfEveryLaterAverage) {
    clickBox();  // dimmed: the click does nothing
    EXPECT_FALSE(box->isChecked());
    collectAveragedFft();
    clickBox();
    ASSERT_TRUE(box->isChecked());
    ASSERT_EQ(panel->COLLECT(), 0);
    const auto& r = *panel->fftTest().last();
    const auto shown = visibleGraphs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(valuesOf(shown[0]), r.newest.db);
    EXPECT_EQ(valuesOf(shown[1]), r.spectrum.db);
}
