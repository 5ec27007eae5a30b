// Temperature gain and offset: scaling, entries, scale change, quick set and refresh.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include "registers/conversions.h"

#include "fault_rig.h"
#include "sim_rig.h"
#include "temperature/temperature.h"

using namespace evkit;
using namespace evkit::temperature;

namespace {

struct RecordingView : View {
    void showGainWord(std::uint32_t w) override { log.push_back("gain_word"), gainWord = w; }
    void showGainValue(double v) override { log.push_back("gain_value"), gainValue = v; }
    void showOffsetWord(std::uint32_t w) override { log.push_back("offset_word"), offsetWord = w; }
    void showOffsetValue(double v) override { log.push_back("offset_value"), offsetValue = v; }
    void setScaleBoxes(bool d, bool u) override { log.push_back("boxes"), down = d, up = u; }
    std::vector<std::string> log;
    std::uint32_t gainWord = 0xDEAD, offsetWord = 0xDEAD;
    double gainValue = -1, offsetValue = -1;
    bool down = false, up = false;
};

struct TemperatureTest : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
    }
    std::uint32_t reg(int a) { return rig.board.device().reg(1, a); }
    int writes() {
        int n = 0;
        for (const auto& f : rig.takeFrames())
            n += f.rfind("6c ", 0) == 0 || f.rfind("6e ", 0) == 0;
        return n;
    }
    test::SimRig rig;
    TemperatureSettings settings{rig.link};
    RecordingView view;
};

}  // namespace

TEST(TemperatureScaling, WorkedValues) {
    EXPECT_DOUBLE_EQ(gainValue(0x020000), 6.5104140625);
    EXPECT_DOUBLE_EQ(offsetValue(0x400000), 416.6665);
    EXPECT_TRUE(std::isinf(gainValue(0)));
    EXPECT_EQ(*gainWordForValue(6.5104140625, nullptr), 0x020000u);
    EXPECT_EQ(*offsetWordForValue(416.6665, nullptr), 0x3FFFFFu);  // positive scale 2^23 - 1
    EXPECT_EQ(*gainWordForRaw(-1.5, nullptr), 0xFD0000u);
    std::string why;
    EXPECT_FALSE(gainWordForValue(0.0, &why));
    EXPECT_NE(why.find("value of 0"), std::string::npos);
    EXPECT_FALSE(gainWordForValue(0.1, &why));  // g = 65.1, beyond the register
    EXPECT_TRUE(gainWordForValue(0.102, &why));
    EXPECT_FALSE(offsetWordForValue(900.0, &why));
    EXPECT_TRUE(offsetWordForValue(-833.333, &why));
}

TEST_F(TemperatureTest, RefreshShowsBothRegistersAndTheScaleFromTheThreshold) {
    ASSERT_EQ(settings.refresh(view), 0);
    EXPECT_EQ(view.gainWord, 0x200000u);  // g = 16, the down scale
    EXPECT_DOUBLE_EQ(view.gainValue, 833.333 / 2048.0);
    EXPECT_TRUE(view.down);
    EXPECT_FALSE(view.up);
    EXPECT_EQ(settings.selection, (std::array<int, 3>{0, 0, 0}));  // nothing chosen yet

    rig.board.device().setReg(1, 22, 3465959);
    ASSERT_EQ(settings.refresh(view), 0);
    EXPECT_TRUE(view.down);
    rig.board.device().setReg(1, 22, 3465960);
    ASSERT_EQ(settings.refresh(view), 0);
    EXPECT_TRUE(view.up);
    EXPECT_FALSE(view.down);
    EXPECT_EQ(settings.selection, (std::array<int, 3>{0, 0, 0}));
}

