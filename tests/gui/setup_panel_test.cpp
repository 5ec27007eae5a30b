// The device setup window on the virtual board: commits through its controls, the
// bits 2..3 ring switch, files and the temperature window button.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <map>

#include "setup/setup_panel.h"
#include "sim_rig.h"
#include "typing.h"

using namespace evkit;

namespace {

// Stands in for the temperature window: counts the calls of its opening slot.
class FakeTemperatureWindow : public QWidget {
    Q_OBJECT
  public:
    int opened = 0;
  public slots:
    void cbf_tempsettingwin() { ++opened; }
};

struct SetupPanelFixture : ::testing::Test {
    SetupPanelFixture()
        : ctx{rig.session,
              rig.messages,
              rig.console,
              dialogs,
              rig.clock,
              [this](const std::string& item, bool on) { checks[item] = on; },
              [this](const std::string& name) -> QWidget* {
                  return name == "pnl_temp" ? &temperature : nullptr;
              }} {}
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        panel = std::make_unique<app::SetupPanel>(ctx);
        panel->SETUP();  // opens and refreshes
    }
    template <class W>
    W* find(const char* name) {
        auto* w = panel->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    int hex(const char* name) { return find<QSpinBox>(name)->value(); }
    sim::DeviceModel& device() { return rig.board.device(); }
    // Types a value over a value or word control's contents and presses Enter.
    void type(const char* name, const QString& text) {
        test::typeAndEnter(find<QWidget>(name), text);
    }

    test::SimRig rig;
    ScriptedFileDialogs dialogs;
    std::map<std::string, bool> checks;
    FakeTemperatureWindow temperature;
    app::AppContext ctx;
    std::unique_ptr<app::SetupPanel> panel;
};

}  // namespace

TEST_F(SetupPanelFixture, OpeningChecksTheMenuItemAndShowsTheDevice) {
    EXPECT_TRUE(checks["MENU_SETUP"]);
    EXPECT_EQ(hex("SETUP_CONFIG_HEX"), 1);
    EXPECT_EQ(find<QComboBox>("SETUP_CLOCK_DIVIDER")->currentIndex(), 1);
    EXPECT_EQ(find<QSpinBox>("SETUP_CYCLE_COUNT")->value(), 4000);
    EXPECT_EQ(find<QLineEdit>("SETUP_PULSE_RATE")->text(), "100");
    EXPECT_EQ(find<QLineEdit>("SETUP_EPSILON")->text(), "0.01249992847");
    panel->SETUP_PANEL();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(checks["MENU_SETUP"]);
}

TEST_F(SetupPanelFixture, FieldCommitWritesThePackedWordAndShowsTheReadBack) {
    device().setReg(0, 0, 0x0007E1);  // bits 5..10 set behind the window's back
    find<QCheckBox>("SETUP_CONFIG_BIT4")->click();
    EXPECT_EQ(device().reg(0, 0), 0x000011u);  // packed from the fields: bits 5..10 cleared
    EXPECT_EQ(hex("SETUP_CONFIG_HEX"), 0x11);
    type("SETUP_PC1", "-1");
    EXPECT_EQ(device().reg(0, 0), 0xFF0011u);
    EXPECT_EQ(hex("SETUP_CONFIG_HEX"), 0xFF0011);
    EXPECT_TRUE(find<QCheckBox>("SETUP_CONFIG_BIT4")->isChecked());
    EXPECT_EQ(find<QSpinBox>("SETUP_PC1")->value(), -1);

    find<QCheckBox>("SETUP_MASK_BIT23")->click();
    EXPECT_EQ(device().reg(0, 26), 0x800000u);
    EXPECT_EQ(hex("SETUP_MASK_HEX"), 0x800000);

    // A word commit decodes into every field.
    type("SETUP_CONTROL_HEX", "801020");
    EXPECT_EQ(device().reg(0, 28), 0x801020u);
    EXPECT_TRUE(find<QCheckBox>("SETUP_I1_GAIN")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("SETUP_I2_GAIN")->isChecked());
    EXPECT_EQ(find<QSpinBox>("SETUP_PC2")->value(), -128);
}

TEST_F(SetupPanelFixture, TheDeviceValueIsShownNotTheTypedOne) {
    type("SETUP_PULSE_RATE", "25.3");  // 101.2 truncates to 101
    EXPECT_EQ(device().reg(1, 14), 101u);
    EXPECT_EQ(find<QLineEdit>("SETUP_PULSE_RATE")->text(), "25.25");
    EXPECT_EQ(hex("SETUP_PULSE_RATE_HEX"), 101);
    // A failed read-back keeps the old display.
    rig.board.failNextRead();
    type("SETUP_PC1", "7");
    EXPECT_EQ(find<QSpinBox>("SETUP_PC1")->value(), 0);
    EXPECT_EQ(hex("SETUP_CONFIG_HEX"), 1);
    EXPECT_TRUE(rig.messages.contains(msg::kReadError));
}

