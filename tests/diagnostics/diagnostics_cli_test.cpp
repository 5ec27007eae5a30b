// The diagnostics commands of the command-line program, run as a user would run them.
#include <gtest/gtest.h>

#include "cli_runner.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using evkit::test::runCli;

TEST(DiagnosticsCli, DumpWritesTheFileAndSaysWhere) {
    const std::string out = ::testing::TempDir() + "cli_dump.txt";
    const auto r = runCli("--board sim dump 0 --count 3 --out " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("readings=3\nfile="), std::string::npos) << r.out;
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(),
              "Bulk data for register 0\n===========================\n\n"
              "0\t\t1\n1\t\t1\n2\t\t1\n");
}

// A count of 0 takes no reading and writes the header lines alone.
TEST(DiagnosticsCli, DumpOfNoReadingsWritesTheHeaderOnly) {
    const std::string out = ::testing::TempDir() + "cli_dump_empty.txt";
    std::remove(out.c_str());
    const auto r = runCli("--board sim --trace dump 7 --count 0 --out " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("> 0e"), std::string::npos) << r.err;  // no reading of 0:7
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "Bulk data for register 7\n===========================\n\n");
}

TEST(DiagnosticsCli, RawAccessActsOnTheSelectedPage) {
    // Select page 1 by writing address 31, then read and write 1:22 without page frames.
    const auto r =
        runCli("--board sim --trace raw-write 31 1 raw-write 22 0x00abcd raw-read 22 "
            "read 1:22");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("> 7e 01 00 00 00 00\n> 6c cd ab 00 00 00\n> 2c 00 00 00 00 00\n", 0), 0u)
        << r.err;
    EXPECT_EQ(r.out, "word=0x00abcd\nword=0x00abcd\n");
}

TEST(DiagnosticsCli, EepromWriteThenReadBack) {
    const auto r = runCli("--board sim --trace eeprom write 0x12 0x34 86 eeprom read --count 4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("> f7 00 12 00 00 00\n> f7 01 34 00 00 00\n> f7 02 56 00 00 00\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "written=3\nbyte[0]=0x12\nbyte[1]=0x34\nbyte[2]=0x56\nbyte[3]=0x49\n");
}

TEST(DiagnosticsCli, OutOfRangeInputIsAUsageError) {
    for (const char* args : {"dump 32 --count 2", "dump 1 --count -1", "dump 1 --count 70001",
                             "raw-read 40", "raw-write 1 0x1000000", "eeprom read --count 49",
                             "eeprom write 256", "eeprom read 1", "eeprom erase"}) {
        const auto r = runCli(std::string("--board sim --trace ") + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << args << r.err;
    }
}
