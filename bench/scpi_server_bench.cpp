// The instrument server over loopback on the virtual board: register-read round trips (the
// budget is 1000 per second or more) and a 32768-sample capture through the server against
// the same capture made directly, as the CLI makes it (the budget: within 15 %).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include "board/connection.h"
#include "collection/capture.h"
#include "scpi/server.h"
#include "sim/virtual_board.h"

namespace {

using namespace evkit;

// A fresh virtual board on virtual time, opened, as `--board sim` gives it.
struct Board {
    Board()
        : board(clock, sim::kDefaultVariant),
          messages(&fallback),
          link(board, clock, messages, pump),
          session(link) {
        open_board(link, &session.DeviceString);
        session.port_number = kPortUsb;
    }
    VirtualClock clock;
    sim::VirtualBoard board;
    RecordingMessages fallback;
    scpi::JobMessages messages;
    RecordingConsole console;
    NullPump pump;
    BoardLink link;
    Session session;
};

struct Served {
    Served()
        : instrument({b.session, b.link, b.console, b.pump, b.messages}, {}, {}),
          server(instrument, queue, options()) {
        std::string why;
        if (!server.start(&why)) throw std::runtime_error(why);
        thread = std::thread([this] {
            while (!stop) queue.runFor(std::chrono::milliseconds(5));
        });
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(server.port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect");
    }
    ~Served() {
        ::close(fd);
        stop = true;
        thread.join();
        server.stop();
    }
    static scpi::ServerOptions options() {
        scpi::ServerOptions o;
        o.listen.port = 0;
        o.maxMessagesPerSecond = 10000000;
        return o;
    }
    void send(const std::string& s) { ::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }
    std::string read(std::size_t n) {
        std::string out(n, '\0');
        std::size_t got = 0;
        while (got < n) {
            const auto r = ::recv(fd, out.data() + got, n - got, 0);
            if (r <= 0) throw std::runtime_error("connection lost");
            got += static_cast<std::size_t>(r);
        }
        return out;
    }
    std::string line() {
        std::string out;
        for (;;) {
            const std::string c = read(1);
            if (c[0] == '\n') return out;
            out += c;
        }
    }

    Board b;
    scpi::JobQueue queue;
    scpi::Instrument instrument;
    scpi::Server server;
    std::atomic<bool> stop{false};
    std::thread thread;
    int fd = -1;
};

void BM_ScpiRegisterReadRoundTrip(benchmark::State& state) {
    Served s;
    for (auto _ : state) {
        s.send("REG:READ? 1,22\n");
        if (s.line() != "#H200000") state.SkipWithError("wrong answer");
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScpiRegisterReadRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_CaptureThroughServer(benchmark::State& state) {
    Served s;
    for (auto _ : state) {
        s.send("CAPT:DATA? 1,32768\n");
        const std::string head = s.read(8);  // "#6131072"
        const auto data = s.read(131072 + 1);
        if (head != "#6131072") state.SkipWithError("wrong block");
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * 32768);
}
BENCHMARK(BM_CaptureThroughServer)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_CaptureDirect(benchmark::State& state) {
    Board b;
    for (auto _ : state) {
        collection::DataCollection data(b.session);
        data.settings.selectPair(0);
        data.settings.setSampleIndex(*collection::indexForSampleCount(32768));
        if (data.collectSequence([&] { return data.captureBlock(); }) != 0)
            state.SkipWithError("capture failed");
        benchmark::DoNotOptimize(data.blockCodes().data());
    }
    state.SetItemsProcessed(state.iterations() * 32768);
}
BENCHMARK(BM_CaptureDirect)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