TEST_F(SetupPanelFixture, RingVisibilityFollowsTheSelector) {
    auto* ringA = find<QComboBox>("SETUP_OPMODE_BITS2_3_A");
    auto* ringB = find<QComboBox>("SETUP_OPMODE_BITS2_3_B");
    EXPECT_TRUE(ringB->isVisible());
    EXPECT_FALSE(ringA->isVisible());
    find<QComboBox>("SETUP_OPMODE_BITS9_10")->setCurrentIndex(3);
    EXPECT_EQ(device().reg(1, 16), 0x000600u);
    EXPECT_TRUE(ringA->isVisible());
    EXPECT_FALSE(ringB->isVisible());
    ringA->setCurrentIndex(2);
    EXPECT_EQ(device().reg(1, 16), 0x000608u);
    find<QComboBox>("SETUP_OPMODE_BITS9_10")->setCurrentIndex(1);
    EXPECT_EQ(device().reg(1, 16), 0x000200u);  // ring B (0) supplies bits 2..3 now
    EXPECT_TRUE(ringB->isVisible());
    EXPECT_FALSE(ringA->isVisible());
    EXPECT_EQ(ringA->currentIndex(), 2);  // the hidden ring keeps its value
}

TEST_F(SetupPanelFixture, ResetRestoresDefaultsAndClearStatusShowsTheLamps) {
    type("SETUP_PULSE_RATE", "5");
    EXPECT_EQ(device().reg(1, 14), 20u);
    find<QPushButton>("SETUP_RESET")->click();
    EXPECT_EQ(find<QLineEdit>("SETUP_PULSE_RATE")->text(), "100");
    device().setReg(0, 15, 0x000000);
    find<QPushButton>("SETUP_REFRESH")->click();
    EXPECT_TRUE(find<QLabel>("SETUP_STATUS_BIT0")->property("lit").toBool());
    device().setReg(0, 15, 0xFFFFFF);
    find<QPushButton>("SETUP_REFRESH")->click();
    EXPECT_FALSE(find<QLabel>("SETUP_STATUS_BIT0")->property("lit").toBool());
    EXPECT_TRUE(find<QLabel>("SETUP_STATUS_BIT23")->property("lit").toBool());
    find<QPushButton>("SETUP_CLEAR_STATUS")->click();
    EXPECT_EQ(hex("SETUP_STATUS_HEX"), static_cast<int>(device().reg(0, 15)));
    EXPECT_FALSE(find<QLabel>("SETUP_STATUS_BIT23")->property("lit").toBool());
}

TEST_F(SetupPanelFixture, RegisterFilesThroughTheDialogs) {
    find<QPushButton>("SETUP_RETRIEVE")->click();  // no answer scripted: cancelled
    EXPECT_TRUE(rig.messages.contains("File not Retrieved"));
    EXPECT_EQ(dialogs.lastTitle, "Retrieve Registers");
    EXPECT_EQ(dialogs.lastPattern, "*.rsf");

    const std::string path = ::testing::TempDir() + "panel.rsf";
    device().setReg(0, 26, 0x00ABCD);
    dialogs.answers.push_back(path);
    find<QPushButton>("SETUP_STORE")->click();
    EXPECT_TRUE(rig.messages.contains("File Stored"));
    type("SETUP_MASK_HEX", "000001");
    dialogs.answers.push_back(path);
    find<QPushButton>("SETUP_RETRIEVE")->click();
    EXPECT_TRUE(rig.messages.contains("File Retrieved"));
    EXPECT_EQ(device().reg(0, 26), 0x00ABCDu);
    EXPECT_EQ(hex("SETUP_MASK_HEX"), 0x00ABCD);  // the window shows the retrieved values
}

TEST_F(SetupPanelFixture, TemperatureButtonOpensTheTemperatureWindow) {
    find<QPushButton>("SETUP_TEMP_SETTINGS")->click();
    EXPECT_EQ(temperature.opened, 1);
    type("SETUP_TEMP_OFFSET", "416.6665");
    EXPECT_EQ(device().reg(1, 23), 0x3FFFFFu);
    EXPECT_EQ(hex("SETUP_TEMP_OFFSET_HEX"), 0x3FFFFF);
}

TEST_F(SetupPanelFixture, Screenshot) {
    // Saved only on request (EVKIT_SCREENSHOT_DIR=dir), for looking at the layout.
    panel->adjustSize();
    const QByteArray dir = qgetenv("EVKIT_SCREENSHOT_DIR");
    if (!dir.isEmpty()) panel->grab().save(QString::fromLocal8Bit(dir) + "/pnl_setup.png");
    // No control overlaps another in the laid-out window.
    std::vector<QRect> rects;
    for (const auto& entry : setup::setupControls()) {
        auto* w = panel->control(entry.name);
        ASSERT_NE(w, nullptr) << entry.name;
        if (!w->isVisible()) continue;
        rects.push_back(QRect(w->mapTo(panel.get(), QPoint(0, 0)), w->size()));
    }
    for (size_t i = 0; i < rects.size(); ++i)
        for (size_t j = i + 1; j < rects.size(); ++j)
            EXPECT_FALSE(rects[i].intersects(rects[j])) << i << " " << j;
}

#include "setup_panel_test.moc"
