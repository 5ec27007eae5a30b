// The diagnostics commands of the command-line program, run as a user would run them.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result run(const std::string& args) {
    const std::string errFile = ::testing::TempDir() + "diag_cli_stderr.txt";
    const std::string cmd = std::string(EVKIT_CLI_PATH) + " " + args + " 2>" + errFile;
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    r.status = WEXITSTATUS(pclose(p));
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    return r;
}

}  // namespace

TEST(DiagnosticsCli, DumpWritesTheFileAndSaysWhere) {
    const std::string out = ::testing::TempDir() + "cli_dump.txt";
    const auto r = run("--board sim dump 0 --count 3 --out " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("readings=3\nfile="), std::string::npos) << r.out;
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(),
              "Bulk data for register 0\n===========================\n\n"
              "0\t\t1\n1\t\t1\n2\t\t1\n");
}

TEST(DiagnosticsCli, RawAccessActsOnTheSelectedPage) {
    // Select page 1 by writing address 31, then read and write 1:22 without page frames.
    const auto r =
        run("--board sim --trace raw-write 31 1 raw-write 22 0x00abcd raw-read 22 "
            "read 1:22");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("> 7e 01 00 00 00 00\n> 6c cd ab 00 00 00\n> 2c 00 00 00 00 00\n", 0), 0u)
        << r.err;
    EXPECT_EQ(r.out, "word=0x00abcd\nword=0x00abcd\n");
}

TEST(DiagnosticsCli, EepromWriteThenReadBack) {
    const auto r = run("--board sim --trace eeprom write 0x12 0x34 86 eeprom read --count 4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("> f7 00 12 00 00 00\n> f7 01 34 00 00 00\n> f7 02 56 00 00 00\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "written=3\nbyte[0]=0x12\nbyte[1]=0x34\nbyte[2]=0x56\nbyte[3]=0x49\n");
}

TEST(DiagnosticsCli, OutOfRangeInputIsAUsageError) {
    for (const char* args : {"dump 32 --count 2", "dump 1 --count 0", "dump 1 --count 70001",
                             "raw-read 40", "raw-write 1 0x1000000", "eeprom read --count 49",
                             "eeprom write 256", "eeprom read 1", "eeprom erase"}) {
        const auto r = run(std::string("--board sim --trace ") + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << args << r.err;
    }
}
