// The energy accuracy test on the virtual board: the ideal part, the uncalibrated part before
// and after calibration, the class limits, plan files, stopping, and the outputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "calibration/calibration.h"
#include "metrology/accuracy_output.h"
#include "metrology/accuracy_run.h"
#include "metrology/source_settings.h"
#include "png_reader.h"
#include "sim_rig.h"

using namespace evkit;
using namespace evkit::metrology;

namespace {

AccuracyPlan shortPlan(std::vector<PlanPoint> points) {
    AccuracyPlan plan;
    plan.points = std::move(points);
    plan.windowCycles = 3;
    plan.minPulses = 4000;
    return plan;
}

AccuracyRun runOn(test::SimRig& rig, const AccuracyPlan& plan, Method method = Method::Both,
                  const RunCallbacks& cb = {}) {
    Bench bench = virtualBench(rig.board, Scaling{}, plan.channel);
    AccuracyRun run;
    runAccuracy(rig.session, rig.console, plan, method, Scaling{}, bench, cb, &run);
    return run;
}

void program(test::SimRig& rig, const std::string& settings) {
    sim::SignalSource s = rig.board.signal();
    sim::ErrorModel e = rig.board.errorModel();
    std::string why;
    ASSERT_TRUE(applySourceSettings(settings, Scaling{}, s, e, &why)) << why;
    rig.board.setSignal(s);
}

void calibrate(test::SimRig& rig, calibration::CalType type) {
    const auto* button = calibration::findButton(type, calibration::kAll);
    ASSERT_EQ(
        calibration::runCalibration(rig.link, *button, false, [](const calibration::Shown&) {}), 0);
}

double worstPf1(const AccuracyRun& run) {
    double worst = 0;
    for (const auto& p : run.points)
        if (p.point.pf == 1.0)
            worst = std::max({worst, std::fabs(p.powerErrorPct), std::fabs(p.pulseErrorPct)});
    return worst;
}

}  // namespace

TEST(AccuracyTest, IdealPartMeasuresWithinTwentiethOfAPercentByBothMethods) {
    test::SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    const auto run = runOn(rig, shortPlan({{5, 1, false},
                                           {100, 1, false},
                                           {10, 0.5, false},
                                           {120, 0.8, true},
                                           {200, 0.5, false}}));
    ASSERT_TRUE(run.complete());
    ASSERT_EQ(run.points.size(), 5u);
    for (const auto& p : run.points) {
        ASSERT_TRUE(std::isfinite(p.powerErrorPct) && std::isfinite(p.pulseErrorPct));
        EXPECT_LT(std::fabs(p.powerErrorPct), 0.05) << p.point.label();
        EXPECT_LT(std::fabs(p.pulseErrorPct), 0.05) << p.point.label();
        EXPECT_GE(p.pulses, 3900);
        EXPECT_TRUE(p.pass());
    }
    EXPECT_NEAR(run.points[1].referenceW, 230.0 * 5.0, 1e-9);
    EXPECT_NEAR(run.points[2].referenceW, 230.0 * 0.5 * 0.5, 1e-9);
    // The source is given back as it was and the board is left at rest.
    EXPECT_EQ(rig.board.signal().inputs[sim::kI1].amplitude,
              sim::SignalSource{}.inputs[sim::kI1].amplitude);
    const auto frames = rig.takeFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().rfind("f6", 0), 0u);  // the last exchange was the final pulse count
}

// The demonstration: uncalibrated, errors outside class 0.5S (low current and PF 0.5);
// after the offset and gain calibrations the PF 1 points lie inside, PF 0.5L stays out
// (the phase error has no calibration register).
TEST(AccuracyTest, CalibrationBringsThePf1ErrorsInsideTheClass) {
    test::SimRig rig;
    rig.board.setErrorModel(sim::uncalibratedPart());
    ASSERT_EQ(rig.open(), 0);
    AccuracyPlan plan =
        shortPlan({{1, 1, false}, {5, 1, false}, {100, 1, false}, {50, 0.5, false}});
    plan.minPulses = 1000;
    const auto before = runOn(rig, plan);
    ASSERT_TRUE(before.complete());
    EXPECT_FALSE(before.pass());
    EXPECT_GT(worstPf1(before), 0.5);
    EXPECT_GT(std::fabs(before.points[0].powerErrorPct), std::fabs(before.points[2].powerErrorPct))
        << "offsets weigh most at low current";
    EXPECT_FALSE(before.points[3].pass());

    program(rig, "zero");
    calibrate(rig, calibration::CalType::DcOffset);
    program(rig, "cal");
    calibrate(rig, calibration::CalType::Gain);
    const auto after = runOn(rig, plan);
    ASSERT_TRUE(after.complete());
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(after.points[static_cast<size_t>(i)].pass());
    EXPECT_LT(worstPf1(after), 0.15);
    EXPECT_FALSE(after.points[3].pass());
    EXPECT_LT(after.points[3].powerErrorPct, -0.6);
    EXPECT_NE(after.calibration, before.calibration);
}

