#pragma once
// What every client of the instrument shares: the board (session, link, console), the
// command table, the options, the identification for *IDN?, the lock and the command now
// running on the board.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "board/board_link.h"
#include "board/session.h"
#include "metrology/scaling.h"
#include "scpi/command_table.h"
#include "scpi/job_messages.h"
#include "support/console.h"
#include "support/pump.h"

namespace evkit::scpi {

struct BoardContext {
    Session& session;
    BoardLink& link;
    Console& console;
    Pump& pump;  // its cancel stops the running capture or monitor update (ABORt, disconnect)
    JobMessages& messages;  // installed as the link's messages, or routing to them
};

struct Identity {
    std::string model = "unknown";  // identified device
    std::string serial = "0";       // from the board ID strings
    std::string version;            // program version
};

// *IDN? fields from the identified device's name and the three board ID strings (the serial),
// with the program's version; commas and separators become blanks.
Identity makeIdentity(const std::string& model, const std::array<std::string, 3>& boardIds);

struct InstrumentOptions {
    bool readOnly = false;
    std::string token;  // empty: no authentication
};

class Instrument {
  public:
    // With the whole command tree (allRows), or with the rows given.
    Instrument(BoardContext board, InstrumentOptions options, Identity identity);
    Instrument(BoardContext board, InstrumentOptions options, Identity identity,
               std::vector<CommandRow> rows);

    BoardContext board;
    const InstrumentOptions options;
    const Identity identity;
    const CommandTable& table() const { return table_; }

    // Engineering units of SOURce, SCALing and MEASure:UNITs? (read and set on the board's
    // thread only).
    metrology::Scaling scaling{};

    // SYSTem:LOCK: one client holds control at a time. 0 = nobody.
    bool lock(std::uint64_t client);
    void unlock(std::uint64_t client);
    std::uint64_t lockOwner() const { return lockOwner_.load(); }

    // Connection, authentication and refusal notes (stderr in both programs).
    std::function<void(const std::string& line)> log;
    void note(const std::string& line) const {
        if (log) log(line);
    }

    // The client whose command is running on the board (0 = none).
    std::atomic<std::uint64_t> activeClient{0};

    // Where the board may run a command for `client` now.
    enum class Availability { kFree, kBusy, kLocked };
    Availability availabilityFor(std::uint64_t client) const;

  private:
    CommandTable table_;
    std::atomic<std::uint64_t> lockOwner_{0};
};

// The rows of the command tree, by subject (each file holds one subject's rows).
std::vector<CommandRow> commonRows();       // IEEE 488.2 common commands, SYSTem, FORMat
std::vector<CommandRow> registerRows();     // registers, identification, setup, dump, EEPROM
std::vector<CommandRow> acquisitionRows();  // capture, FFT
std::vector<CommandRow> measurementRows();  // monitor, line frequency, Tmeas
std::vector<CommandRow> settingsRows();     // calibration, temperature, pulse
std::vector<CommandRow> metrologyRows();    // virtual source, scaling
std::vector<CommandRow> allRows();

}  // namespace evkit::scpi
