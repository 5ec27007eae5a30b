// The desktop program as a user meets it during a working session on the virtual board:
// refused commands while the monitor or an FFT average runs, the conversion log header, what
// the data window shows after refused or failed analyses, disk mode and the board windows,
// and the choice of the board's USB device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/usb_device_dialog.h"
#include "board/usb_transport.h"
#include "collection/collection_settings_window.h"
#include "collection/data_collection_panel.h"
#include "conversion/conversion_log.h"
#include "conversion/conversion_panel.h"
#include "panel_context.h"
#include "shell_rig.h"
#include "ui/graph_widget.h"

using namespace evkit;
using evkit::test::ShellRig;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Sets an environment variable for the life of the object, restoring it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

struct WorkingSession : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        s.connect();
        ASSERT_TRUE(s.checked("MENU_USB"));
        s.rig.messages.shown.clear();
        s.rig.takeFrames();
    }
    template <class W = QWidget>
    W* in(const char* panel, const char* name) {
        QWidget* window = s.shell.window(panel);
        EXPECT_NE(window, nullptr) << panel;
        W* found = window ? window->findChild<W*>(name) : nullptr;
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(const char* panel, const char* name) {
        if (auto* b = in<QPushButton>(panel, name)) QTest::mouseClick(b, Qt::LeftButton);
    }
    conversion::ConversionPanel& conv() {
        return *dynamic_cast<conversion::ConversionPanel*>(s.shell.window("pnl_conv"));
    }
    app::DataCollectionPanel& data() {
        return *dynamic_cast<app::DataCollectionPanel*>(s.shell.window("pnl_data"));
    }
    std::string file(const char* name) { return dir.filePath(name).toStdString(); }
    std::string busyNoticesOnConsole() const {
        std::string out;
        std::istringstream lines(s.rig.console.output);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("The board is busy", 0) == 0) out += line + "\n";
        return out;
    }

    // Every command of another window or of the menu that the running operation refuses,
    // as a user reaches it.
    void triggerEveryRefusal(bool duringMonitor) {
        s.item("MENU_USB")->trigger();
        s.item("MENU_DISK")->trigger();  // refused before its file dialog
        click("pnl_setup", "SETUP_REFRESH");
        click("pnl_eeprom", "EEPROM_READ");
        click("pnl_debug", "DEBUG_READ");
        click("pnl_pulse", "PULSE_START");
        if (duringMonitor)
            data().COLLECT();
        else
            click("pnl_conv", "CONV_CONTINUOUS");
    }

    QTemporaryDir dir;
    ShellRig s;
};

}  // namespace

// While the monitor streams, every refused command and the log's file dialog leave it
// running: no modal box, the refusal in the status bar and on the console, and records
// keep arriving while the file dialog is open.
TEST_F(WorkingSession, MonitorRunGoesOnThroughRefusalsAndTheLogDialog) {
    for (const char* item : {"MENU_SETUP", "MENU_EEPROM", "MENU_DEBUG", "MENU_PULSE",
                             "MENU_COLLECTION", "MENU_CONVERSION"})
        s.item(item)->trigger();
    s.rig.messages.shown.clear();
    s.rig.console.output.clear();

    s.dialogs.holdLater = true;
    s.dialogs.answers.push_back(file("run.txt"));
    int updatesAtAsk = -1, updatesAtAnswer = -1;
    s.dialogs.onAsk = [&] { updatesAtAsk = conv().monitor().updates(); };
    s.dialogs.onAnswer = [&] { updatesAtAnswer = conv().monitor().updates(); };
    bool triggered = false;
    s.rig.pump.onProcess = [&] {
        const int updates = conv().monitor().updates();
        if (updates >= 2 && !triggered) {
            triggered = true;
            triggerEveryRefusal(true);
            click("pnl_conv", "LOG_OPEN");
        }
        if (s.dialogs.held && updates >= updatesAtAsk + 3) s.dialogs.answerHeld();
        if (updates >= 8) click("pnl_conv", "CONV_STOP");
    };
    click("pnl_conv", "CONV_CONTINUOUS");
    s.rig.pump.onProcess = nullptr;

    EXPECT_TRUE(triggered);
    EXPECT_EQ(conv().monitor().updates(), 8);
    EXPECT_TRUE(s.rig.messages.shown.empty())
        << s.rig.messages.shown.front().first << ": " << s.rig.messages.shown.front().second;
    // USB Board, Disk File, Setup refresh, EEPROM read, register read, pulse count, Collect.
    const std::string notices = busyNoticesOnConsole();
    EXPECT_EQ(std::count(notices.begin(), notices.end(), '\n'), 7) << notices;
    EXPECT_NE(notices.find("the conversion monitor is running"), std::string::npos);
    EXPECT_TRUE(s.start().statusBar()->currentMessage().startsWith("The board is busy"));
    EXPECT_EQ(s.rig.session.port_number, kPortUsb);
    // The file dialog stayed open over three updates, and the log was then created.
    ASSERT_GE(updatesAtAsk, 2);
    EXPECT_GE(updatesAtAnswer - updatesAtAsk, 3);
    EXPECT_EQ(in<QLineEdit>("pnl_conv", "LOG_PATH")->text().toStdString(), file("run.txt"));
    EXPECT_EQ(readAll(file("run.txt")).rfind("Device=PM7014\n", 0), 0u);
}

