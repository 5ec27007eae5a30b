#pragma once
// The command tree as a table: one row per command, its header pattern in the usual
// short/long notation ("MEASure:VOLTage?": MEAS or MEASURE, VOLT or VOLTAGE; "[:NEXT]" an
// optional node), what it needs, and the handler.
#include <functional>
#include <string>
#include <vector>

namespace evkit::scpi {

struct Call;
using Handler = std::function<void(Call&)>;

enum class Access {
    kLocal,       // answered without board traffic, also while another client has the board
    kBoard,       // talks to the board
    kBoardWrite,  // changes the board (write, calibration, EEPROM, source): refused read-only
};

struct CommandRow {
    std::string pattern;
    Access access = Access::kLocal;
    Handler handler;
    std::string summary;  // one line for the command list (SYSTem:HELP:HEADers?)
};

class CommandTable {
  public:
    explicit CommandTable(std::vector<CommandRow> rows);
    // The row for the mnemonics (upper case, as parsed), or nullptr.
    const CommandRow* find(const std::vector<std::string>& nodes, bool common, bool query) const;
    const std::vector<CommandRow>& rows() const { return rows_; }

  private:
    struct Node {
        std::string shortForm, longForm;
        bool optional = false;
    };
    struct Compiled {
        std::vector<Node> nodes;
        bool common = false;
        bool query = false;
    };
    static Compiled compile(const std::string& pattern);
    static bool matches(const std::vector<Node>& pattern, std::size_t p,
                        const std::vector<std::string>& nodes, std::size_t n);

    std::vector<CommandRow> rows_;
    std::vector<Compiled> compiled_;
};

}  // namespace evkit::scpi
