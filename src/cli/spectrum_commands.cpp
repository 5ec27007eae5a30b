// The FFT test from the command line: on a capture file (analyze --test fft) and on fresh
// captures from the board (fft); the coherent test frequency for a block (coherent).
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/analysis_registry.h"
#include "cli/arguments.h"
#include "cli/capture_options.h"
#include "cli/cli_context.h"
#include "collection/capture.h"
#include "collection/data_files.h"
#include "spectrum/coherent.h"
#include "spectrum/fft_collection.h"
#include "spectrum/freq_test.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

using collection::DataCollection;
using spectrum::FftOutcome;
using spectrum::FftTest;
using spectrum::FftTestSettings;
using spectrum::SpectrumResult;

// A file's block has the file's sample count: a larger one comes from another capture.
constexpr const char* kFileSizeHint = "a capture file with more samples";
constexpr const char* kSamplesOption = "--samples";

std::string six(double v) {
    return strprintf("%f", v);
}

// The converter figures, printed after the five.
void printMoreFigures(CliContext& ctx, const spectrum::ConverterFigures& c) {
    for (const auto& f : spectrum::namedFigures(c)) ctx.print(f.key, six(f.value));
    ctx.print("THD_harmonics", std::to_string(c.thdHarmonics));
    if (const std::string note = c.note(); !note.empty()) ctx.print("THD_note", note);
    if (c.noSpur) ctx.print("warning", spectrum::kNoSpur);
}

// The figures of the last spectrum, and the spectrum file when asked for.
int report(CliContext& ctx, const FftTest& test, const std::string& fftOut, int harmonics) {
    if (test.outcome() != FftOutcome::kAnalysed || !test.last()) return kExitFailure;
    const SpectrumResult& r = *test.last();
    const auto& f = r.stats.figures;
    const spectrum::ConverterFigures more =
        harmonics == r.more.thdHarmonics
            ? r.more
            : spectrum::converterFigures(r.stats, r.state, r.power, r.fs, r.window, harmonics);
    // Without any spur the ratio to it is unbounded, not the floor's value.
    ctx.print("S/PN", more.noSpur ? "inf" : six(f.spn));
    ctx.print("SINAD", six(f.sinad));
    ctx.print("S/D", six(f.sd));
    ctx.print("SNR", six(f.snr));
    ctx.print("FS-PdB", six(f.fsPdB));
    ctx.print("fundamental_bin", std::to_string(r.fundamentalBin()));
    ctx.print("fundamental_hz", six(r.fundamentalHz()));
    ctx.print("warning", r.stats.warning ? "1" : "0");
    printMoreFigures(ctx, more);
    std::string why;
    if (!fftOut.empty() &&
        !collection::write_fft_file(fftOut, ctx.session.part, static_cast<float>(r.fs), r.samples,
                                    r.range, r.spectrum.freq, r.spectrum.db, &why))
        return ctx.cannotWrite(fftOut, why);
    return kExitOk;
}

void addHarmonicsOption(CLI::App& app, int& harmonics) {
    app.add_option("--harmonics", harmonics,
                   "THD over the harmonics 2..H (default 9, at most " +
                       std::to_string(spectrum::kMaxThdHarmonics) + ")")
        ->check(CLI::Range(2, spectrum::kMaxThdHarmonics));
}

struct FftFileOptions {
    int window = 4;
    int harmonics = spectrum::kDefaultThdHarmonics;
    std::string out;
};

EVKIT_CLI_ANALYSIS(AnalysisSpec{
    "fft", "windowed spectrum and its figures of merit", [](CLI::App& app) -> AnalysisRunner {
        auto o = std::make_shared<FftFileOptions>();
        app.add_option("--window", o->window,
                       "FFT window: 0 Blackman-Harris, 1 5-term, 2 Hanning, 3 Blackman, "
                       "4 7-term (default)")
            ->check(CLI::Range(0, 4));
        app.add_option("--fft-out", o->out, "write the spectrum file (.fft)")->check(fileName());
        addHarmonicsOption(app, o->harmonics);
        return [o](CliContext& ctx, DataCollection& data) {
            FftTestSettings settings = spectrum::fftSettingsOf(data);
            settings.window = o->window;
            settings.average = 1;
            settings.sizeControl = kFileSizeHint;
            FftTest test;
            test.freq_test(settings, data.block(), ctx.messages);
            return report(ctx, test, o->out, o->harmonics);
        };
    }});