// The same during an FFT average: all eight blocks are captured and averaged.
TEST_F(WorkingSession, FftAverageGoesOnThroughRefusalsAndTheLogDialog) {
    for (const char* item : {"MENU_SETUP", "MENU_EEPROM", "MENU_DEBUG", "MENU_PULSE",
                             "MENU_CONVERSION", "MENU_COLLECTION"})
        s.item(item)->trigger();
    click("pnl_data", "DATA_CONFIG");
    auto* settings = data().settingsWindow();
    ASSERT_NE(settings, nullptr);
    auto* samples = settings->findChild<QComboBox*>("CONFIG_SAMPLES");
    samples->setCurrentIndex(samples->findData(1024));
    settings->findChild<QSpinBox*>("CONFIG_AVERAGE")->setValue(8);
    QTest::mouseClick(settings->findChild<QPushButton*>("POPCONFIG_OK"), Qt::LeftButton);
    auto* ring = in<QComboBox>("pnl_data", "DATA_TEST");
    ring->setCurrentIndex(collection::kTestFft);
    emit ring->activated(collection::kTestFft);
    s.rig.messages.shown.clear();
    s.rig.console.output.clear();

    auto* averages = in<QSpinBox>("pnl_data", "DATA_AVERAGE_COUNT");
    s.dialogs.holdLater = true;
    s.dialogs.answers.push_back(file("fft.txt"));
    int blockAtAsk = -1, blockAtAnswer = -1;
    s.dialogs.onAsk = [&] { blockAtAsk = averages->value(); };
    s.dialogs.onAnswer = [&] { blockAtAnswer = averages->value(); };
    bool triggered = false;
    s.rig.pump.onProcess = [&] {
        if (!data().running()) return;
        if (averages->value() >= 3 && !triggered) {
            triggered = true;
            triggerEveryRefusal(false);
            click("pnl_conv", "LOG_OPEN");
        }
        if (s.dialogs.held && averages->value() >= blockAtAsk + 3) s.dialogs.answerHeld();
    };
    // The user's clicks arrive while the capture waits for the board: each redraw of the
    // averaged spectrum is followed by a round of event processing, as during that wait.
    auto redrawn = QObject::connect(data().graph(), &QCustomPlot::afterReplot, [&] {
        if (data().running()) s.rig.link.processEvents();
    });
    click("pnl_data", "DATA_COLLECT");
    QObject::disconnect(redrawn);
    s.rig.pump.onProcess = nullptr;

    EXPECT_TRUE(triggered);
    ASSERT_TRUE(data().fftTest().last());
    EXPECT_EQ(data().fftTest().last()->block, 8);
    EXPECT_EQ(averages->value(), 8);
    EXPECT_TRUE(s.rig.messages.shown.empty())
        << s.rig.messages.shown.front().first << ": " << s.rig.messages.shown.front().second;
    const std::string notices = busyNoticesOnConsole();
    EXPECT_EQ(std::count(notices.begin(), notices.end(), '\n'), 7) << notices;
    EXPECT_NE(notices.find("data collection is running"), std::string::npos);
    ASSERT_GE(blockAtAsk, 3);
    EXPECT_GE(blockAtAnswer - blockAtAsk, 3);
    EXPECT_FALSE(readAll(file("fft.txt")).empty());
}

