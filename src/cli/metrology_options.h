#pragma once
// Program-wide options of the engineering units and the virtual board's source and errors:
// --scale-v1 V --scale-i1 A --scale-v2 V --scale-i2 A --meter-constant N --scaling FILE,
// --source SETTINGS and --sim-ideal.
#include <optional>
#include <string>

#include "cli/cli_context.h"

namespace CLI {
class App;
}

namespace evkit::cli {

struct MetrologyOptions {
    std::optional<double> scaleV1, scaleI1, scaleV2, scaleI2, meterConstant;
    std::string scalingFile;
    std::string source;
    bool simIdeal = false;
};

void addMetrologyOptions(CLI::App& app, MetrologyOptions& options);

// The scaling in force: the options over the --scaling file over the saved configuration.
// Returns kExitOk, or kExitUsage with the message printed.
int resolveScaling(const MetrologyOptions& options, metrology::Scaling* out);

// Applies --sim-ideal and --source to the virtual board (nullptr: a real board, on which
// both are usage errors). Returns kExitOk or kExitUsage with the message printed.
int applySimulationOptions(const MetrologyOptions& options, CliContext& ctx);

}  // namespace evkit::cli
