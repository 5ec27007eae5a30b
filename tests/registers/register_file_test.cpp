// Register settings files: parsing, retrieving into the device and storing from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "registers/register_file.h"
#include "sim_rig.h"

using namespace evkit;

namespace {

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + name;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::trunc) << text;
}

std::string seventeen(std::uint32_t first = 1) {
    std::string s;
    for (std::uint32_t i = 0; i < 17; ++i) s += std::to_string(first + i) + "\n";
    return s;
}

std::optional<RegisterFileWords> parse(const std::string& text) {
    std::istringstream in(text);
    return parseRegisterFile(in);
}

struct FileFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
    }
    test::SimRig rig;
};

}  // namespace

TEST(RegisterFileFormat, HeaderThenSeventeenIntegers) {
    auto words = parse("Settings\n" + seventeen() + "99 trailing text is ignored\n");
    ASSERT_TRUE(words);
    EXPECT_EQ((*words)[0], 1u);
    EXPECT_EQ((*words)[16], 17u);
    // Only the low 24 bits reach the device.
    words = parse("H 16777216 -1 " + seventeen().substr(4));
    ASSERT_TRUE(words);
    EXPECT_EQ((*words)[0], 0u);
    EXPECT_EQ((*words)[1], 0xFFFFFFu);
    // Any word is a header, even a number: then one integer is missing.
    EXPECT_FALSE(parse(seventeen()));
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parse("   \n\n"));
    EXPECT_FALSE(parse("H\n1 2 3\n"));
    EXPECT_FALSE(parse("H 1 2 x" + seventeen()));
    EXPECT_FALSE(parse("H 0x10 " + seventeen()));
    EXPECT_FALSE(parse("H 99999999999 " + seventeen()));
}

TEST(RegisterFileFormat, WriterProducesWhatTheReaderReads) {
    RegisterFileWords w{};
    for (size_t i = 0; i < w.size(); ++i) w[i] = static_cast<std::uint32_t>(i * 0x10101);
    const std::string text = formatRegisterFile(w);
    EXPECT_EQ(text.substr(0, text.find('\n')), kRegisterFileHeader);
    EXPECT_EQ(parse(text), w);
}

TEST_F(FileFixture, RetrieveWritesTheSeventeenRegistersInTableOrder) {
    const std::string path = tempPath("retrieve.rsf");
    writeText(path, "Title\n" + seventeen(0x100));
    ASSERT_EQ(retrieveRegisterFile(rig.link, rig.messages, path), 0);
    const auto frames = rig.takeFrames();
    ASSERT_EQ(frames.size(), 17u * 2);  // page 0 select + write, no restore frame
    for (size_t i = 0; i < 17; ++i) {
        const int a = kRegisterFileLayout[i].address;
        EXPECT_EQ(frames[2 * i], "7e 00 00 00 00 00");
        EXPECT_EQ(std::stoi(frames[2 * i + 1].substr(0, 2), nullptr, 16), 0x40 + 2 * a) << i;
    }
    EXPECT_EQ(rig.board.device().reg(0, 26), 0x100u + 15);
    EXPECT_EQ(rig.board.device().reg(0, 28), 0x100u + 16);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0], std::make_pair(std::string(), std::string("File Retrieved")));
}

TEST_F(FileFixture, IncompatibleFileWritesNothingAndSaysSoOnce) {
    const std::string path = tempPath("short.rsf");
    for (const std::string& text : {std::string(""), std::string("Title\n1 2 3\n"), seventeen()}) {
        rig.messages.shown.clear();
        rig.board.device().setReg(0, 0, 0x000005);
        writeText(path, text);
        EXPECT_NE(retrieveRegisterFile(rig.link, rig.messages, path), 0);
        EXPECT_TRUE(rig.takeFrames().empty());
        EXPECT_EQ(rig.board.device().reg(0, 0), 5u);
        ASSERT_EQ(rig.messages.shown.size(), 1u);
        EXPECT_EQ(rig.messages.shown[0].second, "ERROR: Incompatible Data File");
    }
}

TEST_F(FileFixture, MissingFileIsReportedAndWritesNothing) {
    EXPECT_NE(retrieveRegisterFile(rig.link, rig.messages, tempPath("no/such/file.rsf")), 0);
    EXPECT_TRUE(rig.takeFrames().empty());
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error Message");
}

TEST_F(FileFixture, FailingWritesAreEachReportedAndNotCalledRetrieved) {
    const std::string path = tempPath("fail.rsf");
    writeText(path, "T\n" + seventeen());
    rig.board.failAllIo(true);
    EXPECT_NE(retrieveRegisterFile(rig.link, rig.messages, path), 0);
    int writeErrors = 0;
    for (const auto& [title, text] : rig.messages.shown) writeErrors += text == msg::kWriteError;
    EXPECT_EQ(writeErrors, 17);
    EXPECT_FALSE(rig.messages.contains("File Retrieved"));
    EXPECT_TRUE(rig.messages.contains("File only partly retrieved: 0 of 17 registers written."));
}

TEST_F(FileFixture, StoreThenRetrieveRestoresTheRegisters) {
    auto& dev = rig.board.device();
    const auto& layout = kRegisterFileLayout;
    for (size_t i = 0; i < layout.size(); ++i)
        if (layout[i].address != 15) dev.setReg(0, layout[i].address, 0x0A0B00u + i);
    const std::string path = tempPath("roundtrip.rsf");
    ASSERT_EQ(storeRegisterFile(rig.link, rig.messages, path), 0);
    EXPECT_TRUE(rig.messages.contains("File Stored"));
    for (const auto& s : layout) {
        if (s.address != 15) dev.setReg(0, s.address, 0x777777);
    }
    ASSERT_EQ(retrieveRegisterFile(rig.link, rig.messages, path), 0);
    // The status register is not a plain store: writing it clears the bits written as one.
    for (size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].address == 15) continue;
        EXPECT_EQ(dev.reg(0, layout[i].address), 0x0A0B00u + i) << layout[i].address;
    }
}

TEST_F(FileFixture, FailedStoreLeavesAnExistingFileAlone) {
    const std::string path = tempPath("keep.rsf");
    writeText(path, "Old\n" + seventeen());
    rig.board.unplugAfterReads(3);
    EXPECT_NE(storeRegisterFile(rig.link, rig.messages, path), 0);
    std::ifstream in(path);
    std::string first;
    in >> first;
    EXPECT_EQ(first, "Old");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_FALSE(rig.messages.contains("File Stored"));
}