TEST(AccuracyTest, StopEndsAtTheNextStepWithTheBoardAtRest) {
    test::SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    RunCallbacks cb;
    int measured = 0;
    cb.measured = [&](const PointResult&, int) { ++measured; };
    cb.stopRequested = [&] { return measured >= 2; };
    const auto run =
        runOn(rig, shortPlan({{5, 1, false}, {10, 1, false}, {20, 1, false}}), Method::Power, cb);
    EXPECT_TRUE(run.stopped);
    EXPECT_FALSE(run.complete());
    EXPECT_EQ(run.points.size(), 2u);
    const auto frames = rig.takeFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), "a0 00 00 00 00 00");
    EXPECT_NE(accuracyReport(run).find("Stopped after 2 of 3 points."), std::string::npos);
}

// A bench whose reference is no power (as a desktop dialog allows 0 W) judges nothing.
TEST(AccuracyTest, AReferenceThatIsNoPowerStopsTheRunWithAMessage) {
    for (const double reference : {0.0, -12.0, std::nan("")}) {
        test::SimRig rig;
        ASSERT_EQ(rig.open(), 0);
        Bench bench = virtualBench(rig.board, Scaling{}, 1);
        bench.reference = [reference](const PointResult&) { return reference; };
        AccuracyRun run;
        const AccuracyPlan plan = shortPlan({{10, 1, false}, {20, 1, false}});
        EXPECT_EQ(
            runAccuracy(rig.session, rig.console, plan, Method::Power, Scaling{}, bench, {}, &run),
            kStatusCancelled);
        EXPECT_TRUE(run.stopped);
        EXPECT_TRUE(run.points.empty());
        ASSERT_EQ(rig.messages.shown.size(), 1u) << reference;
        EXPECT_NE(rig.messages.shown[0].second.find("The reference power of point 1 is "),
                  std::string::npos);
        EXPECT_NE(rig.messages.shown[0].second.find("it must be above 0 W"), std::string::npos);
    }
}

TEST(AccuracyPlan, ReferencePowersAreNumbersOfWattsAboveZero) {
    std::string why;
    EXPECT_EQ(parseReferenceWatts(" 812.5 \r", &why), 812.5);
    EXPECT_EQ(parseReferenceWatts("1e3", &why), 1000.0);
    for (const auto& [text, said] : std::vector<std::pair<std::string, std::string>>{
             {"", "no power was given"},
             {"   ", "no power was given"},
             {"abc", "\"abc\" is not a number of watts"},
             {"12 W", "\"12 W\" is not a number of watts"},
             {"0", "\"0\" is not a power above 0 W"},
             {"-3", "\"-3\" is not a power above 0 W"},
             {"inf", "\"inf\" is not a power above 0 W"}}) {
        EXPECT_FALSE(parseReferenceWatts(text, &why)) << text;
        EXPECT_EQ(why, said);
    }
}

TEST(AccuracyPlan, ClassLimitsWidenAtLowCurrentAndBelowUnityPowerFactor) {
    using C = AccuracyClass;
    EXPECT_EQ(classLimit(C::k05S, 1, 1), 1.0);
    EXPECT_EQ(classLimit(C::k05S, 4.9, 1), 1.0);
    EXPECT_EQ(classLimit(C::k05S, 5, 1), 0.5);
    EXPECT_EQ(classLimit(C::k05S, 0.9, 1), -1.0);
    EXPECT_EQ(classLimit(C::k05S, 1, 0.5), -1.0);
    EXPECT_EQ(classLimit(C::k05S, 2, 0.5), 1.0);
    EXPECT_EQ(classLimit(C::k05S, 10, 0.8), 0.6);
    EXPECT_EQ(classLimit(C::k02S, 100, 1), 0.2);
    EXPECT_EQ(classLimit(C::k02S, 100, 0.5), 0.3);
    EXPECT_EQ(classLimit(C::k1, 5, 1), 1.5);
    EXPECT_EQ(classLimit(C::k1, 10, 1), 1.0);
    EXPECT_EQ(classLimit(C::k1, 19, 0.5), 1.5);
    EXPECT_EQ(classLimit(C::k05, 50, 0.5), 0.6);
    EXPECT_EQ(classLimit(C::k05S, 50, 0.3), -1.0);
    EXPECT_EQ(*parseAccuracyClass("0.5s"), C::k05S);
    EXPECT_FALSE(parseAccuracyClass("0.3"));
}