// A log opened during a run, before the setup and calibration windows were ever shown,
// records the device's gains and offsets, not zeros.
TEST_F(WorkingSession, LogOpenedDuringARunRecordsTheValuesInForce) {
    // An offset that is not zero, besides the device's own gains.
    ASSERT_EQ(s.rig.link.writeRegister(1, 0, 0x012345), 0);
    conversion::LogHeaderValues expected;
    ASSERT_EQ(conversion::readLogHeaderValues(s.rig.link, 14, &expected), 0);
    expected.chip = s.rig.session.chip;
    conversion::LogHeaderValues zeros;
    zeros.chip = s.rig.session.chip;
    ASSERT_NE(conversion::logHeaderText(expected), conversion::logHeaderText(zeros));

    s.item("MENU_CONVERSION")->trigger();
    s.dialogs.answers.push_back(file("log.txt"));
    s.rig.pump.onProcess = [&] {
        const int updates = conv().monitor().updates();
        if (updates == 1 && readAll(file("log.txt")).empty()) click("pnl_conv", "LOG_OPEN");
        if (updates >= 2) click("pnl_conv", "CONV_STOP");
    };
    click("pnl_conv", "CONV_CONTINUOUS");
    s.rig.pump.onProcess = nullptr;

    EXPECT_TRUE(s.rig.messages.shown.empty());
    const std::string log = readAll(file("log.txt"));
    EXPECT_EQ(log, conversion::logHeaderText(expected));
    EXPECT_NE(log, conversion::logHeaderText(zeros));
}

// After disk mode has closed the board, the board windows are closed too, and a command
// still reached in one of them is refused at once: no frame, no connection-error box, no
// wait for a board that is not there.
TEST_F(WorkingSession, DiskModeClosesTheBoardWindowsAndRefusesTheirCommands) {
    for (const char* item : {"MENU_SETUP", "MENU_EEPROM", "MENU_CONVERSION", "MENU_DEBUG"})
        s.item(item)->trigger();
    s.dialogs.answers.push_back(file("stored.dat"));
    s.item("MENU_DISK")->trigger();
    ASSERT_EQ(s.rig.session.port_number, kPortDisk);
    for (const char* panel : {"pnl_setup", "pnl_eeprom", "pnl_conv", "pnl_debug"})
        EXPECT_FALSE(s.shell.window(panel)->isVisible()) << panel;
    for (const char* item : {"MENU_SETUP", "MENU_EEPROM", "MENU_CONVERSION", "MENU_DEBUG"})
        EXPECT_FALSE(s.checked(item)) << item;
    s.rig.messages.shown.clear();
    s.rig.console.output.clear();
    s.rig.takeFrames();

    const double before = s.rig.clock.now();
    for (const char* button : {"SETUP_REFRESH"}) in<QPushButton>("pnl_setup", button)->click();
    in<QPushButton>("pnl_eeprom", "EEPROM_READ")->click();
    in<QPushButton>("pnl_conv", "CONV_SINGLE")->click();
    in<QPushButton>("pnl_debug", "DEBUG_READ")->click();

    EXPECT_LT(s.rig.clock.now() - before, 0.5);
    EXPECT_TRUE(s.rig.takeFrames().empty());
    for (const auto& [title, text] : s.rig.messages.shown)
        EXPECT_EQ(text.find("USB connection error"), std::string::npos) << text;
    EXPECT_NE(s.rig.console.output.find("The board is closed while a disk file is analysed"),
              std::string::npos);

    // USB Board opens the board again for every window.
    s.connect();
    ASSERT_TRUE(s.checked("MENU_USB"));
    s.rig.takeFrames();
    in<QPushButton>("pnl_debug", "DEBUG_READ")->click();
    EXPECT_FALSE(s.rig.takeFrames().empty());
}

