#include "diagnostics/register_debug.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sim_rig.h"

using namespace evkit;
using namespace evkit::diagnostics;
using Frames = std::vector<std::string>;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RegisterDebug : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
        dump = ::testing::TempDir() + "evkit_dump_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::filesystem::remove(dump);
    }
    test::SimRig rig;
    std::string dump;
    std::vector<std::uint32_t> table;
};

}  // namespace

TEST_F(RegisterDebug, SingleAccessUsesTheSelectedPageWhileTheBulkReadUsesPageZero) {
    rig.board.device().setReg(0, 5, 0x000055);
    rig.board.device().setReg(1, 5, 0x010005);
    rig.board.device().page = 1;

    std::int32_t word = -1;
    ASSERT_EQ(rawRead(rig.link, 5, &word), 0);
    EXPECT_EQ(word, 0x010005);
    EXPECT_EQ(rig.takeFrames(), Frames{"0a 00 00 00 00 00"});

    const auto r = bulkRead(rig.link, 5, 1, dump, table);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(table, std::vector<std::uint32_t>{0x000055});
    EXPECT_EQ(rig.takeFrames(), (Frames{"7e 00 00 00 00 00", "0a 00 00 00 00 00"}));
}

TEST_F(RegisterDebug, SingleWriteSendsOneFrameWithoutPageFrames) {
    rig.board.device().page = 1;
    ASSERT_EQ(rawWrite(rig.link, 12, 0x00FFFF), 0);
    EXPECT_EQ(rig.takeFrames(), Frames{"58 ff ff 00 00 00"});
    EXPECT_EQ(rig.board.device().reg(1, 12), 0x00FFFFu);
    EXPECT_EQ(rig.board.device().reg(0, 12), 0u);
}

TEST_F(RegisterDebug, FailedSingleReadShowsZeroAndTheLinkMessage) {
    std::int32_t word = 77;
    rig.board.failNextRead();
    EXPECT_NE(rawRead(rig.link, 3, &word), 0);
    EXPECT_EQ(word, 0);
    EXPECT_TRUE(rig.messages.contains(msg::kReadError));
}

TEST_F(RegisterDebug, CommandBytesGoThroughTheCommandClasses) {
    EXPECT_EQ(sendRawCommand(rig.link, 0x1A0), 0);  // only the low byte counts
    EXPECT_EQ(rig.takeFrames(), Frames{"a0 00 00 00 00 00"});
    EXPECT_EQ(sendRawCommand(rig.link, 0x42), 0);  // a register write on page 0, data 0
    EXPECT_EQ(rig.takeFrames(), (Frames{"7e 00 00 00 00 00", "42 00 00 00 00 00"}));
    EXPECT_EQ(sendRawCommand(rig.link, 0x02), 0);  // a register read, answer dropped
    EXPECT_EQ(rig.takeFrames(), (Frames{"7e 00 00 00 00 00", "02 00 00 00 00 00"}));
    EXPECT_EQ(sendRawCommand(rig.link, 246), 0);  // the timed measurement has three words
    EXPECT_EQ(rig.takeFrames().back(), "f6 00 00 00 00 00");
    EXPECT_EQ(sendRawCommand(rig.link, 0xC1), 0);
    EXPECT_TRUE(rig.messages.contains(msg::kNotValid));
    EXPECT_TRUE(rig.takeFrames().empty());
}

TEST_F(RegisterDebug, BulkReadWritesTheDumpFile) {
    rig.board.device().setReg(0, 7, 0x000ABC);
    // The register changes between the two readings.
    rig.pump.onProcess = [&] { rig.board.device().setReg(0, 7, 0x7FFFFF); };
    std::vector<int> progress;
    BulkReadHooks hooks;
    hooks.progress = [&](int done, int total) {
        EXPECT_EQ(total, 2);
        progress.push_back(done);
    };
    const auto r = bulkRead(rig.link, 7, 2, dump, table, hooks);
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(r.written);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.readings, 2);
    EXPECT_EQ(progress, (std::vector<int>{1, 2}));
    EXPECT_EQ(std::filesystem::path(r.path), std::filesystem::absolute(dump));
    EXPECT_EQ(readFile(dump),
              "Bulk data for register 7\n===========================\n\n0\t\tabc\n1\t\t7fffff\n");
    EXPECT_FALSE(rig.link.busy());  // the claim ends with the run
}

