// Diagnostics: raw register access on the selected page, the register dump and the EEPROM.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/arguments.h"
#include "cli/cli_context.h"
#include "diagnostics/eeprom.h"
#include "diagnostics/register_debug.h"
#include "registers/word.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

using namespace evkit::diagnostics;

std::int64_t parseNumberOrThrow(const std::string& text, std::int64_t lo, std::int64_t hi,
                                const std::string& what) {
    auto v = parseInteger(text);
    if (!v) throw CLI::ValidationError("'" + text + "' is not a number (decimal or 0x-hex)");
    if (*v < lo || *v > hi)
        throw CLI::ValidationError(what + " '" + text + "' is outside " + std::to_string(lo) +
                                   ".." + std::to_string(hi));
    return *v;
}

int parseRegisterAddressOrThrow(const std::string& text) {
    return static_cast<int>(parseNumberOrThrow(text, 0, 31, "register address"));
}

EVKIT_CLI_COMMAND(CommandSpec{
    "dump", "Read register 0:A N times and write the readings to a dump file", 1, true,
    [](CLI::App& app) -> Runner {
        auto address = std::make_shared<std::string>();
        auto count = std::make_shared<int>(1);
        auto out = std::make_shared<std::string>(kDumpFileName);
        app.add_option("ADDRESS", *address, "register address 0..31 (page 0)")->required();
        app.add_option("--count", *count, "number of readings")
            ->check(CLI::Range(0, kMaxBulkCount));
        app.add_option("--out", *out, "dump file (default register_dump.txt)")->check(fileName());
        app.parse_complete_callback([address] { parseRegisterAddressOrThrow(*address); });
        return [address, count, out](CliContext& ctx) {
            std::vector<std::uint32_t> table;
            const auto r =
                bulkRead(ctx.link, parseRegisterAddressOrThrow(*address), *count, *out, table);
            if (r.status != 0) return static_cast<int>(kExitFailure);
            ctx.print("readings", std::to_string(r.readings));
            if (r.stopped) ctx.print("stopped", "1");
            ctx.print("file", r.path);
            return static_cast<int>(kExitOk);
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{
    "raw-read", "Read register address A on the page the device has selected", 1, true,
    [](CLI::App& app) -> Runner {
        auto address = std::make_shared<std::string>();
        app.add_option("ADDRESS", *address, "register address 0..31")->required();
        app.parse_complete_callback([address] { parseRegisterAddressOrThrow(*address); });
        return [address](CliContext& ctx) {
            std::int32_t word = 0;
            const int s = rawRead(ctx.link, parseRegisterAddressOrThrow(*address), &word,
                                  ctx.session.number_of_bits);
            if (s != 0) return static_cast<int>(kExitFailure);
            ctx.print("word", hexWord(static_cast<std::uint32_t>(word)));
            return static_cast<int>(kExitOk);
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{
    "raw-write", "Write register address A on the page the device has selected", 2, true,
    [](CLI::App& app) -> Runner {
        auto address = std::make_shared<std::string>();
        auto word = std::make_shared<std::string>();
        app.add_option("ADDRESS", *address, "register address 0..31")->required();
        app.add_option("WORD", *word, "24-bit word")->required();
        app.parse_complete_callback([address, word] {
            parseRegisterAddressOrThrow(*address);
            parseNumberOrThrow(*word, 0, 0xFFFFFF, "word");
        });
        return [address, word](CliContext& ctx) {
            return CliContext::fromStatus(
                rawWrite(ctx.link, parseRegisterAddressOrThrow(*address),
                         static_cast<std::uint32_t>(parseNumberOrThrow(*word, 0, 0xFFFFFF, "word")),
                         ctx.session.number_of_bits));
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{
    "eeprom", "Read (eeprom read [--count n]) or write (eeprom write B0 B1 ...) the board EEPROM",
    1, true, [](CLI::App& app) -> Runner {
        auto action = std::make_shared<std::string>();
        auto count = std::make_shared<int>(kEepromBlockSize);
        auto byteTexts = std::make_shared<std::vector<std::string>>();
        app.add_option("ACTION", *action, "read or write")
            ->required()
            ->check(CLI::IsMember({"read", "write"}));
        app.add_option("--count", *count, "bytes to show after a read (0..48)")
            ->check(CLI::Range(0, kEepromBlockSize));
        app.add_option("BYTES", *byteTexts, "bytes to write from address 0 (0..255 each)");
        app.parse_complete_callback([action, byteTexts, &app] {
            if (*action == "read" && !byteTexts->empty())
                throw CLI::ValidationError("eeprom read takes no bytes");
            if (*action == "write") {
                if (app.count("--count"))
                    throw CLI::ValidationError("--count belongs to eeprom read");
                if (byteTexts->size() > static_cast<std::size_t>(kEepromMaxWriteCount))
                    throw CLI::ValidationError("at most 255 bytes (addresses 0..254)");
                for (const auto& t : *byteTexts) parseNumberOrThrow(t, 0, 255, "byte");
            }
        });
        return [action, count, byteTexts](CliContext& ctx) {
            if (*action == "read") {
                EepromBlock block{};
                const int s = eepromRead(ctx.link, ctx.console, block);
                if (s != 0) return static_cast<int>(kExitFailure);
                for (int i = 0; i < *count; ++i)
                    ctx.line(strprintf("byte[%d]=0x%02x", i, block[static_cast<size_t>(i)]));
                return static_cast<int>(kExitOk);
            }
            std::vector<std::uint8_t> bytes;
            for (const auto& t : *byteTexts)
                bytes.push_back(static_cast<std::uint8_t>(parseNumberOrThrow(t, 0, 255, "byte")));
            int written = 0;
            const int s = eepromWrite(ctx.link, ctx.console, bytes, {}, &written);
            if (s != 0) {
                ctx.messages.show(evkit::msg::kErrorTitle,
                                  eepromWriteFailure(s, written, bytes.size()));
                return static_cast<int>(kExitFailure);
            }
            ctx.print("written", std::to_string(written));
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
