// Calibration commands, read-back and register display on the virtual board.
#include <gtest/gtest.h>

#include <cmath>

#include "calibration/calibration.h"
#include "fault_rig.h"
#include "sim/calibration_model.h"
#include "sim_rig.h"
#include "support/format.h"

using namespace evkit;
using namespace evkit::calibration;

namespace {

struct Recorder {
    std::vector<Shown> shown;
    ShowFn fn() {
        return [this](const Shown& s) { shown.push_back(s); };
    }
    std::vector<int> addresses() const {
        std::vector<int> a;
        for (const auto& s : shown) a.push_back(s.reg->address);
        return a;
    }
};

struct CalibrationTest : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
        rig.messages.shown.clear();
    }
    test::SimRig rig;
    Recorder rec;
};

// The command byte and the registers read, in order, from the frames sent.
std::pair<std::string, std::vector<int>> traffic(const std::vector<std::string>& frames) {
    std::string command;
    std::vector<int> reads;
    for (size_t i = 0; i < frames.size(); ++i) {
        const int b = std::stoi(frames[i].substr(0, 2), nullptr, 16);
        if (b >= 0x80 && b != 0xA0 && command.empty()) command = frames[i].substr(0, 2);
        if (b == 0x7E && frames[i] == "7e 01 00 00 00 00" && i + 1 < frames.size()) {
            const int r = std::stoi(frames[i + 1].substr(0, 2), nullptr, 16);
            if (r <= 62) reads.push_back(r / 2);
        }
    }
    return {command, reads};
}

}  // namespace

TEST_F(CalibrationTest, EveryButtonSendsItsByteWaitsAndReadsItsRegistersInOrder) {
    struct Expect {
        const char* control;
        const char* byteModeOn;
        const char* byteModeOff;
        double wait;
        std::vector<int> reads;
    };
    const Expect table[] = {
        {"CAL_DC_OFFSET_I1", "81", "81", 2.5, {0}},
        {"CAL_DC_OFFSET_V1", "82", "82", 2.5, {2}},
        {"CAL_DC_OFFSET_I2", "84", "84", 2.5, {7}},
        {"CAL_DC_OFFSET_V2", "88", "88", 2.5, {9}},
        {"CAL_DC_OFFSET_ALL", "8f", "8f", 2.5, {2, 0, 9, 7}},
        {"CAL_GAIN_I1", "91", "b1", 2.5, {1}},
        {"CAL_GAIN_V1", "92", "b2", 2.5, {3}},
        {"CAL_GAIN_I2", "94", "b4", 2.5, {8}},
        {"CAL_GAIN_V2", "98", "b8", 2.5, {10}},
        {"CAL_GAIN_ALL", "9f", "bf", 2.5, {3, 1, 10, 8}},
        {"CAL_AC_OFFSET_I1", "a1", "a1", 5.0, {5}},
        {"CAL_AC_OFFSET_V1", "a2", "a2", 5.0, {6}},
        {"CAL_AC_OFFSET_I2", "a4", "a4", 5.0, {12}},
        {"CAL_AC_OFFSET_V2", "a8", "a8", 5.0, {13}},
        {"CAL_AC_OFFSET_ALL", "af", "af", 5.0, {6, 5, 13, 12}},
    };
    for (const auto& e : table) {
        for (bool mode : {true, false}) {
            Recorder r;
            const double before = rig.clock.now();
            ASSERT_EQ(calibrateControl(rig.link, e.control, mode, r.fn()), 0) << e.control;
            const double took = rig.clock.now() - before;
            const auto [byte, reads] = traffic(rig.takeFrames());
            EXPECT_EQ(byte, mode ? e.byteModeOn : e.byteModeOff) << e.control;
            EXPECT_EQ(reads, e.reads) << e.control;
            EXPECT_EQ(r.addresses(), e.reads) << e.control;
            // 10 ms pacing before the command and before each read-back.
            EXPECT_NEAR(took, 0.01 + e.wait + 0.01 * e.reads.size(), 1e-9) << e.control;
        }
    }
    EXPECT_TRUE(rig.messages.shown.empty());
}

