// Engineering units, the virtual source and the accuracy test as a user runs them.
#include <gtest/gtest.h>

#include <fstream>

#include "cli_runner.h"
#include "png_reader.h"
#include "temp_files.h"

using evkit::test::runCli;

using evkit::test::slurp;

namespace {

std::string value(const std::string& out, const std::string& key) {
    const auto at = out.find("\n" + key + "=");
    if (at == std::string::npos) return "";
    const auto start = at + key.size() + 2;
    return out.substr(start, out.find('\n', start) - start);
}

}  // namespace

TEST(UnitsCli, MonitorPrintsUnitKeysBesideTheDeviceValues) {
    const auto r = runCli(
        "--board sim --sim-ideal --scale-v1 400 --scale-i1 20 --source \"V1=230V I1=5A PF=0.5L "
        "f=50\" monitor --count 2 --updates 1");
    ASSERT_EQ(r.status, 0) << r.err;
    // The device's own keys stay as they were, each followed by its unit key.
    EXPECT_NE(r.out.find("\nV1RMS=0.575000\nV1RMS_V="), std::string::npos) << r.out;
    EXPECT_NEAR(std::stod(value(r.out, "V1RMS_V")), 230.0, 1e-3);
    EXPECT_NEAR(std::stod(value(r.out, "I1RMS_A")), 5.0, 5e-4);
    EXPECT_NEAR(std::stod(value(r.out, "P1AVG_W")), 575.0, 0.06);
    EXPECT_NEAR(std::stod(value(r.out, "S1_VA")), 1150.0, 0.12);
    EXPECT_NEAR(std::stod(value(r.out, "Q1AVG_var")), 995.9, 0.2);
    EXPECT_NE(r.out.find("\nV1RMS_AVG=0.575000\nV1RMS_AVG_V="), std::string::npos);
    // Quantities without a unit get no unit key.
    EXPECT_EQ(r.out.find("\nPF1_AVG_"), std::string::npos);
    EXPECT_EQ(r.out.find("\nEXTRA_1_AVG_"), std::string::npos);

    // A scaling file, then an option over it.
    const std::string file = ::testing::TempDir() + "cli_scaling.txt";
    std::ofstream(file) << "scale-v1 = 100\nscale-i1 = 1\n";
    const auto f = runCli("--board sim --sim-ideal --scaling " + file +
                          " --scale-i1 2 --source \"V1=0.5FS I1=0.25FS PF=1\" monitor --single");
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_NEAR(std::stod(value(f.out, "V1RMS_V")), 50.0, 1e-3);
    EXPECT_NEAR(std::stod(value(f.out, "I1RMS_A")), 0.5, 1e-4);
    EXPECT_NEAR(std::stod(value(f.out, "P1AVG_W")), 25.0, 1e-3);
}

// The unit log: a file of its own, the conversion log untouched.
TEST(UnitsCli, UnitLogWritesOneLinePerUpdateInUnits) {
    const std::string path = ::testing::TempDir() + "unit_log.csv";
    const auto r = runCli(
        "--board sim --sim-ideal --source \"V1=230V I1=5A PF=1\" monitor "
        "--updates 2 --unit-log " +
        path);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = slurp(path);
    EXPECT_EQ(text.rfind("n,time,V1rms_V,I1rms_A,P1_W,S1_VA,Q1_var,PF1,", 0), 0u) << text;
    const auto second = text.find("\n2,");
    ASSERT_NE(second, std::string::npos) << text;
    const std::string line = text.substr(text.find("\n1,") + 1);
    const auto fields = line.substr(line.find(',', 2) + 1);  // after n and time
    EXPECT_NEAR(std::stod(fields), 230.0, 1e-3);
    EXPECT_EQ(text.find("\n3,"), std::string::npos);

    const auto bad = runCli("--board sim monitor --single --unit-log /nonexistent-dir/u.csv");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("Unable to write the file"), std::string::npos) << bad.err;
}

// Pulse rates in watts through the meter constant: given, or from the pulse rate register.
TEST(UnitsCli, PulseLinesCarryTheRatesInWatts) {
    auto r = runCli("--board sim --meter-constant 3600 pulse --time 3");
    ASSERT_EQ(r.status, 0) << r.err;
    // 3600 pulses per kWh: one pulse per second is 1000 W.
    const auto rate = std::stod(r.out.substr(r.out.find(" rate1=") + 7));
    const auto watts = std::stod(r.out.substr(r.out.find(" power1_W=") + 10));
    EXPECT_NEAR(watts, rate * 1000.0, 1e-6 * watts);
    // From the register: 100 pulses/s at a tenth of 400 V x 20 A.
    r = runCli(
        "--board sim --sim-ideal --source \"V1=230V I1=5A PF=1\" write 1:19 400 pulse "
        "--time 10");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find(" power1_W="), std::string::npos);  // no constant given: no reads between
    EXPECT_NEAR(std::stod(r.out.substr(r.out.find("\nmean1_W=") + 9)), 1150.0, 1.0);
}

