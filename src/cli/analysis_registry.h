#pragma once
// Analyses that `analyze FILE.dat --test NAME` can run on a block read from a capture file.
// Each analysis registers itself from its own file, like the commands do:
//
//   EVKIT_CLI_ANALYSIS(AnalysisSpec{"fft", "windowed, averaged spectrum",
//       [](CLI::App& app) -> AnalysisRunner {
//           auto out = std::make_shared<std::string>();
//           app.add_option("--fft-out", *out, "write a .fft file");   // options unique
//           return [out](CliContext& ctx, collection::DataCollection& data) { ...; return 0; };
//       }});
//
// The runner gets the collection with the file's block in sample_data / sample_real
// (settings.samples long; session fs, part and range from the file) and returns an exit status.
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "collection/capture.h"

namespace evkit::cli {

using AnalysisRunner = std::function<int(CliContext& ctx, collection::DataCollection& data)>;

struct AnalysisSpec {
    std::string name;     // value of --test
    std::string summary;  // for --help
    // Declares the analysis' own options on the analyze command (names must not clash with
    // other analyses' options) and returns the runner bound to them.
    std::function<AnalysisRunner(CLI::App& app)> define;
};

bool registerAnalysis(AnalysisSpec entry);
const std::vector<AnalysisSpec>& analyses();

}  // namespace evkit::cli

#define EVKIT_CLI_ANALYSIS(...)                                         \
    static const bool EVKIT_CLI_CONCAT(evkit_cli_analysis_, __LINE__) = \
        ::evkit::cli::registerAnalysis(__VA_ARGS__)
