// The command-line program, run as a user would run it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result run(const std::string& args, const std::string& input = "") {
    const std::string errFile = ::testing::TempDir() + "cli_stderr.txt";
    std::string cmd = std::string(EVKIT_CLI_PATH) + " " + args + " 2>" + errFile;
    if (!input.empty()) {
        const std::string inFile = ::testing::TempDir() + "cli_stdin.txt";
        std::ofstream(inFile) << input;
        cmd += " <" + inFile;
    }
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int raw = pclose(p);
    r.status = WEXITSTATUS(raw);
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    return r;
}

}  // namespace

TEST(Cli, TracedReadOfStatusRegister) {
    const auto r = run("--board sim --trace read 0:15");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("> 7e 00 00 00 00 00\n> 1e 00 00 00 00 00\n< ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("> 7e 00 00 00 00 00", 5), std::string::npos);  // no restore frame
    EXPECT_EQ(r.out, "word=0x000001\n");
}

TEST(Cli, TracedWriteShowsThreeFramesAndChainsOnOneConnection) {
    const auto r = run("--board sim --trace write 1:22 0x123456 read 1:22");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("> 7e 01 00 00 00 00\n> 6c 56 34 12 00 00\n> 7e 00 00 00 00 00\n", 0),
              0u)
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
        const auto r = run(std::string("--board sim:") + variant + " identify");
        EXPECT_EQ(r.status, 0) << variant << r.err;
        EXPECT_NE(r.out.find("chip=" + std::to_string(chip) + "\n"), std::string::npos)
            << variant << r.out;
    }
    const auto r = run("--board sim identify");
    EXPECT_EQ(r.out, "chip=14\ndevice=PM7014 Rev C\nboard_id=714 14 4\n");
}

TEST(Cli, WriteReadBackOnEveryPageInUse) {
    for (const char* reg : {"0:26", "1:17", "1:22", "2:1", "5:26"}) {
        const auto r = run(std::string("--board sim write ") + reg + " 0xabcdef read " + reg);
        EXPECT_EQ(r.out, "word=0xabcdef\n") << reg << r.err;
    }
}

TEST(Cli, BadInputIsAUsageErrorAndSendsNothing) {
    for (const char* args : {"read 9:99", "write 0:1 zz", "write 0:1 0x1000000",
                             "read 0:0 read 9:99", "frobnicate", "command 256"}) {
        const auto r = run(std::string("--board sim --trace ") + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << args << r.err;
        EXPECT_NE(r.err.find("error"), std::string::npos) << args;
    }
    const auto v = run("--board sim:PM9999 identify");
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("PM9999"), std::string::npos);
}

TEST(Cli, NoBoardIsAFailure) {
    const auto r = run("--board usb read 0:0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("USB connection error"), std::string::npos);
}

TEST(Cli, BatchRunsLinesAndStopsOnFailure) {
    auto r = run("--board sim batch", "# set and read back\nwrite 1:19 500\nread 1:19\n\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "word=0x0001f4\n");
    r = run("--board sim batch", "read 0:0\nread 0:77\nread 0:0\n");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "word=0x000001\n");
}

TEST(Cli, CommandSendsTheByte) {
    const auto r = run("--board sim --trace command 0xa0");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("> a0 00 00 00 00 00"), std::string::npos);
}
