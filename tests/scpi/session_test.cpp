// A client's session against the virtual board: common commands, the error queue, chained
// headers, register traffic, data formats, read-only, authentication and the lock.
#include <gtest/gtest.h>

#include <algorithm>

#include "scpi_rig.h"

namespace evkit::test {
namespace {

using scpi::Instrument;

std::string nextError(scpi::ClientSession& c) {
    return run(c, "SYST:ERR?");
}

TEST(ScpiSession, IdentificationAndCommonCommands) {
    ScpiRig rig;
    auto c = rig.client(1);
    EXPECT_EQ(run(c, "*IDN?"), "EVKIT714,PM7014 Rev C,EVK-TEST-0001,3.0.2\n");
    EXPECT_EQ(rig.framesSent(), 0u);  // answered without board traffic
    EXPECT_EQ(run(c, "*opc?;*IDN?;*OPC?"), "1;EVKIT714,PM7014 Rev C,EVK-TEST-0001,3.0.2;1\n");
    EXPECT_EQ(run(c, "*OPC"), "");
    EXPECT_EQ(run(c, "*ESR?"), "1\n");
    EXPECT_EQ(run(c, "*ESR?"), "0\n");  // read and cleared
    run(c, "NOSUCH");
    EXPECT_EQ(run(c, "*STB?"), "4\n");   // error queued
    EXPECT_EQ(run(c, "*ESR?"), "32\n");  // command error bit
    EXPECT_EQ(run(c, "*CLS;*STB?"), "0\n");
    EXPECT_EQ(nextError(c), "0,\"No error\"\n");
}

TEST(ScpiSession, ErrorQueueCodesAndOverflow) {
    ScpiRig rig;
    auto c = rig.client(1);
    run(c, "MEAS:NOPE?");
    run(c, "REG:READ? 1");
    run(c, "REG:READ? 1,40");
    run(c, "REG:READ? 1,x");
    run(c, "REG:READ? 1,2,3,4");
    run(c, "REG:READ? 1,\"2");
    EXPECT_EQ(nextError(c), "-113,\"Undefined header;MEAS:NOPE?\"\n");
    EXPECT_EQ(nextError(c), "-109,\"Missing parameter;2 expected\"\n");
    EXPECT_EQ(nextError(c), "-222,\"Data out of range;40 not in 0..31\"\n");
    EXPECT_EQ(nextError(c), "-104,\"Data type error;integer expected\"\n");
    EXPECT_EQ(nextError(c), "-108,\"Parameter not allowed;at most 3\"\n");
    EXPECT_EQ(nextError(c), "-102,\"Syntax error;string not terminated\"\n");
    EXPECT_EQ(nextError(c), "0,\"No error\"\n");
    EXPECT_EQ(rig.framesSent(), 0u);  // no refused command reached the board
    for (int i = 0; i < 20; ++i) run(c, "BAD");
    EXPECT_EQ(run(c, "SYST:ERR:COUN?"), "16\n");
    for (int i = 0; i < 15; ++i) EXPECT_EQ(nextError(c), "-113,\"Undefined header;BAD\"\n");
    EXPECT_EQ(nextError(c), "-350,\"Queue overflow\"\n");
    EXPECT_EQ(nextError(c), "0,\"No error\"\n");
}

TEST(ScpiSession, RegisterRoundTripChainedAndRelativeHeaders) {
    ScpiRig rig;
    auto c = rig.client(1);
    EXPECT_EQ(run(c, "REGister:WRITe 1,22,#H123456;REGister:READ? 1,22"), "#H123456\n");
    // READ? continues from the path of REG:WRIT; long and short forms, any case.
    EXPECT_EQ(run(c, "reg:writ 1,22,1193047;read? 1,22"), "#H123457\n");
    EXPECT_EQ(run(c, "REG:READ? 1,22,32"), "#H00123457\n");
    const auto frames = rig.board.framesReceived();
    ASSERT_FALSE(frames.empty());
    // The last write frame carried the word least significant byte first.
    bool sawWrite = false;
    for (const auto& f : frames)
        if (f[0] == 0x40 + 2 * 22 && f[1] == 0x57 && f[2] == 0x34 && f[3] == 0x12) sawWrite = true;
    EXPECT_TRUE(sawWrite);
    EXPECT_EQ(nextError(c), "0,\"No error\"\n");
}

TEST(ScpiSession, CaptureBlocksInEveryFormat) {
    ScpiRig rig;
    auto c = rig.client(1);
    EXPECT_EQ(run(c, "CAPT:RATE?"), "0.000000\n");
    const std::string block = run(c, "CAPT:DATA? 1,16");
    EXPECT_EQ(run(c, "CAPT:RATE?"), "4000.000000\n");
    ASSERT_EQ(block.substr(0, 4), "#264");
    ASSERT_EQ(block.size(), 4u + 64u + 1u);
    EXPECT_EQ(block.back(), '\n');
    const auto word = [&](std::size_t i, bool little) {
        const auto* b = reinterpret_cast<const unsigned char*>(block.data() + 4 + 4 * i);
        const std::uint32_t u = little ? b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24
                                       : b[3] | b[2] << 8 | b[1] << 16 | std::uint32_t(b[0]) << 24;
        return static_cast<std::int32_t>(u);
    };
    // The block is what the capture put in channel 1.
    EXPECT_NE(word(0, true), 0);
    EXPECT_GE(word(0, true), -8388608);
    EXPECT_LE(word(0, true), 8388607);
    // A second fresh board gives the same samples in text and in swapped-back byte order.
    ScpiRig again;
    auto d = again.client(1);
    const std::string ascii = run(d, "FORM:DATA ASC;:CAPT:DATA? 1,16");
    EXPECT_EQ(ascii.substr(0, ascii.find(',')), std::to_string(word(0, true)));
    ScpiRig third;
    auto e = third.client(1);
    const std::string normal = run(e, "FORM:BORD NORM;:FORM:BORD?");
    EXPECT_EQ(normal, "NORM\n");
    const std::string big = run(e, "CAPT:DATA? 1,16");
    std::string first = block.substr(4, 4);
    std::reverse(first.begin(), first.end());
    EXPECT_EQ(big.substr(4, 4), first);
    run(e, "CAPT:DATA? 1,17");
    EXPECT_EQ(nextError(e).substr(0, 5), "-222,");
}

TEST(ScpiSession, ReadOnlyRefusesWritesWithoutAFrame) {
    scpi::InstrumentOptions o;
    o.readOnly = true;
    ScpiRig rig(o);
    auto c = rig.client(1);
    for (const char* m : {"REG:WRIT 1,22,5", "REG:COMM 160", "CAL:DCOF I1", "EEPROM:WRIT 1,2",
                          "SET:RES", "LINE:FREQ 50", "TEMP:GAIN 1"}) {
        run(c, m);
        EXPECT_EQ(nextError(c),
                  "-203,\"Command protected;command protected: the server is read-only\"\n")
            << m;
        EXPECT_EQ(rig.framesSent(), 0u) << m;
    }
    EXPECT_EQ(run(c, "REG:READ? 1,22"), "#H200000\n");  // reading stays allowed (power-on word)
}

TEST(ScpiSession, TokenFirstAndThreeFailuresClose) {
    scpi::InstrumentOptions o;
    o.token = "s3cret";
    ScpiRig rig(o);
    auto c = rig.client(1);
    EXPECT_EQ(run(c, "REG:READ? 1,22"), "");
    EXPECT_EQ(rig.framesSent(), 0u);
    EXPECT_FALSE(c.state().closeRequested);
    run(c, "SYST:AUTH \"wrong\"");
    EXPECT_FALSE(c.state().closeRequested);
    run(c, "SYST:AUTH \"s3cre\"");
    EXPECT_TRUE(c.state().closeRequested);
    auto good = rig.client(2);
    EXPECT_EQ(run(good, "SYST:AUTH \"s3cret\";*IDN?").substr(0, 8), "EVKIT714");
    EXPECT_EQ(run(good, "SYST:ERR?"), "0,\"No error\"\n");
    auto early = rig.client(3);
    run(early, "*IDN?");
    EXPECT_EQ(early.state().errors.size(), 1u);
    EXPECT_EQ(early.state().errors.pop(),
              "-203,\"Command protected;authenticate first with SYSTem:AUTH\"");
}

TEST(ScpiSession, LockAndBusyRefuseOthersOnlyForBoardCommands) {
    ScpiRig rig;
    auto a = rig.client(1);
    auto b = rig.client(2);
    EXPECT_EQ(run(a, "SYST:LOCK;SYST:LOCK?"), "1\n");
    EXPECT_EQ(run(b, "SYST:LOCK?"), "-1\n");
    run(b, "SYST:LOCK");
    EXPECT_EQ(nextError(b), "-240,\"Hardware error;busy: another client holds the lock\"\n");
    const auto availability = rig.instrument->availabilityFor(2);
    EXPECT_EQ(availability, Instrument::Availability::kLocked);
    EXPECT_EQ(b.execute("REG:READ? 1,22", availability), "");
    EXPECT_EQ(nextError(b),
              "-240,\"Hardware error;busy: another client holds the lock (SYSTem:LOCK)\"\n");
    EXPECT_EQ(b.execute("*IDN?", availability).substr(0, 8), "EVKIT714");
    EXPECT_EQ(rig.framesSent(), 0u);
    EXPECT_EQ(b.needsBoard("REG:READ? 1,22"), true);
    EXPECT_EQ(b.needsBoard("*IDN?;SYST:ERR?"), false);
    run(a, "SYST:LOCK:REL");
    EXPECT_EQ(rig.instrument->availabilityFor(2), Instrument::Availability::kFree);
    // A long operation of the program itself holds the board: remote commands are refused.
    BoardClaim claim(rig.link, "a capture");
    run(b, "REG:READ? 1,22");
    EXPECT_EQ(nextError(b), "-240,\"Hardware error;busy: a capture owns the board\"\n");
}

TEST(ScpiSession, BoardFailuresCarryTheProgramsMessage) {
    ScpiRig rig;
    auto c = rig.client(1);
    rig.board.failNextRead();
    EXPECT_EQ(run(c, "REG:READ? 1,22"), "");
    EXPECT_EQ(nextError(c), "-240,\"Hardware error;USB Read Error\"\n");
    EXPECT_TRUE(rig.fallback.shown.empty());  // said to the client, not in a box
    EXPECT_EQ(run(c, "REG:READ? 1,22"), "#H200000\n");
}

TEST(ScpiSession, MeasurementsFollowTheMonitorsOrder) {
    ScpiRig rig;
    auto c = rig.client(1);
    const std::string all = run(c, "MEAS:ALL?");
    EXPECT_EQ(std::count(all.begin(), all.end(), ','), 19);
    ScpiRig again;
    auto d = again.client(1);
    EXPECT_EQ(run(d, "MEASure:V1RMS?"), all.substr(0, all.find(',')) + "\n");
    // Every monitor run ended with the halt command: the board is at rest.
    const auto frames = rig.board.framesReceived();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back()[0], 0xA0);
}

}  // namespace
}  // namespace evkit::test

