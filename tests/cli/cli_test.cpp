// The command-line program, run as a user would run it.
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "variant_table.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

using evkit::test::runCli;

TEST(Cli, TracedReadOfStatusRegister) {
    const auto r = runCli("--board sim --trace read 0:15");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("> 7e 00 00 00 00 00\n> 1e 00 00 00 00 00\n< ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("> 7e 00 00 00 00 00", 5), std::string::npos);  // no restore frame
    EXPECT_EQ(r.out, "word=0x000001\n");
}

TEST(Cli, TracedWriteShowsThreeFramesAndChainsOnOneConnection) {
    const auto r = runCli("--board sim --trace write 1:22 0x123456 read 1:22");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("> 7e 01 00 00 00 00\n> 6c 56 34 12 00 00\n> 7e 00 00 00 00 00\n", 0), 0u)
        << r.err;
    EXPECT_EQ(r.out, "word=0x123456\n");
}

TEST(Cli, IdentifyEveryVariant) {
    for (const auto& v : evkit::test::kEveryVariant) {
        auto r = runCli(std::string("--board sim:") + v.variant + " identify");
        EXPECT_EQ(r.status, 0) << v.variant << r.err;
        EXPECT_EQ(r.values["chip"], std::to_string(v.chip)) << v.variant << r.out;
        if (v.text) {
            EXPECT_NE(r.err.find(v.text), std::string::npos) << v.variant << r.err;
        } else {
            EXPECT_EQ(r.err, "") << v.variant;
        }
        if (v.label) {
            EXPECT_EQ(r.values["device"], v.label) << v.variant;
        }
    }
    const auto r = runCli("--board sim identify");
    EXPECT_EQ(r.out, "chip=14\ndevice=PM7014 Rev C\nboard_id=714 14 4\n");
}

TEST(Cli, WriteReadBackOnEveryPageInUse) {
    for (const char* reg : {"0:26", "1:17", "1:22", "2:1", "5:26"}) {
        const auto r = runCli(std::string("--board sim write ") + reg + " 0xabcdef read " + reg);
        EXPECT_EQ(r.out, "word=0xabcdef\n") << reg << r.err;
    }
}

