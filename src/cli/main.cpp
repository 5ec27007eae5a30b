// evkit714-cli: every capability of the program for scripts and test benches.
//   evkit714-cli [--board usb[:SERIAL|@PORT]|sim[:VARIANT]|replay:FILE] [--usb-id VID:PID]
//                [--fault KIND@N]... [--trace] [--record FILE] [--replay-timing T]
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
#include "board/recording_transport.h"
#include "board/tracing_transport.h"
#include "board/usb_id.h"
#include "cli/cli_context.h"
#include "cli/command_line.h"
#include "cli/metrology_options.h"
#include "sim/virtual_board.h"
#include "support/version.h"

namespace {

evkit::NullPump* g_pump = nullptr;
volatile std::sig_atomic_t g_signal = 0;

// Ctrl-C (SIGINT), SIGTERM (kill, timeout), SIGHUP (a closed terminal) and SIGPIPE (the
// reader of standard output went away) ask the running work to stop (it ends the way the
// window's stop buttons end it, leaving the board at rest) and the program to exit with
// status 128 + the signal's number. A second SIGINT, SIGTERM or SIGHUP ends it at once.
void onStopSignal(int signo) {
    if (g_signal == 0) g_signal = signo;
    if (g_pump) g_pump->cancel = true;
}

void installStopSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a read of standard input (batch) returns instead of waiting on.
    sa.sa_flags = SA_RESETHAND;
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) sigaction(signo, &sa, nullptr);
    // A reader that went away (`evkit714-cli monitor | head`) stops the work the same way;
    // the lines printed before the work notices get further SIGPIPEs, which must not kill.
    sa.sa_flags = 0;
    sigaction(SIGPIPE, &sa, nullptr);
}

const char* stopSignalText(int signo) {
    switch (signo) {
        case SIGTERM:
            return "Terminated (SIGTERM).";
        case SIGHUP:
            return "Hung up (SIGHUP).";
        case SIGPIPE:
            return "Output closed (SIGPIPE).";
        default:
            return "Interrupted.";
    }
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
    app.add_option("--board", boardText,
                   "usb (the last board listed), usb:SERIAL or usb@PORT (one of several boards, "
                   "see the boards command), sim[:VARIANT] or replay:FILE (a recorded session) "
                   "(default usb, or $EVKIT714_BOARD)");
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
    std::string recordPath, replayTimingText = "instant";
    app.add_option("--record", recordPath,
                   "record every transport operation of the run in the session file FILE "
                   "(gzip-compressed when FILE ends in .gz), for --board replay:FILE")
        ->type_name("FILE");
    app.add_option("--replay-timing", replayTimingText,
                   "with --board replay:FILE: answer at once (instant, the default) or at the "
                   "recorded times (recorded)")
        ->check(CLI::IsMember({"instant", "recorded"}));
    app.add_option("--xtal", xtal, "oscillator frequency in MHz")->check(CLI::Range(0.001, 1000.0));
    MetrologyOptions metrologyOptions;
    addMetrologyOptions(app, metrologyOptions);
    std::string footer = "Commands:\n";
    for (const auto& c : commands())
        footer += "  " + c.name + std::string(16 - std::min<size_t>(15, c.name.size()), ' ') +
                  c.summary + "\n";
    footer += "\nRun 'evkit714-cli COMMAND --help' for a command's options.";
    footer +=
        "\n\nSignals: Ctrl-C (SIGINT), SIGTERM (kill, timeout) and SIGHUP stop long work "
        "within half a second and leave the board at rest (closing commands sent), then the "
        "program exits with 128 + the signal's number: 130, 143 or 129. A second signal of "
        "the same kind ends it at once. A closed output pipe (SIGPIPE) stops the work the "
        "same way, exit 141.";
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
    selection->replayTiming = *parseReplayTiming(replayTimingText);

    // Parse the whole command line before anything reaches the board.
    std::vector<ParsedCommand> parsed;
    if (int s = parseCommandLine(words, parsed); s != kExitOk) return s;

    VirtualClock virtualClock;
    SystemClock systemClock;
    // A replay keeps virtual time unless it follows the recorded timing.
    const bool virtualTime = selection->replay() ? selection->replayTiming == ReplayTiming::kInstant
                                                 : selection->simulated && !realtime;
    Clock& clock =
        virtualTime ? static_cast<Clock&>(virtualClock) : static_cast<Clock&>(systemClock);
    if (!faultTexts.empty() && !selection->simulated) {
        std::cerr << "error: --fault needs the virtual board (--board sim[:VARIANT])\n";
        return kExitUsage;
    }
    metrology::Scaling scaling;
    if (int s = resolveScaling(metrologyOptions, &scaling); s != kExitOk) return s;
    auto base = createTransport(*selection, clock, &error);
    if (!base) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitFailure;
    }
    if (auto* board = dynamic_cast<sim::VirtualBoard*>(base.get()))
        for (const auto& text : faultTexts) board->scheduleFault(*sim::parseFault(text, nullptr));
    auto* replay = dynamic_cast<ReplayTransport*>(base.get());
    if (replay)
        replay->onDivergence = [](const std::string& text) {
            std::fprintf(stderr, "error: %s\n", text.c_str());
        };
    std::unique_ptr<RecordingTransport> recording;
    if (!recordPath.empty())
        recording = std::make_unique<RecordingTransport>(
            *base, clock, recordPath, versionLine("evkit714-cli", buildRevision()));
    F32x& recorded = recording ? static_cast<F32x&>(*recording) : *base;
    TracingTransport tracing(recorded, [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    });
    F32x& transport = trace ? static_cast<F32x&>(tracing) : recorded;

    StderrMessages messages;
    StderrConsole console;
    NullPump pump;
    g_pump = &pump;
    installStopSignalHandlers();
    // A file size limit makes a write fail (reported, old file kept) instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    BoardLink link(transport, clock, messages, pump);
    Session session(link);
    session.xtal_speed = static_cast<float>(xtal);
    CliContext ctx{session, link, messages, console, clock,   pump,   false,
                   false,   {},   {},       usbId,   scaling, nullptr};
    ctx.virtualBoard = dynamic_cast<sim::VirtualBoard*>(base.get());
    if (int s = applySimulationOptions(metrologyOptions, ctx); s != kExitOk) return s;
    ctx.openBoard = [&ctx, &base]() {
        if (ctx.boardOpen) return 0;
        if (int s = open_board(ctx.link, &ctx.session.DeviceString)) return s;
        if (const std::string note = severalBoardsNote(*base); !note.empty())
            std::fprintf(stderr, "note: %s\n", note.c_str());
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
    // A replay that left the recording, or ended before it did, has not reproduced the run.
    if (replay && !replay->finish() && status == kExitOk) status = kExitFailure;
    if (recording) {
        if (!recording->finish(&error)) {
            messages.show("Error Message", error);
            if (status == kExitOk) status = kExitFailure;
        }
    }
    if (pump.cancelRequested()) {
        const int signo = g_signal != 0 ? static_cast<int>(g_signal) : SIGINT;
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", stopSignalText(signo));
        status = kExitSignalBase + signo;
    }
    return status;
}
