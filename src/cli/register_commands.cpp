// Register access and identification commands.
#include <CLI/CLI.hpp>
#include <memory>

#include "board/connection.h"
#include "cli/arguments.h"
#include "cli/cli_context.h"
#include "registers/word.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

EVKIT_CLI_COMMAND(CommandSpec{"identify",
                              "Open the board, show its identification and detect the device", 0,
                              true, [](CLI::App&) -> Runner {
                                  return [](CliContext& ctx) {
                                      if (int s = ctx.identifyBoard())
                                          return CliContext::fromStatus(s);
                                      return static_cast<int>(kExitOk);
                                  };
                              }});

EVKIT_CLI_COMMAND(CommandSpec{
    "read", "Read register P:A (24-bit word, or 32 with --width 32)", 1, true,
    [](CLI::App& app) -> Runner {
        auto address = std::make_shared<std::string>();
        auto width = std::make_shared<int>(24);
        app.add_option("ADDRESS", *address, "register as P:A")->required();
        app.add_option("--width", *width, "word width in bits")->check(CLI::IsMember({24, 32}));
        app.parse_complete_callback([address] { parseAddressOrThrow(*address); });
        return [address, width](CliContext& ctx) {
            const auto a = parseAddressOrThrow(*address);
            std::int32_t word = 0;
            const int s = ctx.link.readRegister(a.page, a.address, &word, *width);
            if (s != 0) return static_cast<int>(kExitFailure);
            ctx.print("word", *width == 32 ? hexWord(static_cast<std::uint32_t>(word), 8)
                                           : hexWord(static_cast<std::uint32_t>(word) & 0xFFFFFF));
            return static_cast<int>(kExitOk);
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{
    "write", "Write register P:A with a 24-bit WORD (decimal or 0x-hex)", 2, true,
    [](CLI::App& app) -> Runner {
        auto address = std::make_shared<std::string>();
        auto word = std::make_shared<std::string>();
        app.add_option("ADDRESS", *address, "register as P:A")->required();
        app.add_option("WORD", *word, "24-bit word")->required();
        app.parse_complete_callback([address, word] {
            parseAddressOrThrow(*address);
            parseWordOrThrow(*word);
        });
        return [address, word](CliContext& ctx) {
            const auto a = parseAddressOrThrow(*address);
            const auto w = parseWordOrThrow(*word);
            return CliContext::fromStatus(ctx.link.writeRegister(a.page, a.address, w));
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{
    "command", "Send a command byte through the board command layer", 1, true,
    [](CLI::App& app) -> Runner {
        auto byte = std::make_shared<std::string>();
        app.add_option("BYTE", *byte, "command byte 0..255 (decimal or 0x-hex)")->required();
        app.parse_complete_callback([byte] {
            const auto b = parseWordOrThrow(*byte, 255);
            // A byte the command layer refuses is a usage error: nothing is sent.
            if (!BoardLink::sendsCommand(static_cast<int>(b)))
                throw CLI::ValidationError(strprintf("command 0x%02X: %s %s",
                                                     static_cast<unsigned>(b), msg::kNotValidTitle,
                                                     msg::kNotValid));
        });
        return [byte](CliContext& ctx) {
            const auto b = parseWordOrThrow(*byte, 255);
            return CliContext::fromStatus(ctx.link.Fun_USB(static_cast<int>(b), 0, 0, 0,
                                                           ctx.session.number_of_bits, nullptr));
        };
    }});

}  // namespace
}  // namespace evkit::cli
