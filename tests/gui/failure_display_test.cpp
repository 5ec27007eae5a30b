// Every window after a failed board operation: the values it shows as the device's are the
// ones it showed before, whatever step failed (write, read, lost board).
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "calibration/calibration_panel.h"
#include "conversion/conversion_panel.h"
#include "diagnostics/debug_panel.h"
#include "diagnostics/eeprom_panel.h"
#include "fault_rig.h"
#include "panel_context.h"
#include "typing.h"
#include "setup/setup_panel.h"
#include "temperature/temperature_panel.h"

using namespace evkit;
using test::Fault;

namespace {

// What the window shows: every named entry, box and table cell, except the user's inputs.
std::map<std::string, std::string> displayed(QWidget& w, const std::set<std::string>& inputs) {
    std::map<std::string, std::string> out;
    for (auto* c : w.findChildren<QWidget*>()) {
        const auto name = c->objectName().toStdString();
        if (name.empty() || inputs.count(name)) continue;
        if (auto* s = qobject_cast<QAbstractSpinBox*>(c)) {
            out[name] = s->text().toStdString();
        } else if (auto* e = qobject_cast<QLineEdit*>(c)) {
            if (!qobject_cast<QAbstractSpinBox*>(e->parentWidget()))
                out[name] = e->text().toStdString();
        } else if (auto* b = qobject_cast<QCheckBox*>(c)) {
            out[name] = b->isChecked() ? "checked" : "clear";
        } else if (auto* t = qobject_cast<QTableWidget*>(c)) {
            for (int r = 0; r < t->rowCount(); ++r)
                for (int k = 0; k < t->columnCount(); ++k)
                    if (auto* item = t->item(r, k))
                        out[name + "[" + std::to_string(r) + "," + std::to_string(k) + "]"] =
                            item->text().toStdString();
        }
    }
    return out;
}

template <class T>
T* child(QWidget& w, const char* name) {
    auto* c = w.findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// Types into an entry or a spin box and presses Enter, as a user commits a value.
void type(QWidget& w, const char* name, const QString& text) {
    auto* target = w.findChild<QWidget*>(name);
    ASSERT_NE(target, nullptr) << name;
    test::typeAndEnter(target, text);
}

void click(QWidget& w, const char* name) {
    if (auto* b = child<QAbstractButton>(w, name)) b->click();
}

struct Row {
    const char* name;
    // Builds and opens the window; may run successful operations to fill its displays.
    std::function<std::unique_ptr<QWidget>(test::PanelContext&)> open;
    std::function<void(test::PanelContext&, QWidget&)> act;
    std::set<std::string> inputs;
    std::vector<std::pair<Fault, int>> faults;
    bool messageBox = true;  // the failure is said in a message box (not on the console)
};

std::unique_ptr<QWidget> calibration(test::PanelContext& p) {
    auto w = std::make_unique<app::CalibrationPanel>(p.ctx);
    w->CAL_MNU();
    return w;
}
std::unique_ptr<QWidget> temperatureWindow(test::PanelContext& p) {
    auto w = std::make_unique<app::TemperaturePanel>(p.ctx);
    w->cbf_tempsettingwin();
    return w;
}

const std::vector<std::pair<Fault, int>> kWriteReadLost = {
    {Fault::WriteFails, 0}, {Fault::ReadFails, 0}, {Fault::BoardLost, 0}, {Fault::BoardLost, 1}};

const Row kRows[] = {
    {"CalibrationWordEntry",
     calibration,
     [](auto&, QWidget& w) { type(w, "CAL_V1_AC_GAIN_HEX", "c00000"); },
     {},
     kWriteReadLost,
     true},
    {"CalibrationButton",
     calibration,
     [](auto&, QWidget& w) { click(w, "CAL_GAIN_V1"); },
     {},
     {{Fault::WriteFails, 0}, {Fault::ReadFails, 0}, {Fault::BoardLost, 0}, {Fault::BoardLost, 1}}},
    {"CalibrationRefresh",
     calibration,
     [](test::PanelContext& p, QWidget& w) {
         p.rig.board.device().setReg(1, 2, 0x123456);
         click(w, "CAL_REFRESH");
     },
     {},
     {{Fault::ReadFails, 0}, {Fault::BoardLost, 0}}},
    {"TemperatureGainWord",
     temperatureWindow,
     [](auto&, QWidget& w) { type(w, "TEMP_GAIN_WORD", "40000"); },
     {},
     kWriteReadLost,
     true},
    {"TemperatureOffsetWord",
     temperatureWindow,
     [](auto&, QWidget& w) { type(w, "TEMP_OFFSET_WORD", "c00000"); },
     {},
     kWriteReadLost,
     true},
    {"TemperatureGainValue",
     temperatureWindow,
     [](auto&, QWidget& w) { type(w, "TEMP_GAIN_VALUE", "3.25520703125"); },
     {},
     kWriteReadLost,
     true},
    {"TemperatureOffsetValue",
     temperatureWindow,
     [](auto&, QWidget& w) { type(w, "TEMP_OFFSET_VALUE", "-416.6665"); },
     {},
     kWriteReadLost,
     true},
    {"TemperatureScaleUp",
     temperatureWindow,
     [](auto&, QWidget& w) { click(w, "TEMP_SCALE_UP"); },
     {},
     // A failed read-back after the gain write took effect is left out: the device is then
     // on the new scale, and the boxes say so (a second change must not scale it again).
     {{Fault::ReadFails, 0}, {Fault::WriteFails, 0}, {Fault::BoardLost, 2}},
     true},
    {"TemperatureQuickSet",
     temperatureWindow,
     [](auto&, QWidget& w) {
         child<QLineEdit>(w, "TEMP_QUICK_SET_VALUE")->setText("10");
         click(w, "TEMP_QUICK_SET");
     },
     {"TEMP_QUICK_SET_VALUE"},
     {{Fault::ReadFails, 0}, {Fault::WriteFails, 0}, {Fault::BoardLost, 1}},
     true},
    {"TemperatureRefresh",
     temperatureWindow,
     [](test::PanelContext& p, QWidget& w) {
         p.rig.board.device().setReg(1, 23, 0x123456);
         click(w, "TEMP_REFRESH");
     },
     {},
     {{Fault::ReadFails, 0}, {Fault::BoardLost, 0}}},
    {"ConversionLineFrequency",
     [](test::PanelContext& p) -> std::unique_ptr<QWidget> {
         auto w = std::make_unique<conversion::ConversionPanel>(p.ctx);
         w->openFromMenu();
         type(*w, "CONV_LINE_FREQ_ENTRY", "50");
         return w;
     },
     [](auto&, QWidget& w) { type(w, "CONV_LINE_FREQ_ENTRY", "60"); },
     {"CONV_LINE_FREQ_ENTRY"},
     {{Fault::ReadFails, 0}, {Fault::WriteFails, 0}, {Fault::BoardLost, 1}}},
    {"SetupValueEntry",
     [](test::PanelContext& p) -> std::unique_ptr<QWidget> {
         auto w = std::make_unique<app::SetupPanel>(p.ctx);
         w->SETUP();
         return w;
     },
     [](auto&, QWidget& w) { type(w, "SETUP_PULSE_RATE", "200"); },
     {},
     kWriteReadLost},
    {"DebugRead",
     [](test::PanelContext& p) -> std::unique_ptr<QWidget> {
         auto w = std::make_unique<app::DebugPanel>(p.ctx);
         w->openFromMenu();
         child<QSpinBox>(*w, "DEBUG_ADDRESS")->setValue(15);
         click(*w, "DEBUG_READ");
         return w;
     },
     [](test::PanelContext& p, QWidget& w) {
         p.rig.board.device().setReg(0, 15, 0x123456);
         click(w, "DEBUG_READ");
     },
     {"DEBUG_ADDRESS", "DEBUG_WRITE_WORD", "DEBUG_COMMAND", "DEBUG_BULK_COUNT"},
     {{Fault::ReadFails, 0}, {Fault::BoardLost, 0}},
     true},
    {"EepromRead",
     [](test::PanelContext& p) -> std::unique_ptr<QWidget> {
         auto w = std::make_unique<app::EepromPanel>(p.ctx);
         w->openFromMenu();
         child<QSpinBox>(*w, "EEPROM_BYTE_COUNT")->setValue(48);
         click(*w, "EEPROM_READ");
         return w;
     },
     [](test::PanelContext& p, QWidget& w) {
         p.rig.board.device().eeprom.fill(0x42);
         click(w, "EEPROM_READ");
     },
     {"EEPROM_BYTE_COUNT"},
     {{Fault::ReadFails, 0}},
     false},
};

class FailureDisplay : public ::testing::TestWithParam<Row> {};

TEST_P(FailureDisplay, FailedOperationLeavesTheDeviceValuesShown) {
    const Row& row = GetParam();
    for (const auto& [fault, skip] : row.faults) {
        SCOPED_TRACE(std::string(test::faultName(fault)) + " at " + std::to_string(skip));
        test::PanelContext p;
        test::FaultTap tap(p.rig.board);
        p.rig.link.setTransport(tap);
        ASSERT_EQ(p.rig.open(), 0);
        auto window = row.open(p);
        p.rig.messages.shown.clear();
        p.rig.takeFrames();
        const auto before = displayed(*window, row.inputs);
        tap.arm(fault, skip);
        row.act(p, *window);
        ASSERT_TRUE(tap.triggered());
        for (const auto& [name, shown] : displayed(*window, row.inputs))
            EXPECT_EQ(shown, before.at(name)) << name;
        if (row.messageBox) {
            ASSERT_FALSE(p.rig.messages.shown.empty());
            EXPECT_EQ(p.rig.messages.shown[0].second, test::faultMessage(fault));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, FailureDisplay, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