struct FftCaptureOptions {
    int pair = 1;
    int samples = 4096;
    int average = 1;
    int window = 4;
    int harmonics = spectrum::kDefaultThdHarmonics;
    std::string out;
};

EVKIT_CLI_COMMAND(CommandSpec{
    "fft", "Capture and average blocks of a quantity pair's channel 1 and show its spectrum", 0,
    true, [](CLI::App& app) -> Runner {
        auto o = std::make_shared<FftCaptureOptions>();
        addPairAndSampleOptions(app, o->pair, o->samples, "samples per block");
        app.add_option("--average", o->average, "blocks to capture and average")
            ->required()
            ->check(CLI::Range(1, 10000));
        app.add_option("--window", o->window,
                       "FFT window: 0 Blackman-Harris, 1 5-term, 2 Hanning, 3 Blackman, "
                       "4 7-term (default)")
            ->check(CLI::Range(0, 4));
        app.add_option("--fft-out", o->out, "write the spectrum file (.fft)")->check(fileName());
        addHarmonicsOption(app, o->harmonics);
        app.parse_complete_callback([o] {
            if (const auto why = spectrum::sampleSizeRefusal(o->samples, kSamplesOption);
                !why.empty())
                throw CLI::ValidationError(why);
        });
        return [o](CliContext& ctx) {
            // The file's header word is the device family: identify it first.
            if (!o->out.empty())
                if (int s = ctx.identifyBoard()) return CliContext::fromStatus(s);
            DataCollection data(ctx.session);
            data.settings.selectPair(o->pair - 1);
            data.settings.setSampleIndex(*collection::indexForSampleCount(o->samples));
            data.settings.test = collection::kTestFft;
            data.settings.window = o->window;
            data.settings.average = o->average;
            FftTest test;
            spectrum::FftCollectionHooks hooks;
            hooks.sizeControl = kSamplesOption;
            const int s = spectrum::collectAveragedFft(data, test, ctx.messages, {}, hooks);
            if (s != 0 || test.outcome() != FftOutcome::kAnalysed)
                return static_cast<int>(kExitFailure);
            ctx.print("samples", std::to_string(data.settings.samples));
            ctx.print("fs", six(ctx.session.fs));
            return report(ctx, test, o->out, o->harmonics);
        };
    }});

struct CoherentOptions {
    double fs = 0.0;
    long long samples = 0;
    double near = 0.0;
};

EVKIT_CLI_COMMAND(CommandSpec{
    "coherent", "Propose the coherent test frequency nearest to a wanted one (no board needed)", 0,
    false, [](CLI::App& app) -> Runner {
        auto o = std::make_shared<CoherentOptions>();
        app.add_option("--fs", o->fs, "sample rate in Hz")->required();
        app.add_option("--samples", o->samples, "samples in the block (N)")->required();
        app.add_option("--near", o->near, "wanted test frequency in Hz")->required();
        return [o](CliContext& ctx) {
            std::string why;
            const auto c = spectrum::coherentFrequency(o->fs, o->samples, o->near, &why);
            if (!c) return ctx.usage("no coherent frequency: " + why);
            ctx.print("cycles", std::to_string(c->cycles));
            ctx.print("frequency_hz", six(c->frequency));
            ctx.print("prime", c->prime ? "1" : "0");
            if (c->primeCycles > 0) {
                ctx.print("prime_cycles", std::to_string(c->primeCycles));
                ctx.print("prime_frequency_hz", six(c->primeFrequency));
            }
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
