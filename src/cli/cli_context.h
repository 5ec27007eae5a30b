#pragma once
// What every CLI command works with: the session over the chosen board, output helpers
// and lazy opening of the board.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/board_link.h"
#include "board/session.h"
#include "metrology/scaling.h"
#include "support/clock.h"
#include "support/console.h"
#include "support/file_writer.h"
#include "support/messages.h"
#include "support/pump.h"

namespace CLI {
class App;
}
namespace evkit::sim {
class VirtualBoard;
}

namespace evkit::cli {

// 130: ended by Ctrl-C (SIGINT), as shells report a program killed by that signal; the
// program's exit status after a stop signal is kExitSignalBase + its number (143 SIGTERM,
// 129 SIGHUP).
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitSignalBase = 128,
    kExitInterrupted = 130
};

struct CliContext {
    Session& session;
    BoardLink& link;
    Messages& messages;
    Console& console;
    Clock& clock;
    NullPump& pump;  // its cancel flag is set by Ctrl-C
    bool boardOpen = false;
    bool identified = false;

    // Opens the board (once per run). Returns 0 or the failing status (message shown).
    std::function<int()> openBoard;
    // Opens and identifies the device (sets session.chip). Returns 0 or a status.
    std::function<int()> identifyBoard;
    // The --usb-id text (empty when not given), for commands that list USB devices.
    std::string usbIdOption;
    // Engineering units of the results (--scale-v1 ..., --scaling, the saved scaling).
    metrology::Scaling scaling;
    // The virtual board, or nullptr on a real one (the source and error model commands).
    sim::VirtualBoard* virtualBoard = nullptr;

    // One result line "key=value" on stdout.
    void print(const std::string& key, const std::string& value) const {
        std::printf("%s=%s\n", key.c_str(), value.c_str());
    }
    void line(const std::string& text) const { std::printf("%s\n", text.c_str()); }
    // A usage error: one line on stderr, exit status 2.
    int usage(const std::string& text) const {
        std::fprintf(stderr, "error: %s\n", text.c_str());
        return kExitUsage;
    }
    // A requested output file that could not be written (the old file, if any, is kept):
    // the message with the reason, exit status 1.
    int cannotWrite(const std::string& path, const std::string& why) const {
        messages.show("Error Message", fileWriteErrorText(path, why));
        return kExitFailure;
    }
    // Maps a board status to the exit status (the message has been shown already).
    static int fromStatus(int status) { return status == 0 ? kExitOk : kExitFailure; }
};

using Runner = std::function<int(CliContext& ctx)>;

struct CommandSpec {
    std::string name;
    std::string summary;
    // Positional words the command always takes: a following token that names another
    // command starts a new command only once this many words have been given.
    int minWords = 0;
    // Opens the board before running.
    bool needsBoard = true;
    // Declares the options on `app` and returns the runner bound to them. Validation that
    // must happen before anything is sent belongs in CLI11 checks or in this function
    // (throw CLI::ValidationError).
    std::function<Runner(CLI::App& app)> define;
};

// Called from static registrars in the command files.
bool registerCommand(CommandSpec entry);
const std::vector<CommandSpec>& commands();
const CommandSpec* findCommand(const std::string& name);

}  // namespace evkit::cli

#define EVKIT_CLI_CONCAT2(a, b) a##b
#define EVKIT_CLI_CONCAT(a, b) EVKIT_CLI_CONCAT2(a, b)
#define EVKIT_CLI_COMMAND(...)                                            \
    static const bool EVKIT_CLI_CONCAT(evkit_cli_registered_, __LINE__) = \
        ::evkit::cli::registerCommand(__VA_ARGS__)
