// The FFT test from the command line: a capture file analysed twice, the spectrum file, the
// refusals, and averaged captures from the virtual board.
#include <gtest/gtest.h>

#include "cli_runner.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <string>

using evkit::test::runCli;

namespace {

std::string tmp(const std::string& name) {
    return ::testing::TempDir() + "spectrum_cli_" + name;
}

// A capture file of n codes: a half-scale sine at bin `cycles` plus a little noise.
std::string writeSineFile(const std::string& name, int n, int cycles) {
    const std::string path = tmp(name);
    std::ofstream f(path);
    f << "PM7014\n4000.000000\n" << n << "\n8388608\n";
    for (int i = 0; i < n; ++i)
        f << std::lround(4194304.0 * std::sin(2.0 * std::numbers::pi * cycles * i / n) +
                         ((i * 7919) % 201 - 100))
          << "\n";
    return path;
}

const char* kKeys[] = {"S/PN",           "SINAD",  "S/D", "SNR", "FS-PdB", "fundamental_bin",
                       "fundamental_hz", "warning"};

TEST(SpectrumCli, AnalyzeTwiceGivesIdenticalFiguresAndWritesTheSpectrumFile) {
    const std::string dat = writeSineFile("a.dat", 4096, 301);
    const std::string fft = tmp("a.fft");
    const auto a = runCli("analyze " + dat + " --test fft --window 0 --fft-out " + fft);
    ASSERT_EQ(a.status, 0) << a.err;
    const auto b = runCli("analyze " + dat + " --test fft --window 0");
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(a.out, b.out);
    for (const char* key : kKeys) EXPECT_TRUE(a.values.count(key)) << key;
    EXPECT_EQ(a.values.at("fundamental_bin"), "301");
    EXPECT_EQ(a.values.at("fundamental_hz"), "293.945312");  // 4000 * 301 / 4096
    EXPECT_NEAR(std::stod(a.values.at("FS-PdB")), 6.02, 0.05);
    EXPECT_EQ(a.values.at("FS-PdB").size() - a.values.at("FS-PdB").find('.'), 7u);

    std::ifstream in(fft);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "PM7014");
    std::getline(in, line);
    EXPECT_EQ(line, "4000.000000 sample freq.");
    std::getline(in, line);
    EXPECT_EQ(line, "4096 samples");
    std::getline(in, line);
    EXPECT_EQ(line, "8388608 range");
    std::getline(in, line);
    EXPECT_EQ(line, "Frequency \tMagnitude");
    int rows = 0;
    double peakDb = -1e9, peakHz = 0.0;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const double hz = std::stod(line.substr(0, tab));
        const double db = std::stod(line.substr(tab + 1));
        EXPECT_NEAR(hz, 4000.0 * rows / 4096, 1e-6);
        if (db > peakDb) {
            peakDb = db;
            peakHz = hz;
        }
        ++rows;
    }
    EXPECT_EQ(rows, 4096 / 2 + 1);
    EXPECT_NEAR(peakHz, 293.945312, 1e-6);

    // Another window changes the figures but not the fundamental.
    const auto c = runCli("analyze " + dat + " --test fft --window 2");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.values.at("fundamental_bin"), "301");
    EXPECT_NE(c.values.at("SNR"), a.values.at("SNR"));
}

TEST(SpectrumCli, WarningOnlyWhenABandIsCut) {
    // The fundamental band of bin 12 reaches into the DC region, that of bin 2046 passes
    // the upper edge; bins 301 and 2040 have room on both sides.
    for (const auto& [cycles, warning] :
         {std::pair{301, "0"}, {12, "1"}, {2040, "0"}, {2046, "1"}}) {
        std::string name = "w";
        name += std::to_string(cycles) + ".dat";
        const auto r = runCli("analyze " + writeSineFile(name, 4096, cycles) + " --test fft --window 0");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.values.at("fundamental_bin"), std::to_string(cycles));
        EXPECT_EQ(r.values.at("warning"), warning) << cycles;
    }
}

TEST(SpectrumCli, OptionValueNamingACommandStaysAnOptionValue) {
    // "fft" after --test is the analysis, the next "analyze" starts a second command.
    const std::string dat = writeSineFile("c.dat", 1024, 77);
    const auto r = runCli("analyze " + dat + " --test fft analyze " + dat + " --test time");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.values.at("fundamental_bin"), "77");
    EXPECT_TRUE(r.values.count("MAXIMUM"));
}

TEST(SpectrumCli, ShortBlocksAreRefused) {
    const auto small = runCli("analyze " + writeSineFile("s.dat", 32, 3) + " --test fft");
    EXPECT_EQ(small.status, 1);
    // A file's block cannot be made longer with a button: the text says what can.
    EXPECT_NE(small.err.find("Sample Size too Small, Increase it using a capture file with more "
                             "samples"),
              std::string::npos)
        << small.err;
    EXPECT_EQ(small.err.find("Settings"), std::string::npos) << small.err;
    EXPECT_TRUE(small.values.empty());

    const auto noReference = runCli("analyze " + writeSineFile("r.dat", 40, 3) + " --test fft");
    EXPECT_EQ(noReference.status, 1);
    EXPECT_NE(noReference.err.find("full-scale reference"), std::string::npos) << noReference.err;
    EXPECT_TRUE(noReference.values.empty());

    const auto ok = runCli("analyze " + writeSineFile("o.dat", 48, 5) + " --test fft");
    EXPECT_EQ(ok.status, 0) << ok.err;

    EXPECT_EQ(runCli("analyze " + writeSineFile("w.dat", 64, 5) + " --test fft --window 5").status, 2);
}

TEST(SpectrumCli, AveragedCapturesFromTheBoard) {
    const std::string fft = tmp("b.fft");
    const auto r = runCli("--board sim fft --pair 1 --samples 8192 --average 3 --fft-out " + fft);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* key : kKeys) EXPECT_TRUE(r.values.count(key)) << key;
    const double fs = std::stod(r.values.at("fs"));
    // The virtual board's line frequency, within a bin.
    EXPECT_NEAR(std::stod(r.values.at("fundamental_hz")), 50.0, fs / 8192);
    // 50 Hz lies near bin 102, far from DC and from the upper edge: no band is cut.
    EXPECT_EQ(r.values.at("warning"), "0");
    std::ifstream in(fft);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) ++lines;
    EXPECT_EQ(lines, 5 + 8192 / 2 + 1);

    EXPECT_EQ(runCli("--board sim fft --pair 5 --samples 8192 --average 1").status, 2);
    EXPECT_EQ(runCli("--board sim fft --pair 1 --samples 1000 --average 1").status, 2);
    EXPECT_EQ(runCli("--board sim fft --pair 1 --samples 1024 --average 0").status, 2);
}

}  // namespace
