#include "registers/register_file.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "registers/word.h"
#include "support/file_writer.h"
#include "support/text_input.h"

namespace evkit {

namespace {

// The next white-space separated word; false at the end, on a read error or for a word
// longer than any number (a file that never ends is refused here, not read on).
bool nextWord(std::istream& in, std::string& word) {
    word.clear();
    std::streambuf* buf = in.rdbuf();
    if (!buf) return false;
    try {
        int c = buf->sgetc();
        while (c != EOF && std::isspace(c)) c = buf->snextc();
        while (c != EOF && !std::isspace(c)) {
            if (word.size() >= kMaxTextLine) return false;
            word.push_back(static_cast<char>(c));
            c = buf->snextc();
        }
    } catch (const std::exception&) {
        return false;  // a directory, an I/O error
    }
    return !word.empty();
}

// A decimal integer: an optional sign and digits only ("+0x10" is not one).
std::optional<std::int64_t> parseDecimal(const std::string& token) {
    std::size_t i = token.size() > 0 && (token[0] == '+' || token[0] == '-') ? 1 : 0;
    if (i == token.size() || token.size() - i > 12) return std::nullopt;
    for (std::size_t j = i; j < token.size(); ++j)
        if (token[j] < '0' || token[j] > '9') return std::nullopt;
    return parseInteger(token);
}

}  // namespace

std::optional<RegisterFileWords> parseRegisterFile(std::istream& in) {
    std::string token;
    if (!nextWord(in, token)) return std::nullopt;  // no header word
    RegisterFileWords words{};
    for (auto& w : words) {
        if (!nextWord(in, token)) return std::nullopt;
        // Decimal integers only; the range of a 32-bit word (signed or unsigned).
        const auto v = parseDecimal(token);
        if (!v || *v < INT32_MIN || *v > UINT32_MAX) return std::nullopt;
        w = static_cast<std::uint32_t>(*v) & 0xFFFFFF;
    }
    return words;
}

std::string formatRegisterFile(const RegisterFileWords& words) {
    std::string out = std::string(kRegisterFileHeader) + "\n";
    for (auto w : words) out += std::to_string(w & 0xFFFFFF) + "\n";
    return out;
}

int retrieveRegisterFile(BoardLink& link, Messages& messages, const std::string& path) {
    std::ifstream in;
    if (const std::string why = unreadableFileReason(path); why.empty()) in.open(path);
    if (!in.is_open()) {
        const std::string why = unreadableFileReason(path);
        messages.show(msg::kErrorTitle,
                      "Cannot open the file " + path + (why.empty() ? "" : ": " + why) + ".");
        return kStatusFileError;
    }
    const auto words = parseRegisterFile(in);
    if (!words) {
        messages.show("", msg::kIncompatibleFile);
        return kStatusFileError;
    }
    int first = 0;
    int written = 0;
    BoardSequence sequence(link);  // a lost board is said once; the writes after it are not tried
    for (size_t i = 0; i < kRegisterFileWords; ++i) {
        const int s = link.writeRegister(kRegisterFileLayout[i].page,
                                         kRegisterFileLayout[i].address, (*words)[i]);
        if (s == 0)
            ++written;
        else if (first == 0)
            first = s;
    }
    if (first == 0)
        messages.show("", msg::kFileRetrieved);
    else
        messages.show("", "File only partly retrieved: " + std::to_string(written) + " of " +
                              std::to_string(kRegisterFileWords) + " registers written.");
    return first;
}

int storeRegisterFile(BoardLink& link, Messages& messages, const std::string& path) {
    RegisterFileWords words{};
    for (size_t i = 0; i < kRegisterFileWords; ++i) {
        std::int32_t w = 0;
        if (int s =
                link.readRegister(kRegisterFileLayout[i].page, kRegisterFileLayout[i].address, &w))
            return s;  // reported by the board link; nothing written
        words[i] = static_cast<std::uint32_t>(w) & 0xFFFFFF;
    }
    std::string why;
    if (!writeFileAtomically(path, formatRegisterFile(words), &why)) {
        messages.show(msg::kErrorTitle, fileWriteErrorText(path, why));
        return kStatusFileError;
    }
    messages.show("", msg::kFileStored);
    return 0;
}

}  // namespace evkit
