#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "diagnostics/debug_panel.h"
#include "diagnostics/eeprom_panel.h"
#include "diagnostics/register_assist_window.h"
#include "panel_context.h"

using namespace evkit;
using Frames = std::vector<std::string>;

namespace {

struct PanelRig : test::PanelContext {
    PanelRig() {
        EXPECT_EQ(rig.open(), 0);
        rig.takeFrames();
    }
};

template <typename T>
T* child(QWidget& w, const char* name) {
    auto* c = w.findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

void saveShot(QWidget& w, const char* file) {
    if (const char* dir = std::getenv("EVKIT_SCREENSHOT_DIR")) {
        w.show();
        QApplication::processEvents();
        w.grab().save(QString("%1/%2").arg(dir, file));
    }
}

}  // namespace

TEST(DebugPanel, SingleAccessCommandAndMenuCheckMark) {
    PanelRig p;
    app::DebugPanel panel(p.ctx);
    panel.openFromMenu();
    EXPECT_TRUE(p.checks["MENU_DEBUG"]);

    child<QSpinBox>(panel, "DEBUG_ADDRESS")->setValue(12);
    child<QSpinBox>(panel, "DEBUG_WRITE_WORD")->setValue(0x00FFFF);
    child<QPushButton>(panel, "DEBUG_WRITE")->click();
    EXPECT_EQ(p.rig.takeFrames(), Frames{"58 ff ff 00 00 00"});

    p.rig.board.device().page = 2;
    p.rig.board.device().setReg(2, 12, 0x00ABCD);
    child<QPushButton>(panel, "DEBUG_READ")->click();
    EXPECT_EQ(child<QSpinBox>(panel, "DEBUG_READ_WORD")->value(), 0x00ABCD);
    EXPECT_EQ(p.rig.takeFrames(), Frames{"18 00 00 00 00 00"});
    // A failed read has no word: the box keeps the last one read, not a placeholder 0.
    p.rig.board.failNextRead();
    child<QPushButton>(panel, "DEBUG_READ")->click();
    EXPECT_EQ(child<QSpinBox>(panel, "DEBUG_READ_WORD")->value(), 0x00ABCD);
    EXPECT_FALSE(p.rig.messages.shown.empty());
    p.rig.takeFrames();

    child<QSpinBox>(panel, "DEBUG_COMMAND")->setValue(0xA0);
    child<QPushButton>(panel, "DEBUG_SEND_COMMAND")->click();
    EXPECT_EQ(p.rig.takeFrames(), Frames{"a0 00 00 00 00 00"});

    panel.close();
    EXPECT_FALSE(p.checks["MENU_DEBUG"]);
}

TEST(DebugPanel, BulkReadShowsProgressCanBeStoppedAndSaysWhereTheDumpIs) {
    PanelRig p;
    app::DebugPanel panel(p.ctx);
    const std::string dump = ::testing::TempDir() + "gui_register_dump.txt";
    std::filesystem::remove(dump);
    panel.setDumpPath(dump);
    child<QSpinBox>(panel, "DEBUG_ADDRESS")->setValue(0);
    child<QSpinBox>(panel, "DEBUG_BULK_COUNT")->setValue(500);
    auto* stop = child<QPushButton>(panel, "DEBUG_STOP");
    auto* bulk = child<QPushButton>(panel, "DEBUG_BULK_READ");
    auto* progress = child<QProgressBar>(panel, "DEBUG_PROGRESS");
    int events = 0;
    p.rig.pump.onProcess = [&] {
        // While the run goes on: only the stop button is available.
        EXPECT_TRUE(stop->isEnabled());
        EXPECT_FALSE(bulk->isEnabled());
        if (++events == 4) stop->click();
    };
    EXPECT_EQ(panel.cbf_bulk_read(), 0);
    EXPECT_EQ(progress->value(), 4);
    EXPECT_EQ(progress->maximum(), 500);
    EXPECT_EQ(panel.bulkTable().size(), 4u);
    EXPECT_TRUE(bulk->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    const QString status = child<QLabel>(panel, "DEBUG_STATUS")->text();
    EXPECT_TRUE(status.contains("Stopped")) << status.toStdString();
    // The whole path is in the tooltip; the line shows it shortened to the room there is.
    const QString whole = child<QLabel>(panel, "DEBUG_STATUS")->toolTip();
    EXPECT_TRUE(whole.contains(QString::fromStdString(std::filesystem::absolute(dump).string())))
        << whole.toStdString();
    EXPECT_TRUE(std::filesystem::exists(dump));
}

TEST(DebugPanel, FailedBulkReadWritesNoFile) {
    PanelRig p;
    app::DebugPanel panel(p.ctx);
    const std::string dump = ::testing::TempDir() + "gui_register_dump_fail.txt";
    std::filesystem::remove(dump);
    panel.setDumpPath(dump);
    child<QSpinBox>(panel, "DEBUG_BULK_COUNT")->setValue(3);
    p.rig.board.failNextRead();
    EXPECT_NE(panel.cbf_bulk_read(), 0);
    EXPECT_TRUE(p.rig.messages.contains("Unable to perform bulk read"));
    EXPECT_FALSE(std::filesystem::exists(dump));
    EXPECT_EQ(child<QLabel>(panel, "DEBUG_STATUS")->text(), "Bulk read failed; no file written.");
}

TEST(DebugPanel, AssistDecodesTypedAndDeviceWords) {
    PanelRig p;
    app::DebugPanel panel(p.ctx);
    saveShot(panel, "debug_panel.png");
    child<QPushButton>(panel, "DEBUG_ASSIST")->click();
    auto* assist = panel.assistWindow();
    ASSERT_NE(assist, nullptr);
    auto* reg = child<QComboBox>(*assist, "ASSIST_REGISTER");
    auto* word = child<QSpinBox>(*assist, "ASSIST_WORD");
    auto* table = child<QTableWidget>(*assist, "ASSIST_FIELDS");
    reg->setEditText("0:0");
    word->setValue(0x121016);
    std::map<std::string, std::string> shown;
    for (int r = 0; r < table->rowCount(); ++r)
        shown[table->item(r, 0)->text().toStdString()] = table->item(r, 2)->text().toStdString();
    EXPECT_EQ(shown["clock divider K"], "6");
    EXPECT_EQ(shown["PC1"], "18");

    p.rig.board.device().setReg(1, 19, 4000);
    reg->setEditText("1:19");
    EXPECT_EQ(assist->readFromDevice(), 0);
    EXPECT_EQ(word->value(), 4000);
    EXPECT_EQ(table->item(0, 2)->text(), "4000");
    EXPECT_EQ(p.rig.takeFrames(),
              (Frames{"7e 01 00 00 00 00", "26 00 00 00 00 00", "7e 00 00 00 00 00"}));

    reg->setEditText("nonsense");
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_TRUE(child<QLabel>(*assist, "ASSIST_NAME")->text().contains("page:address"));
    reg->setEditText("1:16 operational mode register");
    EXPECT_GT(table->rowCount(), 10);
    saveShot(*assist, "register_assist.png");
}

TEST(EepromPanel, ReadFillsTheRowsAskedForAndZerosTheRest) {
    PanelRig p;
    app::EepromPanel panel(p.ctx);
    panel.openFromMenu();
    EXPECT_TRUE(p.checks["MENU_EEPROM"]);
    for (int r = 1; r <= 60; ++r) panel.setRowValue(r, 9);
    child<QSpinBox>(panel, "EEPROM_BYTE_COUNT")->setValue(10);
    EXPECT_EQ(panel.cbfrd_br(), 0);
    const auto& eeprom = p.rig.board.device().eeprom;
    for (int r = 1; r <= 10; ++r) EXPECT_EQ(panel.rowValue(r), eeprom[r - 1]) << r;
    for (int r = 11; r <= 48; ++r) EXPECT_EQ(panel.rowValue(r), 0) << r;
    EXPECT_EQ(panel.rowValue(49), 9);
    EXPECT_TRUE(child<QPushButton>(panel, "EEPROM_READ")->isEnabled());
    saveShot(panel, "eeprom_panel.png");

    child<QSpinBox>(panel, "EEPROM_BYTE_COUNT")->setValue(49);
    p.rig.takeFrames();
    EXPECT_NE(panel.cbfrd_br(), 0);
    EXPECT_EQ(p.rig.messages.shown.back().first, "Error");
    EXPECT_TRUE(p.rig.takeFrames().empty());
    panel.close();
    EXPECT_FALSE(p.checks["MENU_EEPROM"]);
}

TEST(EepromPanel, WriteShowsTheBusyIndicatorAndSendsTheTableBytes) {
    PanelRig p;
    app::EepromPanel panel(p.ctx);
    panel.show();
    auto* busy = child<QLabel>(panel, "EEPROM_BUSY");
    auto* write = child<QPushButton>(panel, "EEPROM_WRITE");
    child<QSpinBox>(panel, "EEPROM_BYTE_COUNT")->setValue(0);
    EXPECT_EQ(panel.BOOTBURN(), 0);
    EXPECT_TRUE(p.rig.takeFrames().empty());

    panel.setRowValue(1, 0x12);
    panel.setRowValue(2, 0x34);
    panel.setRowValue(3, 0x56);
    child<QSpinBox>(panel, "EEPROM_BYTE_COUNT")->setValue(3);
    int during = 0;
    p.rig.pump.onProcess = [&] {
        EXPECT_TRUE(busy->isVisible());
        EXPECT_FALSE(write->isEnabled());
        if (++during == 1) saveShot(panel, "eeprom_panel_writing.png");
    };
    EXPECT_EQ(panel.BOOTBURN(), 0);
    EXPECT_EQ(during, 3);
    EXPECT_FALSE(busy->isVisible());
    EXPECT_TRUE(write->isEnabled());
    EXPECT_EQ(p.rig.takeFrames(),
              (Frames{"f7 00 12 00 00 00", "f7 01 34 00 00 00", "f7 02 56 00 00 00"}));

    // Read back what was written.
    p.rig.pump.onProcess = nullptr;
    for (int r = 1; r <= 3; ++r) panel.setRowValue(r, 0);
    EXPECT_EQ(panel.cbfrd_br(), 0);
    EXPECT_EQ(panel.rowValue(1), 0x12);
    EXPECT_EQ(panel.rowValue(3), 0x56);

    panel.setRowValue(2, 300);  // not a byte: refused before anything is sent
    p.rig.takeFrames();
    EXPECT_NE(panel.BOOTBURN(), 0);
    EXPECT_TRUE(p.rig.takeFrames().empty());
}
