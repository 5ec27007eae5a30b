#include "scpi/server.h"

#include <asio.hpp>
#include <atomic>
#include <cctype>
#include <chrono>
#include <deque>
#include <thread>

#include "scpi/client_session.h"
#include "scpi/message_framer.h"
#include "support/format.h"

namespace evkit::scpi {

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

std::string peerText(const tcp::endpoint& e) {
    const auto a = e.address();
    std::string text;
    if (a.is_v6() && a.to_v6().is_v4_mapped()) {
        text = asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()).to_string();
    } else if (a.is_v6()) {
        text.push_back('[');
        text += a.to_string();
        text.push_back(']');
    } else {
        text = a.to_string();
    }
    text.push_back(':');
    text += std::to_string(e.port());
    return text;
}

std::array<std::uint8_t, 16> bytesOf(const asio::ip::address& a) {
    if (a.is_v6()) return a.to_v6().to_bytes();
    return asio::ip::make_address_v6(asio::ip::v4_mapped, a.to_v4()).to_bytes();
}

// ABORt on its own: acted on at once, even while this client's command is running.
bool isAbort(const std::string& text) {
    std::string t;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            t += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!t.empty() && t[0] == ':') t.erase(0, 1);
    return t == "ABOR" || t == "ABORT";
}

}  // namespace

std::string checkExposure(const ServerOptions& options, bool haveToken) {
    const auto a = parseAddress(options.listen.host);
    if (a && isLoopback(*a)) return {};
    if (options.allow.empty() || !haveToken)
        return "listening on " + options.listen.host +
               " reaches the network: give the client address ranges (--allow CIDR) and a "
               "token (--token-file F)";
    return {};
}

class Connection;

struct Server::Impl {
    Impl(Instrument& i, BoardExecutor& e, ServerOptions o)
        : instrument(i), executor(e), options(std::move(o)) {}
    Instrument& instrument;
    BoardExecutor& executor;
    ServerOptions options;
    asio::io_context io;
    std::optional<tcp::acceptor> acceptor;
    std::thread thread;
    std::atomic<int> clients{0};
    std::uint64_t nextId = 1;
    std::vector<std::weak_ptr<Connection>> connections;
    // Clients whose next message needs the board while another client's command runs, in
    // the order they asked: each gets its turn when the board is free.
    std::deque<std::weak_ptr<Connection>> waiting;
    void wakeNext();
    // False once the server stops: board jobs still queued then do nothing.
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
    std::function<void(int)>* onClientsChanged = nullptr;

