// evkit714: the desktop program.
//   evkit714 [--board usb[:SERIAL|@PORT]|sim[:VARIANT]|replay:FILE] [--usb-id VID:PID]
//            [--trace] [--record FILE] [--replay-timing T] [--realtime] [--connect]
//   evkit714 --help | --version
// The virtual board keeps real time here (a wait of one second takes one second), so the
// program behaves as it does with a board; --realtime is accepted for the command line's
// sake and changes nothing.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/board_choice.h"
#include "app/shell.h"
#include "app/start_window.h"
#include "app/stop_signals.h"
#include "board/board_selection.h"
#include "board/recording_transport.h"
#include "board/tracing_transport.h"
#include "board/usb_transport.h"
#include "scpi/job_messages.h"
#include "sim/virtual_board.h"
#include "support/version.h"
#include "ui/display_look.h"
#include "ui/qt_seams.h"

namespace {

// The icon from the desktop theme when installed, else a drawn one.
QIcon applicationIcon() {
    QIcon icon = QIcon::fromTheme("evkit714");
    if (!icon.isNull()) return icon;
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1f, 0x5f, 0x9f));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(2, 2, 60, 60, 10, 10);
    p.setPen(QPen(QColor(0xff, 0xd0, 0x40), 4));
    QPainterPath wave;
    wave.moveTo(8, 32);
    wave.cubicTo(20, 4, 28, 4, 32, 32);
    wave.cubicTo(36, 60, 44, 60, 56, 32);
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.end();
    return QIcon(pixmap);
}