TEST(UnitsCli, SourceCommandAndOptionErrors) {
    auto r = runCli("--board sim source V1=100V I1=1A PF=0.8C source show");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("source=f=50 V1=100V I1=1A PHI1=36.8699"), std::string::npos) << r.out;
    EXPECT_NEAR(std::stod(value(r.out, "source_P1_W")), 80.0, 1e-6);

    for (const char* bad :
         {"--board sim --source V1=5A monitor --single", "--board sim source PF=2L",
          "--board usb --sim-ideal identify", "--board sim --scale-v1 -3 identify",
          "--board sim accuracy --class 3", "--board sim accuracy --plot a.pdf",
          "--board sim accuracy --method x"}) {
        r = runCli(std::string("--trace ") + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << bad;
    }
}

TEST(AccuracyCli, WritesTableReportAndPlot) {
    const std::string dir = ::testing::TempDir();
    const std::string plan = dir + "cli_plan.txt";
    std::ofstream(plan) << "window = 2\nmin-pulses = 200\npoint = 10%, 1\npoint = 100%, 0.5L\n";
    const auto r = runCli("--board sim --sim-ideal accuracy --plan " + plan + " --class 1 --csv " +
                          dir + "acc.csv --report " + dir + "acc.txt --plot " + dir + "acc.svg");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\npoint=1 of=2 current_pct_ib=10 current_A=0.5 voltage_V=230 pf=1 "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(value(r.out, "class"), "1");
    EXPECT_EQ(value(r.out, "points"), "2");
    EXPECT_EQ(value(r.out, "accuracy"), "pass");
    const std::string csv = slurp(dir + "acc.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
    EXPECT_NE(slurp(dir + "acc.txt").find("Result: 2 of 2 judged points within class 1."),
              std::string::npos);
    EXPECT_EQ(slurp(dir + "acc.svg").rfind("<svg ", 0), 0u);

    // A plan that cannot be read is a usage error before the board is touched.
    const auto bad = runCli("--board sim --trace accuracy --plan " + dir + "missing-plan.txt");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.find("> "), std::string::npos);
}

// The plot as PNG: the file name's extension chooses the format, in any case; another
// extension is a usage error before the board is touched, and no file is written.
TEST(AccuracyCli, WritesThePlotAsPngAndRefusesOtherFormats) {
    const std::string dir = evkit::test::freshDir("evkit_acc", "png");
    const std::string plan = dir + "/plan.txt";
    std::ofstream(plan) << "window = 2\nmin-pulses = 200\npoint = 10%, 1\npoint = 100%, 0.5L\n";
    const auto r = runCli("--board sim --sim-ideal accuracy --plan " + plan + " --plot " + dir +
                          "/acc.png --method power");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bytes = slurp(dir + "/acc.png");
    EXPECT_EQ(bytes.rfind("\x89PNG\r\n\x1a\n", 0), 0u);
    const auto png = evkit::test::decodePng(bytes);
    ASSERT_EQ(png.error, "");
    EXPECT_EQ(png.width, 1800);
    EXPECT_EQ(png.height, 1120);
    EXPECT_GT(png.count(evkit::Colour::hex(0x1f5fbf)), 100);   // PF 1 curve and the band's edge
    EXPECT_GT(png.count(evkit::Colour::hex(0xc0392b)), 100);   // PF 0.5L curve
    EXPECT_GT(png.count(evkit::Colour::hex(0x000000)), 1000);  // frame and text

    const auto upper = runCli("--board sim --sim-ideal accuracy --plan " + plan + " --plot " + dir +
                              "/ACC.PNG --method power");
    ASSERT_EQ(upper.status, 0) << upper.err;
    EXPECT_EQ(evkit::test::decodePng(slurp(dir + "/ACC.PNG")).error, "");
    const auto svg = runCli("--board sim --sim-ideal accuracy --plan " + plan + " --plot " + dir +
                            "/acc.Svg --method power");
    ASSERT_EQ(svg.status, 0) << svg.err;
    EXPECT_EQ(slurp(dir + "/acc.Svg").rfind("<svg ", 0), 0u);

    for (const char* name : {"acc.bmp", "acc.pdf", "png", "acc.png.txt"}) {
        const std::string path = dir + "/" + name;
        const auto bad = runCli("--board sim --trace accuracy --plan " + plan + " --plot " + path);
        EXPECT_EQ(bad.status, 2) << name;
        EXPECT_NE(bad.err.find("SVG (F.svg) or PNG (F.png)"), std::string::npos) << bad.err;
        EXPECT_EQ(bad.err.find("> "), std::string::npos) << name;  // the board was not touched
        EXPECT_EQ(evkit::test::kindOf(path), 0u) << name;
    }
}
