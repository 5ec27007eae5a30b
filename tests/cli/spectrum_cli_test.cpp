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

// A capture file of n codes from a formula.
template <typename Code>
std::string writeFile(const std::string& name, int n, Code code) {
    const std::string path = tmp(name);
    std::ofstream f(path);
    f << "PM7014\n4000.000000\n" << n << "\n8388608\n";
    for (int i = 0; i < n; ++i) f << std::lround(code(i)) << "\n";
    return path;
}

double value(const evkit::test::CliResult& r, const std::string& key) {
    return std::stod(r.values.at(key));
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
        const auto r =
            runCli("analyze " + writeSineFile(name, 4096, cycles) + " --test fft --window 0");
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

    EXPECT_EQ(runCli("analyze " + writeSineFile("w.dat", 64, 5) + " --test fft --window 5").status,
              2);
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
    // Over harmonics 2..5 the THD is the distortion S/D measures.
    const auto five = runCli("--board sim fft --pair 1 --samples 8192 --average 2 --harmonics 5");
    ASSERT_EQ(five.status, 0) << five.err;
    EXPECT_NEAR(value(five, "THD_dBc"), -value(five, "S/D"), 1e-4);
    std::ifstream in(fft);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) ++lines;
    EXPECT_EQ(lines, 5 + 8192 / 2 + 1);

    EXPECT_EQ(runCli("--board sim fft --pair 5 --samples 8192 --average 1").status, 2);
    EXPECT_EQ(runCli("--board sim fft --pair 1 --samples 1000 --average 1").status, 2);
    EXPECT_EQ(runCli("--board sim fft --pair 1 --samples 1024 --average 0").status, 2);
}

TEST(SpectrumCli, ConverterFiguresFollowTheFiveWhichStayAsTheyWere) {
    // A sine at -1 dBFS with a 5th harmonic at -60 dBc and a little noise.
    const double a = 8388608.0 * std::pow(10.0, -1.0 / 20.0);
    const std::string dat = writeFile("m.dat", 4096, [&](int i) {
        const double t = 2.0 * std::numbers::pi * i / 4096;
        return a * std::sin(301 * t) + a * 1e-3 * std::sin(5 * 301 * t + 0.3) +
               ((i * 7919) % 201 - 100);
    });
    const auto r = runCli("analyze " + dat + " --test fft --window 4");
    ASSERT_EQ(r.status, 0) << r.err;
    // The five and their companions come first, in their order, then the new figures.
    std::string firstKeys;
    std::istringstream lines(r.out);
    std::string line;
    for (int i = 0; i < 8 && std::getline(lines, line); ++i)
        firstKeys += line.substr(0, line.find('=')) + " ";
    EXPECT_EQ(firstKeys, "S/PN SINAD S/D SNR FS-PdB fundamental_bin fundamental_hz warning ");
    EXPECT_NEAR(value(r, "SINAD_dBFS"), value(r, "SINAD") + value(r, "FS-PdB"), 2e-6);
    EXPECT_NEAR(value(r, "SNR_dBFS"), value(r, "SNR") + value(r, "FS-PdB"), 2e-6);
    EXPECT_NEAR(value(r, "ENOB"), (value(r, "SINAD_dBFS") - 1.76) / 6.02, 1e-6);
    EXPECT_NEAR(value(r, "THD_dBc"), -60.0, 0.05);
    EXPECT_EQ(r.values.at("THD_harmonics"), "9");
    // The largest spur is the harmonic: SFDR is S/PN, at 5 x 301 bins.
    EXPECT_EQ(r.values.at("SFDR_dBc"), r.values.at("S/PN"));
    EXPECT_NEAR(value(r, "SFDR_dBFS"), value(r, "SFDR_dBc") + 1.0, 0.01);
    EXPECT_EQ(r.values.at("SFDR_spur_Hz"), "1469.726562");  // 4000 * 1505 / 4096
    EXPECT_NEAR(value(r, "NSD_dBFS_Hz"), -value(r, "SNR_dBFS") - 10.0 * std::log10(2000.0), 2e-6);
    EXPECT_FALSE(r.values.count("THD_note"));

    // THD over 2..3 leaves the 5th out; the five do not change.
    const auto three = runCli("analyze " + dat + " --test fft --window 4 --harmonics 3");
    ASSERT_EQ(three.status, 0) << three.err;
    EXPECT_EQ(three.values.at("THD_harmonics"), "3");
    EXPECT_LT(value(three, "THD_dBc"), -80.0);
    for (const char* key : kKeys) EXPECT_EQ(three.values.at(key), r.values.at(key)) << key;
    EXPECT_EQ(runCli("analyze " + dat + " --test fft --harmonics 1").status, 2);
    EXPECT_EQ(runCli("analyze " + dat + " --test fft --harmonics 51").status, 2);
}

TEST(SpectrumCli, NoSpurOutsideTheFundamentalBandPrintsInfinity) {
    // 48 samples, tone at bin 18: with the 7-term window the band reaches from the DC region
    // to half the sample rate, and no bin is left for a spur.
    const std::string dat = writeFile("n.dat", 48, [](int i) {
        return 4e6 * std::sin(2.0 * std::numbers::pi * 18 * i / 48 + 0.2);
    });
    const auto r = runCli("analyze " + dat + " --test fft --window 4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.values.at("S/PN"), "inf");
    EXPECT_EQ(r.values.at("SFDR_dBc"), "inf");
    EXPECT_EQ(r.values.at("SFDR_dBFS"), "inf");
    EXPECT_FALSE(r.values.count("SFDR_spur_Hz"));
    EXPECT_NE(r.out.find("\nwarning=no spur outside the fundamental band\n"), std::string::npos)
        << r.out;
}

TEST(SpectrumCli, CoherentFrequencyNearAWantedOne) {
    const auto r = runCli("coherent --fs 4000 --samples 16384 --near 50");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.values.at("cycles"), "205");
    EXPECT_EQ(r.values.at("frequency_hz"), "50.048828");
    EXPECT_EQ(r.values.at("prime"), "0");
    EXPECT_EQ(r.values.at("prime_cycles"), "199");
    EXPECT_EQ(r.values.at("prime_frequency_hz"), "48.583984");

    const auto high = runCli("coherent --fs 4000 --samples 16384 --near 2500");
    EXPECT_EQ(high.status, 2);
    EXPECT_NE(high.err.find("between 0 and 2000 Hz"), std::string::npos) << high.err;
    EXPECT_TRUE(high.values.empty());
    EXPECT_EQ(runCli("coherent --fs 4000 --near 50").status, 2);
}

}  // namespace
