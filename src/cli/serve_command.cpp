// serve: the board as a bench instrument on a TCP socket (SCPI), until Ctrl-C.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <memory>

#include "board/connection.h"
#include "cli/cli_context.h"
#include "scpi/server.h"

namespace evkit::cli {

namespace {

struct ServeOptions {
    std::string listen = "127.0.0.1:5025";
    std::vector<std::string> allow;
    std::string tokenFile;
    bool readOnly = false;
    int maxClients = 8;
    double idleTimeout = 300.0;
    int maxRate = 5000;
};

// The stop request of remote clients (ABORt, a disconnect), and Ctrl-C.
class ServePump : public Pump {
  public:
    explicit ServePump(Pump& outer) : outer_(outer) {}
    void processEvents() override {}
    bool cancelRequested() override { return cancel_.load() || outer_.cancelRequested(); }
    void requestCancel() override { cancel_ = true; }
    void clearCancel() override { cancel_ = false; }

  private:
    Pump& outer_;
    std::atomic<bool> cancel_{false};
};

int serve(CliContext& ctx, const ServeOptions& o) {
    std::string why;
    scpi::ServerOptions options;
    const auto listen = scpi::parseListenAddress(o.listen, &why);
    if (!listen) return ctx.usage("--listen: " + why);
    options.listen = *listen;
    for (const auto& text : o.allow) {
        const auto range = scpi::parseAddressRange(text, &why);
        if (!range) return ctx.usage("--allow: " + why);
        options.allow.push_back(*range);
    }
    options.maxClients = static_cast<std::size_t>(o.maxClients);
    options.idleTimeoutSeconds = o.idleTimeout;
    options.maxMessagesPerSecond = o.maxRate;
    if (const auto refusal = scpi::checkExposure(options, !o.tokenFile.empty()); !refusal.empty())
        return ctx.usage(refusal);
    scpi::InstrumentOptions instrumentOptions;
    instrumentOptions.readOnly = o.readOnly;
    if (!o.tokenFile.empty()) {
        const auto token = scpi::readTokenFile(o.tokenFile, &why);
        if (!token) {
            std::fprintf(stderr, "error: %s\n", why.c_str());
            return kExitFailure;
        }
        instrumentOptions.token = *token;
    }

    if (int s = ctx.openBoard()) return CliContext::fromStatus(s);
    // The server's own link over the same board: its messages go to the client that caused
    // them, and remote clients can stop its long operations.
    scpi::JobMessages messages(&ctx.messages);
    ServePump pump(ctx.pump);
    BoardLink link(ctx.link.transport(), ctx.clock, messages, pump);
    link.cyHandle = ctx.link.cyHandle;
    Session session(link);
    session.xtal_speed = ctx.session.xtal_speed;
    session.port_number = ctx.session.port_number;
    session.DeviceString = ctx.session.DeviceString;

    int queryStatus = 0;
    const auto ids = query_board_id(link, &queryStatus);
    if (queryStatus != 0) return kExitFailure;
    const auto id = autodetect_device(link);
    if (id.status != 0) return kExitFailure;
    session.chip = id.chip;
    ctx.print("chip", std::to_string(id.chip));
    ctx.print("device", id.name);
    ctx.print("board_id", ids[0] + " " + ids[1] + " " + ids[2]);

    const scpi::Identity identity = scpi::makeIdentity(id.name, ids);
    scpi::Instrument instrument({session, link, ctx.console, pump, messages}, instrumentOptions,
                                identity);
    instrument.scaling = ctx.scaling;
    instrument.log = [](const std::string& line) {
        std::fprintf(stderr, "serve: %s\n", line.c_str());
        std::fflush(stderr);
    };
    scpi::JobQueue queue;
    scpi::Server server(instrument, queue, options);
    if (!server.start(&why)) {
        std::fprintf(stderr, "error: %s\n", why.c_str());
        return kExitFailure;
    }
    ctx.print("listening", (listen->host.find(':') != std::string::npos ? "[" + listen->host + "]"
                                                                        : listen->host) +
                               ":" + std::to_string(server.port()));
    std::fflush(stdout);
    // Board commands of the clients run here, on the thread that opened the board.
    while (!ctx.pump.cancelRequested()) queue.runFor(std::chrono::milliseconds(100));
    server.stop();
    return kExitOk;
}

EVKIT_CLI_COMMAND(CommandSpec{
    "serve", "Serve the board as a SCPI instrument over TCP (default 127.0.0.1:5025) until Ctrl-C",
    0, true, [](CLI::App& app) -> Runner {
        auto o = std::make_shared<ServeOptions>();
        app.add_option("--listen", o->listen, "ADDRESS:PORT to listen on (port 0: any free port)");
        app.add_option("--allow", o->allow,
                       "repeatable: client address range (CIDR) allowed to connect; needed with a "
                       "non-loopback --listen")
            ->allow_extra_args(false);
        app.add_option("--token-file", o->tokenFile,
                       "file (readable only by its owner) holding the token clients send with "
                       "SYSTem:AUTH first");
        app.add_flag("--read-only", o->readOnly,
                     "refuse every write, calibration, EEPROM write and source change");
        app.add_option("--max-clients", o->maxClients, "clients connected at once (default 8)")
            ->check(CLI::Range(1, 1000));
        app.add_option("--idle-timeout", o->idleTimeout,
                       "seconds without traffic before a client is disconnected (default 300)")
            ->check(CLI::Range(0.01, 1.0e6));
        app.add_option("--max-rate", o->maxRate, "messages per second per client (default 5000)")
            ->check(CLI::Range(1, 10000000));
        return [o](CliContext& ctx) { return serve(ctx, *o); };
    }});

}  // namespace
}  // namespace evkit::cli