    void accept();
    void clientsChanged(int delta) {
        const int n = clients += delta;
        if (onClientsChanged && *onClientsChanged) (*onClientsChanged)(n);
    }
};

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(Server::Impl& server, tcp::socket socket, std::uint64_t id, std::string peer)
        : server_(server),
          socket_(std::move(socket)),
          idle_(server.io),
          session_(server.instrument, id, peer),
          peer_(std::move(peer)),
          id_(id),
          tokens_(server.options.maxMessagesPerSecond),
          refilled_(server.options.rateClock ? server.options.rateClock() : Clock::now()),
          lastActivity_(Clock::now()) {}

    void start() {
        server_.instrument.note(peer_ + " connected");
        armIdle();
        read();
    }

    // The board may be free now: go on with the messages held.
    void resume() {
        inWaiting_ = false;
        process();
    }

    void close(const std::string& reason) {
        if (closed_) return;
        closed_ = true;
        server_.instrument.note(peer_ + " " + reason);
        server_.instrument.unlock(id_);
        // A capture or monitor update running for this client ends now, board at rest.
        if (jobRunning_ && server_.instrument.activeClient.load() == id_)
            server_.instrument.board.pump.requestCancel();
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        idle_.cancel();
        server_.clientsChanged(-1);
    }

  private:
    void armIdle() {
        const auto timeout = std::chrono::duration<double>(server_.options.idleTimeoutSeconds);
        idle_.expires_after(std::chrono::duration_cast<Clock::duration>(timeout) / 4 +
                            std::chrono::milliseconds(1));
        idle_.async_wait([self = shared_from_this(), timeout](const asio::error_code& ec) {
            if (ec || self->closed_) return;
            if (!self->jobRunning_ && Clock::now() - self->lastActivity_ > timeout) {
                self->close(strprintf("closed: idle for %g s", timeout.count()));
                return;
            }
            self->armIdle();
        });
    }

    bool outputBacklogged() const {
        return outBytes_ > server_.options.maxPendingOutput || pending_.size() > 16;
    }

    void read() {
        if (closed_ || reading_ || outputBacklogged()) return;
        reading_ = true;
        socket_.async_read_some(
            asio::buffer(buffer_),
            [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                self->reading_ = false;
                if (ec) {
                    self->close(ec == asio::error::eof ? "disconnected"
                                                       : "disconnected (" + ec.message() + ")");
                    return;
                }
                self->onBytes(std::string_view(self->buffer_.data(), n));
            });
    }

    void onBytes(std::string_view bytes) {
        lastActivity_ = Clock::now();
        std::vector<MessageFramer::Piece> pieces;
        framer_.feed(bytes, pieces);
        for (auto& p : pieces) {
            if (!p.overlong && jobRunning_ && isAbort(p.text) &&
                server_.instrument.activeClient.load() == id_)
                server_.instrument.board.pump.requestCancel();
            pending_.push_back(std::move(p));
        }
        process();
        read();
    }

    bool takeToken() {
        const auto now = server_.options.rateClock ? server_.options.rateClock() : Clock::now();
        const double rate = server_.options.maxMessagesPerSecond;
        tokens_ =
            std::min(rate, tokens_ + rate * std::chrono::duration<double>(now - refilled_).count());
        refilled_ = now;
        if (tokens_ < 1.0) return false;
        tokens_ -= 1.0;
        return true;
    }

    void process() {
        while (!closed_ && !jobRunning_ && !pending_.empty()) {
            MessageFramer::Piece piece = std::move(pending_.front());
            pending_.pop_front();
            if (piece.overlong) {
                server_.instrument.note(peer_ + " message over " +
                                        std::to_string(kMaxMessageBytes) + " bytes dropped");
                session_.rejectOverlong();
                continue;
            }
            if (!heldForBoard_ && !takeToken()) {
                session_.state().pushError(
                    code::kExecutionError,
                    strprintf("more than %d messages per second, message dropped",
                              server_.options.maxMessagesPerSecond));
                continue;
            }
            if (session_.needsBoard(piece.text)) {
                auto availability = server_.instrument.availabilityFor(id_);
                std::uint64_t none = 0;
                if (availability == Instrument::Availability::kFree &&
                    !server_.instrument.activeClient.compare_exchange_strong(none, id_))
                    availability = Instrument::Availability::kBusy;
                if (availability == Instrument::Availability::kFree) {
                    heldForBoard_ = false;
                    runOnBoard(std::move(piece.text));
                    return;
                }
                if (availability == Instrument::Availability::kBusy) {
                    // Another client's command runs: this one waits for its turn, and the
                    // messages after it wait behind it.
                    pending_.push_front(std::move(piece));
                    heldForBoard_ = true;
                    if (!inWaiting_) server_.waiting.push_back(weak_from_this());
                    inWaiting_ = true;
                    return;
                }
                deliver(session_.execute(piece.text, availability));
            } else {
                deliver(session_.execute(piece.text, Instrument::Availability::kFree));
            }
            if (afterMessage()) return;
        }
        read();
    }

    // True when the session asked to end the connection.
    bool afterMessage() {
        if (!session_.state().closeRequested) return false;
        closeAfterWrite_ = true;
        if (!writing_) close("closed after 3 refused commands without authentication");
        return true;
    }

    void runOnBoard(std::string text) {
        jobRunning_ = true;
        auto self = shared_from_this();
        auto alive = server_.alive;
        // The job holds the connection weakly: one whose client is gone and whose server has
        // stopped is not kept beyond its network context.
        std::weak_ptr<Connection> weak = self;
        Server::Impl* server = &server_;
        server_.executor.post([weak, alive, server, text = std::move(text)] {
            if (!alive->load()) return;
            auto self = weak.lock();
            if (!self) {
                // Its client went away: the board is free for the next one.
                asio::post(server->io, [server] {
                    server->instrument.activeClient = 0;
                    server->wakeNext();
                });
                return;
            }
            std::string out;
            // A client gone before its turn gets nothing run; one that goes while its
            // command runs sets the stop request after this clear.
            if (!self->closed_) {
                self->server_.instrument.board.pump.clearCancel();
                if (!self->closed_)
                    out = self->session_.execute(text, Instrument::Availability::kFree);
            }
            asio::post(self->server_.io, [self, out = std::move(out)]() mutable {
                self->server_.instrument.activeClient = 0;
                self->jobRunning_ = false;
                self->deliver(std::move(out));
                // Those waiting go first; this client's next board command queues behind them.
                self->server_.wakeNext();
                if (!self->afterMessage()) self->process();
            });
        });
    }

    void deliver(std::string out) {
        if (out.empty() || closed_) return;
        outBytes_ += out.size();
        out_.push_back(std::move(out));
        write();
    }

    void write() {
        if (writing_ || out_.empty() || closed_) return;
        writing_ = true;
        asio::async_write(
            socket_, asio::buffer(out_.front()),
            [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                self->writing_ = false;
                if (ec) {
                    self->close("disconnected (" + ec.message() + ")");
                    return;
                }
                self->lastActivity_ = Clock::now();
                self->outBytes_ -= self->out_.front().size();
                self->out_.pop_front();
                if (self->closeAfterWrite_ && self->out_.empty()) {
                    self->close("closed after 3 refused commands without authentication");
                    return;
                }
                self->write();
                self->read();
            });
    }

    Server::Impl& server_;
    tcp::socket socket_;
    asio::steady_timer idle_;
    ClientSession session_;
    std::string peer_;
    std::uint64_t id_;
    MessageFramer framer_;
    std::array<char, 65536> buffer_{};
    std::deque<MessageFramer::Piece> pending_;
    std::deque<std::string> out_;
    std::size_t outBytes_ = 0;
    double tokens_;
    Clock::time_point refilled_, lastActivity_;
    bool reading_ = false, writing_ = false, jobRunning_ = false, closeAfterWrite_ = false;
    bool heldForBoard_ = false;  // the first pending message waits for the board (rate counted)
    bool inWaiting_ = false;     // listed in the server's waiting clients
    std::atomic<bool> closed_{false};
};

