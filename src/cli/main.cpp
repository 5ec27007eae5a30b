// evkit714-cli: every capability of the program for scripts and test benches.
//   evkit714-cli [--board usb|sim[:VARIANT]] [--usb-id VID:PID] [--fault KIND@N]... [--trace]
//                [--realtime] [--xtal MHZ] COMMAND ...
// Several commands may follow one another; they run in order on one connection.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "board/board_selection.h"
#include "board/connection.h"
#include "board/tracing_transport.h"
#include "board/usb_id.h"
#include "cli/cli_context.h"
#include "cli/command_line.h"
#include "cli/metrology_options.h"
#include "sim/virtual_board.h"
#include "support/version.h"

namespace {

evkit::NullPump* g_pump = nullptr;

// Ctrl-C asks the running work to stop (it ends the way the window's stop buttons end it,
// leaving the board at rest) and the program to exit with status 130. A second Ctrl-C ends
// the program at once.
void onInterrupt(int) {
    if (g_pump) g_pump->cancel = true;
}

void installInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a read of standard input (batch) returns instead of waiting on.
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace evkit;
    using namespace evkit::cli;

    CLI::App app{"EVKIT714 control program, command-line edition", "evkit714-cli"};
    app.prefix_command();
    app.set_version_flag("--version", versionLine("evkit714-cli", buildRevision()),
                         "print the program's version and exit");
    const char* envBoard = std::getenv("EVKIT714_BOARD");
    std::string boardText = envBoard && *envBoard ? envBoard : "usb";
    bool trace = false, realtime = false;
    double xtal = 4.096;
    std::string usbId;
    app.add_option("--board", boardText, "usb or sim[:VARIANT] (default usb, or $EVKIT714_BOARD)");
    app.add_option("--usb-id", usbId,
                   "vendor:product ID of the board in hex, e.g. 1234:5678 (default "
                   "$EVKIT714_USB_ID, then the usb-id file in the configuration directory)")
        ->check([](const std::string& text) {
            return parseUsbId(text) ? std::string() : "not a USB ID VID:PID (hex)";
        });
    std::vector<std::string> faultTexts;
    app.add_option("--fault", faultTexts,
                   "virtual board only, repeatable: a fault KIND@N armed at the N-th transport "
                   "operation (every operation counts, from 1); KIND: " +
                       sim::faultKindList())
        ->allow_extra_args(false)  // one KIND@N per --fault; the command follows
        ->check([](const std::string& text) {
            std::string why;
            return sim::parseFault(text, &why) ? std::string() : why;
        });
    app.add_flag("--trace", trace, "print every frame written (>) and read (<) on stderr");
    app.add_flag("--realtime", realtime, "run the virtual board in real time");
    app.add_option("--xtal", xtal, "oscillator frequency in MHz")->check(CLI::Range(0.001, 1000.0));
    MetrologyOptions metrologyOptions;
    addMetrologyOptions(app, metrologyOptions);
    std::string footer = "Commands:\n";
    for (const auto& c : commands())
        footer += "  " + c.name + std::string(16 - std::min<size_t>(15, c.name.size()), ' ') +
                  c.summary + "\n";
    footer += "\nRun 'evkit714-cli COMMAND --help' for a command's options.";
    app.footer(footer);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }
    std::vector<std::string> words = app.remaining();
    if (words.empty()) {
        std::cerr << app.help();
        return kExitUsage;
    }

    std::string error;
    auto selection = parseBoardSelection(boardText, &error);
    if (!selection) {
        std::cerr << "error: " << error << "\n";
        return kExitUsage;
    }
    selection->usbIdOption = usbId;

    // Parse the whole command line before anything reaches the board.
    std::vector<ParsedCommand> parsed;
    if (int s = parseCommandLine(words, parsed); s != kExitOk) return s;

    VirtualClock virtualClock;
    SystemClock systemClock;
    Clock& clock = selection->simulated && !realtime ? static_cast<Clock&>(virtualClock)
                                                     : static_cast<Clock&>(systemClock);
    if (!faultTexts.empty() && !selection->simulated) {
        std::cerr << "error: --fault needs the virtual board (--board sim[:VARIANT])\n";
        return kExitUsage;
    }
    metrology::Scaling scaling;
    if (int s = resolveScaling(metrologyOptions, &scaling); s != kExitOk) return s;
    auto base = createTransport(*selection, clock);
    if (auto* board = dynamic_cast<sim::VirtualBoard*>(base.get()))
        for (const auto& text : faultTexts) board->scheduleFault(*sim::parseFault(text, nullptr));
    TracingTransport tracing(*base, [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    });
    F32x& transport = trace ? static_cast<F32x&>(tracing) : *base;

    StderrMessages messages;
    StderrConsole console;
    NullPump pump;
    g_pump = &pump;
    installInterruptHandler();
    // A file size limit makes a write fail (reported, old file kept) instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    BoardLink link(transport, clock, messages, pump);
    Session session(link);
    session.xtal_speed = static_cast<float>(xtal);
    CliContext ctx{session, link, messages, console, clock,   pump,   false,
                   false,   {},   {},       usbId,   scaling, nullptr};
    ctx.virtualBoard = dynamic_cast<sim::VirtualBoard*>(base.get());
    if (int s = applySimulationOptions(metrologyOptions, ctx); s != kExitOk) return s;
    ctx.openBoard = [&ctx]() {
        if (ctx.boardOpen) return 0;
        if (int s = open_board(ctx.link, &ctx.session.DeviceString)) return s;
        ctx.session.port_number = kPortUsb;
        ctx.boardOpen = true;
        return 0;
    };
    ctx.identifyBoard = [&ctx]() {
        if (int s = ctx.openBoard()) return s;
        if (!ctx.identified) {
            // An identification built on failed reads is no identification.
            int queryStatus = 0;
            const auto ids = query_board_id(ctx.link, &queryStatus);
            if (queryStatus != 0) return queryStatus;
            const auto id = autodetect_device(ctx.link);
            if (id.status != 0) return id.status;
            ctx.session.chip = id.chip;
            ctx.identified = true;
            ctx.print("chip", std::to_string(id.chip));
            ctx.print("device", id.name);
            ctx.print("board_id", ids[0] + " " + ids[1] + " " + ids[2]);
        }
        return 0;
    };

    int status = runCommands(ctx, parsed);
    if (ctx.boardOpen && link.cyHandle) link.transport().Close(link.cyHandle);
    if (pump.cancelRequested()) {
        std::fflush(stdout);
        std::fprintf(stderr, "Interrupted.\n");
        status = kExitInterrupted;
    }
    return status;
}
