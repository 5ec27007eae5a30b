// How the windows meet the user: a notice has a line of its own and never covers a control,
// the quit confirmation opens over the start window, the menu has the usual shortcuts, and
// Enter in the register debug window's word box writes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
#include <functional>
#include <memory>

#include "collection/data_collection_panel.h"
#include "diagnostics/debug_panel.h"
#include "diagnostics/eeprom_panel.h"
#include "panel_context.h"
#include "pulse/pulse_panel.h"
#include "setup/setup_panel.h"
#include "shell_rig.h"

using namespace evkit;

namespace {

// Where `w` is seen in `window`: its rectangle, cut by the viewport of any scroll area it
// lies in (what is scrolled away is not covered by anything).
QRect visibleRect(QWidget* w, QWidget* window) {
    QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(p))
            r &= QRect(area->viewport()->mapTo(window, QPoint(0, 0)), area->viewport()->size());
    return r;
}

bool isControl(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
           qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QProgressBar*>(w) ||
           qobject_cast<QAbstractItemView*>(w);
}

struct WindowCase {
    const char* name;
    bool smallest;
    std::function<std::unique_ptr<app::StandingWindow>(app::AppContext&)> open;
};

class NoticeLayout : public ::testing::TestWithParam<WindowCase> {};

TEST_P(NoticeLayout, NoticeNeverCoversAControl) {
    test::PanelContext p;
    ASSERT_EQ(p.rig.open(), 0);
    auto window = GetParam().open(p.ctx);
    window->openFromMenu();
    // Windows without a scroll area at their smallest, where no room is left below the
    // controls that a notice drawn over the window could take; the scrolling ones as on a
    // small screen.
    window->resize(GetParam().smallest ? window->minimumSizeHint()
                                       : window->size().expandedTo(QSize(700, 400)));
    QApplication::processEvents();
    window->showNotice(
        "The board is busy (data collection is running). Wait until it ends or stop it, then "
        "try again.");
    if (window->layout()) window->layout()->activate();
    QApplication::processEvents();
    auto* notice = window->findChild<QLabel*>("WINDOW_NOTICE");
    ASSERT_NE(notice, nullptr);
    ASSERT_TRUE(notice->isVisible());
    const QRect noticeRect = visibleRect(notice, window.get());
    // The whole text fits its line.
    EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
    int checked = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || !isControl(w) || w == notice) continue;
        // Parts of composite controls (a spin box's editor) are checked as their owner.
        if (qobject_cast<QLineEdit*>(w) && qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
            continue;
        const QRect r = visibleRect(w, window.get());
        if (r.isEmpty()) continue;
        ++checked;
        EXPECT_FALSE(r.intersects(noticeRect)) << w->objectName().toStdString();
    }
    EXPECT_GT(checked, 3);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfWindow, NoticeLayout,
    ::testing::Values(
        WindowCase{"Pulse", true,
                   [](app::AppContext& c) { return std::make_unique<app::PulsePanel>(c); }},
        WindowCase{"Debug", true,
                   [](app::AppContext& c) { return std::make_unique<app::DebugPanel>(c); }},
        WindowCase{"Eeprom", true,
                   [](app::AppContext& c) { return std::make_unique<app::EepromPanel>(c); }},
        WindowCase{"Setup", false,
                   [](app::AppContext& c) { return std::make_unique<app::SetupPanel>(c); }},
        WindowCase{
            "Data", false,
            [](app::AppContext& c) { return std::make_unique<app::DataCollectionPanel>(c); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartWindowMenus, QuitAsksOverTheStartWindowAndHasItsShortcut) {
    test::ShellRig s;
    s.start().move(300, 200);
    s.start().show();
    EXPECT_EQ(s.item("MENU_QUIT")->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(s.item("MENU_DISK")->shortcut(), QKeySequence(QKeySequence::Open));
    s.item("MENU_QUIT")->trigger();
    auto* quit = s.start().findChild<QWidget*>("pnl_quit");
    ASSERT_NE(quit, nullptr);
    const QPoint offset = quit->frameGeometry().center() - s.start().frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}

TEST(DebugWordBox, EnterAfterTypingWritesAndUntouchedEnterDoesNot) {
    test::PanelContext p;
    ASSERT_EQ(p.rig.open(), 0);
    app::DebugPanel panel(p.ctx);
    panel.openFromMenu();
    panel.findChild<QSpinBox*>("DEBUG_ADDRESS")->setValue(5);
    auto* word = panel.findChild<QSpinBox*>("DEBUG_WRITE_WORD");
    ASSERT_NE(word, nullptr);
    p.rig.takeFrames();
    word->setFocus(Qt::MouseFocusReason);
    word->selectAll();
    QTest::keyClicks(word, "123456");
    QTest::keyClick(word, Qt::Key_Return);
    EXPECT_EQ(p.rig.takeFrames(), std::vector<std::string>{"4a 56 34 12 00 00"});
    // Enter again without typing: nothing more is written.
    QTest::keyClick(word, Qt::Key_Return);
    EXPECT_TRUE(p.rig.takeFrames().empty());
}

}  // namespace
