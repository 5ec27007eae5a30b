// USB device listing, so that a user can find the ID of their board, and the udev rule
// that gives the logged-in user access to it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "board/udev_rule.h"
#include "board/usb_id.h"
#include "board/usb_transport.h"
#include "cli/cli_context.h"

namespace evkit::cli {

namespace {

// Prints the udev rule for `idText` (when given) or the configured board ID.
int printUdevRule(const CliContext& ctx, const std::string& idText) {
    const UsbIdSetting setting = idText.empty()
                                     ? resolveUsbId(ctx.usbIdOption)
                                     : UsbIdSetting{parseUsbId(idText), "VID:PID", "", ""};
    if (!setting.id) {
        std::fprintf(stderr, "error: %s\n",
                     setting.problem.empty() ? usbIdHowTo().c_str() : setting.problem.c_str());
        return kExitFailure;
    }
    std::fputs(udevRule(*setting.id).c_str(), stdout);
    return kExitOk;
}

EVKIT_CLI_COMMAND(CommandSpec{
    "usb",
    "USB devices: 'usb list' shows every attached device with its ID and product; "
    "'usb udev-rule [VID:PID]' prints the udev rule giving the logged-in user access to the "
    "board",
    1, false, [](CLI::App& app) -> Runner {
        auto action = std::make_shared<std::string>();
        auto idText = std::make_shared<std::string>();
        app.add_option("ACTION", *action, "list or udev-rule")
            ->required()
            ->check(CLI::IsMember({"list", "udev-rule"}));
        app.add_option("VID:PID", *idText,
                       "udev-rule: the board's ID in hex (default: the configured ID)")
            ->check([](const std::string& text) {
                return parseUsbId(text) ? std::string() : "not a USB ID VID:PID (hex)";
            });
        app.callback([action, idText] {
            if (*action == "list" && !idText->empty())
                throw CLI::ValidationError("VID:PID", "'usb list' takes no ID");
        });
        // The runner keeps the option storage alive: CLI11 writes into it while parsing.
        return [action, idText](CliContext& ctx) {
            if (*action == "udev-rule") return printUdevRule(ctx, *idText);
            const UsbIdSetting setting = resolveUsbId(ctx.usbIdOption);
            if (setting.id) {
                ctx.print("usb_id", formatUsbId(*setting.id));
                ctx.print("usb_id_source", setting.source);
            } else {
                ctx.print("usb_id", "none");
                std::fprintf(
                    stderr, "%s\n",
                    setting.problem.empty() ? usbIdHowTo().c_str() : setting.problem.c_str());
            }
            std::vector<UsbDeviceInfo> devices;
            std::string problem;
            if (UsbTransport::listDevices(&devices, &problem) != 0) {
                std::fprintf(stderr, "error: %s\n", problem.c_str());
                return static_cast<int>(kExitFailure);
            }
            ctx.print("devices", std::to_string(devices.size()));
            for (const auto& d : devices) {
                char where[16];
                std::snprintf(where, sizeof where, "%03d:%03d", d.bus, d.address);
                std::string text = std::string(where) + " " + formatUsbId(d.id);
                if (!d.problem.empty())
                    text += " (product string unreadable: " + escapeUsbString(d.problem) + ")";
                else
                    text += " \"" + escapeUsbString(d.product) + "\"";
                if (setting.id && *setting.id == d.id) text += " board";
                ctx.print("device", text);
            }
            return static_cast<int>(kExitOk);
        };
    }});

// One line of `boards`: port path, bus:address, ID, product and serial strings.
std::string boardLine(const UsbDeviceInfo& d) {
    char where[16];
    std::snprintf(where, sizeof where, "%03d:%03d", d.bus, d.address);
    std::string text = d.port + " " + where + " " + formatUsbId(d.id);
    if (!d.problem.empty())
        return text + " (strings unreadable: " + escapeUsbString(d.problem) + ")";
    return text + " \"" + escapeUsbString(d.product) + "\" serial=\"" + escapeUsbString(d.serial) +
           "\"";
}

EVKIT_CLI_COMMAND(CommandSpec{
    "boards",
    "Lists every attached board (the USB devices with the board ID): port path, bus:address, "
    "ID, product and serial; 'default' marks the one a plain --board usb opens",
    0, false, [](CLI::App&) -> Runner {
        return [](CliContext& ctx) {
            const UsbIdSetting setting = resolveUsbId(ctx.usbIdOption);
            if (!setting.id) {
                std::fprintf(
                    stderr, "error: %s\n",
                    setting.problem.empty() ? usbIdHowTo().c_str() : setting.problem.c_str());
                return static_cast<int>(kExitFailure);
            }
            ctx.print("usb_id", formatUsbId(*setting.id));
            std::vector<UsbDeviceInfo> boards;
            std::string problem;
            if (UsbTransport::listBoards(*setting.id, &boards, &problem) != 0) {
                std::fprintf(stderr, "error: %s\n", problem.c_str());
                return static_cast<int>(kExitFailure);
            }
            ctx.print("boards", std::to_string(boards.size()));
            for (std::size_t i = 0; i < boards.size(); ++i)
                ctx.print("board",
                          boardLine(boards[i]) + (i + 1 == boards.size() ? " default" : ""));
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
