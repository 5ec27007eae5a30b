#pragma once
// One client's side of the instrument: authentication, the error queue and status
// registers, data format, the header path of chained commands, and the execution of a
// message against the command table.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scpi/errors.h"
#include "scpi/instrument.h"
#include "scpi/parser.h"

namespace evkit::scpi {

struct ClientState {
    std::uint64_t id = 0;
    std::string peer;  // "127.0.0.1:50123", for the log
    ErrorQueue errors;
    int esr = 0, ese = 0, sre = 0;
    bool ascii = false;   // FORMat:DATA ASCii (else INTeger,32)
    bool swapped = true;  // FORMat:BORDer SWAPped: least significant byte first
    bool authenticated = false;
    int authFailures = 0;
    bool closeRequested = false;
    int fftWindow = 4;
    double lastRate = 0.0;  // sample rate of this client's last capture (Hz)

    void pushError(int code, const std::string& detail = {});
};

// A handler's view of the command being run.
struct Call {
    const Unit& unit;
    ClientState& client;
    Instrument& instrument;
    std::string response;  // the query's answer
    bool answered = false;

    std::size_t count() const { return unit.params.size(); }
    // -109 below `min` parameters, -108 above `max`.
    void expect(std::size_t min, std::size_t max) const;
    std::int64_t integer(std::size_t i, std::int64_t min, std::int64_t max) const;
    double number(std::size_t i, double min, double max) const;
    std::string text(std::size_t i) const;  // a string or a token as written
    // A keyword parameter in short/long notation; returns its index in `choices`.
    int choice(std::size_t i, const std::vector<std::string>& choices) const;
    void respond(std::string text) {
        response = std::move(text);
        answered = true;
    }
    // Numbers as integers, in the client's format: ASCII comma list or a definite-length
    // block of 32-bit integers in the client's byte order.
    void respondIntegers(const std::vector<std::int32_t>& values);
    // A board status: throws -240 with the program's message when it is not 0.
    void board(int status);
    Session& session() { return instrument.board.session; }
    BoardLink& link() { return instrument.board.link; }
};

// "#<n><length>": the start of a definite-length block of `bytes` bytes.
std::string blockHeader(std::size_t bytes);
// A quoted string response element.
std::string quoted(const std::string& text);
// "%.6f"-formatted numbers joined by commas (the CLI prints the same six decimals).
std::string csv(const std::vector<double>& values);

class ClientSession {
  public:
    ClientSession(Instrument& instrument, std::uint64_t id, std::string peer);

    // Whether running `message` needs the board (it then runs where board commands run).
    bool needsBoard(std::string_view message) const;
    // Runs one message and returns what the client receives (empty when nothing was
    // asked; else the answers joined by ';' and a newline). `board` says whether this
    // client may use the board now.
    std::string execute(std::string_view message, Instrument::Availability board);
    // A message that was too long to take: queued as an error.
    void rejectOverlong();

    ClientState& state() { return state_; }
    const ClientState& state() const { return state_; }

  private:
    const CommandRow* lookup(const Unit& u, std::vector<std::string>* matchedPath) const;
    void runUnit(const Unit& u, Instrument::Availability board, std::vector<std::string>& answers);

    Instrument& instrument_;
    ClientState state_;
    std::vector<std::string> path_;  // the header path chained commands continue from
};

}  // namespace evkit::scpi