TEST_F(TemperatureTest, UpScaleMultipliesTheGainAndRaisesTheOffset) {
    ASSERT_EQ(settings.refresh(view), 0);  // g = 16, o = 0, down scale
    view.log.clear();
    ASSERT_EQ(settings.scaleChange(ScaleBox::Up, true, view), 0);
    EXPECT_EQ(reg(22), static_cast<std::uint32_t>(Decimal_to_Hex(16 * 1.8, 7)));
    EXPECT_GT(reg(22), kUpScaleThreshold);  // the up scale reads back as up
    EXPECT_EQ(reg(23), static_cast<std::uint32_t>(TwosComp_to_Hex(kScaleOffsetStep)));
    // The values end as the read-back words give them, close to the scaled numbers.
    EXPECT_NEAR(view.gainValue, 833.333 / 2048.0 / 1.8, 1e-6);
    EXPECT_DOUBLE_EQ(view.gainValue, gainValue(reg(22)));
    EXPECT_NEAR(view.offsetValue, 833.333 * kScaleOffsetStep, 1e-4);
    EXPECT_DOUBLE_EQ(view.offsetValue, offsetValue(reg(23)));
    EXPECT_EQ(view.gainWord, reg(22));
    EXPECT_EQ(view.offsetWord, reg(23));
    EXPECT_EQ(view.log, (std::vector<std::string>{"gain_word", "gain_value", "offset_word",
                                                  "offset_value", "boxes"}));
    EXPECT_TRUE(view.up);
    EXPECT_FALSE(view.down);

    // Clearing the box that is set leaves it set and writes nothing.
    rig.takeFrames();
    ASSERT_EQ(settings.scaleChange(ScaleBox::Up, false, view), 0);
    EXPECT_TRUE(view.up);
    EXPECT_FALSE(view.down);
    EXPECT_EQ(writes(), 0);

    // Back down: g / 1.8 and o - step.
    ASSERT_EQ(settings.scaleChange(ScaleBox::Down, true, view), 0);
    EXPECT_NEAR(gainRaw(reg(22)), 16.0, 1e-4);
    EXPECT_NEAR(offsetRaw(reg(23)), 0.0, 1e-6);
    EXPECT_TRUE(view.down);
}

// The scale in force is never applied a second time, whether it was chosen before, shown by
// the gain word before any choice, or chosen and then refreshed.
TEST_F(TemperatureTest, ChoosingTheScaleInForceWritesNothing) {
    struct Case {
        const char* name;
        std::uint32_t gainWord;
        std::array<int, 3> selection;
        bool refreshFirst;
        ScaleBox box;
    };
    const Case cases[] = {
        {"down word, nothing chosen, down", 0x200000, {0, 0, 0}, false, ScaleBox::Down},
        {"up word, nothing chosen, up", 3465960, {0, 0, 0}, false, ScaleBox::Up},
        {"down word, up chosen, up", 0x200000, {0, 1, 0}, false, ScaleBox::Up},
        {"down word, up chosen, refreshed, up", 0x200000, {0, 1, 0}, true, ScaleBox::Up},
        {"up word, down chosen, refreshed, down", 3465960, {1, 0, 0}, true, ScaleBox::Down},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rig.board.device().setReg(1, 22, c.gainWord);
        rig.board.device().setReg(1, 23, 0x001000);
        TemperatureSettings fresh{rig.link};
        fresh.selection = c.selection;
        RecordingView v;
        if (c.refreshFirst) {
            ASSERT_EQ(fresh.refresh(v), 0);
        }
        rig.takeFrames();
        ASSERT_EQ(fresh.scaleChange(c.box, true, v), 0);
        EXPECT_EQ(writes(), 0);
        EXPECT_EQ(rig.board.device().reg(1, 22), c.gainWord);
        EXPECT_EQ(rig.board.device().reg(1, 23), 0x001000u);
        EXPECT_EQ(v.up, c.box == ScaleBox::Up);
        EXPECT_EQ(v.down, c.box == ScaleBox::Down);
    }
    // Up twice from the power-on words, with a refresh between: scaled once.
    rig.board.device().setReg(1, 22, 0x200000);
    ASSERT_EQ(settings.scaleChange(ScaleBox::Up, true, view), 0);
    const auto once = reg(22);
    ASSERT_EQ(settings.refresh(view), 0);
    EXPECT_TRUE(view.up);
    ASSERT_EQ(settings.scaleChange(ScaleBox::Up, true, view), 0);
    EXPECT_EQ(reg(22), once);
}

TEST_F(TemperatureTest, BeforeAnyChoiceAClearedBoxLeavesBothClear) {
    ASSERT_EQ(settings.scaleChange(ScaleBox::Down, false, view), 0);
    EXPECT_FALSE(view.down);
    EXPECT_FALSE(view.up);
    EXPECT_EQ(writes(), 0);
}

