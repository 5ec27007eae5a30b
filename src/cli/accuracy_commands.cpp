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

// Reference readings of a real bench from a CSV file: lines "POINT,WATTS" (a header line and
// further columns are ignored).
bool readReferences(const std::string& path, std::map<int, double>* out, std::string* error) {
    if (std::string why = unreadableFileReason(path); !why.empty()) {
        *error = "cannot read the reference file \"" + path + "\": " + why;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (readLine(in, line) == LineRead::kLine) {
        int point = 0;
        double watts = 0;
        if (std::sscanf(line.c_str(), "%d,%lf", &point, &watts) == 2) (*out)[point] = watts;
    }
    return true;
}

enum class PlotFormat { Svg, Png };

// The plot's format from the file name's extension, in any case.
std::optional<PlotFormat> plotFormat(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "svg") return PlotFormat::Svg;
    if (ext == "png") return PlotFormat::Png;
    return std::nullopt;
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
                return plotFormat(t) ? std::string()
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
            if (ctx.virtualBoard) {
                bench = virtualBench(*ctx.virtualBoard, ctx.scaling, plan.channel);
            } else {
                if (!o->reference.empty() && !readReferences(o->reference, &references, &why)) {
                    ctx.messages.show("Error Message", why);
                    return static_cast<int>(kExitFailure);
                }
                bench.setSource = [&ctx, total = plan.points.size()](const PointResult& p) {
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
                    return !ctx.pump.cancelRequested() &&
                           readLine(std::cin, line) == LineRead::kLine;
                };
                bench.reference = [&references](const PointResult& p) -> std::optional<double> {
                    if (auto it = references.find(p.index); it != references.end())
                        return it->second;
                    if (!references.empty()) return std::nullopt;
                    std::fprintf(stderr, "Reference active power of point %d in W: ", p.index);
                    std::string line;
                    if (readLine(std::cin, line) != LineRead::kLine) return std::nullopt;
                    char* end = nullptr;
                    const double w = std::strtod(line.c_str(), &end);
                    if (end == line.c_str()) return std::nullopt;
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
            run.device = strprintf("PM70%02d", ctx.session.chip);
            // What was measured is kept, also after a stop or a failure.
            const std::pair<const std::string*, std::function<std::string()>> files[] = {
                {&o->csv, [&run] { return accuracyCsv(run); }},
                {&o->report, [&run] { return accuracyReport(run); }},
                {&o->plot, [&run, &o] {
                     return plotFormat(o->plot) == PlotFormat::Png ? accuracyPng(run)
                                                                   : accuracySvg(run);
                 }}};
            for (const auto& [path, contents] : files) {
                if (path->empty()) continue;
                if (!writeFileAtomically(*path, contents(), &why))
                    return ctx.cannotWrite(*path, why);
            }
            if (s != 0 && s != kStatusCancelled) return CliContext::fromStatus(s);
            if (run.stopped) {
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
