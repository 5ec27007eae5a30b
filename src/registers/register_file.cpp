#include "registers/register_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "registers/word.h"

namespace evkit {

std::optional<RegisterFileWords> parseRegisterFile(std::istream& in) {
    std::string token;
    if (!(in >> token)) return std::nullopt;  // no header word
    RegisterFileWords words{};
    for (auto& w : words) {
        if (!(in >> token)) return std::nullopt;
        // Decimal integers only; the range of a 32-bit word (signed or unsigned).
        if (token.size() > 1 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
            return std::nullopt;
        const auto v = parseInteger(token);
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
    std::ifstream in(path);
    if (!in) {
        messages.show(msg::kErrorTitle, "Cannot open the file " + path + ".");
        return kStatusFileError;
    }
    const auto words = parseRegisterFile(in);
    if (!words) {
        messages.show("", msg::kIncompatibleFile);
        return kStatusFileError;
    }
    int first = 0;
    int written = 0;
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
    // Written beside the target first, so a failure never leaves a truncated file behind.
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << formatRegisterFile(words);
        out.flush();
        if (!out) {
            out.close();
            std::remove(temp.c_str());
            messages.show(msg::kErrorTitle, "Cannot write the file " + path + ".");
            return kStatusFileError;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        messages.show(msg::kErrorTitle, "Cannot write the file " + path + ".");
        return kStatusFileError;
    }
    messages.show("", msg::kFileStored);
    return 0;
}

}  // namespace evkit
