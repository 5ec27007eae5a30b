// The host-side receive buffer of the USB transport, fed with transfer sequences as libusb
// delivers them from a board (60-byte records cut into 64-byte packets, short packets,
// zero-length packets), and the resolution of the board's USB ID.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

#include "board/connection.h"
#include "board/receive_buffer.h"
#include "board/usb_id.h"
#include "sim/virtual_board.h"
#include "support/clock.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit {
namespace {

// Bulk IN completions recorded from a stream of 60-byte records: the bytes arrive in
// packets of up to 64 bytes, with the boundaries falling anywhere in a record.
std::vector<std::vector<std::uint8_t>> recordedTransfers(const std::vector<std::uint8_t>& stream,
                                                         std::vector<std::size_t> sizes) {
    std::vector<std::vector<std::uint8_t>> out;
    std::size_t at = 0, k = 0;
    while (at < stream.size()) {
        const std::size_t n = std::min(sizes[k++ % sizes.size()], stream.size() - at);
        out.emplace_back(stream.begin() + static_cast<long>(at),
                         stream.begin() + static_cast<long>(at + n));
        at += n;
    }
    return out;
}

TEST(UsbReceiveBuffer, RecordsCutIntoPacketsComeOutWholeAndInOrder) {
    std::vector<std::uint8_t> stream(60 * 410);
    std::iota(stream.begin(), stream.end(), std::uint8_t{0});
    ReceiveBuffer rx(4096);
    std::vector<std::uint8_t> got;
    for (const auto& t : recordedTransfers(stream, {64, 64, 0, 17, 64, 3})) {
        EXPECT_EQ(rx.append(t.data(), t.size()), t.size());
        // The reader takes whole records as soon as they are there, as Read(60) does.
        while (rx.size() >= 60) {
            std::uint8_t record[60];
            ASSERT_EQ(rx.take(record, 60), 60u);
            got.insert(got.end(), record, record + 60);
        }
    }
    EXPECT_EQ(got, stream);
    EXPECT_EQ(rx.size(), 0u);
    EXPECT_EQ(rx.state(), 0u);
}

TEST(UsbReceiveBuffer, ReadyAndOverrunStatesAndClear) {
    ReceiveBuffer rx(100);
    EXPECT_EQ(rx.state(), 0u);
    const std::vector<std::uint8_t> packet(64, 0xAB);
    EXPECT_EQ(rx.append(packet.data(), packet.size()), 64u);
    EXPECT_EQ(rx.state(), kRxReady);
    // The second packet does not fit: what fits is kept, the rest dropped, overrun raised.
    EXPECT_EQ(rx.append(packet.data(), packet.size()), 36u);
    EXPECT_EQ(rx.size(), 100u);
    EXPECT_EQ(rx.state(), kRxReady | kRxOverrun);
    std::uint8_t out[100];
    EXPECT_EQ(rx.take(out, 100), 100u);
    EXPECT_EQ(rx.state(), kRxOverrun);  // overrun stays until a flush
    rx.clear();
    EXPECT_EQ(rx.state(), 0u);
    rx.markOverrun();
    EXPECT_EQ(rx.state(), kRxOverrun);
}

TEST(UsbReceiveBuffer, WrapsAroundWithoutLosingOrder) {
    ReceiveBuffer rx(10);
    std::uint8_t seq = 0, expect = 0;
    for (int round = 0; round < 50; ++round) {
        std::uint8_t in[7];
        for (auto& b : in) b = seq++;
        ASSERT_EQ(rx.append(in, 7), 7u);
        std::uint8_t out[7];
        ASSERT_EQ(rx.take(out, 7), 7u);
        for (auto b : out) ASSERT_EQ(b, expect++);
    }
    std::uint8_t out[3];
    EXPECT_EQ(rx.take(out, 3), 0u);  // nothing invented when empty
}

TEST(UsbId, ParsesAtTheEdgesAndFormats) {
    const std::pair<const char*, std::optional<UsbId>> rows[] = {
        {"1234:5678", UsbId{0x1234, 0x5678}},
        {" 0x12AB:0xCDEF ", UsbId{0x12ab, 0xcdef}},
        {"0:0", UsbId{0, 0}},
        {"ffff:FFFF", UsbId{0xffff, 0xffff}},  // four digits: the last that fit
        {"10000:1", std::nullopt},
        {"1:10000", std::nullopt},
        {"0x10000:1", std::nullopt},
        {"1:2", UsbId{1, 2}},
    };
    for (const auto& [text, expect] : rows) EXPECT_EQ(parseUsbId(text), expect) << text;
    for (const char* bad :
         {"", "1234", "1234:", ":5678", "1234:5678:1", "xyz:1", "1234 5678", "-1:2", "0x:1"})
        EXPECT_FALSE(parseUsbId(bad)) << bad;
    EXPECT_EQ(formatUsbId({0x12ab, 0x0a}), "12ab:000a");
}

class UsbIdResolution : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::path(::testing::TempDir()) / "evkit714-usbid-config";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "evkit714");
        saveEnv("XDG_CONFIG_HOME", xdg);
        saveEnv(kUsbIdEnvironment, env);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        unsetenv(kUsbIdEnvironment);
    }
    void TearDown() override {
        restoreEnv("XDG_CONFIG_HOME", xdg);
        restoreEnv(kUsbIdEnvironment, env);
        std::filesystem::remove_all(dir);
    }
    static void saveEnv(const char* name, std::optional<std::string>& slot) {
        if (const char* v = std::getenv(name)) slot = v;
    }
    static void restoreEnv(const char* name, const std::optional<std::string>& slot) {
        if (slot)
            setenv(name, slot->c_str(), 1);
        else
            unsetenv(name);
    }
    void writeConfig(const std::string& text) {
        std::ofstream(dir / "evkit714" / "usb-id") << text;
    }
    std::filesystem::path dir;
    std::optional<std::string> xdg, env;
};

