// Two boards with the same ID on one bench (different serials, one behind a hub): listing,
// choice by serial and by port path, the plain "usb" default and its note, an unknown
// choice, and both boards used at once from two threads.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "board/board_link.h"
#include "board/board_selection.h"
#include "board/connection.h"
#include "board/usb_transport.h"
#include "emulated_board.h"
#include "support/clock.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit::test {
namespace {

constexpr UsbId kBoardId{0x1234, 0x5678};
constexpr const char* kProduct = "EVKIT714 USB Board";

struct CliRun {
    int status = -1;
    std::string out, err;
};

// Runs the CLI (under the same bench) with stdout and stderr apart.
CliRun cli(const std::string& args) {
    const std::string errFile = ::testing::TempDir() + "evkit_usb_several.err";
    const std::string command = std::string(EVKIT_CLI_PATH) + " --usb-id 1234:5678 " + args +
                                " 2>" + errFile + " </dev/null";
    CliRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) r.out += line;
    r.status = WEXITSTATUS(pclose(pipe));
    if (FILE* e = std::fopen(errFile.c_str(), "r")) {
        while (std::fgets(line, sizeof line, e)) r.err += line;
        std::fclose(e);
    }
    return r;
}

class SeveralBoards : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!EmulatedBoard::available())
            GTEST_SKIP() << "not running under umockdev's preload library";
        first = std::make_unique<EmulatedBoard>(
            kBoardId, kProduct, EmulatedBoard::Placement{1, 3, "1-2", "EVK-TEST-0001"});
        second = std::make_unique<EmulatedBoard>(
            kBoardId, kProduct, EmulatedBoard::Placement{1, 5, "1-4.2", "EVK-TEST-0002"},
            first.get());
        first->addHub("1-4", 4);
        first->plug();
        second->plug();
    }
    std::unique_ptr<EmulatedBoard> first, second;
};

UsbIdSetting configured() {
    return {kBoardId, "test", "", ""};
}

TEST_F(SeveralBoards, ListingShowsPortPathAddressAndSerialOfEachBoard) {
    std::vector<UsbDeviceInfo> boards;
    std::string problem;
    ASSERT_EQ(UsbTransport::listBoards(kBoardId, &boards, &problem), 0) << problem;
    ASSERT_EQ(boards.size(), 2u);
    std::map<std::string, UsbDeviceInfo> byPort;
    for (const auto& b : boards) byPort[b.port] = b;
    ASSERT_EQ(byPort.count("1-2"), 1u);
    ASSERT_EQ(byPort.count("1-4.2"), 1u);
    EXPECT_EQ(byPort["1-2"].serial, "EVK-TEST-0001");
    EXPECT_EQ(byPort["1-4.2"].serial, "EVK-TEST-0002");
    EXPECT_EQ(byPort["1-4.2"].address, 5);
    EXPECT_EQ(byPort["1-4.2"].product, kProduct);

    // The CLI lists them in the transport's order and marks the one plain "usb" opens.
    const auto r = cli("boards");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("usb_id=1234:5678\nboards=2\n"), std::string::npos) << r.out;
    const std::string line1 =
        "1-2 001:003 1234:5678 \"EVKIT714 USB Board\" serial=\"EVK-TEST-0001\"";
    const std::string line2 =
        "1-4.2 001:005 1234:5678 \"EVKIT714 USB Board\" serial=\"EVK-TEST-0002\"";
    const std::string last = boards.back().port == "1-2" ? line1 : line2;
    const std::string other = boards.back().port == "1-2" ? line2 : line1;
    EXPECT_NE(r.out.find("board=" + other + "\nboard=" + last + " default\n"), std::string::npos)
        << r.out;
}

