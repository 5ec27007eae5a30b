#include "metrology/text_file.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "support/text_input.h"

namespace evkit::metrology {

bool readTextFile(const std::string& path, const std::string& what, std::string* text,
                  std::string* error) {
    const std::string name = "cannot read " + what + " \"" + path + "\"";
    if (std::string why = unreadableFileReason(path); !why.empty()) {
        if (error) *error = name + ": " + why;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    text->clear();
    for (;;) {
        const LineRead got = readLine(in, line);
        if (got == LineRead::kEnd) return true;
        if (got != LineRead::kLine) {
            if (error) *error = name;
            return false;
        }
        *text += line + "\n";
    }
}

std::string forEachSetting(const std::string& text, const SettingEntry& entry) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        line = trim(line);
        if (line.empty()) continue;
        const auto eq = line.find('=');
        const std::string why = eq == std::string::npos ? std::string("expected key = value")
                                                        : entry(trim(line.substr(0, eq)),
                                                                trim(line.substr(eq + 1)), line);
        if (!why.empty()) return "line " + std::to_string(number) + ": " + why;
    }
    return {};
}

std::string trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace evkit::metrology
