#pragma once
// Instrument errors: the standard codes, the exception command handlers throw, and the
// per-client error queue read by SYSTem:ERRor?.
#include <cstddef>
#include <deque>
#include <string>

namespace evkit::scpi {

namespace code {
inline constexpr int kNoError = 0;
inline constexpr int kCommandError = -100;
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntaxError = -102;
inline constexpr int kDataTypeError = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kInvalidBlockData = -161;
inline constexpr int kExecutionError = -200;
inline constexpr int kCommandProtected = -203;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kTooMuchData = -223;
inline constexpr int kHardwareError = -240;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kQueryInterrupted = -410;
}  // namespace code

// The standard text of a code ("Syntax error"); "Unknown error" for codes not listed.
const char* errorText(int code);

// What a command handler throws to refuse; `detail` follows the standard text after ';'.
struct Error {
    int code;
    std::string detail;
};

// Event status register bits set by the classes of error.
inline constexpr int kEsrOperationComplete = 0x01;
inline constexpr int kEsrQueryError = 0x04;
inline constexpr int kEsrDeviceError = 0x08;
inline constexpr int kEsrExecutionError = 0x10;
inline constexpr int kEsrCommandError = 0x20;
// The ESR bit an error code sets (0 for none).
int esrBitOf(int code);

// First in, first out; when full, the newest entry becomes "-350,Queue overflow".
class ErrorQueue {
  public:
    static constexpr std::size_t kCapacity = 16;
    void push(int code, const std::string& detail = {});
    // The oldest entry as `-113,"Undefined header"` (or `0,"No error"`), removed.
    std::string pop();
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void clear() { entries_.clear(); }

  private:
    std::deque<std::string> entries_;
};

}  // namespace evkit::scpi
