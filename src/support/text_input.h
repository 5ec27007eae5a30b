#pragma once
// Bounded reading of text that comes from users' files: no line or word can make the program
// hold more than a fixed amount of memory, whatever the file (a file that never ends, such as
// /dev/zero, included), and a read error is a result, never an exception.
#include <cstddef>
#include <istream>
#include <string>

namespace evkit {

// Longest line or word accepted from a text file.
inline constexpr std::size_t kMaxTextLine = 64 * 1024;

enum class LineRead {
    kLine,     // `line` holds the next line (without its line feed)
    kEnd,      // end of the input, nothing read
    kTooLong,  // the line is longer than `max` bytes (reading stops there)
    kError,    // the input could not be read (a directory, an I/O error)
};

// Reads the next line of at most `max` bytes; a final line without a line feed counts.
LineRead readLine(std::istream& in, std::string& line, std::size_t max = kMaxTextLine);

// Why a file named by the user cannot be read as a text file: "Is a directory", the system's
// reason when it cannot be opened, or empty when it can.
std::string unreadableFileReason(const std::string& path);

}  // namespace evkit
