// Sample capture from the board and offline analysis of capture files.
#include <CLI/CLI.hpp>
#include <limits>
#include <memory>

#include "cli/analysis_registry.h"
#include "cli/arguments.h"
#include "cli/capture_options.h"
#include "cli/cli_context.h"
#include "collection/analysis.h"
#include "collection/capture.h"
#include "metrology/sample_units.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

using collection::DataCollection;

std::string six(double v) {
    return strprintf("%f", v);
}

struct CaptureOptions {
    int pair = 1;
    int samples = 16;
    int dataDelay = 1;
    int secondsDelay = 0;
    int channel = 1;
    std::string out;
    std::string exportFile;
    std::string unitsCsv;
};

EVKIT_CLI_COMMAND(CommandSpec{
    "capture", "Capture a block of samples of a quantity pair and show its extremes", 0, true,
    [](CLI::App& app) -> Runner {
        auto o = std::make_shared<CaptureOptions>();
        addPairAndSampleOptions(app, o->pair, o->samples, "samples per channel");
        app.add_option("--data-delay", o->dataDelay, "data-delay code sent to the board")
            ->check(CLI::Range(0, 255));
        app.add_option("--seconds-delay", o->secondsDelay, "whole seconds to wait first")
            ->check(CLI::Range(0, 86400));
        app.add_option("--channel", o->channel, "channel analysed and saved: 1 or 2")
            ->check(CLI::IsMember({1, 2}));
        app.add_option("--out", o->out, "write the analysed channel as a capture file (.dat)")
            ->check(fileName());
        app.add_option("--export", o->exportFile, "write both channels as a sample text export")
            ->check(fileName());
        app.add_option("--units-csv", o->unitsCsv,
                       "write the analysed channel in V, A, W or var through the scaling (CSV "
                       "index,code,value_UNIT)")
            ->check(fileName());
        return [o](CliContext& ctx) {
            // The capture file's header word is the device family: identify it first.
            if (!o->out.empty())
                if (int s = ctx.identifyBoard()) return CliContext::fromStatus(s);
            DataCollection data(ctx.session);
            data.settings.selectPair(o->pair - 1);
            data.settings.setSampleIndex(*collection::indexForSampleCount(o->samples));
            data.settings.data_delay = o->dataDelay;
            data.settings.seconds_delay = o->secondsDelay;
            data.settings.test = collection::kTestTime;
            collection::TimeResult time;
            const int s = data.collectSequence([&] {
                if (const int c = data.captureBlock(); c != 0) return c;
                if (o->channel == 2) data.showChannel(2);
                time = collection::time_test(data.block());
                return 0;
            });
            if (s != 0) return static_cast<int>(kExitFailure);
            ctx.print("samples", std::to_string(data.settings.samples));
            ctx.print("fs", six(ctx.session.fs));
            ctx.print("channel1", data.buttonlabel1);
            ctx.print("channel2", data.buttonlabel2);
            ctx.print("MAXIMUM", six(time.maximum));
            ctx.print("MINIMUM", six(time.minimum));
            std::string why;
            if (!o->out.empty() && !data.writeCaptureFile(o->out, &why))
                return ctx.cannotWrite(o->out, why);
            if (!o->exportFile.empty() && !data.writeSampleExport(o->exportFile, &why))
                return ctx.cannotWrite(o->exportFile, why);
            if (!o->unitsCsv.empty() &&
                !metrology::writeSamplesInUnits(o->unitsCsv, data, o->channel, ctx.scaling, &why))
                return ctx.cannotWrite(o->unitsCsv, why);
            return static_cast<int>(kExitOk);
        };
    }});

// --- analyze: the analyses of a capture file, registered by name ---------------------------

EVKIT_CLI_ANALYSIS(AnalysisSpec{"time", "extremes of the block", [](CLI::App&) -> AnalysisRunner {
                                    return [](CliContext& ctx, DataCollection& data) {
                                        const auto r = collection::time_test(data.block());
                                        ctx.print("MAXIMUM", six(r.maximum));
                                        ctx.print("MINIMUM", six(r.minimum));
                                        return static_cast<int>(kExitOk);
                                    };
                                }});

struct HistOptions {
    int binWidth = 256;
    std::string out;
};

EVKIT_CLI_ANALYSIS(AnalysisSpec{
    "hist", "statistics and code histogram", [](CLI::App& app) -> AnalysisRunner {
        auto o = std::make_shared<HistOptions>();
        app.add_option("--bin-width", o->binWidth, "histogram bin width in codes (default 256)")
            ->check(CLI::Range(1, std::numeric_limits<int>::max()));
        app.add_option("--hist-out", o->out, "write the histogram file (.hit)")->check(fileName());
        return [o](CliContext& ctx, DataCollection& data) {
            const auto r = collection::hist_test(data.block(), o->binWidth);
            ctx.print("MEAN", six(r.mean));
            ctx.print("STD_DEV", six(r.std_dev));
            ctx.print("VARIANCE", six(r.variance));
            ctx.print("MAXIMUM", six(r.maximum));
            ctx.print("MINIMUM", six(r.minimum));
            if (!r.binned) {
                ctx.messages.show(msg::kErrorTitle, collection::msg::kHistogramTooLarge);
                return static_cast<int>(kExitFailure);
            }
            ctx.print("bins", std::to_string(r.bins()));
            std::string why;
            if (!o->out.empty() && !collection::write_hit_file(o->out, ctx.session.part,
                                                               data.settings.samples, r, &why))
                return ctx.cannotWrite(o->out, why);
            return static_cast<int>(kExitOk);
        };
    }});

struct AnalyzeOptions {
    std::string file;
    std::string test;
};

// Works offline like disk mode: never opens a board.
EVKIT_CLI_COMMAND(CommandSpec{
    "analyze", "Analyse a capture file (.dat) offline (--test time, hist, ...)", 1, false,
    [](CLI::App& app) -> Runner {
        auto o = std::make_shared<AnalyzeOptions>();
        std::vector<std::string> names;
        auto runners = std::make_shared<std::vector<std::pair<std::string, AnalysisRunner>>>();
        // The options each analysis declares: an option of another analysis than the one
        // chosen asks for something that will not be produced.
        std::vector<std::pair<std::string, std::vector<const CLI::Option*>>> owned;
        for (const auto& a : analyses()) {
            names.push_back(a.name);
            const std::size_t before = app.get_options().size();
            runners->emplace_back(a.name, a.define(app));
            const auto all = app.get_options();
            owned.emplace_back(a.name,
                               std::vector<const CLI::Option*>(
                                   all.begin() + static_cast<std::ptrdiff_t>(before), all.end()));
        }
        app.add_option("FILE", o->file, "capture file")->required()->check(fileName());
        app.add_option("--test", o->test, "analysis")->required()->check(CLI::IsMember(names));
        app.parse_complete_callback([o, owned] {
            for (const auto& [name, options] : owned)
                for (const CLI::Option* opt : options)
                    if (name != o->test && opt->count() > 0)
                        throw CLI::ValidationError(opt->get_name() + " belongs to --test " + name +
                                                   ", not --test " + o->test);
        });
        return [o, runners](CliContext& ctx) {
            DataCollection data(ctx.session);
            ctx.session.input_file = o->file;
            if (data.collect_data(data.settings.samples, kPortDisk) != 0)
                return static_cast<int>(kExitFailure);
            for (const auto& [name, run] : *runners)
                if (name == o->test) return run(ctx, data);
            return static_cast<int>(kExitUsage);
        };
    }});

}  // namespace
}  // namespace evkit::cli
