// Where the data collection window's save dialogs open: in the working directory at first
// (never the program's folder, /usr/bin once installed), then in the folder the user chose
// last in this run, across every save of the window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "collection/data_collection_panel.h"
#include "collection/save_dialog.h"
#include "sim_rig.h"
#include "support/file_dialogs.h"
#include "ui/app_context.h"

using namespace evkit;

namespace {

// Scripted answers, and the file or folder each save dialog was opened with.
struct RecordingDialogs : ScriptedFileDialogs {
    std::optional<std::string> saveFile(const std::string& title, const std::string& pattern,
                                        const std::string& suggestedName) override {
        lastSuggested = suggestedName;
        return ScriptedFileDialogs::saveFile(title, pattern, suggestedName);
    }
    std::string lastSuggested;
};

struct Context {
    test::SimRig rig;
    RecordingDialogs dialogs;
    app::AppContext ctx{rig.session,
                        rig.messages,
                        rig.console,
                        dialogs,
                        rig.clock,
                        [](const std::string&, bool) {},
                        [](const std::string&) { return nullptr; }};
};

struct DataSaveFolderTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(start.isValid() && chosen.isValid());
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        previousCwd = buf;
        ASSERT_EQ(chdir(start.path().toLocal8Bit().constData()), 0);
        // As the program fills it at start: the folder of the executable.
        c.rig.session.projectDir = QCoreApplication::applicationDirPath().toStdString();
        ASSERT_EQ(c.rig.open(), 0);
        panel = std::make_unique<app::DataCollectionPanel>(c.ctx);
        panel->COLLECTION();
        panel->findChild<QPushButton*>("DATA_CONFIG")->click();
        ASSERT_NE(panel->settingsWindow(), nullptr);
        panel->settingsWindow()->findChild<QPushButton*>("POPCONFIG_OK")->click();
        ASSERT_EQ(panel->COLLECT(), 0);
    }
    void TearDown() override { EXPECT_EQ(chdir(previousCwd.c_str()), 0); }

    void click(const char* name) { panel->findChild<QPushButton*>(name)->click(); }
    // Save / Print… with the capture file's box checked, then OK.
    void saveCapture() {
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<app::SaveDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            d->findChild<QAbstractButton*>("SAVE_DATA")->click();
            d->findChild<QPushButton*>("SAVE_OK")->click();
        });
        click("DATA_IO");
    }
    static std::string in(const QTemporaryDir& dir, const char* name = nullptr) {
        const QString base = QDir(dir.path()).canonicalPath();
        return (name ? base + "/" + name : base).toStdString();
    }

    QTemporaryDir start, chosen;
    std::string previousCwd;
    Context c;
    std::unique_ptr<app::DataCollectionPanel> panel;
};

TEST_F(DataSaveFolderTest, DialogsOpenInTheWorkingDirectoryThenInTheLastFolderChosen) {
    // Nothing chosen yet: the working directory, for each kind of save.
    c.dialogs.answers.push_back(std::nullopt);
    click("DATA_BOARD_ONLY");
    EXPECT_EQ(c.dialogs.lastTitle, "FILING DATA");
    EXPECT_NE(c.dialogs.lastSuggested, c.rig.session.projectDir);
    EXPECT_EQ(c.dialogs.lastSuggested, in(start));
    c.dialogs.answers.push_back(std::nullopt);
    click("DATA_EXPORT");
    EXPECT_EQ(c.dialogs.lastSuggested, in(start, "plot.png"));

    // A cancelled dialog changes nothing; a file chosen elsewhere moves every later dialog.
    c.dialogs.answers.push_back(std::nullopt);
    saveCapture();
    EXPECT_EQ(c.dialogs.lastSuggested, in(start, "capture.dat"));
    c.dialogs.answers.push_back(in(chosen, "table.txt"));
    click("DATA_BOARD_ONLY");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(in(chosen, "table.txt"))));
    c.dialogs.answers.push_back(std::nullopt);
    saveCapture();
    EXPECT_EQ(c.dialogs.lastSuggested, in(chosen, "capture.dat"));
    c.dialogs.answers.push_back(std::nullopt);
    click("DATA_BOARD_ONLY");
    EXPECT_EQ(c.dialogs.lastSuggested, in(chosen));

    // A relative answer counts from the working directory.
    c.dialogs.answers.push_back(std::string("relative.png"));
    click("DATA_EXPORT");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(in(start, "relative.png"))));
    c.dialogs.answers.push_back(std::nullopt);
    click("DATA_EXPORT");
    EXPECT_EQ(c.dialogs.lastSuggested, in(start, "plot.png"));
}

}  // namespace
