// capture and analyze, run as a user would run them.
#include <gtest/gtest.h>

#include "cli_runner.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using evkit::test::runCli;

namespace {

std::string tmp(const std::string& name) {
    return ::testing::TempDir() + "capture_cli_" + name;
}

TEST(CaptureCli, CaptureThenAnalyzeAgreeOnTheExtremes) {
    const std::string dat = tmp("a.dat"), txt = tmp("a.txt");
    const auto c = runCli("--board sim capture --pair 3 --samples 256 --channel 2 --out " + dat +
                          " --export " + txt);
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.values.at("samples"), "256");
    EXPECT_EQ(c.values.at("fs"), "4000.000000");
    EXPECT_EQ(c.values.at("channel1"), "Active Power 1");
    EXPECT_EQ(c.values.at("channel2"), "Reactive Power 1");
    const auto a = runCli("--board sim analyze " + dat + " --test time");
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out,
              "MAXIMUM=" + c.values.at("MAXIMUM") + "\nMINIMUM=" + c.values.at("MINIMUM") + "\n");
    // The export holds both channels, one line per sample.
    std::ifstream ex(txt);
    std::string title, first;
    std::getline(ex, title);
    std::getline(ex, first);
    EXPECT_EQ(title, "                 Current              Voltage");
    EXPECT_EQ(first.size(), 9u + 7 + 9 + 11 + 9);
    EXPECT_EQ(first.substr(0, 9), "000000001");
    // The file holds channel 2: the export's third column.
    std::ifstream in(dat);
    std::string line;
    for (int i = 0; i < 5; ++i) std::getline(in, line);
    EXPECT_EQ(std::stoi(first.substr(36)), std::stoi(line));
}

// A capture file names the identified device family in its header (PM7014 when unknown).
TEST(CaptureCli, CaptureFileHeaderIsTheDeviceFamily) {
    const std::string dat = tmp("family.dat");
    for (const auto& [variant, part] :
         {std::pair{"PM7017-C1", "PM7017"}, std::pair{"PM7010A", "PM7010A"},
          std::pair{"PM7014-C", "PM7014"}, std::pair{"UNKNOWN", "PM7014"}}) {
        const auto c = runCli(std::string("--board sim:") + variant +
                              " capture --pair 1 --samples 16 --out " + dat);
        ASSERT_EQ(c.status, 0) << variant << c.err;
        std::ifstream in(dat);
        std::string header;
        std::getline(in, header);
        EXPECT_EQ(header, part) << variant;
    }
}

TEST(CaptureCli, HistogramOfACaptureFile) {
    const std::string dat = tmp("h.dat"), hit = tmp("h.hit");
    std::ofstream(dat) << "PM7014\n4000.000000\n16\n8388608\n"
                          "100\n101\n102\n103\n104\n105\n106\n107\n"
                          "108\n109\n110\n111\n112\n113\n114\n115\n";
    const auto r = runCli("analyze " + dat + " --test hist --bin-width 4 --hist-out " + hit);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "MEAN=107.500000\nSTD_DEV=4.609772\nVARIANCE=21.250000\nMAXIMUM=115.000000\n"
              "MINIMUM=100.000000\nbins=4\n");
    std::ifstream in(hit);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(text.substr(0, text.find("Bin")),
              "PM7014\n16 samples\n3 points\n115 maximum\n100 minimum\n");

    // A bin width below 1 is a usage error; a span of too many bins is refused by the
    // analysis, after its statistics.
    const auto usage = runCli("analyze " + dat + " --test hist --bin-width 0");
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    const std::string wide = ::testing::TempDir() + "evkit_hist_wide.dat";
    std::ofstream(wide) << "PM7014\n4000.000000\n2\n8388608\n-8388608\n8388607\n";
    const auto refused = runCli("analyze " + wide + " --test hist --bin-width 1");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Distribution too large to plot"), std::string::npos);
    EXPECT_NE(refused.out.find("MEAN=-0.500000"), std::string::npos) << refused.out;
}

