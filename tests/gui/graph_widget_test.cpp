// The graph widget alone: palette, cursor snap and free modes, stepping, dragging the cursor.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "ui/graph_widget.h"

using evkit::app::CursorMode;
using evkit::app::dosColor;
using evkit::app::GraphWidget;

TEST(DosColor, SixteenColourPalette) {
    EXPECT_EQ(dosColor(0), QColor(0, 0, 0));
    EXPECT_EQ(dosColor(9), QColor(0x55, 0x55, 0xFF));   // light blue, channel 2
    EXPECT_EQ(dosColor(11), QColor(0x55, 0xFF, 0xFF));  // light cyan, figures
    EXPECT_EQ(dosColor(13), QColor(0xFF, 0x55, 0xFF));  // light magenta, channel 1
    EXPECT_EQ(dosColor(14), QColor(0xFF, 0xFF, 0x55));  // yellow, figures with a warning
    EXPECT_EQ(dosColor(-1).alpha(), 0);
    EXPECT_EQ(dosColor(16), QColor(Qt::black));
}

struct GraphTest : ::testing::Test {
    void SetUp() override {
        g.resize(600, 400);
        g.show();
        g.setAxisRanges(0.0, 4.0, -100.0, 100.0);
        const std::vector<std::int32_t> codes = {0, 50, -50, 80, 10};
        g.plotCodes(codes, dosColor(13));
        g.replot();
    }
    GraphWidget g;
};

TEST_F(GraphTest, SnapTakesTheNearestPointFreeTakesThePlace) {
    QSignalSpy moved(&g, &GraphWidget::cursorMoved);
    QSignalSpy committed(&g, &GraphWidget::committed);
    QTest::mouseClick(&g, Qt::LeftButton, {}, g.pixelOf(2.8, 0.0).toPoint());
    EXPECT_EQ(g.cursorPosition(), QPointF(3.0, 80.0));
    EXPECT_EQ(moved.count(), 1);
    ASSERT_EQ(committed.count(), 1);
    EXPECT_EQ(committed.at(0).at(0).toDouble(), 3.0);

    g.setCursorMode(CursorMode::Free);
    QTest::mouseClick(&g, Qt::LeftButton, {}, g.pixelOf(1.5, 20.0).toPoint());
    EXPECT_NEAR(g.cursorPosition().x(), 1.5, 0.02);
    EXPECT_NEAR(g.cursorPosition().y(), 20.0, 1.0);
}

TEST_F(GraphTest, ArrowKeysStepFromPointToPointAndDraggingMovesTheCursor) {
    g.setCursorPosition(1.0, 50.0);
    g.setFocus();
    QTest::keyClick(&g, Qt::Key_Right);
    EXPECT_EQ(g.cursorPosition(), QPointF(2.0, -50.0));
    QTest::keyClick(&g, Qt::Key_Left);
    QTest::keyClick(&g, Qt::Key_Left);
    QTest::keyClick(&g, Qt::Key_Left);  // stays at the first point
    EXPECT_EQ(g.cursorPosition(), QPointF(0.0, 0.0));

    // A press on the cursor's line drags the cursor instead of panning the view.
    g.setCursorPosition(1.0, 50.0);
    g.replot();
    const QCPRange before = g.xAxis->range();
    const QPoint start = g.pixelOf(1.0, 0.0).toPoint();
    QTest::mousePress(&g, Qt::LeftButton, {}, start);
    QTest::mouseMove(&g, g.pixelOf(4.0, 0.0).toPoint());
    QTest::mouseRelease(&g, Qt::LeftButton, {}, g.pixelOf(4.0, 0.0).toPoint());
    EXPECT_EQ(g.cursorPosition(), QPointF(4.0, 10.0));
    EXPECT_EQ(g.xAxis->range(), before);
}

TEST_F(GraphTest, DeletePlotsKeepsTheCursorAndRemovesTheRest) {
    g.addText(1.0, 10.0, "F", Qt::black);
    g.addMarkerLine(1.0, -100.0, 1.0, 50.0, Qt::red);
    g.setCursorPosition(2.0, -50.0);
    g.deletePlots();
    EXPECT_EQ(g.plottableCount(), 0);
    EXPECT_EQ(g.itemCount(), 3);  // the cursor's two lines and its mark
    EXPECT_EQ(g.cursorPosition(), QPointF(2.0, -50.0));
    EXPECT_FALSE(g.snapCursor());  // nothing to snap to
}
