// The server over loopback on an ephemeral port: limits, refusals and a client that goes
// away while its capture runs. The board thread is a JobQueue run by the test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "scpi/server.h"
#include "scpi_rig.h"

namespace evkit::test {
namespace {

class Client {
  public:
    explicit Client(unsigned port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { shut(); }
    void shut() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool connected() const { return connected_; }
    void send(const std::string& s) {
        std::size_t done = 0;
        while (done < s.size()) {
            const auto n = ::send(fd_, s.data() + done, s.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    // One answer line; "<closed>" when the server closed the connection.
    std::string line() {
        std::string out;
        char c = 0;
        for (;;) {
            const auto n = ::recv(fd_, &c, 1, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) return "<closed>";
            if (n < 0) return "<timeout>";
            if (c == '\n') return out;
            out += c;
        }
    }
    std::string query(const std::string& q) {
        send(q + "\n");
        return line();
    }
    // A definite-length block answer (and its newline): the bytes.
    std::string block() {
        std::string head = bytes(2);
        if (head.size() != 2 || head[0] != '#') return {};
        const std::string length = bytes(static_cast<std::size_t>(head[1] - '0'));
        std::string data = bytes(std::stoul(length));
        bytes(1);
        return data;
    }
    std::string bytes(std::size_t n) {
        std::string out(n, '\0');
        std::size_t got = 0;
        while (got < n) {
            const auto r = ::recv(fd_, out.data() + got, n - got, 0);
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
        }
        out.resize(got);
        return out;
    }
    // Waits for the server to close (true) or 5 s to pass.
    bool closedByServer() {
        char c;
        for (;;) {
            const auto n = ::recv(fd_, &c, 1, 0);
            if (n == 0) return true;
            if (n < 0) return errno == ECONNRESET;
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

struct ServerRig {
    explicit ServerRig(scpi::ServerOptions o = {}, scpi::InstrumentOptions io = {}) : rig(io) {
        rig.instrument->log = [this](const std::string& l) {
            std::lock_guard lock(logMutex);
            log.push_back(l);
        };
        o.listen.port = 0;  // any free port: parallel test runs never collide
        server = std::make_unique<scpi::Server>(*rig.instrument, queue, o);
        std::string why;
        EXPECT_TRUE(server->start(&why)) << why;
        boardThread = std::thread([this] {
            while (!stop) queue.runFor(std::chrono::milliseconds(5));
        });
    }
    ~ServerRig() {
        stop = true;
        boardThread.join();
        server->stop();
    }
    bool logged(const std::string& part) {
        std::lock_guard lock(logMutex);
        for (const auto& l : log)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    void waitForClients(int n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (server->clients() != n && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
    }

    ScpiRig rig;
    scpi::JobQueue queue;
    std::unique_ptr<scpi::Server> server;
    std::atomic<bool> stop{false};
    std::thread boardThread;
    std::mutex logMutex;
    std::vector<std::string> log;
};

TEST(ScpiServer, AnswersOverLoopbackAndLogsPeers) {
    ServerRig s;
    Client c(s.server->port());
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.query("*IDN?"), "EVKIT714,PM7014 Rev C,EVK-TEST-0001,3.0.2");
    EXPECT_EQ(c.query("REG:WRIT 1,22,#H123456;READ? 1,22"), "#H123456");
    c.shut();
    s.waitForClients(0);
    EXPECT_TRUE(s.logged("127.0.0.1:"));
    EXPECT_TRUE(s.logged(" connected"));
    EXPECT_TRUE(s.logged(" disconnected"));
}

TEST(ScpiServer, HundredConnectionsBeyondTheLimitAreRefusedOthersUnaffected) {
    scpi::ServerOptions o;
    o.maxClients = 8;
    ServerRig s(o);
    Client first(s.server->port());
    EXPECT_EQ(first.query("*OPC?"), "1");
    std::vector<std::unique_ptr<Client>> crowd;
    for (int i = 0; i < 100; ++i) crowd.push_back(std::make_unique<Client>(s.server->port()));
    int refused = 0;
    for (auto& c : crowd) {
        c->send("*OPC?\n");
        const std::string answer = c->line();
        if (answer == "<closed>")
            ++refused;
        else
            EXPECT_EQ(answer, "1");
    }
    EXPECT_EQ(refused, 93);  // 7 more fit beside the first
    EXPECT_EQ(first.query("REG:READ? 1,22"), "#H200000");
    EXPECT_TRUE(s.logged("refused: 8 clients connected already (--max-clients)"));
    crowd.clear();
    s.waitForClients(1);
    Client later(s.server->port());
    EXPECT_EQ(later.query("*OPC?"), "1");
}

TEST(ScpiServer, MegabyteLineIsRefusedAndTheConnectionGoesOn) {
    ServerRig s;
    Client flood(s.server->port());
    Client other(s.server->port());
    flood.send(std::string(1 << 20, 'A'));
    EXPECT_EQ(other.query("*OPC?"), "1");  // not held up by the flood
    flood.send("\n");
    EXPECT_EQ(flood.query("SYST:ERR?"),
              "-223,\"Too much data;message longer than 65536 bytes, dropped\"");
    EXPECT_EQ(flood.query("*OPC?"), "1");
    EXPECT_TRUE(s.logged("message over 65536 bytes dropped"));
}

TEST(ScpiServer, WrongTokenThreeTimesClosesTheConnection) {
    scpi::InstrumentOptions io;
    io.token = "s3cret";
    ServerRig s({}, io);
    Client c(s.server->port());
    c.send("SYST:AUTH \"a\"\nSYST:AUTH \"b\"\n*IDN?\n");
    EXPECT_TRUE(c.closedByServer());
    EXPECT_TRUE(s.logged("authentication failed (2)"));
    EXPECT_TRUE(s.logged("closed after 3 refused commands"));
    Client good(s.server->port());
    EXPECT_EQ(good.query("SYST:AUTH 's3cret';*OPC?"), "1");
}

TEST(ScpiServer, AddressesOutsideTheAllowedRangesAreRefused) {
    scpi::ServerOptions o;
    o.allow.push_back(*scpi::parseAddressRange("10.0.0.0/8", nullptr));
    ServerRig s(o);
    Client c(s.server->port());
    EXPECT_TRUE(c.closedByServer());
    EXPECT_TRUE(s.logged("refused: address not allowed"));
}

TEST(ScpiServer, IdleClientsAreDisconnected) {
    scpi::ServerOptions o;
    o.idleTimeoutSeconds = 0.05;
    ServerRig s(o);
    Client c(s.server->port());
    EXPECT_TRUE(c.closedByServer());
    EXPECT_TRUE(s.logged("closed: idle for 0.05 s"));
}

TEST(ScpiServer, MessagesBeyondTheRateGetAnError) {
    scpi::ServerOptions o;
    o.maxMessagesPerSecond = 20;
    std::atomic<std::int64_t> ms{0};
    o.rateClock = [&ms] {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms.load()));
    };
    ServerRig s(o);
    Client c(s.server->port());
    std::string burst;
    for (int i = 0; i < 25; ++i) burst += "*OPC?\n";
    c.send(burst);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(c.line(), "1");
    // The rest was dropped with an error; a token comes back every 50 ms.
    ms = 60;
    EXPECT_EQ(c.query("SYST:ERR?"),
              "-200,\"Execution error;more than 20 messages per second, message dropped\"");
}

TEST(ScpiServer, ClientGoneDuringAMonitorRunLeavesTheBoardAtRest) {
    ServerRig s;
    auto c = std::make_unique<Client>(s.server->port());
    ASSERT_EQ(c->query("*OPC?"), "1");
    std::atomic<bool> once{false};  // set on the board's thread, read by the test's
    s.rig.pump.onProcess = [&] {
        // While the monitor waits for its results, the client goes away.
        if (once.exchange(true)) return;
        c->shut();
        s.waitForClients(0);
    };
    c->send("MEAS:ALL? 1000\n");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!once && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    ASSERT_TRUE(once);
    // The stopped run ends and frees the board without anyone asking for it.
    while (s.rig.instrument->activeClient.load() != 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    EXPECT_EQ(s.rig.instrument->activeClient.load(), 0u);
    // ... stopped early: 1000 cycles of 4000 samples would take the board over 900 s.
    EXPECT_LT(s.rig.clock.now(), 100.0);
    Client next(s.server->port());
    EXPECT_EQ(next.query("*OPC?"), "1");
    s.rig.pump.onProcess = nullptr;
    // The stopped monitor run still ended with the halt command.
    bool halted = false;
    for (const auto& f : s.rig.board.framesReceived())
        if (f[0] == 0xA0) halted = true;
    EXPECT_TRUE(halted);
    next.send("CAPT:DATA? 1,16\n");
    EXPECT_EQ(next.block().size(), 64u);
    EXPECT_EQ(next.query("SYST:ERR?"), "0,\"No error\"");
}

}  // namespace
}  // namespace evkit::test

namespace evkit::test {
namespace {

TEST(ScpiServer, AbortEndsTheRunningMonitorUpdateAtOnce) {
    ServerRig s;
    Client c(s.server->port());
    bool once = false;
    s.rig.pump.onProcess = [&] {
        if (once) return;
        once = true;
        c.send("ABORt\n");  // while the update runs
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!s.rig.pump.cancelRequested() && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
    };
    c.send("MEAS:ALL? 1000\n");
    EXPECT_EQ(c.query("SYST:ERR?"), "-240,\"Hardware error;aborted\"");
    EXPECT_TRUE(once);
    EXPECT_LT(s.rig.clock.now(), 100.0);  // not the 1000 cycles' 900 s
    s.rig.pump.onProcess = nullptr;
    EXPECT_EQ(c.query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(c.query("MEAS:V1RMS?").empty(), false);
}

}  // namespace
}  // namespace evkit::test

namespace evkit::test {
namespace {

TEST(ScpiServer, SlowReaderHoldsOnlyItself) {
    scpi::ServerOptions o;
    o.maxPendingOutput = 256 * 1024;
    ServerRig s(o);
    Client slow(s.server->port());
    Client other(s.server->port());
    std::string many;
    for (int i = 0; i < 100; ++i) many += "CAPT:DATA? 1,4096\n";  // 1.6 MB of answers
    slow.send(many);
    // The slow client reads nothing; the other one is served meanwhile.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(other.query("REG:READ? 1,22"), "#H200000");
    // Once it reads, every answer comes, whole and in order.
    for (int i = 0; i < 100; ++i) ASSERT_EQ(slow.block().size(), 4096u * 4) << i;
    EXPECT_EQ(slow.query("SYST:ERR?"), "0,\"No error\"");
}

}  // namespace
}  // namespace evkit::test