TEST(CaptureCli, AnalyzeNeverOpensABoard) {
    const std::string dat = tmp("o.dat");
    std::ofstream(dat) << "PM7014 4000 2 8388608 -5 9\n";
    // A real board is asked for, yet nothing is opened.
    const auto r = runCli("--board usb --trace analyze " + dat + " --test time");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MAXIMUM=9.000000\nMINIMUM=-5.000000\n");
    EXPECT_EQ(r.err, "");
}

// The analysed channel in volts or amperes beside the export, which keeps its content.
TEST(CaptureCli, UnitsCsvGivesTheSamplesThroughTheScaling) {
    const std::string csv = tmp("units.csv"), txt = tmp("units.txt"), plain = tmp("plain.txt");
    const std::string board =
        "--board sim --sim-ideal --scale-v1 400 --scale-i1 20 --source \"V1=230V I1=5A PF=1 "
        "f=50\" ";
    const auto c = runCli(board + "capture --pair 1 --samples 1024 --channel 2 --units-csv " + csv +
                          " --export " + txt);
    ASSERT_EQ(c.status, 0) << c.err;
    std::ifstream in(csv);
    std::string comment, header, line;
    std::getline(in, comment);
    std::getline(in, header);
    EXPECT_EQ(comment, "# Voltage 1 in V: 400 V at full-scale code 8388608, 4000 samples/s");
    EXPECT_EQ(header, "index,code,value_V");
    std::vector<int> codes;
    double peak = 0;
    while (std::getline(in, line)) {
        int index = 0, code = 0;
        double volts = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d,%lf", &index, &code, &volts), 3) << line;
        EXPECT_EQ(index, static_cast<int>(codes.size()) + 1);
        EXPECT_NEAR(volts, code / 8388608.0 * 400.0, 5e-7);
        codes.push_back(code);
        peak = std::max(peak, volts);
    }
    ASSERT_EQ(codes.size(), 1024u);
    // 230 V RMS: a peak of 325.27 V, the sample nearest it at most 2.25 degrees away.
    EXPECT_LT(peak, 230.0 * std::sqrt(2.0) + 0.01);
    EXPECT_GT(peak, 230.0 * std::sqrt(2.0) * std::cos(2.25 * M_PI / 180.0) - 0.01);
    // The export holds the same codes in its own format, as without --units-csv.
    std::ifstream ex(txt);
    std::getline(ex, line);
    for (int code : codes) {
        ASSERT_TRUE(std::getline(ex, line));
        EXPECT_EQ(std::stoi(line.substr(36)), code);
    }
    ASSERT_EQ(
        runCli(board + "capture --pair 1 --samples 1024 --channel 2 --export " + plain).status, 0);
    std::ifstream a(txt), b(plain);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}),
              std::string(std::istreambuf_iterator<char>(b), {}));

    // Channel 1 of the pair is the current, in amperes.
    ASSERT_EQ(runCli(board + "capture --pair 1 --samples 16 --units-csv " + csv).status, 0);
    std::ifstream amps(csv);
    std::getline(amps, comment);
    std::getline(amps, header);
    EXPECT_EQ(comment.rfind("# Current 1 in A: 20 A at", 0), 0u) << comment;
    EXPECT_EQ(header, "index,code,value_A");
    // A file that cannot be written fails the command after the capture.
    const auto bad = runCli(board + "capture --pair 1 --samples 16 --units-csv /nonexistent/u.csv");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("/nonexistent/u.csv"), std::string::npos) << bad.err;
}

TEST(CaptureCli, UnreadableFileAndBadOptions) {
    const std::string bad = tmp("bad.dat");
    std::ofstream(bad) << "PM7014 4000 sixteen 8388608\n";
    auto r = runCli("analyze " + bad + " --test time");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "ERROR: Incompatible Data File: line 1: the sample count must be an integer, "
              "found \"sixteen\".\n");
    EXPECT_EQ(r.out, "");

    r = runCli("analyze " + tmp("missing.dat") + " --test time");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.dat"), std::string::npos);

    r = runCli("--board sim --trace capture --pair 1 --samples 17");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("> "), std::string::npos);  // nothing sent
    EXPECT_EQ(runCli("--board sim capture --pair 5 --samples 16").status, 2);
    EXPECT_EQ(runCli("analyze " + bad + " --test nothing").status, 2);
}

}  // namespace
