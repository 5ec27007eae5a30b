// The energy pulse measurement.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/cli_context.h"
#include "metrology/scaling.h"
#include "pulse/pulse_measurement.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

std::string number(double v) {
    return strprintf("%.12g", v);
}

EVKIT_CLI_COMMAND(CommandSpec{
    "pulse", "Count the three pulse inputs: --time T (s) --repeat M; Ctrl-C stops", 0, true,
    [](CLI::App& app) -> Runner {
        auto seconds = std::make_shared<double>(3.0);
        auto repeat = std::make_shared<int>(1);
        app.add_option("--time", *seconds, "gate time of one count, seconds (default 3)")
            ->check(CLI::Range(0.0, 335544.0));
        app.add_option("--repeat", *repeat, "number of counts (default 1)")
            ->check(CLI::Range(0, 1000000));
        return [seconds, repeat](CliContext& ctx) {
            // A given meter constant turns each count's rates into watts (power1_W= ... after
            // the rates); otherwise the mean rates are, once the counts have ended, from the
            // pulse rate register (read then, so that the counts' traffic stays as it was).
            const double given = ctx.scaling.meterConstant;
            const std::array<double, 3> constants = {given, given, given};
            std::optional<pulse::CountResult> last;
            pulse::Callbacks cb;
            cb.started = [&ctx](std::int32_t n) { ctx.print("cycle_count", std::to_string(n)); };
            cb.counted = [&ctx, &constants, &last](const pulse::CountResult& r) {
                last = r;
                std::string line = "count=" + std::to_string(r.index);
                for (size_t k = 0; k < 3; ++k)
                    line += strprintf(" c%zu=%d", k + 1, static_cast<int>(r.counts[k]));
                const std::pair<const char*, const std::array<double, 3>*> series[] = {
                    {"rate", &r.rates}, {"mean", &r.means}, {"sd", &r.deviations}};
                for (const auto& [key, values] : series)
                    for (size_t k = 0; k < 3; ++k)
                        line += strprintf(" %s%zu=%s", key, k + 1, number((*values)[k]).c_str());
                for (size_t k = 0; k < 3; ++k)
                    if (constants[k] > 0)
                        line += strprintf(
                            " power%zu_W=%s", k + 1,
                            number(metrology::pulsePowerW(r.rates[k], constants[k])).c_str());
                ctx.line(line);
                std::fflush(stdout);
            };
            cb.stopRequested = [&ctx] { return ctx.pump.cancelRequested(); };
            int s = pulse::measure(ctx.link, *seconds, *repeat, cb);
            // A stop that lands between two counts ends the loop with no count running; the
            // halt still goes out, as after a stop during a count, so Ctrl-C always leaves
            // the board with its closing 0xA0 and reads nothing more.
            if (s == 0 && ctx.pump.cancelRequested()) {
                s = ctx.link.sendCommand(0xA0);
                if (s == 0) s = kStatusCancelled;
            }
            if (s == kStatusCancelled) ctx.print("cancelled", "1");
            if (s == 0 && last) {
                const auto mc = metrology::pulseMeterConstants(ctx.link, ctx.scaling);
                for (size_t k = 0; k < 3; ++k)
                    if (mc[k] > 0)
                        ctx.print(strprintf("mean%zu_W", k + 1),
                                  number(metrology::pulsePowerW(last->means[k], mc[k])));
            }
            return CliContext::fromStatus(s);
        };
    }});

}  // namespace
}  // namespace evkit::cli