TEST_F(SeveralBoards, ASelectorLetsOnlyItsBoardCountAndFramesGoThere) {
    struct Case {
        UsbBoardSelector selector;
        EmulatedBoard* board;
        EmulatedBoard* other;
        const char* serial;
    };
    const Case cases[] = {{{"EVK-TEST-0001", ""}, first.get(), second.get(), "EVK-TEST-0001"},
                          {{"", "1-4.2"}, second.get(), first.get(), "EVK-TEST-0002"},
                          {{"EVK-TEST-0002", ""}, second.get(), first.get(), "EVK-TEST-0002"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(selectorText(c.selector));
        const auto before = c.other->outTransfers().size();
        UsbTransport usb(configured(), true, c.selector);
        VirtualClock clock;
        RecordingMessages messages;
        NullPump pump;
        BoardLink link(usb, clock, messages, pump);
        ASSERT_EQ(open_board(link, nullptr), 0) << usb.errorDetail();
        std::uint32_t count = 0;
        ASSERT_EQ(usb.GetNumDevices(&count), 0);
        EXPECT_EQ(count, 1u);
        UsbDeviceInfo open;
        ASSERT_TRUE(usb.openBoardInfo(&open));
        EXPECT_EQ(open.serial, c.serial);
        const auto sent = c.board->outTransfers().size();
        ASSERT_EQ(link.writeRegister(0, 22, 0x123456), 0);
        EXPECT_EQ(c.board->outTransfers().size(), sent + 2);  // page 0, then the write
        EXPECT_EQ(c.board->firmware().device().busRead(22), 0x123456u);
        EXPECT_EQ(c.other->outTransfers().size(), before);
        usb.Close(link.cyHandle);
        c.board->firmware().device().busWrite(22, 0);
    }
    // Nothing matches: no board counts, and the reason lists what is attached.
    UsbTransport none(configured(), true, {"EVK-TEST-9999", ""});
    std::uint32_t count = 9;
    ASSERT_EQ(none.GetNumDevices(&count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(none.errorDetail().find("No board with the serial number \"EVK-TEST-9999\""),
              std::string::npos)
        << none.errorDetail();
    EXPECT_NE(none.errorDetail().find("\n  1-4.2 serial \"EVK-TEST-0002\""), std::string::npos);
    EXPECT_NE(none.errorDetail().find("\n  1-2 serial \"EVK-TEST-0001\""), std::string::npos);
}

TEST_F(SeveralBoards, CliChoosesBySerialOrPortAndNotesWhichOneTheDefaultTook) {
    const auto bySerial = cli("--board usb:EVK-TEST-0002 write 0:22 0x000222");
    ASSERT_EQ(bySerial.status, 0) << bySerial.err;
    EXPECT_EQ(bySerial.err, "");
    EXPECT_EQ(second->firmware().device().busRead(22), 0x000222u);
    EXPECT_EQ(first->firmware().device().busRead(22), 0u);

    const auto byPort = cli("--board usb@1-2 write 0:22 0x000111");
    ASSERT_EQ(byPort.status, 0) << byPort.err;
    EXPECT_EQ(first->firmware().device().busRead(22), 0x000111u);
    EXPECT_EQ(second->firmware().device().busRead(22), 0x000222u);

    // Plain usb takes the last one listed and says which, and how to choose.
    std::vector<UsbDeviceInfo> boards;
    std::string problem;
    ASSERT_EQ(UsbTransport::listBoards(kBoardId, &boards, &problem), 0);
    const auto plain = cli("--board usb identify");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.err.find("note: 2 boards are attached; using the last one listed, at port " +
                             boards.back().port + " (device 001:00" +
                             std::to_string(boards.back().address) + ", serial \"" +
                             boards.back().serial +
                             "\"). Choose one with --board usb:SERIAL or --board usb@PORT"),
              std::string::npos)
        << plain.err;
    // A chosen board gets no note.
    EXPECT_EQ(cli("--board usb@1-4.2 identify").err.find("note:"), std::string::npos);

    // An unknown choice lists the boards and fails.
    const auto unknown = cli("--board usb:EVK-TEST-0404 identify");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("No board with the serial number \"EVK-TEST-0404\""),
              std::string::npos)
        << unknown.err;
    EXPECT_NE(unknown.err.find("1-2 serial \"EVK-TEST-0001\""), std::string::npos);
    EXPECT_NE(unknown.err.find("1-4.2 serial \"EVK-TEST-0002\""), std::string::npos);
    const auto badPort = cli("--board usb@9-9 identify");
    EXPECT_EQ(badPort.status, 1);
    EXPECT_NE(badPort.err.find("No board at the USB port 9-9"), std::string::npos) << badPort.err;
    EXPECT_EQ(cli("--board usb: identify").status, 2);
}

TEST_F(SeveralBoards, TwoBoardsOpenAtOnceWorkFromTwoThreadsWithoutMixingTheirFrames) {
    struct Bench {
        explicit Bench(UsbBoardSelector s)
            : usb(configured(), true, std::move(s)), link(usb, clock, messages, pump) {}
        UsbTransport usb;
        VirtualClock clock;
        RecordingMessages messages;
        NullPump pump;
        BoardLink link;
        int failures = 0;
    };
    Bench a({"EVK-TEST-0001", ""}), b({"", "1-4.2"});
    ASSERT_EQ(open_board(a.link, nullptr), 0) << a.usb.errorDetail();
    ASSERT_EQ(open_board(b.link, nullptr), 0) << b.usb.errorDetail();
    const auto firstBefore = first->outTransfers().size();
    const auto secondBefore = second->outTransfers().size();
    constexpr int kRounds = 20;
    const auto work = [](Bench& bench, std::int32_t base) {
        for (int i = 0; i < kRounds; ++i) {
            std::int32_t word = 0;
            if (bench.link.writeRegister(0, 22, base + i) != 0 ||
                bench.link.readRegister(0, 22, &word) != 0 || word != base + i)
                ++bench.failures;
        }
    };
    std::thread ta(work, std::ref(a), 0x100000), tb(work, std::ref(b), 0x200000);
    ta.join();
    tb.join();
    EXPECT_EQ(a.failures, 0);
    EXPECT_EQ(b.failures, 0);
    const auto firstOut = first->outTransfers(), secondOut = second->outTransfers();
    // Each round: page frame and write frame, page frame and read frame.
    EXPECT_EQ(firstOut.size(), firstBefore + 4 * kRounds);
    EXPECT_EQ(secondOut.size(), secondBefore + 4 * kRounds);
    for (std::size_t i = firstBefore; i < firstOut.size(); ++i)
        if (firstOut[i][0] == 0x6c) {
            EXPECT_EQ(firstOut[i][3], 0x10);  // board 1's words only
        }
    for (std::size_t i = secondBefore; i < secondOut.size(); ++i)
        if (secondOut[i][0] == 0x6c) {
            EXPECT_EQ(secondOut[i][3], 0x20);
        }
    EXPECT_EQ(first->firmware().device().busRead(22), 0x100000u + kRounds - 1);
    EXPECT_EQ(second->firmware().device().busRead(22), 0x200000u + kRounds - 1);
    a.usb.Close(a.link.cyHandle);
    b.usb.Close(b.link.cyHandle);
}

}  // namespace
}  // namespace evkit::test