namespace evkit::test {
namespace {

TEST(ScpiSession, CalibrationSetupDumpAndEepromRows) {
    ScpiRig rig;
    auto c = rig.client(1);
    run(c, "CAL:REG \"i1_dc_offset\",#H000010");
    EXPECT_EQ(run(c, "CAL:REG? \"I1_DC_OFFSET\""), "I1_DC_Offset,#H000010,1.90734863281e-06\n");
    run(c, "CAL:REG? \"I9_DC_Offset\"");
    EXPECT_EQ(run(c, "SYST:ERR?"),
              "-222,\"Data out of range;'I9_DC_Offset' is not a calibration register\"\n");
    run(c, "SET:CONT \"SETUP_CYCLE_COUNT\",2000");
    EXPECT_EQ(run(c, "SETup:CONTrol? \"SETUP_CYCLE_COUNT\""), "2000\n");
    run(c, "SET:CONT \"NO_SUCH_CONTROL\",1");
    EXPECT_EQ(run(c, "SYST:ERR?"),
              "-222,\"Data out of range;'NO_SUCH_CONTROL' is not a setup control\"\n");
    EXPECT_EQ(run(c, "FORM ASC;:REG:WRIT 0,5,#H00ABCD;:DUMP? 5,3"), "43981,43981,43981\n");
    run(c, "EEPROM:WRITE 7,8,9");
    EXPECT_EQ(run(c, "EEPROM:READ? 3"), "7,8,9\n");
    EXPECT_EQ(run(c, "SYST:ERR?"), "0,\"No error\"\n");
    const std::string temperature = run(c, "TEMP?");
    EXPECT_EQ(std::count(temperature.begin(), temperature.end(), ','), 4);
}

}  // namespace
}  // namespace evkit::test

namespace evkit::test {
namespace {

TEST(ScpiSession, IdentityFieldsCannotBreakTheIdnAnswer) {
    const auto id = scpi::makeIdentity("PM7014 Rev C", {"EVK-", "TEST,0001", ""});
    EXPECT_EQ(id.model, "PM7014 Rev C");
    EXPECT_EQ(id.serial, "EVK-TEST 0001");  // a comma would add a field
    EXPECT_EQ(scpi::makeIdentity("", {"", "", ""}).serial, "0");
    EXPECT_EQ(scpi::makeIdentity("", {"", "", ""}).model, "unknown");
    EXPECT_FALSE(id.version.empty());
}

}  // namespace
}  // namespace evkit::test
