// The command-line program, run as a user would run it.
#include <gtest/gtest.h>

#include "cli_runner.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

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
    const std::pair<const char*, int> cases[] = {
        {"PM7010A", 10},  {"PM7011A-A", 11}, {"PM7011A-B", 11}, {"PM7011-12", 12},
        {"PM7013-A", 13}, {"PM7013-B", 13},  {"PM7013-C", 13},  {"PM7014-A", 14},
        {"PM7014-B", 14}, {"PM7014-C", 14},  {"PM7014-C1", 14}, {"PM7017-C1", 17},
        {"UNKNOWN", 0}};
    for (const auto& [variant, chip] : cases) {
        const auto r = runCli(std::string("--board sim:") + variant + " identify");
        EXPECT_EQ(r.status, 0) << variant << r.err;
        EXPECT_NE(r.out.find("chip=" + std::to_string(chip) + "\n"), std::string::npos)
            << variant << r.out;
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

TEST(Cli, BadInputIsAUsageErrorAndSendsNothing) {
    for (const char* args : {"read 9:99", "write 0:1 zz", "write 0:1 0x1000000",
                             "read 0:0 read 9:99", "frobnicate", "command 256"}) {
        const auto r = runCli(std::string("--board sim --trace ") + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << args << r.err;
        EXPECT_NE(r.err.find("error"), std::string::npos) << args;
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
