#pragma once
// The board's EEPROM: a 48-byte block read (frame 0xFC) and byte writes (frame 0xF7), sent
// straight to the transport. Transport problems are printed on the console, not shown in
// message boxes.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/board_link.h"
#include "support/console.h"

namespace evkit::diagnostics {

constexpr int kEepromBlockSize = 48;   // bytes answered to one read block frame
constexpr int kEepromTableRows = 255;  // addresses 0..254 can be written
constexpr int kEepromMaxWriteCount = 255;
constexpr int kEepromReadyPolls = 65486;      // polls without data before the read gives up
constexpr double kEepromMinimumWait = 1.0;    // ... but never before this many seconds
constexpr double kEepromByteInterval = 0.01;  // seconds between byte writes
constexpr double kEepromGiveUpPause = 4.0;    // pause after the give-up message
constexpr std::uint8_t kEepromReadFrame = 0xFC;
constexpr std::uint8_t kEepromWriteFrame = 0xF7;

// Status of a read whose answer never became ready.
constexpr int kEepromNotReady = -1;
// Status of a read whose answer was incomplete (the table is left as it was).
constexpr int kEepromShortRead = -2;

using EepromBlock = std::array<std::uint8_t, kEepromBlockSize>;

// Reads the 48-byte block. Returns 0 with `block` filled, kEepromNotReady after printing
// "EPROM READ error" and pausing, the transport status of a failed 48-byte read, or
// kEepromShortRead; `block` is changed only on success. Refused (kStatusBusy) while another
// operation holds the board.
int eepromRead(BoardLink& link, Console& console, EepromBlock& block);

// Shows a successful read in the table: rows 1..48 cleared, rows 1..n set to bytes 0..n-1.
// `table` holds one value per row (row r at index r - 1) and is grown to 48 rows if needed.
void fillEepromTable(std::vector<int>& table, const EepromBlock& block, int n);

// Writes bytes[i] to address i, one frame each, kEepromByteInterval apart. Nothing is sent
// for an empty list. Failures are printed and the remaining bytes are still sent. Returns 0,
// the status of the first failing step (flush or frame write), kStatusBusy, or
// kF32xInvalidParameter for more than 255 bytes (nothing sent). `between` is called after
// each byte (events, progress); `written` receives the number of frames written.
int eepromWrite(BoardLink& link, Console& console, const std::vector<std::uint8_t>& bytes,
                const std::function<void(int done)>& between = {}, int* written = nullptr);

// What failed in an eepromWrite that returned `status` after writing `written` of `count`
// frames: the flush before them, when every frame went out, else the frames.
std::string eepromWriteFailure(int status, int written, std::size_t count);

// Checks the counts typed by the user; shows "Error" with a clear text when out of range.
bool checkEepromReadCount(Messages& messages, int n);
bool checkEepromWriteCount(Messages& messages, int n);
// Checks table values: every one of the first n rows must be a byte (0..255).
bool checkEepromBytes(Messages& messages, const std::vector<int>& table, int n);

}  // namespace evkit::diagnostics
