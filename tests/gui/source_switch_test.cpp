// Switching between the board and a capture file in the running program: every title,
// caption and settings line names the block actually shown, a file's sample count never
// steers a board capture, and the start window shows only what belongs to the source in use.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <vector>

#include "collection/collection_settings_window.h"
#include "collection/data_collection_panel.h"
#include "collection/data_files.h"
#include "shell_rig.h"
#include "ui/graph_widget.h"

using namespace evkit;

namespace {

struct SourceSwitch : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        data = qobject_cast<app::DataCollectionPanel*>(s.shell.window("pnl_data"));
        ASSERT_NE(data, nullptr);
        // A stored capture of 1024 samples.
        file = dir.filePath("nyq.dat").toStdString();
        std::vector<std::int32_t> codes(1024);
        for (std::size_t i = 0; i < codes.size(); ++i)
            codes[i] = static_cast<std::int32_t>((i % 64) * 1000) - 32000;
        ASSERT_TRUE(collection::write_capture_file(file, "PM7014", 4000.0f, 1024, 8388608, codes));
    }
    template <class W>
    W* find(const char* name) {
        auto* w = data->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string plotTitle() { return data->graph()->title().toStdString(); }
    std::string status() { return find<QLabel>("DATA_STATUS")->text().toStdString(); }
    void chooseAnalysis(int test) {
        auto* ring = find<QComboBox>("DATA_TEST");
        ring->setCurrentIndex(test);
        emit ring->activated(test);
    }
    void configure(int samples, int average) {
        QTest::mouseClick(find<QPushButton>("DATA_CONFIG"), Qt::LeftButton);
        auto* w = data->settingsWindow();
        ASSERT_NE(w, nullptr);
        auto* count = w->findChild<QComboBox*>("CONFIG_SAMPLES");
        if (samples > 0) count->setCurrentIndex(count->findData(samples));
        if (average > 0) w->findChild<QSpinBox*>("CONFIG_AVERAGE")->setValue(average);
        QTest::mouseClick(w->findChild<QPushButton*>("POPCONFIG_OK"), Qt::LeftButton);
    }
    void collect() {
        auto* button = find<QPushButton>("DATA_COLLECT");
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void chooseDisk() {
        s.dialogs.answers.push_back(file);
        s.item("MENU_DISK")->trigger();
        ASSERT_EQ(s.rig.session.port_number, kPortDisk);
    }
    int startFrames(const std::string& frame) {
        const auto frames = s.rig.takeFrames();
        return static_cast<int>(std::count(frames.begin(), frames.end(), frame));
    }

    test::ShellRig s;
    QTemporaryDir dir;
    std::string file;
    app::DataCollectionPanel* data = nullptr;
};

}  // namespace

TEST_F(SourceSwitch, BoardCaptureAfterAFileUsesTheBoardsSettings) {
    s.connect();
    s.item("MENU_COLLECTION")->trigger();
    configure(4096, 2);
    chooseAnalysis(collection::kTestFft);

    chooseDisk();
    collect();
    EXPECT_NE(plotTitle().find("nyq.dat"), std::string::npos) << plotTitle();
    EXPECT_NE(plotTitle().find("1024 samples"), std::string::npos) << plotTitle();

    s.connect();
    s.rig.takeFrames();
    collect();
    // Two blocks of the 4096-sample entry (index 8) are asked for, and 4096 are analysed.
    EXPECT_EQ(startFrames("f8 02 04 00 08 01"), 2);
    ASSERT_TRUE(data->fftTest().last());
    EXPECT_EQ(data->fftTest().last()->samples, 4096);
    EXPECT_EQ(data->fftTest().last()->blocks, 2);
    EXPECT_NE(plotTitle().find("4096 samples"), std::string::npos) << plotTitle();
    EXPECT_EQ(plotTitle().find("nyq.dat"), std::string::npos) << plotTitle();
    EXPECT_EQ(data->windowTitle(), "Data Collection Window");
    EXPECT_NE(status().find("4096 samples per channel"), std::string::npos) << status();
    EXPECT_NE(status().find("2 average(s)"), std::string::npos) << status();
}