// Connection ▸ USB Device… lists the USB devices, saves the chosen one in the file the
// command line reads, and the connection error without an ID points at it.
TEST_F(WorkingSession, UsbDeviceDialogSavesTheBoardIdForBothPrograms) {
    ScopedEnv config("XDG_CONFIG_HOME", dir.path().toUtf8().constData());
    ScopedEnv env(kUsbIdEnvironment, nullptr);
    ASSERT_FALSE(resolveUsbId("").id);

    // Without an ID, USB Board says where to choose one.
    UsbTransport unconfigured(app::desktopUsbIdSetting(""));
    s.rig.link.setTransport(unconfigured);
    s.rig.messages.shown.clear();
    s.connect();
    ASSERT_EQ(s.rig.messages.shown.size(), 1u);
    EXPECT_NE(s.rig.messages.shown[0].second.find("Connection \u25B8 USB Device\u2026"),
              std::string::npos)
        << s.rig.messages.shown[0].second;
    s.rig.link.setTransport(s.rig.board);

    QAction* item = s.item("MENU_USB_DEVICE");
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isCheckable());
    EXPECT_TRUE(item->isEnabled());
    s.start().listUsbDevices = [](std::vector<UsbDeviceInfo>* devices, std::string*) {
        *devices = {{1, 4, {0xabcd, 0x0001}, "Test keyboard", ""},
                    {1, 7, {0x1234, 0x5678}, "Test evaluation board", ""}};
        return 0;
    };
    std::optional<UsbId> applied;
    s.start().onUsbIdChosen = [&](const UsbId& id) { applied = id; };
    item->trigger();
    auto* dialog = s.start().findChild<app::UsbDeviceDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    auto* list = dialog->findChild<QListWidget*>("USB_DEVICE_LIST");
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(1)->text().contains("1234:5678"));
    EXPECT_TRUE(list->item(1)->text().contains("Test evaluation board"));
    auto* save = dialog->findChild<QPushButton*>("USB_DEVICE_SAVE");
    EXPECT_FALSE(save->isEnabled());
    const QRect row = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_TRUE(save->isEnabled());
    QTest::mouseClick(save, Qt::LeftButton);

    const std::string path = usbIdConfigPath();
    EXPECT_EQ(path, dir.filePath("evkit714/usb-id").toStdString());
    EXPECT_NE(readAll(path).find("usb-id = 1234:5678\n"), std::string::npos) << readAll(path);
    const UsbIdSetting now = resolveUsbId("");
    ASSERT_TRUE(now.id);
    EXPECT_EQ(*now.id, (UsbId{0x1234, 0x5678}));
    EXPECT_EQ(now.source, path);
    ASSERT_TRUE(applied);
    EXPECT_EQ(*applied, (UsbId{0x1234, 0x5678}));
    EXPECT_TRUE(list->item(1)->text().endsWith("[board]"));
    dialog->close();
}

// A configuration file kept elsewhere and linked in (dotfiles) stays linked: the dialog
// writes the link's target, and the program reads the new ID through the link.
TEST(UsbDeviceDialogFile, ALinkedConfigurationFileStaysALink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string kept = dir.filePath("dotfiles-usb-id").toStdString();
    const std::string linked = dir.filePath("evkit714/usb-id").toStdString();
    std::ofstream(kept) << "usb-id = aaaa:bbbb\n";
    ASSERT_TRUE(QDir().mkpath(dir.filePath("evkit714")));
    ASSERT_EQ(::symlink(kept.c_str(), linked.c_str()), 0);
    std::string problem;
    ASSERT_TRUE(app::UsbDeviceDialog::saveUsbId(linked, UsbId{0x1234, 0x5678}, &problem))
        << problem;
    EXPECT_TRUE(QFileInfo(QString::fromStdString(linked)).isSymLink());
    std::ifstream in(kept);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find("usb-id = 1234:5678\n"), std::string::npos) << text;
}