TEST_F(RegisterDebug, FailingReadingShowsTheMessageAndLeavesTheOldFile) {
    std::ofstream(dump) << "previous dump\n";
    int events = 0;
    rig.pump.onProcess = [&] {
        if (++events == 2) rig.board.failNextRead();
    };
    const auto r = bulkRead(rig.link, 7, 5, dump, table);
    EXPECT_EQ(r.status, kF32xReadError);
    EXPECT_FALSE(r.written);
    ASSERT_FALSE(rig.messages.shown.empty());
    EXPECT_EQ(rig.messages.shown.back(), (std::pair<std::string, std::string>{
                                             "Error Message", "Unable to perform bulk read"}));
    EXPECT_EQ(readFile(dump), "previous dump\n");
}

TEST_F(RegisterDebug, StopKeepsTheReadingsTakenSoFar) {
    int events = 0;
    rig.pump.onProcess = [&] { ++events; };
    BulkReadHooks hooks;
    hooks.stopRequested = [&] { return events == 3; };
    const auto r = bulkRead(rig.link, 0, 1000, dump, table, hooks);
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.readings, 3);
    EXPECT_EQ(readFile(dump),
              "Bulk data for register 0\n===========================\n\n"
              "0\t\t1\n1\t\t1\n2\t\t1\n");

    rig.pump.cancel = true;  // Ctrl-C in the command-line program
    const auto c = bulkRead(rig.link, 0, 1000, dump, table);
    EXPECT_TRUE(c.stopped);
    EXPECT_EQ(c.readings, 1);
}

TEST_F(RegisterDebug, OtherBoardCommandsAreRefusedDuringTheRun) {
    int refused = 0;
    rig.pump.onProcess = [&] {
        // A callback running while the bulk read waits: its command must not interleave.
        if (rig.link.writeRegister(0, 26, 0x123456) == kStatusBusy) ++refused;
    };
    ASSERT_EQ(bulkRead(rig.link, 7, 3, dump, table).status, 0);
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(rig.board.device().reg(0, 26), 0u);

    rig.pump.onProcess = nullptr;
    ASSERT_TRUE(rig.link.tryClaim("a capture"));
    rig.takeFrames();
    EXPECT_EQ(bulkRead(rig.link, 7, 3, dump, table).status, kStatusBusy);
    EXPECT_TRUE(rig.takeFrames().empty());
    rig.link.release();
}

TEST_F(RegisterDebug, OutOfRangeInputIsRefusedBeforeAnythingIsSent) {
    for (auto [address, count] : {std::pair{7, -1}, {7, 70001}, {32, 1}, {-1, 1}}) {
        const auto r = bulkRead(rig.link, address, count, dump, table);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(rig.messages.shown.back().first, "Error");
    }
    EXPECT_TRUE(rig.takeFrames().empty());
    EXPECT_FALSE(std::filesystem::exists(dump));
}

// No readings: nothing is read and the dump holds the header lines alone.
TEST_F(RegisterDebug, CountZeroWritesTheHeaderOnlyDump) {
    const auto r = bulkRead(rig.link, 7, 0, dump, table);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.written);
    EXPECT_EQ(r.readings, 0);
    for (const auto& f : rig.takeFrames()) EXPECT_NE(f.substr(0, 2), "0e");  // no read of 0:7
    std::ifstream in(dump);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(text, "Bulk data for register 7\n===========================\n\n");
}

TEST_F(RegisterDebug, DumpThatCannotBeCreatedIsReported) {
    const std::string bad = ::testing::TempDir() + "no_such_dir/x/register_dump.txt";
    const auto r = bulkRead(rig.link, 7, 2, bad, table);
    EXPECT_EQ(r.status, kStatusDumpFileError);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.readings, 2);
    EXPECT_EQ(rig.messages.shown.back().first, "Error Message");
    EXPECT_NE(rig.messages.shown.back().second.find("register_dump.txt"), std::string::npos);
}

TEST(RegisterDumpFile, EmptyListHoldsOnlyTheHeader) {
    const std::string path = ::testing::TempDir() + "evkit_dump_empty.txt";
    ASSERT_TRUE(writeRegisterDump(path, 31, {}, nullptr));
    EXPECT_EQ(readFile(path), "Bulk data for register 31\n===========================\n\n");
}
