#pragma once
// Register settings files (".rsf"): one header word, then seventeen decimal integers, the
// words of seventeen page-0 registers in a fixed order. Retrieving writes them to the device;
// storing reads them from the device and writes the same layout.
#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

#include "board/board_link.h"
#include "support/messages.h"

namespace evkit {

struct RegisterFileSlot {
    int page;
    int address;
};
inline constexpr std::size_t kRegisterFileWords = 17;
inline constexpr std::array<RegisterFileSlot, kRegisterFileWords> kRegisterFileLayout = {{
    {0, 0},
    {0, 1},
    {0, 2},
    {0, 3},
    {0, 4},
    {0, 5},
    {0, 6},
    {0, 13},
    {0, 15},
    {0, 16},
    {0, 17},
    {0, 18},
    {0, 21},
    {0, 23},
    {0, 24},
    {0, 26},
    {0, 28},
}};
using RegisterFileWords = std::array<std::uint32_t, kRegisterFileWords>;

inline constexpr const char* kRegisterFileHeader = "EVKIT714_REGISTERS";
inline constexpr const char* kRegisterFilePattern = "*.rsf";

namespace msg {
inline constexpr const char* kRetrieveTitle = "Retrieve Registers";
inline constexpr const char* kStoreTitle = "Store Registers";
inline constexpr const char* kIncompatibleFile = "ERROR: Incompatible Data File";
inline constexpr const char* kFileRetrieved = "File Retrieved";
inline constexpr const char* kFileNotRetrieved = "File not Retrieved";
inline constexpr const char* kFileStored = "File Stored";
inline constexpr const char* kFileNotStored = "File not Stored";
}  // namespace msg

// Header word and seventeen integers (low 24 bits kept); nullopt when the header is missing
// or fewer than seventeen integers follow. Anything after the seventeenth is ignored.
std::optional<RegisterFileWords> parseRegisterFile(std::istream& in);
// The header word, then one word per line in decimal.
std::string formatRegisterFile(const RegisterFileWords& words);

// Status of a file that could not be opened, read or written.
constexpr int kStatusFileError = -300;

// Writes the file's words to the device in layout order. A file that does not hold a
// complete table shows "ERROR: Incompatible Data File" once and writes nothing. A failing
// write is reported by the board link and the remaining writes are still made; "File
// Retrieved" is shown only when every write worked. Returns 0 or the first failing status.
int retrieveRegisterFile(BoardLink& link, Messages& messages, const std::string& path);
// Reads the seventeen registers and writes them as a register settings file. A failing read
// writes no file (an existing file stays as it was). Shows "File Stored" on success.
int storeRegisterFile(BoardLink& link, Messages& messages, const std::string& path);

}  // namespace evkit