TEST_F(SourceSwitch, TitlesNameTheSourceOfTheBlockShown) {
    s.connect();
    s.item("MENU_COLLECTION")->trigger();
    configure(4096, 1);
    collect();  // a board block, in the time view
    ASSERT_NE(plotTitle().find("Current 1"), std::string::npos) << plotTitle();

    // The file is chosen but not read: the board's block is gone, not shown under its name.
    chooseDisk();
    chooseAnalysis(collection::kTestFft);
    EXPECT_NE(plotTitle().find("no data yet"), std::string::npos) << plotTitle();
    EXPECT_EQ(plotTitle().find("4096"), std::string::npos) << plotTitle();
    EXPECT_FALSE(data->fftTest().last());

    collect();
    EXPECT_NE(plotTitle().find("nyq.dat \u00B7 1024 samples"), std::string::npos) << plotTitle();
    EXPECT_EQ(data->windowTitle().toStdString(), file);

    // Back on the board: nothing of the file stays in the titles.
    s.connect();
    EXPECT_EQ(data->windowTitle(), "Data Collection Window");
    EXPECT_EQ(plotTitle().find("nyq.dat"), std::string::npos) << plotTitle();
    EXPECT_NE(plotTitle().find("no data yet"), std::string::npos) << plotTitle();
    EXPECT_EQ(find<QPushButton>("DATA_CHANNEL_1")->text(), "No Data");
}

TEST_F(SourceSwitch, DiskModeSettingsLineDescribesTheFilesBlock) {
    s.connect();
    s.item("MENU_COLLECTION")->trigger();
    configure(16, 3);
    chooseDisk();
    collect();
    EXPECT_NE(status().find("nyq.dat"), std::string::npos) << status();
    EXPECT_NE(status().find("1024 samples"), std::string::npos) << status();
    EXPECT_NE(status().find("1 average"), std::string::npos) << status();
    EXPECT_EQ(status().find("16 samples"), std::string::npos) << status();
    EXPECT_EQ(status().find("3 average"), std::string::npos) << status();

    // The settings window shows the file's count; its OK keeps the board's entry.
    QTest::mouseClick(find<QPushButton>("DATA_CONFIG"), Qt::LeftButton);
    auto* w = data->settingsWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->findChild<QComboBox*>("CONFIG_SAMPLES")->currentText(), "1024");
    QTest::mouseClick(w->findChild<QPushButton*>("POPCONFIG_OK"), Qt::LeftButton);
    EXPECT_NE(status().find("1024 samples"), std::string::npos) << status();
    EXPECT_EQ(data->data().settings.samples_index, 0);

    s.connect();
    EXPECT_EQ(data->data().settings.samples, 16);
    EXPECT_NE(status().find("16 samples per channel"), std::string::npos) << status();
    EXPECT_NE(status().find("3 average(s)"), std::string::npos) << status();
}

TEST_F(SourceSwitch, StartWindowShowsOnlyTheSourceInUse) {
    // The virtual board is selected but not connected yet.
    EXPECT_EQ(s.label("START_MODE").toStdString(),
              "Virtual board (simulation) selected, not connected");
    EXPECT_TRUE(s.label("START_HINT").contains("virtual board"))
        << s.label("START_HINT").toStdString();
    EXPECT_FALSE(s.label("START_HINT").contains("Connect the evaluation board"));

    s.connect();
    EXPECT_EQ(s.label("START_DEVICE_NAME"), "PM7014 Rev C");
    EXPECT_FALSE(s.label("START_BOARD_ID_1").isEmpty());
    chooseDisk();
    EXPECT_EQ(s.label("START_MODE"), "Disk file");
    EXPECT_TRUE(s.label("START_DEVICE_NAME").isEmpty());
    for (const char* id : {"START_BOARD_ID_1", "START_BOARD_ID_2", "START_BOARD_ID_3"})
        EXPECT_TRUE(s.label(id).isEmpty()) << id;
    EXPECT_TRUE(s.label("START_PRODUCT").isEmpty());
}

TEST_F(SourceSwitch, RefusedCaptureLeavesNoEarlierBlockUnderItsTitle) {
    s.connect();
    s.item("MENU_COLLECTION")->trigger();
    configure(4096, 1);
    collect();
    ASSERT_NE(plotTitle().find("4096"), std::string::npos) << plotTitle();

    // A clock divider of 0 refuses the next capture before it starts: the window says so
    // instead of showing the earlier block as if it were the new one.
    std::int32_t word = 0;
    ASSERT_EQ(s.rig.session.link.readRegister(0, 0, &word, 24), 0);
    ASSERT_EQ(s.rig.session.link.writeRegister(0, 0, word & ~0xF), 0);
    s.rig.messages.shown.clear();
    s.rig.takeFrames();
    collect();
    ASSERT_EQ(s.rig.messages.shown.size(), 1u);
    EXPECT_EQ(s.rig.messages.shown[0].second, collection::msg::kClockDividerZero);
    EXPECT_EQ(startFrames("f8 02 04 00 08 01"), 0);
    EXPECT_NE(plotTitle().find("No analysis"), std::string::npos) << plotTitle();
    EXPECT_EQ(plotTitle().find("4096"), std::string::npos) << plotTitle();
    EXPECT_NE(status().find("The capture failed"), std::string::npos) << status();
}
