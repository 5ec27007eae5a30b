// Calibration, temperature sensor settings and the energy pulse measurement.
#include <CLI/CLI.hpp>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

#include "calibration/calibration.h"
#include "cli/cli_context.h"
#include "pulse/pulse_measurement.h"
#include "registers/word.h"
#include "support/format.h"
#include "temperature/temperature.h"

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

std::uint32_t parseWordOrThrow(const std::string& text) {
    auto v = parseInteger(text);
    if (!v) throw CLI::ValidationError("'" + text + "' is not a number (decimal or 0x-hex)");
    if (*v < 0 || *v > 0xFFFFFF)
        throw CLI::ValidationError("'" + text + "' does not fit in 24 bits (0..0xffffff)");
    return static_cast<std::uint32_t>(*v);
}

double parseNumberOrThrow(const std::string& text) {
    try {
        size_t used = 0;
        const double v = std::stod(text, &used);
        if (used == text.size() && std::isfinite(v)) return v;
    } catch (const std::exception&) {
    }
    throw CLI::ValidationError("'" + text + "' is not a number");
}

// A calibration register by name ("I1_AC_Gain", case-insensitive) or address ("1:3" / "3").
const calibration::CalRegister* parseCalRegisterOrThrow(const std::string& text) {
    for (const auto& r : calibration::registers()) {
        const std::string name = r.name;
        if (name.size() == text.size() &&
            std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return &r;
    }
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

// Collects what the temperature settings show and prints it once, in a fixed order.
class PrintingView : public temperature::View {
  public:
    void showGainWord(std::uint32_t w) override { gainWord = w; }
    void showGainValue(double v) override { gainValue = v; }
    void showOffsetWord(std::uint32_t w) override { offsetWord = w; }
    void showOffsetValue(double v) override { offsetValue = v; }
    void setScaleBoxes(bool down, bool up) override { scale = down ? "down" : up ? "up" : "none"; }
    void print(CliContext& ctx) const {
        if (gainWord) ctx.print("gain_word", hexWord(*gainWord));
        if (gainValue) ctx.print("gain_value", number(*gainValue));
        if (offsetWord) ctx.print("offset_word", hexWord(*offsetWord));
        if (offsetValue) ctx.print("offset_value", number(*offsetValue));
        if (scale) ctx.print("scale", *scale);
    }
    std::optional<std::uint32_t> gainWord, offsetWord;
    std::optional<double> gainValue, offsetValue;
    std::optional<std::string> scale;
};

EVKIT_CLI_COMMAND(CommandSpec{
    "temperature",
    "Temperature sensor settings: show | gain VALUE | offset VALUE | gain-word W | "
    "offset-word W | scale up|down | quick-set Q",
    1, true, [](CLI::App& app) -> Runner {
        auto action = std::make_shared<std::string>();
        auto arg = std::make_shared<std::string>();
        app.add_option("ACTION", *action, "what to do")
            ->required()
            ->check(CLI::IsMember(
                {"show", "gain", "offset", "gain-word", "offset-word", "scale", "quick-set"}));
        app.add_option("ARG", *arg, "the value, word, scale or amount");
        app.parse_complete_callback([action, arg] {
            if (*action == "show") {
                if (!arg->empty()) throw CLI::ValidationError("show takes no further words");
            } else if (arg->empty()) {
                throw CLI::ValidationError(*action + " needs a value");
            } else if (*action == "gain-word" || *action == "offset-word") {
                parseWordOrThrow(*arg);
            } else if (*action == "scale") {
                if (*arg != "up" && *arg != "down")
                    throw CLI::ValidationError("scale takes up or down");
            } else {
                parseNumberOrThrow(*arg);
            }
        });
        return [action, arg](CliContext& ctx) {
            temperature::TemperatureSettings settings(ctx.link);
            PrintingView view;
            int s = 0;
            if (*action == "show") {
                s = settings.refresh(view);
            } else if (*action == "gain") {
                s = settings.gainValueEntry(parseNumberOrThrow(*arg), view);
            } else if (*action == "offset") {
                s = settings.offsetValueEntry(parseNumberOrThrow(*arg), view);
            } else if (*action == "gain-word") {
                s = settings.gainWordEntry(parseWordOrThrow(*arg), view);
            } else if (*action == "offset-word") {
                s = settings.offsetWordEntry(parseWordOrThrow(*arg), view);
            } else if (*action == "quick-set") {
                s = settings.quickSet(parseNumberOrThrow(*arg), view);
            } else {
                // The scale the registers show now is the current choice, as on the window
                // after it opened: asking for it again changes nothing.
                s = settings.refresh(view);
                const bool up = *arg == "up";
                if (s == 0 && settings.selection[up ? 1 : 0] == 0)
                    s = settings.scaleChange(
                        up ? temperature::ScaleBox::Up : temperature::ScaleBox::Down, true, view);
            }
            view.print(ctx);
            return CliContext::fromStatus(s);
        };
    }});

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
            ctx.pump.cancel = false;
            pulse::Callbacks cb;
            cb.started = [&ctx](std::int32_t n) { ctx.print("cycle_count", std::to_string(n)); };
            cb.counted = [&ctx](const pulse::CountResult& r) {
                std::string line = "count=" + std::to_string(r.index);
                for (size_t k = 0; k < 3; ++k)
                    line += strprintf(" c%zu=%d", k + 1, static_cast<int>(r.counts[k]));
                const std::pair<const char*, const std::array<double, 3>*> series[] = {
                    {"rate", &r.rates}, {"mean", &r.means}, {"sd", &r.deviations}};
                for (const auto& [key, values] : series)
                    for (size_t k = 0; k < 3; ++k)
                        line += strprintf(" %s%zu=%s", key, k + 1, number((*values)[k]).c_str());
                ctx.line(line);
                std::fflush(stdout);
            };
            cb.stopRequested = [&ctx] { return ctx.pump.cancelRequested(); };
            const int s = pulse::measure(ctx.link, *seconds, *repeat, cb);
            if (s == kStatusCancelled) ctx.print("cancelled", "1");
            return CliContext::fromStatus(s);
        };
    }});

}  // namespace
}  // namespace evkit::cli