namespace {

struct DataWindow : ::testing::Test, test::PanelContext {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(rig.open(), 0);
        panel.COLLECTION();
        rig.takeFrames();
    }
    template <class W = QWidget>
    W* find(const char* name) {
        auto* w = panel.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void configure(int samples, int average = 1, int binWidth = 256) {
        QTest::mouseClick(find<QPushButton>("DATA_CONFIG"), Qt::LeftButton);
        auto* w = panel.settingsWindow();
        ASSERT_NE(w, nullptr);
        auto* count = w->findChild<QComboBox*>("CONFIG_SAMPLES");
        count->setCurrentIndex(count->findData(samples));
        ASSERT_EQ(count->currentData().toInt(), samples);
        if (auto* a = w->findChild<QSpinBox*>("CONFIG_AVERAGE"); a && a->isEnabled())
            a->setValue(average);
        w->findChild<QSpinBox*>("CONFIG_BIN_WIDTH")->setValue(binWidth);
        QTest::mouseClick(w->findChild<QPushButton*>("POPCONFIG_OK"), Qt::LeftButton);
    }
    void choose(int test) {
        auto* ring = find<QComboBox>("DATA_TEST");
        ring->setCurrentIndex(test);
        emit ring->activated(test);
    }
    void collect() { QTest::mouseClick(find<QPushButton>("DATA_COLLECT"), Qt::LeftButton); }
    // The result displays that show a value.
    std::vector<std::string> resultsShown() {
        std::vector<std::string> out;
        for (int i = 1; i <= 5; ++i) {
            auto* d = find<QLineEdit>(QString("DATA_RESULT_%1").arg(i).toUtf8().constData());
            if (d->isVisible() && !d->text().isEmpty()) out.push_back(d->text().toStdString());
        }
        return out;
    }
    QString graphTitle() { return panel.graph()->title(); }
    bool messageShown(const std::string& text) {
        for (const auto& m : rig.messages.shown)
            if (m.second.find(text) != std::string::npos) return true;
        return false;
    }

    QTemporaryDir dir;
    app::DataCollectionPanel panel{ctx};
};

}  // namespace

TEST_F(DataWindow, FftBeforeAnyCaptureSaysThereIsNoData) {
    configure(1024);
    rig.messages.shown.clear();
    choose(collection::kTestFft);
    EXPECT_FALSE(messageShown("Plotting Error"));
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_TRUE(find<QLabel>("DATA_STATUS")->text().startsWith("No data yet"));
    EXPECT_TRUE(resultsShown().empty());
    EXPECT_EQ(panel.graph()->plottableCount(), 0);
    EXPECT_TRUE(graphTitle().contains("no data yet")) << graphTitle().toStdString();
    EXPECT_TRUE(rig.takeFrames().empty());
}