TEST_F(TemperatureTest, ScaleChangeBeyondTheGainRangeIsRefused) {
    rig.board.device().setReg(1, 22, static_cast<std::uint32_t>(Decimal_to_Hex(40.0, 7)));
    ASSERT_EQ(settings.refresh(view), 0);  // up scale shown: ask for it from down
    settings.selection = {1, 0, 0};
    rig.takeFrames();
    EXPECT_EQ(settings.scaleChange(ScaleBox::Up, true, view), kStatusRefused);
    EXPECT_EQ(writes(), 0);
    EXPECT_EQ(settings.selection, (std::array<int, 3>{1, 0, 0}));
    EXPECT_TRUE(view.down);
    EXPECT_EQ(rig.messages.shown.size(), 1u);
}

TEST_F(TemperatureTest, QuickSetZeroRewritesAPositiveOffsetOneLower) {
    rig.board.device().setReg(1, 23, 0x123456);
    ASSERT_EQ(settings.quickSet(0.0, view), 0);
    EXPECT_EQ(reg(23), 0x123455u);
    EXPECT_EQ(view.offsetWord, 0x123455u);
    // A non-zero amount moves the offset by 0.0002737649 per unit.
    ASSERT_EQ(settings.quickSet(10.0, view), 0);
    EXPECT_NEAR(offsetRaw(reg(23)), offsetRaw(0x123455) + 10 * kQuickSetStep, 2e-7);
    rig.board.failNextRead();
    rig.takeFrames();
    EXPECT_NE(settings.quickSet(1.0, view), 0);
    EXPECT_EQ(writes(), 0);

    // A correction beyond the offset register is refused: nothing written, nothing shown.
    rig.board.device().setReg(1, 23, 0x7FF000);
    view.log.clear();
    EXPECT_EQ(settings.quickSet(1e6, view), kStatusRefused);
    EXPECT_EQ(writes(), 0);
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(reg(23), 0x7FF000u);
}

TEST_F(TemperatureTest, ValueAndWordEntriesWriteAndShowTheReadBack) {
    ASSERT_EQ(settings.gainValueEntry(3.25520703125, view), 0);  // g = 2
    EXPECT_EQ(reg(22), 0x040000u);
    EXPECT_DOUBLE_EQ(view.gainValue, 3.25520703125);
    ASSERT_EQ(settings.offsetValueEntry(-416.6665, view), 0);
    EXPECT_EQ(reg(23), 0xC00000u);
    EXPECT_DOUBLE_EQ(view.offsetValue, -416.6665);
    ASSERT_EQ(settings.gainWordEntry(0x1020000, view), 0);  // only the low 24 bits travel
    EXPECT_EQ(view.gainWord, 0x020000u);
    ASSERT_EQ(settings.offsetWordEntry(0x400000, view), 0);
    EXPECT_DOUBLE_EQ(view.offsetValue, 416.6665);

    // A gain value of 0 is refused: nothing is written, the displays keep their values.
    rig.takeFrames();
    view.log.clear();
    EXPECT_EQ(settings.gainValueEntry(0.0, view), kStatusRefused);
    EXPECT_EQ(writes(), 0);
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(rig.messages.shown.back().first, "Error");

    // Gain values whose g lies below the register's last bit would write the word 0 (an
    // infinite gain value): refused, whatever the sign.
    for (double big : {1e6, -1e6, 1e300}) {
        EXPECT_EQ(settings.gainValueEntry(big, view), kStatusRefused) << big;
        EXPECT_EQ(writes(), 0) << big;
        EXPECT_TRUE(view.log.empty()) << big;
    }
    EXPECT_EQ(settings.gainValueEntry(800000.0, view), 0);  // g just above one step: word 1
    EXPECT_EQ(reg(22), 1u);
    view.log.clear();
    rig.takeFrames();

    // A failed write ends the entry before the read.
    rig.board.failNextWrite();
    EXPECT_NE(settings.offsetWordEntry(0x100, view), 0);
    EXPECT_TRUE(view.log.empty());
}

// The failure rows of every temperature operation: at every write, read and command it
// makes, the failure ends it with the fault's message, nothing further is sent, and what
// the view shows is what the device holds (the scale boxes follow the gain register).
struct TemperatureMember {
    const char* name;
    std::uint32_t gainWord;  // gain register before (decides the scale in force)
    std::function<int(TemperatureSettings&, View&)> run;
    // A scale change: after a failed step it still completes the pair or puts the old gain
    // back, so it sends more than the frames up to the failure.
    bool scalePair = false;
};

