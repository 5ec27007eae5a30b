// The FFT test from the command line: on a capture file (analyze --test fft) and on fresh
// captures from the board (fft).
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/analysis_registry.h"
#include "cli/capture_options.h"
#include "cli/cli_context.h"
#include "collection/capture.h"
#include "collection/data_files.h"
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

FftTestSettings settingsOf(const CliContext& ctx, const DataCollection& data, int window,
                           int average) {
    FftTestSettings s;
    s.samples = data.settings.samples;
    s.window = window;
    s.average = average;
    s.fs = ctx.session.fs;
    s.range = ctx.session.range;
    s.sizeControl = kFileSizeHint;
    return s;
}

// The figures of the last spectrum, and the spectrum file when asked for.
int report(CliContext& ctx, const FftTest& test, const std::string& fftOut) {
    if (test.outcome() != FftOutcome::kAnalysed || !test.last()) return kExitFailure;
    const SpectrumResult& r = *test.last();
    const auto& f = r.stats.figures;
    ctx.print("S/PN", six(f.spn));
    ctx.print("SINAD", six(f.sinad));
    ctx.print("S/D", six(f.sd));
    ctx.print("SNR", six(f.snr));
    ctx.print("FS-PdB", six(f.fsPdB));
    ctx.print("fundamental_bin", std::to_string(r.fundamentalBin()));
    ctx.print("fundamental_hz", six(r.fundamentalHz()));
    ctx.print("warning", r.stats.warning ? "1" : "0");
    std::string why;
    if (!fftOut.empty() &&
        !collection::write_fft_file(fftOut, ctx.session.part, static_cast<float>(r.fs), r.samples,
                                    r.range, r.spectrum.freq, r.spectrum.db, &why))
        return ctx.cannotWrite(fftOut, why);
    return kExitOk;
}

struct FftFileOptions {
    int window = 4;
    std::string out;
};

EVKIT_CLI_ANALYSIS(AnalysisSpec{
    "fft", "windowed spectrum and its figures of merit", [](CLI::App& app) -> AnalysisRunner {
        auto o = std::make_shared<FftFileOptions>();
        app.add_option("--window", o->window,
                       "FFT window: 0 Blackman-Harris, 1 5-term, 2 Hanning, 3 Blackman, "
                       "4 7-term (default)")
            ->check(CLI::Range(0, 4));
        app.add_option("--fft-out", o->out, "write the spectrum file (.fft)");
        return [o](CliContext& ctx, DataCollection& data) {
            FftTest test;
            test.freq_test(settingsOf(ctx, data, o->window, 1), data.block(), ctx.messages);
            return report(ctx, test, o->out);
        };
    }});

struct FftCaptureOptions {
    int pair = 1;
    int samples = 4096;
    int average = 1;
    int window = 4;
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
        app.add_option("--fft-out", o->out, "write the spectrum file (.fft)");
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
            const int s = data.collectSequence([&] {
                // The sample rate is read by the sequence before this runs.
                FftTestSettings settings = settingsOf(ctx, data, o->window, o->average);
                settings.sizeControl = kSamplesOption;
                return test.freq_test(
                    settings, [&] { return data.captureBlock(); }, data.buffers.sample_real,
                    ctx.messages);
            });
            if (s != 0 || test.outcome() != FftOutcome::kAnalysed)
                return static_cast<int>(kExitFailure);
            ctx.print("samples", std::to_string(data.settings.samples));
            ctx.print("fs", six(ctx.session.fs));
            return report(ctx, test, o->out);
        };
    }});

}  // namespace
}  // namespace evkit::cli
