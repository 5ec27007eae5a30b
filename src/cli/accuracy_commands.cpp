// The energy accuracy test: a plan of points, measured by the monitor's power and by the
// energy pulses, judged against an accuracy class; table, report and plot files.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "cli/cli_context.h"
#include "metrology/accuracy_output.h"
#include "metrology/accuracy_run.h"
#include "sim/virtual_board.h"
#include "support/file_writer.h"
#include "support/format.h"
#include "support/text_input.h"

namespace evkit::cli {

namespace {

using namespace evkit::metrology;

struct AccuracyOptions {
    std::string plan, accuracyClass, method = "both", csv, plot, report, reference;
};

// Reference readings of a real bench from a CSV file: lines "POINT,WATTS" (further columns,
// '#' comments and lines that do not start with a point number, such as a header, are
// ignored). A point's power that is not a number above 0 W is an error naming its line, and
// so is a file without any point.
bool readReferences(const std::string& path, std::map<int, double>* out, std::string* error) {
    std::string name = "the reference file \"";
    name += path;
    name += "\"";
    if (std::string why = unreadableFileReason(path); !why.empty()) {
        *error = "cannot read " + name + ": " + why;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    int number = 0;
    LineRead r;
    while ((r = readLine(in, line)) == LineRead::kLine) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        int point = 0, used = 0;
        if (std::sscanf(line.c_str(), " %d ,%n", &point, &used) != 1 || used == 0) continue;
        std::string text = line.substr(static_cast<size_t>(used)), why;
        if (const auto comma = text.find(','); comma != std::string::npos) text.erase(comma);
        const auto watts = parseReferenceWatts(text, &why);
        if (!watts) {
            *error =
                strprintf("%s, line %d (point %d): %s", name.c_str(), number, point, why.c_str());
            return false;
        }
        (*out)[point] = *watts;
    }
    if (r != LineRead::kEnd) {
        *error = strprintf("cannot read %s past line %d", name.c_str(), number);
        return false;
    }
    if (out->empty()) {
        *error = name + " holds no POINT,WATTS line";
        return false;
    }
    return true;
}

std::string valueText(double v) {
    return std::isfinite(v) ? strprintf("%.5f", v) : "-";
}

EVKIT_CLI_COMMAND(CommandSpec{
    "accuracy",
    "Energy accuracy test: [--plan F] [--class 0.5S] [--method power|pulse|both] [--csv F] "
    "[--plot F.svg|F.png] [--report F]",
    0, true, [](CLI::App& app) -> Runner {
        auto o = std::make_shared<AccuracyOptions>();
        app.add_option("--plan", o->plan, "test plan file (default: the usual metering points)");
        app.add_option("--class", o->accuracyClass, "accuracy class 1, 0.5, 0.5S or 0.2S")
            ->check([](const std::string& t) {
                return parseAccuracyClass(t) ? std::string() : "the class is 1, 0.5, 0.5S or 0.2S";
            });
        app.add_option("--method", o->method, "power, pulse or both (default both)")
            ->check(CLI::IsMember({"power", "pulse", "both"}));
        app.add_option("--csv", o->csv, "write the table of points as CSV");
        app.add_option("--plot", o->plot, "write the error plot (F.svg or F.png)")
            ->check([](const std::string& t) {
                return isAccuracyPlotName(t)
                           ? std::string()
                           : "the plot is written as SVG (F.svg) or PNG (F.png); the "
                             "desktop program's accuracy window also exports PDF";
            });
        app.add_option("--report", o->report, "write a plain-text report of the run");
        app.add_option("--reference", o->reference,
                       "real board: reference powers (CSV lines POINT,WATTS) instead of asking");
        app.parse_complete_callback([o] {
            if (!o->plan.empty()) {
                std::string why;
                if (!readPlanFile(o->plan, &why)) throw CLI::ValidationError(why);
            }
        });
        return [o](CliContext& ctx) {
            std::string why;
            AccuracyPlan plan = o->plan.empty() ? defaultPlan() : *readPlanFile(o->plan, &why);
            if (!o->accuracyClass.empty())
                plan.accuracyClass = *parseAccuracyClass(o->accuracyClass);
            if (int s = ctx.identifyBoard()) return CliContext::fromStatus(s);

            Bench bench;
            std::map<int, double> references;
            // Why the bench ended the run (input ended, a reference refused), said at the end.
            auto benchProblem = std::make_shared<std::string>();
            if (ctx.virtualBoard) {
                bench = virtualBench(*ctx.virtualBoard, ctx.scaling, plan.channel);
            } else {
                if (!o->reference.empty() && !readReferences(o->reference, &references, &why)) {
                    ctx.messages.show("Error Message", why);
                    return static_cast<int>(kExitFailure);
                }
                bench.setSource = [&ctx, benchProblem,
                                   total = plan.points.size()](const PointResult& p) {
                    std::fprintf(
                        stderr,
                        "Set the source to %g V, %g A, PF %s (point %d of %zu: %s), then "
                        "press Enter\n",
                        p.volts, p.amperes,
                        p.point.pf >= 1
                            ? "1"
                            : strprintf("%g%s", p.point.pf, p.point.capacitive ? "C" : "L").c_str(),
                        p.index, total, p.point.label().c_str());
                    std::string line;
                    if (ctx.pump.cancelRequested()) return false;
                    if (readLine(std::cin, line) == LineRead::kLine) return true;
                    *benchProblem =
                        strprintf("Standard input ended before point %d was confirmed.", p.index);
                    return false;
                };
                bench.reference = [&references, benchProblem, file = o->reference](
                                      const PointResult& p) -> std::optional<double> {
                    if (!file.empty()) {
                        if (auto it = references.find(p.index); it != references.end())
                            return it->second;
                        *benchProblem =
                            strprintf("The reference file \"%s\" has no line for point %d.",
                                      file.c_str(), p.index);
                        return std::nullopt;
                    }
                    std::fprintf(stderr, "Reference active power of point %d in W: ", p.index);
                    std::fflush(stderr);
                    std::string line, why;
                    if (readLine(std::cin, line) != LineRead::kLine) {
                        *benchProblem = strprintf(
                            "Standard input ended before the reference power of point %d.",
                            p.index);
                        return std::nullopt;
                    }
                    const auto w = parseReferenceWatts(line, &why);
                    if (!w)
                        *benchProblem =
                            strprintf("The reference power of point %d was refused: %s.", p.index,
                                      why.c_str());
                    return w;
                };
            }
            RunCallbacks cb;
            cb.measured = [&ctx](const PointResult& p, int total) {
                ctx.line(strprintf(
                    "point=%d of=%d current_pct_ib=%g current_A=%g voltage_V=%g pf=%s "
                    "reference_W=%.6f power_error_pct=%s pulse_error_pct=%s pulses=%d limit_pct=%s "
                    "result=%s",
                    p.index, total, p.point.currentPercent, p.amperes, p.volts,
                    p.point.pf >= 1
                        ? "1"
                        : strprintf("%g%s", p.point.pf, p.point.capacitive ? "C" : "L").c_str(),
                    p.referenceW, valueText(p.powerErrorPct).c_str(),
                    valueText(p.pulseErrorPct).c_str(), p.pulses,
                    p.judged() ? strprintf("%g", p.limitPct).c_str() : "-",
                    !p.judged() ? "not-judged" : (p.pass() ? "pass" : "FAIL")));
                std::fflush(stdout);
            };
            AccuracyRun run;
            const int s = runAccuracy(ctx.session, ctx.console, plan, *parseMethod(o->method),
                                      ctx.scaling, bench, cb, &run);
            run.device = accuracyDeviceName(ctx.session.chip);
            // What was measured is kept, also after a stop or a failure.
            const std::pair<const std::string*, std::function<std::string()>> files[] = {
                {&o->csv, [&run] { return accuracyCsv(run); }},
                {&o->report, [&run] { return accuracyReport(run); }},
                {&o->plot, [&run, &o] { return accuracyPlot(run, o->plot); }}};
            for (const auto& [path, contents] : files) {
                if (path->empty()) continue;
                if (!writeFileAtomically(*path, contents(), &why))
                    return ctx.cannotWrite(*path, why);
            }
            if (s != 0 && s != kStatusCancelled) return CliContext::fromStatus(s);
            if (run.stopped) {
                if (!benchProblem->empty()) ctx.messages.show("Error Message", *benchProblem);
                if (!ctx.pump.cancelRequested()) {
                    ctx.messages.show(
                        "Error Message",
                        strprintf("The accuracy test stopped after %zu of %zu points.",
                                  run.points.size(), plan.points.size()));
                }
                return static_cast<int>(kExitFailure);
            }
            ctx.print("class", className(plan.accuracyClass));
            ctx.print("points", std::to_string(run.points.size()));
            ctx.print("accuracy", run.pass() ? "pass" : "FAIL");
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