TEST_F(UsbIdResolution, OptionThenEnvironmentThenConfigFile) {
    EXPECT_FALSE(resolveUsbId("").id);
    EXPECT_TRUE(resolveUsbId("").problem.empty());
    EXPECT_EQ(usbIdConfigPath(), (dir / "evkit714" / "usb-id").string());

    writeConfig("# the board on my bench\n\n  usb-id = 1234:5678  # comment\n");
    auto s = resolveUsbId("");
    EXPECT_EQ(s.id, (UsbId{0x1234, 0x5678}));
    EXPECT_EQ(s.source, usbIdConfigPath());

    setenv(kUsbIdEnvironment, "aaaa:bbbb", 1);
    s = resolveUsbId("");
    EXPECT_EQ(s.id, (UsbId{0xaaaa, 0xbbbb}));
    EXPECT_EQ(s.source, kUsbIdEnvironment);

    s = resolveUsbId("1234:abcd");
    EXPECT_EQ(s.id, (UsbId{0x1234, 0xabcd}));
    EXPECT_EQ(s.source, "--usb-id");
}

TEST_F(UsbIdResolution, AnInvalidSettingIsReportedNotSkipped) {
    writeConfig("1234:5678\n");
    setenv(kUsbIdEnvironment, "board", 1);
    const auto s = resolveUsbId("");
    EXPECT_FALSE(s.id);  // a later source does not quietly stand in for a wrong one
    EXPECT_NE(s.problem.find("EVKIT714_USB_ID holds 'board'"), std::string::npos) << s.problem;
    unsetenv(kUsbIdEnvironment);
    writeConfig("usb-id = 1234\n");
    EXPECT_NE(resolveUsbId("").problem.find(usbIdConfigPath()), std::string::npos);
}

TEST_F(UsbIdResolution, AFileThatIsNotOneIdSaysWhichLineIsWrong) {
    const std::string path = usbIdConfigPath();
    struct Row {
        std::string text, problem;
    };
    const Row rows[] = {
        // An '=' line of another key (here a pasted piece of a udev rule) is not skipped.
        {"# bench\n1234:5678\", RUN+=\"x\"\n",
         "line 2 holds '1234:5678\", RUN+=\"x\"', which is neither VID:PID nor usb-id = VID:PID."},
        {"usbid = 1234:5678\n", "line 1 holds 'usbid = 1234:5678', which is neither"},
        {"usb-id = 12345:1\n", "line 1 holds '12345:1', which is not a USB ID VID:PID"},
        // A second ID is not ignored without a word.
        {"usb-id = 1234:5678\n\n# spare\nabcd:ef01\n",
         "line 4 holds 'abcd:ef01' after the ID of line 1; the file holds one ID."},
    };
    for (const auto& row : rows) {
        writeConfig(row.text);
        const auto s = resolveUsbId("");
        EXPECT_FALSE(s.id) << row.text;
        EXPECT_EQ(s.source, path);
        EXPECT_EQ(s.problem.rfind("The USB ID file " + path + " " + row.problem, 0), 0u)
            << row.text << "\n"
            << s.problem;
    }
    // A directory at the file's place is named as the problem, not taken for no file.
    std::filesystem::remove(path);
    std::filesystem::create_directories(path);
    const auto s = resolveUsbId("");
    EXPECT_FALSE(s.id);
    EXPECT_EQ(s.problem, "The USB ID file " + path + " cannot be read: Is a directory.");
    std::filesystem::remove(path);
    // No file at all: nothing configured, no problem.
    EXPECT_TRUE(resolveUsbId("").problem.empty());
    // What the device dialog writes: a comment and one ID.
    writeConfig("# The evaluation board's USB vendor and product ID.\nusb-id = 1234:5678\n");
    EXPECT_EQ(resolveUsbId("").id, (UsbId{0x1234, 0x5678}));
}

// A transport whose connection steps fail the way a real USB board's do, with its reason.
struct FailingTransport : sim::VirtualBoard {
    using VirtualBoard::VirtualBoard;
    int failOpen = 0;
    std::string detail;
    int Open(std::uint32_t index, F32xHandle* handle) override {
        return failOpen ? failOpen : VirtualBoard::Open(index, handle);
    }
    std::string errorDetail() const override { return detail; }
};

TEST(UsbConnectionMessages, TheTransportsReasonFollowsTheConnectionMessage) {
    VirtualClock clock;
    FailingTransport board(clock);
    RecordingMessages messages;
    NullPump pump;
    BoardLink link(board, clock, messages, pump);
    board.failOpen = kF32xAccessDenied;
    board.detail = "Permission denied for the USB device 1234:5678 (bus 1, device 2).";
    EXPECT_EQ(open_board(link, nullptr), kF32xAccessDenied);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, msg::kErrorTitle);
    EXPECT_EQ(messages.shown[0].second, std::string(msg::kCannotOpen) + "\n" + board.detail);
    // Without a reason the message is exactly the connection's own.
    board.detail.clear();
    messages.shown.clear();
    open_board(link, nullptr);
    EXPECT_EQ(messages.shown.at(0).second, msg::kCannotOpen);
}

}  // namespace
}  // namespace evkit