TEST(AccuracyPlan, DefaultPointsAndPlanFiles) {
    const auto plan = defaultPlan();
    ASSERT_EQ(plan.points.size(), 27u);  // 8 currents and Imax, three power factors
    EXPECT_EQ(plan.points[8].currentPercent, 200.0);
    EXPECT_TRUE(plan.points[18].capacitive);
    EXPECT_EQ(plan.points[18].pf, 0.8);

    std::string why;
    auto p = parsePlan(
        "ib = 10\nclass = 0.2S\nwindow = 2\npoint = 5%, 1\npoint = 2.5A, 0.5L, 120V\n", &why);
    ASSERT_TRUE(p) << why;
    ASSERT_EQ(p->points.size(), 2u);
    EXPECT_EQ(p->points[1].currentPercent, 25.0);
    EXPECT_EQ(p->points[1].volts, 120.0);
    EXPECT_EQ(p->accuracyClass, AccuracyClass::k02S);
    const auto again = parsePlan(planText(*p), &why);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->points.size(), 2u);
    EXPECT_EQ(again->points[1].currentPercent, 25.0);
    for (const char* bad : {"point = 5, 1\n", "point = 5%, 0.5\n", "class = 3\n", "window = 0\n",
                            "speed = 4\n", "point = 5%\n"}) {
        EXPECT_FALSE(parsePlan(bad, &why)) << bad;
        EXPECT_NE(why.find("plan line 1"), std::string::npos) << why;
    }
}

TEST(AccuracyOutput, TableReportAndPlotHoldEveryPoint) {
    test::SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    auto run = runOn(rig, shortPlan({{1, 0.5, false}, {100, 1, false}}), Method::Power);
    ASSERT_TRUE(run.complete());
    const std::string csv = accuracyCsv(run);
    EXPECT_EQ(
        csv.rfind("point,label,current_pct_ib,current_A,voltage_V,pf,reference_W,power_W,", 0), 0u);
    // Point 1 is below the class's PF 0.5 range: not judged, no pulses measured.
    EXPECT_NE(csv.find("\n1,\"1 % Ib, PF 0.5L\",1,0.05,230,0.5L,5.75,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",,,,,,\n2,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",0.5,pass,\n"), std::string::npos) << csv;
    const std::string report = accuracyReport(run);
    EXPECT_NE(report.find("Class:           0.5S"), std::string::npos);
    EXPECT_NE(report.find("V1_AC_Gain=0x400000"), std::string::npos) << report;
    EXPECT_NE(report.find("Result: 1 of 1 judged points within class 0.5S."), std::string::npos);
    const std::string svg = accuracySvg(run);
    EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
    EXPECT_NE(svg.find(">PF 1 power<"), std::string::npos);
    EXPECT_NE(svg.find(">PF 0.5L power<"), std::string::npos);
    EXPECT_EQ(svg.find("pulse<"), std::string::npos);
    ASSERT_EQ(accuracyCurves(run).size(), 2u);
    const auto steps = limitSteps(run, true);
    ASSERT_FALSE(steps.empty());
    EXPECT_NEAR(steps.front().first, 1.0, 0.05);
    EXPECT_EQ(steps.front().second, 1.0);
    EXPECT_EQ(steps.back().second, 0.5);
}

// The PNG is the SVG's drawing at two pixels a unit: each point's marker sits where the SVG
// puts it, in its curve's colour, and the frame and the text are there.
TEST(AccuracyOutput, PngPlotIsTheSvgDrawingAtTwoPixelsAUnit) {
    test::SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    auto run = runOn(rig, shortPlan({{10, 0.5, false}, {100, 1, false}}), Method::Power);
    ASSERT_TRUE(run.complete());
    const auto png = test::decodePng(accuracyPng(run));
    ASSERT_EQ(png.error, "");
    EXPECT_EQ(png.width, 1800);
    EXPECT_EQ(png.height, 1120);
    const Colour unity = Colour::hex(0x1f5fbf), inductive = Colour::hex(0xc0392b);
    EXPECT_GT(png.count(inductive), 100);
    EXPECT_EQ(png.count(Colour::hex(0x2a9d3a)), 0);  // no PF 0.8C curve in this run

    const std::string svg = accuracySvg(run);
    int markers = 0;
    for (auto at = svg.find("<circle cx=\""); at != std::string::npos;
         at = svg.find("<circle cx=\"", at + 1)) {
        double cx = 0, cy = 0;
        char fill[8] = {};
        ASSERT_EQ(
            std::sscanf(svg.c_str() + at, "<circle cx=\"%lf\" cy=\"%lf\" r=\"3.5\" fill=\"#%6s",
                        &cx, &cy, fill),
            3);
        const Colour expected = std::string(fill) == "1f5fbf" ? unity : inductive;
        EXPECT_EQ(png.pixel(static_cast<int>(2 * cx), static_cast<int>(2 * cy)), expected)
            << cx << "," << cy;
        ++markers;
    }
    EXPECT_EQ(markers, 2);
    // The frame's left edge (x = 70), and the title's dark dots at the top left.
    EXPECT_EQ(png.pixel(139, 600), Colour::hex(0x000000));
    int titleDots = 0;
    for (int y = 20; y < 50; ++y)
        for (int x = 140; x < 800; ++x) titleDots += png.pixel(x, y) == Colour::hex(0x000000);
    EXPECT_GT(titleDots, 500);
}
