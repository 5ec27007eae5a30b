// Temperature sensor settings.
#include <CLI/CLI.hpp>
#include <array>
#include <cmath>
#include <memory>
#include <optional>

#include "cli/arguments.h"
#include "cli/cli_context.h"
#include "registers/word.h"
#include "support/format.h"
#include "temperature/scale_choice.h"

namespace evkit::cli {

namespace {

std::string number(double v) {
    return strprintf("%.12g", v);
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

// Collects what the temperature settings show and prints it once, in a fixed order.
class PrintingView : public temperature::View {
  public:
    void showGainWord(std::uint32_t w) override { gainWord = w; }
    void showGainValue(double v) override { gainValue = v; }
    void showOffsetWord(std::uint32_t w) override { offsetWord = w; }
    void showOffsetValue(double v) override { offsetValue = v; }
    void setScaleBoxes(bool down, bool up) override { scale = down ? "down" : up ? "up" : "none"; }
    void gainUnknown() override {
        gainWord.reset();
        gainValue.reset();
    }
    void offsetUnknown() override {
        offsetWord.reset();
        offsetValue.reset();
    }
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
                const double v = parseNumberOrThrow(*arg);
                // A value the register cannot hold is refused before anything is sent, as the
                // setup controls refuse theirs: a usage error.
                std::string why;
                if (*action == "gain" && !temperature::gainWordForValue(v, &why))
                    throw CLI::ValidationError(why);
                if (*action == "offset" && !temperature::offsetWordForValue(v, &why))
                    throw CLI::ValidationError(why);
            }
        });
        return [action, arg](CliContext& ctx) {
            // The scale chosen by an earlier command of this run stays the one in force.
            static std::array<int, 3> selection{0, 0, 0};
            temperature::TemperatureSettings settings(ctx.link);
            settings.selection = selection;
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
                s = temperature::chooseScale(settings, *arg == "up", view);
            }
            selection = settings.selection;
            view.print(ctx);
            return CliContext::fromStatus(s);
        };
    }});

}  // namespace
}  // namespace evkit::cli
