// Device setup and register settings file commands. Every edit goes through the same
// control table and model as the setup window.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/cli_context.h"
#include "registers/register_file.h"
#include "setup/setup_model.h"

namespace evkit::cli {

namespace {

struct Assignment {
    const setup::ControlSpec* control = nullptr;
    double value = 0.0;
};

Assignment parseAssignment(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) throw CLI::ValidationError("'" + text + "' is not NAME=VALUE");
    const std::string name = text.substr(0, eq);
    const auto* control = setup::findSetupControl(name);
    if (!control)
        throw CLI::ValidationError("'" + name + "' is not a setup control (see 'setup show')");
    std::string error;
    const auto value = setup::parseControlValue(*control, text.substr(eq + 1), &error);
    if (!value) throw CLI::ValidationError(name + ": " + error);
    return {control, *value};
}

constexpr const char* kRingA = "SETUP_OPMODE_BITS2_3_A";
constexpr const char* kRingB = "SETUP_OPMODE_BITS2_3_B";

// The one of the two bits-2..3 rings that bits 9..10 put in force.
const char* ringInForce(const setup::SetupModel& model) {
    return model.shown(*setup::findSetupControl(kRingA)) ? kRingA : kRingB;
}

// Prints the controls whose registers were read; nothing that did not come from the device.
void printControls(const CliContext& ctx, const setup::SetupModel& model,
                   const std::vector<const setup::ControlSpec*>& controls) {
    for (const auto* c : controls) {
        if (!model.wasRead(*c)) continue;
        ctx.print(c->name, setup::formatControlValue(*c, model.value(*c)));
        // The hidden ring keeps an old value: say which one the device's bits 2..3 are.
        if (c->name == kRingB) ctx.print("SETUP_OPMODE_BITS2_3_IN_FORCE", ringInForce(model));
    }
}

// The first assignment to a bits-2..3 ring that bits 9..10 will hide when its turn comes
// (a hidden ring would write nothing of what it was given), following the assignments to the
// selector and the whole operational-mode word before it; nullopt when there is none.
std::optional<std::string> hiddenRingAssignment(const setup::SetupModel& model,
                                                const std::vector<Assignment>& assignments) {
    int selector = model.values().opmodeFields.bits9_10;
    for (const Assignment& a : assignments) {
        const std::string& name = a.control->name;
        if (name == "SETUP_OPMODE_BITS9_10") selector = static_cast<int>(a.value);
        if (name == "SETUP_OPMODE_HEX") selector = (static_cast<int>(a.value) >> 9) & 3;
        if (name != kRingA && name != kRingB) continue;
        const bool ringA = setup::opModeRingAShown(selector);
        if ((name == kRingA) == ringA) continue;
        return name + " is not in force: bits 9..10 select " + (ringA ? kRingA : kRingB) +
               " for bits 2..3 (SETUP_OPMODE_BITS9_10=3 selects " + kRingA + ", any other value " +
               kRingB + "). Nothing was written.";
    }
    return std::nullopt;
}

std::vector<const setup::ControlSpec*> allShownControls() {
    std::vector<const setup::ControlSpec*> out;
    for (const auto& c : setup::setupControls())
        if (c.kind != setup::ControlKind::Button) out.push_back(&c);
    return out;
}

EVKIT_CLI_COMMAND(CommandSpec{
    "setup",
    "Device setup: show | set NAME=VALUE... | reset | clear-status (NAME: a setup control)", 1,
    true, [](CLI::App& app) -> Runner {
        auto action = std::make_shared<std::string>();
        auto args = std::make_shared<std::vector<std::string>>();
        app.add_option("ACTION", *action, "show, set, reset or clear-status")
            ->required()
            ->check(CLI::IsMember({"show", "set", "reset", "clear-status"}));
        app.add_option("ASSIGNMENTS", *args, "NAME=VALUE for set (words in 0x-hex or decimal)");
        app.parse_complete_callback([action, args] {
            if (*action == "set" && args->empty())
                throw CLI::ValidationError("setup set needs at least one NAME=VALUE");
            if (*action != "set" && !args->empty())
                throw CLI::ValidationError("setup " + *action + " takes no further words");
            for (const auto& a : *args) parseAssignment(a);
        });
        return [action, args](CliContext& ctx) {
            setup::SetupModel model(ctx.session, ctx.messages);
            if (*action == "reset") {
                if (int s = model.reset()) return CliContext::fromStatus(s);
                printControls(ctx, model, allShownControls());
                return CliContext::fromStatus(model.refreshFailure());
            }
            // The window refreshes when it opens: every edit starts from the device's values,
            // so nothing is edited when one of them could not be read.
            if (int s = model.Refresh_Setup()) return CliContext::fromStatus(s);
            if (model.refreshFailure() != 0) {
                if (*action == "show") printControls(ctx, model, allShownControls());
                return static_cast<int>(kExitFailure);
            }
            if (*action == "show") {
                printControls(ctx, model, allShownControls());
            } else if (*action == "clear-status") {
                if (int s = model.clearStatus()) return CliContext::fromStatus(s);
                printControls(
                    ctx, model,
                    setup::registerControls(*setup::findSetupControl("SETUP_STATUS_HEX")));
            } else {
                std::vector<Assignment> assignments;
                for (const auto& text : *args) assignments.push_back(parseAssignment(text));
                // Every assignment is checked before the first write: a refused one leaves the
                // device untouched by the ones before it.
                if (const auto why = hiddenRingAssignment(model, assignments))
                    return ctx.usage(*why);
                for (const Assignment& a : assignments) {
                    const int s = model.commit(*a.control, a.value);
                    // A failed write is still read back: the register shows what the device
                    // holds, then the failure ends the run.
                    if (s == 0 || model.committedReadBack())
                        printControls(ctx, model, setup::registerControls(*a.control));
                    if (s != 0) return CliContext::fromStatus(s);
                }
            }
            return static_cast<int>(kExitOk);
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{
    "registers",
    "Register settings file: retrieve FILE.rsf (write it to the device) | store "
    "FILE.rsf (save the device's registers)",
    2, true, [](CLI::App& app) -> Runner {
        auto action = std::make_shared<std::string>();
        auto file = std::make_shared<std::string>();
        app.add_option("ACTION", *action, "retrieve or store")
            ->required()
            ->check(CLI::IsMember({"retrieve", "store"}));
        app.add_option("FILE", *file, "register settings file (.rsf)")
            ->required()
            ->check(fileName());
        return [action, file](CliContext& ctx) {
            const int s = *action == "retrieve"
                              ? retrieveRegisterFile(ctx.link, ctx.messages, *file)
                              : storeRegisterFile(ctx.link, ctx.messages, *file);
            return CliContext::fromStatus(s);
        };
    }});

}  // namespace
}  // namespace evkit::cli
