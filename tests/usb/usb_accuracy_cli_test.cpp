// `evkit714-cli accuracy` on a board that is not the virtual one: the emulated USB board
// (its firmware streams results and keeps its own time), so the command asks the user to set
// the source and reads the reference meter's power from standard input or from --reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "emulated_board.h"
#include "temp_files.h"

namespace evkit::test {
using evkit::test::slurp;

namespace {

constexpr UsbId kBoardId{0x1234, 0x5678};

// The cells of one CSV line ("..." may hold commas).
std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

// The reference_W column of the table of points.
std::vector<std::string> referenceColumn(const std::string& csv) {
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    const auto header = cells(line);
    const auto column = std::find(header.begin(), header.end(), "reference_W") - header.begin();
    std::vector<std::string> out;
    while (std::getline(lines, line)) {
        const auto row = cells(line);
        out.push_back(column < static_cast<long>(row.size()) ? row[static_cast<size_t>(column)]
                                                             : "?");
    }
    return out;
}

class UsbAccuracyCli : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!EmulatedBoard::available())
            GTEST_SKIP() << "not running under umockdev's preload library";
        board = std::make_unique<EmulatedBoard>(kBoardId, "EVKIT714 USB Board");
        board->plug();
        // Two points, a short settling, one cycle each, the monitor's power only.
        std::ofstream(plan) << "settle = 0.01\nwindow = 1\npoint = 50%, 1\npoint = 100%, 0.5L\n";
        std::remove(csv.c_str());
    }
    // The accuracy command over USB with `extra` options and `input` on standard input.
    CliResult accuracy(const std::string& input, const std::string& extra = "") {
        return runCli(
            "--board usb --usb-id 1234:5678 --scale-v1 400 --scale-i1 20 accuracy "
            "--method power --plan " +
                plan + " --csv " + csv + extra,
            input);
    }
    const std::string plan = ::testing::TempDir() + "usb_accuracy_plan.txt";
    const std::string csv = ::testing::TempDir() + "usb_accuracy.csv";
    std::unique_ptr<EmulatedBoard> board;
};

TEST_F(UsbAccuracyCli, AsksForEachPointAndTakesTheTypedReferencePowers) {
    const auto r = accuracy("\n800\n\n450.25\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Set the source to 230 V, 2.5 A, PF 1 (point 1 of 2: 50 % Ib, PF 1), "
                         "then press Enter\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Set the source to 230 V, 5 A, PF 0.5L (point 2 of 2"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Reference active power of point 1 in W: "), std::string::npos);
    EXPECT_NE(r.err.find("Reference active power of point 2 in W: "), std::string::npos);
    EXPECT_NE(r.out.find("point=1 of=2 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" reference_W=450.250000 "), std::string::npos) << r.out;
    EXPECT_EQ(r.values.at("points"), "2");
    EXPECT_EQ(referenceColumn(slurp(csv)), (std::vector<std::string>{"800", "450.25"}));
}

TEST_F(UsbAccuracyCli, ReferenceFileAnswersInsteadOfTheKeyboard) {
    const std::string refs = ::testing::TempDir() + "usb_accuracy_refs.csv";
    std::ofstream(refs) << "point,watts\n1,812.5   # first reading\n2, 399\n";
    const auto r = accuracy("\n\n", " --reference " + refs);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("(point 2 of 2"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Reference active power"), std::string::npos) << r.err;
    EXPECT_EQ(referenceColumn(slurp(csv)), (std::vector<std::string>{"812.5", "399"}));

    // A file that cannot answer a point stops the run there and says why.
    std::ofstream(refs) << "1,812.5\n";
    const auto missing = accuracy("\n\n", " --reference " + refs);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("has no line for point 2."), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("The accuracy test stopped after 1 of 2 points."),
              std::string::npos);
    EXPECT_EQ(referenceColumn(slurp(csv)), (std::vector<std::string>{"812.5"}));
    // A power that is no power is refused before any point, naming its line.
    std::ofstream(refs) << "point,watts\n1,812.5\n2,lots\n";
    const auto bad = accuracy("\n\n", " --reference " + refs);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("line 3 (point 2): \"lots\" is not a number of watts"),
              std::string::npos)
        << bad.err;
    EXPECT_EQ(bad.err.find("Set the source"), std::string::npos);
}

TEST_F(UsbAccuracyCli, AReferenceThatIsNoPowerEndsTheRunWithItsReason) {
    struct Case {
        const char* input;
        const char* said;
    };
    const Case cases[] = {
        {"\n\n", "The reference power of point 1 was refused: no power was given."},
        {"\nabc\n",
         "The reference power of point 1 was refused: \"abc\" is not a number of watts."},
        {"\n12 W\n", "refused: \"12 W\" is not a number of watts."},
        {"\n0\n", "refused: \"0\" is not a power above 0 W."},
        {"\n-5\n", "refused: \"-5\" is not a power above 0 W."},
        {"\nnan\n", "refused: \"nan\" is not a power above 0 W."},
        {"\n", "Standard input ended before the reference power of point 1."},
        {"", "Standard input ended before point 1 was confirmed."},
        {"\n800\n", "Standard input ended before point 2 was confirmed."},
    };
    for (const Case& c : cases) {
        const auto r = accuracy(c.input);
        EXPECT_EQ(r.status, 1) << c.input;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << c.input << "\n" << r.err;
        EXPECT_NE(r.err.find("The accuracy test stopped after "), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("accuracy="), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace evkit::test
