// Calibrations and the calibration registers.
#include <CLI/CLI.hpp>
#include <cmath>
#include <map>
#include <memory>

#include "calibration/calibration.h"
#include "cli/arguments.h"
#include "cli/cli_context.h"
#include "registers/word.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

std::string number(double v) {
    return strprintf("%.12g", v);
}

void printRegister(CliContext& ctx, const calibration::Shown& s) {
    ctx.print(s.reg->name, hexWord(s.word));
    ctx.print(std::string(s.reg->name) + "_value", number(s.number));
}

const std::map<std::string, calibration::CalType>& calTypes() {
    static const std::map<std::string, calibration::CalType> m = {
        {"dc-offset", calibration::CalType::DcOffset},
        {"ac-offset", calibration::CalType::AcOffset},
        {"gain", calibration::CalType::Gain}};
    return m;
}

const std::map<std::string, int>& calChannels() {
    static const std::map<std::string, int> m = {{"i1", calibration::kI1},
                                                 {"v1", calibration::kV1},
                                                 {"i2", calibration::kI2},
                                                 {"v2", calibration::kV2},
                                                 {"all", calibration::kAll}};
    return m;
}

// A calibration register by name ("I1_AC_Gain", case-insensitive) or address ("1:3" / "3").
const calibration::CalRegister* parseCalRegisterOrThrow(const std::string& text) {
    if (const auto* r = calibration::registerNamed(text)) return r;
    if (auto a = parseRegisterAddress(text);
        a && (a->page == 1 || text.find(':') == std::string::npos))
        if (const auto* r = calibration::registerAt(a->address)) return r;
    throw CLI::ValidationError("'" + text +
                               "' is not a calibration register (a name such as I1_DC_Offset, or "
                               "1:0 .. 1:13)");
}

EVKIT_CLI_COMMAND(CommandSpec{
    "calibrate", "Run a calibration: dc-offset|ac-offset|gain i1|v1|i2|v2|all [--gain-mode 0|1]", 2,
    true, [](CLI::App& app) -> Runner {
        auto type = std::make_shared<std::string>();
        auto channel = std::make_shared<std::string>();
        auto gainMode = std::make_shared<int>(0);
        app.add_option("TYPE", *type, "dc-offset, ac-offset or gain")
            ->required()
            ->check(CLI::IsMember({"dc-offset", "ac-offset", "gain"}));
        app.add_option("CHANNEL", *channel, "i1, v1, i2, v2 or all")
            ->required()
            ->check(CLI::IsMember({"i1", "v1", "i2", "v2", "all"}));
        app.add_option("--gain-mode", *gainMode, "gain calibration variant (0: 0xB_, 1: 0x9_)")
            ->check(CLI::IsMember({0, 1}));
        return [type, channel, gainMode](CliContext& ctx) {
            const auto* button =
                calibration::findButton(calTypes().at(*type), calChannels().at(*channel));
            const int s = calibration::runCalibration(
                ctx.link, *button, *gainMode != 0,
                [&ctx](const calibration::Shown& shown) { printRegister(ctx, shown); });
            return CliContext::fromStatus(s);
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{
    "calibration", "Calibration registers: show | write REGISTER WORD", 1, true,
    [](CLI::App& app) -> Runner {
        auto action = std::make_shared<std::string>();
        auto reg = std::make_shared<std::string>();
        auto word = std::make_shared<std::string>();
        app.add_option("ACTION", *action, "show or write")
            ->required()
            ->check(CLI::IsMember({"show", "write"}));
        app.add_option("REGISTER", *reg, "for write: I1_DC_Offset .. V2_AC_Offset or 1:A");
        app.add_option("WORD", *word, "for write: 24-bit word");
        app.parse_complete_callback([action, reg, word] {
            if (*action == "write") {
                if (reg->empty() || word->empty())
                    throw CLI::ValidationError("write needs REGISTER and WORD");
                parseCalRegisterOrThrow(*reg);
                parseWordOrThrow(*word);
            } else if (!reg->empty()) {
                throw CLI::ValidationError("show takes no further words");
            }
        });
        return [action, reg, word](CliContext& ctx) {
            const auto show = [&ctx](const calibration::Shown& s) { printRegister(ctx, s); };
            if (*action == "show")
                return CliContext::fromStatus(calibration::refresh(ctx.link, show));
            return CliContext::fromStatus(calibration::writeWord(
                ctx.link, *parseCalRegisterOrThrow(*reg), parseWordOrThrow(*word), show));
        };
    }});

}  // namespace
}  // namespace evkit::cli
