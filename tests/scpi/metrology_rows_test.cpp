// The virtual source, the scaling and the results in units over SCPI.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "scpi_rig.h"

namespace evkit::test {
namespace {

double firstValue(const std::string& csvLine) {
    return std::strtod(csvLine.c_str(), nullptr);
}

TEST(ScpiMetrology, SourceSetsWhatTheMonitorMeasuresInUnits) {
    ScpiRig rig;
    auto c = rig.client(1);
    EXPECT_EQ(run(c, "SOUR \"V1=230V I1=5A PF=1 f=50\""), "");
    EXPECT_EQ(run(c, "SYST:ERR?"), "0,\"No error\"\n");
    EXPECT_NE(run(c, "SOURce?").find("V1=230"), std::string::npos);
    // The ideal virtual device at 400 V full scale: 230 V.
    const double volts = firstValue(run(c, "MEAS:UNIT?"));
    EXPECT_NEAR(volts, 230.0, 230.0 * 1e-3);
    // The device value is the fraction of full scale, unchanged by the units.
    EXPECT_NEAR(firstValue(run(c, "MEAS:ALL?")), 230.0 / 400.0, 1e-3);

    // The same input read with half the full-scale voltage: half the volts.
    EXPECT_EQ(run(c, "SCAL scale-v1,200;SCAL?"), "200.000000,20.000000,400.000000,20.000000,"
                                                 "0.000000\n");
    EXPECT_NEAR(firstValue(run(c, "MEAS:UNIT?")), volts / 2, 230.0 * 1e-3);
}

TEST(ScpiMetrology, RefusalsLeaveSourceAndScalingAsTheyWere) {
    ScpiRig rig;
    auto c = rig.client(1);
    const std::string before = run(c, "SOUR?");
    run(c, "SOUR \"V1=banana\"");
    EXPECT_EQ(run(c, "SYST:ERR?").substr(0, 5), "-222,");
    run(c, "SCAL scale-v9,1");
    EXPECT_EQ(run(c, "SYST:ERR?").substr(0, 5), "-222,");
    EXPECT_EQ(run(c, "SOUR?"), before);
    EXPECT_EQ(run(c, "SCAL?"), "400.000000,20.000000,400.000000,20.000000,0.000000\n");

    scpi::InstrumentOptions readOnly;
    readOnly.readOnly = true;
    ScpiRig guarded(readOnly);
    auto g = guarded.client(1);
    const std::string source = run(g, "SOUR?");
    run(g, "SOUR \"V1=100V\"");
    EXPECT_EQ(run(g, "SYST:ERR?").substr(0, 5), "-203,");
    EXPECT_EQ(run(g, "SOUR?"), source);
}

}  // namespace
}  // namespace evkit::test
