#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTimer>
#include <thread>

#include "ui/qt_seams.h"

using namespace evkit;

namespace {

// Answers every message box that opens, remembering its title and text.
struct BoxAnswerer {
    BoxAnswerer() {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.emplace_back(box->windowTitle(), box->text());
                modal = box->windowModality() == Qt::ApplicationModal;
                box->accept();
            }
        });
        timer.start();
    }
    QTimer timer;
    std::vector<std::pair<QString, QString>> seen;
    bool modal = false;
};

}  // namespace

TEST(QtSeams, MessageBoxesCarryTheExactTitleAndTextFromAnyThread) {
    app::QtMessages messages;
    BoxAnswerer answerer;
    messages.show("Error Message", "USB Read Error");
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].first, "Error Message");
    EXPECT_EQ(answerer.seen[0].second, "USB Read Error");
    EXPECT_TRUE(answerer.modal);

    // From a worker thread the box waits for the user-interface thread.
    std::thread worker([&] { messages.show("Note", "The device is not recognized."); });
    worker.join();
    EXPECT_EQ(answerer.seen.size(), 1u);
    for (int i = 0; i < 20 && answerer.seen.size() < 2; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[1].first, "Note");
    EXPECT_EQ(answerer.seen[1].second, "The device is not recognized.");
}

TEST(QtSeams, ConsoleAppearsWhenWrittenAndKeepsTheText) {
    app::QtConsole console;
    ASSERT_NE(console.window(), nullptr);
    EXPECT_FALSE(console.window()->isVisible());
    EXPECT_EQ(console.window()->windowTitle(), "Console");
    EXPECT_EQ(console.window()->size(), QSize(450, 250));
    console.print("EEPROM read ");
    console.print("ok\n");
    EXPECT_TRUE(console.window()->isVisible());
    auto* text = console.window()->findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    // One line, with its time and the source (no window was active).
    const QString shown = text->toPlainText();
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d \\[EVKIT714\\] EEPROM read ok\n$")
                    .match(shown)
                    .hasMatch())
        << shown.toStdString();
    console.print("two\nlines\n");
    EXPECT_EQ(text->toPlainText().count("[EVKIT714]"), 3);
}

TEST(QtSeams, PumpCancelFlagAndFileFilters) {
    app::QtPump pump;
    EXPECT_FALSE(pump.cancelRequested());
    int ran = 0;
    QTimer::singleShot(0, [&] {
        ++ran;
        pump.requestCancel();  // a stop button pressed while the operation waits
    });
    for (int i = 0; i < 20 && !pump.cancelRequested(); ++i) pump.processEvents();
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(pump.cancelRequested());
    pump.clearCancel();
    EXPECT_FALSE(pump.cancelRequested());

    EXPECT_EQ(app::QtFileDialogs::filterFor("*.dat"), "*.dat files (*.dat);;All files (*)");
    EXPECT_EQ(app::QtFileDialogs::filterFor(""), "All files (*)");
    EXPECT_EQ(app::QtFileDialogs::filterFor("*.txt;*.csv"),
              "*.txt *.csv files (*.txt *.csv);;All files (*)");
}