void Server::Impl::wakeNext() {
    while (!waiting.empty() && instrument.activeClient.load() == 0) {
        auto next = waiting.front().lock();
        waiting.pop_front();
        if (next) next->resume();
    }
}

void Server::Impl::accept() {
    acceptor->async_accept([this](const asio::error_code& ec, tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted) accept();
            return;
        }
        asio::error_code peerError;
        const auto endpoint = socket.remote_endpoint(peerError);
        if (peerError) {
            accept();
            return;
        }
        const std::string peer = peerText(endpoint);
        const auto address = bytesOf(endpoint.address());
        bool allowed = options.allow.empty();
        for (const auto& r : options.allow) allowed = allowed || r.contains(address);
        asio::error_code ignored;
        if (!allowed) {
            instrument.note(peer + " refused: address not allowed");
            socket.close(ignored);
        } else if (clients.load() >= static_cast<int>(options.maxClients)) {
            instrument.note(peer + " refused: " + std::to_string(options.maxClients) +
                            " clients connected already (--max-clients)");
            socket.close(ignored);
        } else {
            socket.set_option(asio::socket_base::keep_alive(true), ignored);
            socket.set_option(tcp::no_delay(true), ignored);
            auto c = std::make_shared<Connection>(*this, std::move(socket), nextId++, peer);
            std::erase_if(connections, [](const auto& w) { return w.expired(); });
            connections.push_back(c);
            clientsChanged(+1);
            c->start();
        }
        accept();
    });
}

Server::Server(Instrument& instrument, BoardExecutor& executor, ServerOptions options)
    : impl_(std::make_unique<Impl>(instrument, executor, std::move(options))) {
    impl_->onClientsChanged = &onClientsChanged;
}

Server::~Server() {
    stop();
}

bool Server::start(std::string* why) {
    try {
        const auto address = asio::ip::make_address(impl_->options.listen.host);
        const tcp::endpoint endpoint(address,
                                     static_cast<unsigned short>(impl_->options.listen.port));
        impl_->acceptor.emplace(impl_->io);
        impl_->acceptor->open(endpoint.protocol());
        impl_->acceptor->set_option(tcp::acceptor::reuse_address(true));
        impl_->acceptor->bind(endpoint);
        impl_->acceptor->listen();
    } catch (const std::exception& e) {
        if (why)
            *why = "cannot listen on " + impl_->options.listen.host + ":" +
                   std::to_string(impl_->options.listen.port) + ": " + e.what();
        impl_->acceptor.reset();
        return false;
    }
    impl_->accept();
    impl_->thread = std::thread([this] { impl_->io.run(); });
    return true;
}

void Server::stop() {
    if (!impl_->thread.joinable()) return;
    impl_->alive->store(false);
    asio::post(impl_->io, [this] {
        asio::error_code ignored;
        if (impl_->acceptor) impl_->acceptor->close(ignored);
        for (auto& w : impl_->connections)
            if (auto c = w.lock()) c->close("closed: server stopping");
        impl_->connections.clear();
        impl_->io.stop();
    });
    impl_->thread.join();
}

unsigned Server::port() const {
    if (!impl_->acceptor) return 0;
    asio::error_code ec;
    const auto e = impl_->acceptor->local_endpoint(ec);
    return ec ? 0 : e.port();
}

int Server::clients() const {
    return impl_->clients.load();
}

}  // namespace evkit::scpi