// One gain word has one number, whichever operation showed it: 0xC00000 is 3.0 after the
// calibration, the word entry and the refresh alike.
TEST_F(CalibrationTest, GainWordShowsTheSameNumberAfterCalibrationWordEntryAndRefresh) {
    // A pure sine whose RMS is a third of the target (plus half a word step) makes the
    // device's gain calibration land exactly on the word 0xC00000 (3.0).
    const double step = std::ldexp(1.0, -22);
    rig.board.device().signal.inputs[sim::kI2] = {0.2 * 3.0 / (3.0 + step / 2), 0, 0, 0, 0, 0};
    ASSERT_EQ(calibrateControl(rig.link, "CAL_GAIN_I2", true, rec.fn()), 0);
    ASSERT_EQ(rec.shown.size(), 1u);
    EXPECT_EQ(rec.shown[0].word, 0xC00000u);
    EXPECT_DOUBLE_EQ(rec.shown[0].number, 3.0);

    Recorder refreshed;
    ASSERT_EQ(refresh(rig.link, refreshed.fn()), 0);
    EXPECT_EQ(refreshed.addresses(),
              std::vector<int>({2, 0, 9, 7, 5, 6, 12, 13, 3, 1, 10, 8, 4, 11}));
    EXPECT_DOUBLE_EQ(refreshed.shown[11].number, 3.0);  // 1:8 after a refresh

    Recorder entered;
    ASSERT_EQ(writeWord(rig.link, *registerAt(1), 0xC00000, entered.fn()), 0);
    EXPECT_DOUBLE_EQ(entered.shown.at(0).number, 3.0);
    ASSERT_EQ(writeWord(rig.link, *registerAt(1), 0x400000, entered.fn()), 0);
    EXPECT_DOUBLE_EQ(entered.shown.at(1).number, 1.0);
    // Offsets: 0x800000 is -1.0, 0x7FFFFF is 1 - 2^-23.
    ASSERT_EQ(writeWord(rig.link, *registerAt(0), 0x800000, entered.fn()), 0);
    EXPECT_DOUBLE_EQ(entered.shown.at(2).number, -1.0);
    ASSERT_EQ(writeWord(rig.link, *registerAt(12), 0x7FFFFF, entered.fn()), 0);
    EXPECT_DOUBLE_EQ(entered.shown.at(3).number, 1.0 - std::ldexp(1.0, -23));
    EXPECT_EQ(rig.board.device().reg(1, 12), 0x7FFFFFu);
}

// The failure rows for every calibration button: the command write fails, the first
// read-back fails, the board is gone before the command or before the read-back.
TEST(CalibrationFailures, EveryButtonStopsAtItsFailedStep) {
    using test::Fault;
    struct Row {
        Fault fault;
        int skip;
        bool commandSent;
        int readsSent;  // read frames that reach the board
    };
    const Row rows[] = {
        {Fault::WriteFails, 0, false, 0},
        {Fault::BoardLost, 0, false, 0},
        {Fault::ReadFails, 0, true, 1},
        {Fault::BoardLost, 1, true, 0},
    };
    for (const auto& button : buttons()) {
        const bool untested = button.type == CalType::AcOffset && button.channels == kAll;
        for (const auto& row : rows) {
            if (untested && row.fault == Fault::BoardLost && row.skip == 1) continue;  // below
            SCOPED_TRACE(std::string(button.control) + ", " + test::faultName(row.fault) + " " +
                         std::to_string(row.skip));
            test::FaultRig rig;
            ASSERT_EQ(rig.openQuietly(), 0);
            Recorder rec;
            rig.arm(row.fault, row.skip);
            const double before = rig.clock.now();
            const int status = runCalibration(rig.link, button, false, rec.fn());
            const double took = rig.clock.now() - before;
            const auto [command, reads] = traffic(rig.takeFrames());
            EXPECT_EQ(command.empty(), !row.commandSent);
            std::vector<int> expectReads;
            if (row.readsSent)
                expectReads = untested ? button.reads : std::vector<int>{button.reads[0]};
            EXPECT_EQ(reads, expectReads);
            ASSERT_EQ(rig.messages.shown.size(), 1u);
            EXPECT_EQ(rig.messages.shown[0].first, "Error Message");
            EXPECT_EQ(rig.messages.shown[0].second, test::faultMessage(row.fault));
            EXPECT_EQ(rig.lost, row.fault == Fault::BoardLost ? 1 : 0);
            EXPECT_FALSE(rig.link.busy());
            if (untested && row.fault == Fault::ReadFails) {
                // Reads and shows all it can, but does not report the failed read as done.
                EXPECT_NE(status, 0);
                EXPECT_EQ(rec.addresses(),
                          std::vector<int>(button.reads.begin() + 1, button.reads.end()));
                continue;
            }
            EXPECT_NE(status, 0);
            EXPECT_TRUE(rec.shown.empty());
            // Pacing 10 ms per command reached; the calibration wait only after a sent command.
            const double expectTook = row.commandSent
                                          ? 0.01 + waitSeconds(button.type) + 0.01 * row.readsSent
                                      : row.fault == Fault::WriteFails ? 0.01
                                                                       : 0.0;
            EXPECT_NEAR(took, expectTook, 1e-9);
        }
    }
}