// Every range the command line checks, at its last valid and first invalid value. A usage
// error (2) sends nothing. Valid values whose run would be long go to a missing USB board:
// status 1 shows that the arguments were accepted.
TEST(Cli, EveryRangeAtItsEdges) {
    const std::string bytes254 = [] {
        std::string b;
        for (int i = 0; i < 254; ++i) b += " 7";
        return b;
    }();
    const std::pair<std::string, int> rows[] = {
        {"read 255:31", 0},
        {"read 256:0", 2},
        {"read 0:32", 2},
        {"read 0:0", 0},
        {"read 0:-1", 2},
        {"write 0:31 0xffffff", 0},
        {"write 0:31 0x1000000", 2},
        {"write 0:0 -1", 2},
        {"write 0:32 0", 2},
        {"read 1:0 --width 32", 0},
        {"read 1:0 --width 24", 0},
        {"read 1:0 --width 33", 2},
        {"read 1:0 --width 23", 2},
        {"read 1:0 --width 31", 2},
        {"command 255", 0},
        {"command 256", 2},
        {"command -1", 2},
        {"capture --pair 1 --samples 16", 0},
        {"capture --pair 4 --samples 32768", 0},
        {"capture --pair 0 --samples 16", 2},
        {"capture --pair 5 --samples 16", 2},
        {"capture --pair 1 --samples 15", 2},
        {"capture --pair 1 --samples 17", 2},
        {"capture --pair 1 --samples 65536", 2},
        {"capture --pair 1 --samples 16 --data-delay 255", 0},
        {"capture --pair 1 --samples 16 --data-delay 256", 2},
        {"capture --pair 1 --samples 16 --data-delay -1", 2},
        {"capture --pair 1 --samples 16 --seconds-delay 86400", 0},
        {"capture --pair 1 --samples 16 --seconds-delay 86401", 2},
        {"capture --pair 1 --samples 16 --seconds-delay -1", 2},
        {"capture --pair 1 --samples 16 --channel 2", 0},
        {"capture --pair 1 --samples 16 --channel 3", 2},
        {"capture --pair 1 --samples 16 --channel 0", 2},
        {"fft --pair 1 --samples 1024 --average 1", 0},
        {"fft --pair 1 --samples 1024 --average 0", 2},
        {"fft --pair 1 --samples 1024 --average 10001", 2},
        {"fft --pair 1 --samples 1024 --average 1 --window 4", 0},
        {"fft --pair 1 --samples 1024 --average 1 --window 5", 2},
        {"fft --pair 1 --samples 1024 --average 1 --window -1", 2},
        {"monitor --count 1 --updates 1", 0},
        {"monitor --count 0", 2},
        {"monitor --count 1001", 2},
        {"monitor --updates -1", 2},
        {"write 1:19 400 monitor --single", 0},
        {"write 1:19 399 monitor --single", 1},
        {"tmeas 16777215", 0},
        {"tmeas 16777216", 2},
        {"tmeas -1", 2},
        {"pulse --time 1 --repeat 1000001", 2},
        {"pulse --time 335544.01 --repeat 1", 2},
        {"dump 31 --count 1", 0},
        {"dump 32 --count 1", 2},
        {"dump 0 --count 70001", 2},
        {"raw-read 31", 0},
        {"raw-read 32", 2},
        {"raw-write 31 0xffffff", 0},
        {"raw-write 32 0", 2},
        {"raw-write 0 0x1000000", 2},
        {"eeprom read --count 48", 0},
        {"eeprom read --count 0", 0},
        {"eeprom read --count 49", 2},
        {"eeprom read --count -1", 2},
        {"eeprom write 255", 0},
        {"eeprom write 256", 2},
        {"eeprom write -1", 2},
        {"eeprom write 0" + bytes254, 0},
        {"eeprom write 0 0" + bytes254, 2},
        {"calibrate gain v1 --gain-mode 1", 0},
        {"calibrate gain v1 --gain-mode 2", 2},
        {"--xtal 0.001 read 0:0", 0},
        {"--xtal 0.0009 read 0:0", 2},
        {"--xtal 1000 read 0:0", 0},
        {"--xtal 1000.01 read 0:0", 2},
        {"--usb-id 10000:1 identify", 2},
        {"--usb-id 1:10000 identify", 2},
    };
    for (const auto& [args, status] : rows) {
        const auto r = runCli("--board sim --trace " + args);
        EXPECT_EQ(r.status, status) << args << "\n" << r.err;
        if (status == 2) {
            EXPECT_EQ(r.err.find("> "), std::string::npos) << args << r.err;
            EXPECT_FALSE(r.err.empty()) << args;
        }
    }
    // Long runs: accepted, then stopped by the missing board.
    for (const char* args : {"--usb-id ffff:ffff identify", "--usb-id 0:0 identify",
                             "fft --pair 1 --samples 1024 --average 10000", "monitor --updates 0",
                             "monitor --count 1000 --updates 1",
                             "pulse --time 335544 --repeat 1000000", "dump 0 --count 70000"}) {
        const auto r = runCli(std::string("--board usb ") + args);
        EXPECT_EQ(r.status, 1) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("USB connection error"), std::string::npos) << args << r.err;
    }
    for (const char* args : {"frobnicate", "read 0:0 read 9:99", "write 0:1 zz"}) {
        const auto r = runCli(std::string("--board sim --trace ") + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << args << r.err;
    }
    const auto v = runCli("--board sim:PM9999 identify");
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("PM9999"), std::string::npos);
}

