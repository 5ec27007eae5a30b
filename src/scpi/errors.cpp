#include "scpi/errors.h"

namespace evkit::scpi {

const char* errorText(int c) {
    switch (c) {
        case code::kNoError:
            return "No error";
        case code::kCommandError:
            return "Command error";
        case code::kInvalidCharacter:
            return "Invalid character";
        case code::kSyntaxError:
            return "Syntax error";
        case code::kDataTypeError:
            return "Data type error";
        case code::kParameterNotAllowed:
            return "Parameter not allowed";
        case code::kMissingParameter:
            return "Missing parameter";
        case code::kUndefinedHeader:
            return "Undefined header";
        case code::kInvalidBlockData:
            return "Invalid block data";
        case code::kExecutionError:
            return "Execution error";
        case code::kCommandProtected:
            return "Command protected";
        case code::kDataOutOfRange:
            return "Data out of range";
        case code::kTooMuchData:
            return "Too much data";
        case code::kHardwareError:
            return "Hardware error";
        case code::kQueueOverflow:
            return "Queue overflow";
        case code::kQueryInterrupted:
            return "Query INTERRUPTED";
        default:
            return "Unknown error";
    }
}

int esrBitOf(int c) {
    if (c <= -100 && c > -200) return kEsrCommandError;
    if (c <= -200 && c > -300) return kEsrExecutionError;
    if (c <= -300 && c > -400) return kEsrDeviceError;
    if (c <= -400 && c > -500) return kEsrQueryError;
    return 0;
}

namespace {
std::string entryText(int c, const std::string& detail) {
    std::string text = std::string(errorText(c));
    if (!detail.empty()) text += ";" + detail;
    // A string response element: embedded quotes are doubled.
    std::string quoted;
    for (char ch : text) {
        if (ch == '"') quoted += '"';
        if (ch == '\n' || ch == '\r') ch = ' ';
        quoted += ch;
    }
    return std::to_string(c) + ",\"" + quoted + "\"";
}
}  // namespace

void ErrorQueue::push(int c, const std::string& detail) {
    if (entries_.size() >= kCapacity) {
        entries_.back() = entryText(code::kQueueOverflow, {});
        return;
    }
    entries_.push_back(entryText(c, detail));
}

std::string ErrorQueue::pop() {
    if (entries_.empty()) return entryText(code::kNoError, {});
    std::string e = std::move(entries_.front());
    entries_.pop_front();
    return e;
}

}  // namespace evkit::scpi