TEST(CalibrationFailures, AllChannelAcOffsetSaysALostBoardOnce) {
    // fault: each of the four untested reads reports the lost board again
    test::FaultRig rig;
    ASSERT_EQ(rig.openQuietly(), 0);
    Recorder rec;
    rig.arm(test::Fault::BoardLost, 1);
    runCalibration(rig.link, *findButton("CAL_AC_OFFSET_ALL"), false, rec.fn());
    EXPECT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.lost, 1);
}

// Word entry and refresh at every failing step: only words the device holds are shown.
TEST(CalibrationFailures, EveryRegisterWordEntryAndTheRefresh) {
    Recorder rec;
    const auto onlyDeviceWords = [&](test::FaultRig& rig, test::Fault, int) {
        for (const auto& shown : rec.shown)
            EXPECT_EQ(shown.word, rig.board.device().reg(1, shown.reg->address)) << shown.reg->name;
    };
    const auto reset = [&](test::FaultRig&) { rec.shown.clear(); };
    for (const auto& reg : registers()) {
        SCOPED_TRACE(reg.name);
        test::sweepFaults(
            reset,
            [&](test::FaultRig& rig) { return writeWord(rig.link, reg, 0x123456, rec.fn()); },
            [&](test::FaultRig& rig, test::Fault f, int skip) {
                EXPECT_TRUE(rec.shown.empty());
                onlyDeviceWords(rig, f, skip);
            });
    }
    test::sweepFaults(
        [&](test::FaultRig& rig) {
            reset(rig);
            for (int a = 0; a < 14; ++a) rig.board.device().setReg(1, a, 0x100000u + a);
        },
        [&](test::FaultRig& rig) { return refresh(rig.link, rec.fn()); }, onlyDeviceWords);
}

TEST_F(CalibrationTest, RefreshStopsAtTheFirstFailedRead) {
    // The board disappears with the third read: its page restore fails, so 1:9 stays as it was.
    rig.board.unplugAfterReads(3);
    EXPECT_NE(refresh(rig.link, rec.fn()), 0);
    EXPECT_EQ(rec.addresses(), std::vector<int>({2, 0}));
}

TEST_F(CalibrationTest, UnknownControlIsRefusedWithoutTraffic) {
    EXPECT_EQ(calibrateControl(rig.link, "CAL_REFRESH", true, rec.fn()), 0);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error, Command Not Valid!");
    EXPECT_EQ(rig.messages.shown[0].second, "The calibration command is not supported");
    EXPECT_TRUE(rig.takeFrames().empty());
}

TEST_F(CalibrationTest, WaitReportsProgressAndRefusesOtherCommandsFromEvents) {
    std::vector<double> progress;
    int pumped = 0, refused = 0;
    rig.pump.onProcess = [&] {
        ++pumped;
        std::int32_t w = 0;
        if (rig.link.readRegister(0, 15, &w) == kStatusBusy) ++refused;
    };
    ASSERT_EQ(runCalibration(rig.link, *findButton("CAL_AC_OFFSET_V2"), false, rec.fn(),
                             [&](double f) { progress.push_back(f); }),
              0);
    EXPECT_EQ(pumped, 100);  // 5 s in steps of 50 ms
    EXPECT_EQ(refused, pumped);
    ASSERT_EQ(progress.size(), 102u);
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(rec.addresses(), std::vector<int>({13}));

    // While another operation owns the board nothing is sent.
    rig.pump.onProcess = nullptr;
    rig.takeFrames();
    ASSERT_TRUE(rig.link.tryClaim("a capture"));
    EXPECT_EQ(calibrateControl(rig.link, "CAL_GAIN_V1", true, rec.fn()), kStatusBusy);
    EXPECT_TRUE(rig.takeFrames().empty());
    rig.link.release();
}

TEST(CalibrationTable, GainFormatsAgreeBelowTheSignBit) {
    const auto& gain = *registerAt(3);
    for (std::int32_t w : {0x000000, 0x123456, 0x400000, 0x7FFFFF})
        EXPECT_EQ(registerNumber(gain, w, GainFormat::Signed),
                  registerNumber(gain, w, GainFormat::Unsigned));
    EXPECT_DOUBLE_EQ(registerNumber(gain, 0x800000, GainFormat::Signed), -2.0);
    EXPECT_DOUBLE_EQ(registerNumber(gain, 0x800000, GainFormat::Unsigned), 2.0);
    EXPECT_EQ(registerByWordControl("CAL_V2_AC_OFFSET_HEX")->address, 13);
    EXPECT_EQ(registerByWordControl("CAL_V2_AC_OFFSET"), nullptr);
}