TEST(Cli, NoBoardIsAFailure) {
    const auto r = runCli("--board usb read 0:0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("USB connection error"), std::string::npos);
}

TEST(Cli, BatchRunsLinesAndStopsOnFailure) {
    auto r = runCli("--board sim batch", "# set and read back\nwrite 1:19 500\nread 1:19\n\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "word=0x0001f4\n");
    r = runCli("--board sim batch", "read 0:0\nread 0:77\nread 0:0\n");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "word=0x000001\n");
}

TEST(Cli, CommandSendsTheByte) {
    const auto r = runCli("--board sim --trace command 0xa0");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("> a0 00 00 00 00 00"), std::string::npos);
}

// A byte the command layer does not send is refused as a usage error, with its message,
// and nothing reaches the board (not even a page select).
TEST(Cli, RefusedCommandByteIsAUsageError) {
    for (const char* byte : {"0xC1", "63", "127", "0xF7", "0xD0", "0x80"}) {
        const bool sent = std::string(byte) == "0x80";  // a plain device command
        const auto r = runCli(std::string("--board sim --trace command ") + byte);
        EXPECT_EQ(r.status, sent ? 0 : 2) << byte << r.err;
        EXPECT_EQ(r.err.find("> ") != std::string::npos, sent) << byte << r.err;
        if (!sent) {
            // The refusal carries the title a message box would have.
            EXPECT_NE(r.err.find("Error, Command Not Valid! The command is not supported"),
                      std::string::npos)
                << r.err;
        }
    }
}

// Every command of the program, and every action of the commands that take one, appears in
// the README's command table.
TEST(Cli, ReadmeCommandTableListsEveryCommand) {
    // The README lies two folders above the test data folder (which need not exist).
    std::ifstream in(std::filesystem::path(EVKIT_TEST_DATA_DIR).parent_path().parent_path() /
                     "README.md");
    ASSERT_TRUE(in.good());
    const std::string readme((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    const auto help = runCli("--help");
    std::vector<std::string> names;
    for (const char* name : {"identify",
                             "read",
                             "write",
                             "command",
                             "setup show",
                             "setup set",
                             "setup reset",
                             "setup clear-status",
                             "registers retrieve",
                             "registers store",
                             "capture",
                             "analyze",
                             "fft",
                             "monitor",
                             "line-frequency",
                             "tmeas",
                             "calibrate",
                             "calibration show",
                             "calibration write",
                             "temperature",
                             "pulse",
                             "dump",
                             "raw-read",
                             "raw-write",
                             "eeprom read",
                             "eeprom write",
                             "usb list",
                             "batch"}) {
        const std::string command(name);
        // Each top-level command is one the program knows.
        const std::string first = command.substr(0, command.find(' '));
        EXPECT_NE(help.out.find(first), std::string::npos) << first;
        EXPECT_NE(readme.find("`" + command), std::string::npos) << command;
    }
}

TEST(Cli, UsbListWorksWithoutAnyBoardAndShowsTheConfiguredId) {
    auto r = runCli("usb list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("devices="), std::string::npos) << r.out;
    r = runCli("--usb-id 12AB:CDEF usb list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("usb_id=12ab:cdef\nusb_id_source=--usb-id\n"), std::string::npos) << r.out;
    // A malformed ID is a usage error, before anything is opened.
    r = runCli("--usb-id 1234 identify");
    EXPECT_EQ(r.status, 2);
}

TEST(Cli, ConnectingWithoutAConfiguredIdSaysHowToSetOne) {
    // No ID anywhere: not in the environment, no configuration file.
    const char* savedId = std::getenv("EVKIT714_USB_ID");
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string id = savedId ? savedId : "", xdg = savedXdg ? savedXdg : "";
    unsetenv("EVKIT714_USB_ID");
    setenv("XDG_CONFIG_HOME", (::testing::TempDir() + "no-evkit714-config").c_str(), 1);
    const auto r = runCli("--board usb identify");
    if (savedId) setenv("EVKIT714_USB_ID", id.c_str(), 1);
    if (savedXdg)
        setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("USB connection error"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--usb-id"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("EVKIT714_USB_ID"), std::string::npos) << r.err;
}