// --help and --version are answered before the GUI starts, so that they work without a
// display (help2man runs them at build time). Returns the exit status, or -1 to go on.
// A command line this parser rejects (it does not know Qt's own options such as -platform)
// is left to the full parse after QApplication has taken Qt's options out.
int answerWithoutDisplay(QCommandLineParser& parser, const QCommandLineOption& versionOption,
                         int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) return -1;
    if (parser.isSet(versionOption)) {
        std::printf("%s\n", evkit::versionLine("evkit714", evkit::buildRevision()).c_str());
        return 0;
    }
    if (parser.isSet("help") || parser.isSet("help-all")) {
        QCoreApplication core(argc, argv);
        parser.process(core);  // prints the help and ends the program
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace evkit;
    QApplication::setApplicationName("EVKIT714");
    QApplication::setApplicationVersion(programVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "EVKIT714 control and evaluation program\n\nSIGTERM, SIGHUP and Ctrl-C end it as a "
        "confirmed quit does (a running operation stopped, the board closed); the exit status "
        "is then 128 + the signal's number.");
    parser.addHelpOption();
    const QCommandLineOption versionOption(QStringList{"v", "version"},
                                           "print the program's version and exit");
    const char* envBoard = std::getenv("EVKIT714_BOARD");
    const QString defaultBoard = envBoard && *envBoard ? envBoard : "usb";
    QCommandLineOption boardOption("board",
                                   "usb (the last board listed, or a choice when several are "
                                   "attached), usb:SERIAL or usb@PORT (one board of several), "
                                   "sim[:VARIANT] or replay:FILE (a recorded session) (default "
                                   "usb, or $EVKIT714_BOARD)",
                                   "board", defaultBoard);
    QCommandLineOption usbIdOption(
        "usb-id",
        "USB vendor and product ID of the board (else $EVKIT714_USB_ID, then the usb-id file "
        "in the configuration directory, which Connection > USB Device... writes)",
        "VID:PID");
    QCommandLineOption traceOption("trace", "print every frame written (>) and read (<) on stderr");
    QCommandLineOption realtimeOption("realtime",
                                      "accepted; the virtual board always keeps real time here");
    QCommandLineOption connectOption(
        "connect", "connect to the board at start, as Connection > USB Board does");
    QCommandLineOption recordOption(
        "record",
        "record every transport operation in the session file FILE (gzip-compressed when FILE "
        "ends in .gz), for --board replay:FILE",
        "FILE");
    QCommandLineOption replayTimingOption(
        "replay-timing",
        "with --board replay:FILE: answer at once (instant, the default) or at the recorded "
        "times (recorded)",
        "T", "instant");
    QCommandLineOption simIdealOption(
        "sim-ideal", "virtual board only: a device without gain, phase, offset or noise errors");
    parser.addOptions({versionOption, boardOption, usbIdOption, traceOption, realtimeOption,
                       connectOption, recordOption, replayTimingOption, simIdealOption});
    if (const int code = answerWithoutDisplay(parser, versionOption, argc, argv); code >= 0)
        return code;

    QApplication app(argc, argv);
    QApplication::setDesktopFileName("evkit714");
    QApplication::setWindowIcon(applicationIcon());
    // The program ends by the start window's close or by a confirmed quit, nothing else.
    QApplication::setQuitOnLastWindowClosed(false);
    // Results shown by the program read as displays, not as white entry boxes.
    app::installDisplayLook(app);
    parser.process(app);
    if (parser.isSet(versionOption)) {
        std::printf("%s\n", versionLine("evkit714", buildRevision()).c_str());
        return 0;
    }

    std::string error;
    auto selection = parseBoardSelection(parser.value(boardOption).toStdString(), &error);
    if (!selection) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 2;
    }
    const auto timing = parseReplayTiming(parser.value(replayTimingOption).toStdString());
    if (!timing) {
        std::fprintf(stderr, "error: --replay-timing is instant or recorded\n");
        return 2;
    }
    selection->replayTiming = *timing;
    if (parser.isSet(usbIdOption) && !parseUsbId(parser.value(usbIdOption).toStdString())) {
        std::fprintf(stderr, "error: --usb-id '%s' is not a USB ID VID:PID (hex, e.g. 1234:5678)\n",
                     qPrintable(parser.value(usbIdOption)));
        return 2;
    }

    SystemClock clock;
    const auto makeTransport = [&](const std::string& usbIdText) -> std::unique_ptr<F32x> {
        if (!selection->usb()) return createTransport(*selection, clock, &error);
        return std::make_unique<UsbTransport>(app::desktopUsbIdSetting(usbIdText), true,
                                              selection->usbBoard);
    };
    const auto printTrace = [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    };
    const bool trace = parser.isSet(traceOption);
    auto base = makeTransport(parser.value(usbIdOption).toStdString());
    if (!base) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 1;
    }
    if (auto* board = dynamic_cast<sim::VirtualBoard*>(base.get());
        board && parser.isSet(simIdealOption))
        board->setErrorModel(sim::ErrorModel{});
    std::unique_ptr<RecordingTransport> recording;
    if (parser.isSet(recordOption))
        recording = std::make_unique<RecordingTransport>(*base, clock,
                                                         parser.value(recordOption).toStdString(),
                                                         versionLine("evkit714", buildRevision()));
    F32x& recorded = recording ? static_cast<F32x&>(*recording) : *base;
    auto tracing = std::make_unique<TracingTransport>(recorded, printTrace);
    F32x& transport = trace ? static_cast<F32x&>(*tracing) : recorded;

    app::QtMessages messages;
    app::QtConsole console;
    app::QtPump pump;
    app::QtFileDialogs dialogs;
    // Messages of remote clients' commands (Program > Remote access...) go to those clients.
    scpi::JobMessages linkMessages(&messages);
    BoardLink link(transport, clock, linkMessages, pump);
    Session session(link);

    session.projectDir = QCoreApplication::applicationDirPath().toStdString();
    if (session.projectDir.empty()) {
        messages.show("Error", "Couldn't find project directory\n");
        return 0;
    }

    app::Shell shell(session, messages, console, dialogs, clock);
    // A board ID chosen in Connection > USB Device... is used from the next connection on;
    // an open board keeps its transport until the program ends.
    shell.start().onUsbIdChosen = [&](const UsbId& id) {
        if (!selection->usb() || link.cyHandle != 0) return;
        auto nextBase = makeTransport(formatUsbId(id));
        if (recording) recording->retarget(*nextBase);
        F32x& nextRecorded = recording ? static_cast<F32x&>(*recording) : *nextBase;
        auto nextTracing = std::make_unique<TracingTransport>(nextRecorded, printTrace);
        link.setTransport(trace ? static_cast<F32x&>(*nextTracing) : nextRecorded);
        tracing = std::move(nextTracing);
        base = std::move(nextBase);
    };
    app::connectBoardChoice(
        shell.start(), *selection, [&base] { return base.get(); }, messages);
    // kill, a logout or a closed terminal end the program as a confirmed quit does: a
    // running operation is stopped (closing commands sent) and the board closed.
    app::StopSignals stopSignals([&shell](int signo) { shell.start().quitOnSignal(signo); });
    shell.start().show();
    if (parser.isSet(connectOption))
        QTimer::singleShot(0, &shell.start(), &app::StartWindow::cbfUSB);
    int code = app.exec();
    shell.start().afterEventLoop();
    if (recording && !recording->finish(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        if (code == 0) code = 1;
    }
    return code;
}