class TemperatureFailures : public ::testing::TestWithParam<TemperatureMember> {};

TEST_P(TemperatureFailures, EndAtTheFailureAndShowOnlyDeviceValues) {
    const auto& member = GetParam();
    std::unique_ptr<TemperatureSettings> settings;
    RecordingView view;
    bool upBefore = false;
    test::sweepFaults(
        [&](test::FaultRig& rig) {
            rig.board.device().setReg(1, 22, member.gainWord);
            rig.board.device().setReg(1, 23, 0x123456);
            settings = std::make_unique<TemperatureSettings>(rig.link);
            RecordingView first;
            ASSERT_EQ(settings->refresh(first), 0);
            upBefore = first.up;
            view = RecordingView{};
        },
        [&](test::FaultRig&) { return member.run(*settings, view); },
        [&](test::FaultRig& rig, test::Fault fault, int) {
            const auto gain = rig.board.device().reg(1, 22);
            const auto offset = rig.board.device().reg(1, 23);
            if (member.scalePair && fault != test::Fault::BoardLost) {
                // The device holds both old words or both new ones, never one of each.
                const bool up = member.gainWord <= kUpScaleThreshold;
                const double g = up ? gainRaw(member.gainWord) * kScaleFactor
                                    : gainRaw(member.gainWord) / kScaleFactor;
                const double o = up ? offsetRaw(0x123456) + kScaleOffsetStep
                                    : offsetRaw(0x123456) - kScaleOffsetStep;
                const bool oldPair = gain == member.gainWord && offset == 0x123456u;
                const bool newPair =
                    gain == *gainWordForRaw(g, nullptr) && offset == *offsetWordForRaw(o, nullptr);
                EXPECT_TRUE(oldPair || newPair) << std::hex << gain << " " << offset;
            }
            const auto shown = [&](const char* what) {
                return std::find(view.log.begin(), view.log.end(), what) != view.log.end();
            };
            EXPECT_TRUE(!shown("gain_word") || view.gainWord == gain) << view.gainWord;
            EXPECT_TRUE(!shown("offset_word") || view.offsetWord == offset) << view.offsetWord;
            EXPECT_TRUE(!shown("gain_value") ||
                        std::abs(view.gainValue / gainValue(gain) - 1) < 1e-4)
                << view.gainValue << " shown, device " << gainValue(gain);
            EXPECT_TRUE(!shown("offset_value") ||
                        std::abs(view.offsetValue - offsetValue(offset)) < 1e-3)
                << view.offsetValue << " shown, device " << offsetValue(offset);
            if (!view.log.empty() && view.log.back() == "boxes") {
                const bool upNow = gain == member.gainWord ? upBefore : !upBefore;
                EXPECT_EQ(view.up, upNow);
                EXPECT_EQ(view.down, !upNow);
            }
        },
        member.scalePair);
}

INSTANTIATE_TEST_SUITE_P(
    EveryMember, TemperatureFailures,
    ::testing::Values(
        TemperatureMember{
            "GainWordEntry", 0x020000,
            [](TemperatureSettings& t, View& v) { return t.gainWordEntry(0x040000, v); }},
        TemperatureMember{
            "OffsetWordEntry", 0x020000,
            [](TemperatureSettings& t, View& v) { return t.offsetWordEntry(0xC00000, v); }},
        TemperatureMember{
            "GainValueEntry", 0x020000,
            [](TemperatureSettings& t, View& v) { return t.gainValueEntry(3.25520703125, v); }},
        TemperatureMember{
            "OffsetValueEntry", 0x020000,
            [](TemperatureSettings& t, View& v) { return t.offsetValueEntry(-416.6665, v); }},
        TemperatureMember{"QuickSet", 0x020000,
                          [](TemperatureSettings& t, View& v) { return t.quickSet(10.0, v); }},
        TemperatureMember{
            "ScaleUp", 0x020000,
            [](TemperatureSettings& t, View& v) { return t.scaleChange(ScaleBox::Up, true, v); },
            true},
        TemperatureMember{
            "ScaleDown", 0x3C0000,
            [](TemperatureSettings& t, View& v) { return t.scaleChange(ScaleBox::Down, true, v); },
            true},
        TemperatureMember{"Refresh", 0x020000,
                          [](TemperatureSettings& t, View& v) { return t.refresh(v); }}),
    [](const auto& info) { return std::string(info.param.name); });
