#pragma once
// Raw register access for diagnosis: single reads and writes on whatever page the device has
// selected, raw command bytes, and the bulk read of one page-0 register into
// "register_dump.txt".
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/board_link.h"

namespace evkit::diagnostics {

// Bit 31 of a command code: the access goes to the currently selected page (no page frames).
constexpr std::int32_t kNoPageSelect = static_cast<std::int32_t>(0x80000000u);

constexpr int kMaxBulkCount = 70000;
inline constexpr const char* kDumpFileName = "register_dump.txt";
inline constexpr const char* kBulkReadFailed = "Unable to perform bulk read";
// A dump file that could not be created.
constexpr int kStatusDumpFileError = -140;

// Reads register address A (0..31) on the page the device has selected now. The word is set
// to the 24-bit answer, or to 0 when the read failed. Returns the board status.
int rawRead(BoardLink& link, int address, std::int32_t* word, int width = 24);
// Writes register address A on the currently selected page with the low 24 bits of `word`.
int rawWrite(BoardLink& link, int address, std::uint32_t word, int width = 24);
// Sends the low byte of `command` as a command code of its own (page 0, page selection on):
// bytes >= 0x80 are device commands, 64..126 register writes with data 0, 0..62 register
// reads whose answer is dropped; bytes the command layer refuses give its message.
int sendRawCommand(BoardLink& link, int command, int width = 24);

// Checks a register address typed by the user; shows "Error" with a clear text when it is
// outside 0..31.
bool checkAddress(Messages& messages, int address);
// Checks a bulk count (0..kMaxBulkCount) the same way.
bool checkBulkCount(Messages& messages, int count);

struct BulkReadHooks {
    // After each reading: readings done so far and the total.
    std::function<void(int done, int total)> progress;
    // Polled between readings, besides the event pump's cancel: true stops the run.
    std::function<bool()> stopRequested;
};

struct BulkReadResult {
    int status = 0;        // 0, the failing board status, kStatusBusy or kStatusDumpFileError
    int readings = 0;      // readings taken (and written to the dump)
    bool stopped = false;  // the user stopped the run before all readings were taken
    bool written = false;  // the dump file was written
    std::string path;      // absolute path of the dump file
};

// Reads register 0:A `count` times (a page-0 select before every reading), keeping the
// readings in `table`, then writes them to `dumpPath`. Holds the board for the whole run and
// processes events between readings; a stop keeps the readings taken so far and dumps them.
// A failing reading shows "Unable to perform bulk read" and writes no file.
BulkReadResult bulkRead(BoardLink& link, int address, int count, const std::string& dumpPath,
                        std::vector<std::uint32_t>& table, const BulkReadHooks& hooks = {});

// Writes the dump: the header line with the address, 27 equal signs, an empty line, then
// "i<TAB><TAB>hex" per reading. Returns false (errorText set) when the file cannot be
// created or written.
bool writeRegisterDump(const std::string& path, int address,
                       const std::vector<std::uint32_t>& words, std::string* errorText);

}  // namespace evkit::diagnostics
