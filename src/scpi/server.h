#pragma once
// The instrument on a TCP socket: one session per client, board commands run through the
// board executor one client at a time, limits on clients, message length, output held for a
// slow reader, idle time and message rate. Networking runs on a thread of its own.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scpi/access_policy.h"
#include "scpi/board_executor.h"
#include "scpi/instrument.h"

namespace evkit::scpi {

struct ServerOptions {
    ListenAddress listen;
    std::vector<AddressRange> allow;  // empty: any address may connect
    std::size_t maxClients = 8;
    double idleTimeoutSeconds = 300.0;
    int maxMessagesPerSecond = 5000;
    std::size_t maxPendingOutput = 16u << 20;  // answers not yet read before reading pauses
    // The clock of the message rate (tests step it by hand); the steady clock when empty.
    std::function<std::chrono::steady_clock::time_point()> rateClock;
};

// Why a server may not start with these options ("" when it may): listening beyond the
// loopback interface needs client ranges and a token.
std::string checkExposure(const ServerOptions& options, bool haveToken);

class Server {
  public:
    Server(Instrument& instrument, BoardExecutor& executor, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds, listens and starts the network thread. False (with *why) when it cannot.
    bool start(std::string* why);
    // Closes every connection and stops the network thread; jobs not yet run are dropped.
    void stop();
    // The port listened on (the one chosen by the system for port 0).
    unsigned port() const;
    int clients() const;
    // Called on the network thread when the number of clients changes.
    std::function<void(int clients)> onClientsChanged;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace evkit::scpi
