// The virtual board's programmable source, usable between other commands of a run.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/cli_context.h"
#include "metrology/source_settings.h"
#include "sim/virtual_board.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

EVKIT_CLI_COMMAND(CommandSpec{
    "source", "Virtual board: program the inputs, e.g. V1=230V I1=5A PF=0.5L f=50 (or show)", 1,
    false, [](CLI::App& app) -> Runner {
        auto words = std::make_shared<std::vector<std::string>>();
        app.add_option("SETTINGS", *words, "source settings (see the README), or show")->required();
        app.parse_complete_callback([words] {
            std::string settings;
            for (const auto& w : *words) settings += w + " ";
            if (settings == "show ") return;
            // Checked against a scratch source, so that a bad word is a usage error before
            // anything runs.
            sim::SignalSource source;
            sim::ErrorModel errors;
            std::string why;
            if (!metrology::applySourceSettings(settings, metrology::Scaling{}, source, errors,
                                                &why))
                throw CLI::ValidationError(why);
        });
        return [words](CliContext& ctx) {
            if (!ctx.virtualBoard)
                return ctx.usage(
                    "source: the programmable source belongs to the virtual board "
                    "(--board sim[:VARIANT])");
            std::string settings;
            for (const auto& w : *words) settings += w + " ";
            sim::SignalSource source = ctx.virtualBoard->signal();
            sim::ErrorModel errors = ctx.virtualBoard->errorModel();
            std::string why;
            if (settings != "show ") {
                if (!metrology::applySourceSettings(settings, ctx.scaling, source, errors, &why))
                    return ctx.usage("source: " + why);
                ctx.virtualBoard->setSignal(source);
                ctx.virtualBoard->setErrorModel(errors);
            }
            ctx.print("source", metrology::describeSource(source, ctx.scaling));
            for (int c = 1; c <= 2; ++c) {
                const auto r = metrology::exactReadings(source, ctx.scaling, c);
                const std::string n = std::to_string(c);
                ctx.print("source_V" + n + "RMS_V", strprintf("%.6f", r.vrms));
                ctx.print("source_I" + n + "RMS_A", strprintf("%.6f", r.irms));
                ctx.print("source_P" + n + "_W", strprintf("%.6f", r.p));
                ctx.print("source_Q" + n + "_var", strprintf("%.6f", r.q));
                ctx.print("source_S" + n + "_VA", strprintf("%.6f", r.s));
                ctx.print("source_PF" + n, strprintf("%.6f", r.pf));
            }
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
