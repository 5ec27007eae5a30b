// USB device listing, so that a user can find the ID of their board.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "board/usb_id.h"
#include "board/usb_transport.h"
#include "cli/cli_context.h"

namespace evkit::cli {

namespace {

EVKIT_CLI_COMMAND(CommandSpec{
    "usb", "USB devices: 'usb list' shows every attached device with its ID and product", 1, false,
    [](CLI::App& app) -> Runner {
        auto action = std::make_shared<std::string>();
        app.add_option("ACTION", *action, "list")->required()->check(CLI::IsMember({"list"}));
        // The runner keeps the option storage alive: CLI11 writes into it while parsing.
        return [action](CliContext& ctx) {
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

}  // namespace
}  // namespace evkit::cli
