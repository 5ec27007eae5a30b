#include "cli/metrology_options.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "metrology/source_settings.h"
#include "sim/virtual_board.h"

namespace evkit::cli {

void addMetrologyOptions(CLI::App& app, MetrologyOptions& o) {
    const auto positive = CLI::PositiveNumber;
    app.add_option("--scale-v1", o.scaleV1, "volts at V1's full scale (engineering units)")
        ->check(positive);
    app.add_option("--scale-i1", o.scaleI1, "amperes at I1's full scale")->check(positive);
    app.add_option("--scale-v2", o.scaleV2, "volts at V2's full scale")->check(positive);
    app.add_option("--scale-i2", o.scaleI2, "amperes at I2's full scale")->check(positive);
    app.add_option("--meter-constant", o.meterConstant,
                   "pulses per kWh of the pulse outputs (0: from the pulse rate register)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--scaling", o.scalingFile,
                   "scaling file (scale-v1 = 400 ... lines; default: the saved scaling)");
    app.add_option("--source", o.source,
                   "virtual board only: program its inputs, e.g. \"V1=230V I1=5A PF=0.5L f=50\"");
    app.add_flag("--sim-ideal", o.simIdeal,
                 "virtual board only: a device without gain, phase, offset or noise errors");
}

int resolveScaling(const MetrologyOptions& o, metrology::Scaling* out) {
    std::string problem;
    metrology::Scaling s = metrology::savedScaling(&problem);
    if (!problem.empty())
        std::fprintf(stderr, "warning: %s (default scaling used)\n", problem.c_str());
    if (!o.scalingFile.empty()) {
        std::string why;
        auto fromFile = metrology::readScalingFile(o.scalingFile, s, &why);
        if (!fromFile) {
            std::fprintf(stderr, "error: %s\n", why.c_str());
            return kExitUsage;
        }
        s = *fromFile;
    }
    if (o.scaleV1) s.channel[0].volts = *o.scaleV1;
    if (o.scaleI1) s.channel[0].amperes = *o.scaleI1;
    if (o.scaleV2) s.channel[1].volts = *o.scaleV2;
    if (o.scaleI2) s.channel[1].amperes = *o.scaleI2;
    if (o.meterConstant) s.meterConstant = *o.meterConstant;
    *out = s;
    return kExitOk;
}

int applySimulationOptions(const MetrologyOptions& o, CliContext& ctx) {
    sim::VirtualBoard* board = ctx.virtualBoard;
    if (!board) {
        if (o.simIdeal || !o.source.empty()) {
            std::fprintf(stderr,
                         "error: --source and --sim-ideal need the virtual board "
                         "(--board sim[:VARIANT])\n");
            return kExitUsage;
        }
        return kExitOk;
    }
    if (o.simIdeal) board->setErrorModel(sim::ErrorModel{});
    if (!o.source.empty()) {
        sim::SignalSource source = board->signal();
        sim::ErrorModel errors = board->errorModel();
        std::string why;
        if (!metrology::applySourceSettings(o.source, ctx.scaling, source, errors, &why)) {
            std::fprintf(stderr, "error: --source: %s\n", why.c_str());
            return kExitUsage;
        }
        board->setSignal(source);
        board->setErrorModel(errors);
    }
    return kExitOk;
}

}  // namespace evkit::cli