TEST_F(DataWindow, RefusedAnalysesLeaveNoEarlierResultsBesideTheirCaptions) {
    struct Case {
        const char* what;
        int samples, binWidth, test;
        const char* message;
        const char* title;  // what the graph title says instead of the earlier analysis
    };
    const Case cases[] = {
        {"FFT of 16 samples", 16, 256, collection::kTestFft, "Sample Size too Small",
         "too few for the FFT"},
        {"histogram of one-code bins", 1024, 1, collection::kTestHistogram,
         "Distribution too large", "too large to bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // An analysed spectrum first: its figures and a histogram that can be saved.
        configure(1024, 1, 256);
        choose(collection::kTestHistogram);
        collect();
        ASSERT_TRUE(panel.lastHistogram());
        choose(collection::kTestFft);
        collect();
        ASSERT_EQ(resultsShown().size(), 5u);
        const std::vector<std::string> before = resultsShown();

        configure(c.samples, 1, c.binWidth);
        choose(collection::kTestTime);
        collect();
        rig.messages.shown.clear();
        choose(c.test);
        if (c.test == collection::kTestHistogram) collect();
        EXPECT_TRUE(messageShown(c.message));
        EXPECT_EQ(panel.graph()->plottableCount(), 0);
        EXPECT_TRUE(graphTitle().contains(c.title)) << graphTitle().toStdString();
        if (c.test == collection::kTestFft) {
            EXPECT_TRUE(resultsShown().empty());
        } else {
            // The statistics of this block stand; no histogram is left to save as this one.
            EXPECT_FALSE(panel.lastHistogram());
            for (const auto& v : resultsShown())
                EXPECT_EQ(std::find(before.begin(), before.end(), v), before.end()) << v;
        }
    }
}

TEST_F(DataWindow, StoppedAverageShowsTheBlocksAveraged) {
    configure(1024, 8);
    choose(collection::kTestFft);
    auto* averages = find<QSpinBox>("DATA_AVERAGE_COUNT");
    bool stopped = false;
    // Stop is pressed while the average of three blocks is on the screen.
    auto redrawn = QObject::connect(panel.graph(), &QCustomPlot::afterReplot, [&] {
        if (!stopped && panel.running() && averages->value() >= 3) {
            stopped = true;
            QTest::mouseClick(find<QPushButton>("DATA_STOP"), Qt::LeftButton);
        }
    });
    collect();
    QObject::disconnect(redrawn);
    ASSERT_TRUE(stopped);
    ASSERT_TRUE(panel.fftTest().last());
    const int averaged = panel.fftTest().last()->block;
    EXPECT_LT(averaged, 8);
    EXPECT_EQ(averages->value(), averaged);
    EXPECT_TRUE(find<QLabel>("DATA_STATUS")
                    ->text()
                    .contains(QString("after %1 of 8 blocks").arg(averaged)));
}

TEST_F(DataWindow, UnreadableFileNamesItAndLeavesNoEarlierAnalysis) {
    configure(256);
    collect();
    ASSERT_EQ(resultsShown().size(), 2u);  // maximum and minimum of the board capture
    rig.session.port_number = kPortDisk;
    rig.session.input_file = dir.filePath("missing.dat").toStdString();
    rig.link.closedForDiskMode = true;
    rig.messages.shown.clear();
    collect();
    EXPECT_EQ(panel.windowTitle(), dir.filePath("missing.dat"));
    EXPECT_EQ(panel.graph()->plottableCount(), 0);
    EXPECT_TRUE(graphTitle().contains("missing.dat could not be read"))
        << graphTitle().toStdString();
    EXPECT_TRUE(resultsShown().empty());
    EXPECT_TRUE(find<QLabel>("DATA_STATUS")->text().startsWith("The capture failed"));
}

// A screenshot of the start window never passes the virtual board off as a real one; the
// monitor's Stop is usable only while a continuous run goes on.
TEST_F(WorkingSession, SmallThingsUsersNotice) {
    EXPECT_EQ(s.label("START_MODE"), "Virtual board (simulation, no hardware)");
    EXPECT_FALSE(s.item("MENU_QUIT")->isCheckable());

    s.item("MENU_CONVERSION")->trigger();
    auto* stop = in<QPushButton>("pnl_conv", "CONV_STOP");
    EXPECT_FALSE(stop->isEnabled());
    bool enabledWhileRunning = false;
    s.rig.pump.onProcess = [&] {
        enabledWhileRunning = stop->isEnabled();
        if (conv().monitor().updates() >= 1) QTest::mouseClick(stop, Qt::LeftButton);
    };
    click("pnl_conv", "CONV_CONTINUOUS");
    s.rig.pump.onProcess = nullptr;
    EXPECT_TRUE(enabledWhileRunning);
    EXPECT_EQ(conv().monitor().updates(), 1);
    EXPECT_FALSE(stop->isEnabled());
}
