// The console's lines name the command that caused them: the window and the button or menu
// item the user chose last; a line while no command is known names the window only.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "diagnostics/eeprom_panel.h"
#include "sim_rig.h"
#include "support/file_dialogs.h"
#include "ui/app_context.h"
#include "ui/qt_seams.h"
#include "ui/user_commands.h"

using namespace evkit;

namespace {

const QString kArrow = QString::fromUtf8(" \u25B8 ");

QString consoleText(const app::QtConsole& console) {
    auto* text = console.window()->findChild<QPlainTextEdit*>();
    return text ? text->toPlainText() : QString();
}

}  // namespace

TEST(ConsoleCommands, CommandTextsLoseTheirMnemonicsAndKeepTheirDots) {
    using app::UserCommandTracker;
    EXPECT_EQ(UserCommandTracker::commandText("&Read"), "Read");
    EXPECT_EQ(UserCommandTracker::commandText("USB De&vice..."), "USB Device...");
    EXPECT_EQ(UserCommandTracker::commandText("Save / Print\u2026"), "Save / Print\u2026");
    EXPECT_EQ(UserCommandTracker::commandText("Save && &close"), "Save & close");
    EXPECT_EQ(UserCommandTracker::commandText("&Quit...\tCtrl+Q"), "Quit...");
}

TEST(ConsoleCommands, AButtonClickedNamesItsWindowAndItselfUntilAnotherInput) {
    app::QtConsole console;
    QWidget window;
    window.setWindowTitle("Bench");
    auto* layout = new QVBoxLayout(&window);
    auto* button = new QPushButton("&Read\u2026", &window);
    auto* box = new QLineEdit(&window);
    layout->addWidget(button);
    layout->addWidget(box);
    QObject::connect(button, &QPushButton::clicked, [&] { console.print("read done\n"); });
    window.show();

    console.print("before\n");
    QTest::mouseClick(button, Qt::LeftButton);
    const QStringList lines = consoleText(console).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_FALSE(lines[0].contains(kArrow)) << lines[0].toStdString();  // no command yet
    EXPECT_TRUE(lines[1].endsWith("[Bench" + kArrow + "Read\u2026] read done"))
        << lines[1].toStdString();

    // A click in a box is no command: the next line names no button.
    QTest::mouseClick(box, Qt::LeftButton);
    console.print("later\n");
    const QString last = consoleText(console).split('\n', Qt::SkipEmptyParts).last();
    EXPECT_TRUE(last.endsWith("] later")) << last.toStdString();
    EXPECT_FALSE(last.contains(kArrow)) << last.toStdString();
}

TEST(ConsoleCommands, AMenuItemChosenWithTheMouseNamesTheMenusWindow) {
    app::QtConsole console;
    QMainWindow window;
    window.setWindowTitle("Start");
    QMenu* menu = window.menuBar()->addMenu("&Program");
    QAction* quit = menu->addAction("&Quit...");
    QObject::connect(quit, &QAction::triggered, [&] { console.print("asked\n"); });
    window.show();
    menu->popup(window.mapToGlobal(QPoint(10, 10)));
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    ASSERT_TRUE(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(quit).center());
    EXPECT_TRUE(consoleText(console).endsWith("[Start" + kArrow + "Quit...] asked\n"))
        << consoleText(console).toStdString();
}

TEST(ConsoleCommands, AFailedEepromReadIsStampedWithTheWindowAndTheReadButton) {
    test::SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    app::QtConsole console;
    ScriptedFileDialogs dialogs;
    app::AppContext ctx{rig.session,
                        rig.messages,
                        console,
                        dialogs,
                        rig.clock,
                        [](const std::string&, bool) {},
                        [](const std::string&) { return nullptr; }};
    app::EepromPanel panel(ctx);
    panel.openFromMenu();
    rig.board.failNextRead();
    QTest::mouseClick(panel.findChild<QPushButton*>("EEPROM_READ"), Qt::LeftButton);
    const QString shown = consoleText(console);
    EXPECT_TRUE(shown.contains("[Board EEPROM" + kArrow + "Read] stat from F32x_Read is"))
        << shown.toStdString();
}
