#include "board/usb_id.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "support/text_input.h"

namespace evkit {

namespace {

std::optional<std::uint16_t> parseHex16(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = text.substr(2);
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 16 +
                static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                          ? c - '0'
                                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return static_cast<std::uint16_t>(value);
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string envText(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string invalid(const std::string& text, const std::string& source) {
    return source + " holds '" + text + "', which is not a USB ID VID:PID (hex, e.g. 1234:5678).";
}

}  // namespace

std::optional<UsbId> parseUsbId(const std::string& text) {
    const std::string t = trim(text);
    const auto colon = t.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto vendor = parseHex16(t.substr(0, colon));
    const auto product = parseHex16(t.substr(colon + 1));
    if (!vendor || !product) return std::nullopt;
    return UsbId{*vendor, *product};
}

std::string formatUsbId(UsbId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
    return text;
}

std::string usbIdConfigPath() {
#if defined(_WIN32)
    const std::string base = envText("APPDATA");
    return base.empty() ? std::string() : base + "\\evkit714\\usb-id";
#elif defined(__APPLE__)
    const std::string home = envText("HOME");
    return home.empty() ? std::string() : home + "/Library/Application Support/evkit714/usb-id";
#else
    std::string base = envText("XDG_CONFIG_HOME");
    if (base.empty() || base[0] != '/') {
        const std::string home = envText("HOME");
        if (home.empty()) return {};
        base = home + "/.config";
    }
    return base + "/evkit714/usb-id";
#endif
}

UsbIdSetting resolveUsbId(const std::string& optionText) {
    UsbIdSetting setting;
    const auto take = [&setting](const std::string& text, const std::string& source) {
        setting.source = source;
        setting.id = parseUsbId(text);
        if (!setting.id) setting.problem = invalid(trim(text), source);
        return setting;
    };
    if (!trim(optionText).empty()) return take(optionText, "--usb-id");
    if (const std::string env = envText(kUsbIdEnvironment); !trim(env).empty())
        return take(env, kUsbIdEnvironment);
    const std::string path = usbIdConfigPath();
    if (path.empty()) return setting;
    // No file: nothing configured. A file that is there but cannot be read is a problem.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return setting;
    const auto problem = [&setting, &path](const std::string& what) {
        setting.source = path;
        setting.id.reset();
        setting.problem = "The USB ID file " + path + " " + what;
        return setting;
    };
    if (const std::string why = unreadableFileReason(path); !why.empty())
        return problem("cannot be read: " + why + ".");
    std::ifstream file(path);
    if (!file) return problem("cannot be opened.");
    std::string line;
    int number = 0, idLine = 0;
    const auto at = [&number] { return "line " + std::to_string(number) + " "; };
    // Bounded: a file that never ends cannot hold the program.
    for (LineRead got; (got = readLine(file, line)) != LineRead::kEnd;) {
        ++number;
        if (got == LineRead::kError) return problem("cannot be read (" + at() + ").");
        if (got == LineRead::kTooLong)
            return problem(at() + "is longer than " + std::to_string(kMaxTextLine) + " bytes.");
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        if (idLine != 0)
            return problem(at() + "holds '" + line + "' after the ID of line " +
                           std::to_string(idLine) + "; the file holds one ID.");
        std::string text = line;
        if (const auto eq = line.find('='); eq != std::string::npos) {
            if (trim(line.substr(0, eq)) != "usb-id")
                return problem(at() + "holds '" + line +
                               "', which is neither VID:PID nor usb-id = VID:PID.");
            text = trim(line.substr(eq + 1));
        }
        setting.source = path;
        setting.id = parseUsbId(text);
        if (!setting.id)
            return problem(at() + "holds '" + text +
                           "', which is not a USB ID VID:PID (hex, e.g. 1234:5678).");
        idLine = number;
    }
    return setting;
}

std::string usbIdHowTo() {
    const std::string path = usbIdConfigPath();
    return std::string(
               "No USB board ID is configured. Give the board's vendor and product ID "
               "as VID:PID with the option --usb-id, in the environment variable ") +
           kUsbIdEnvironment + ", or on one line of the file " +
           (path.empty() ? std::string("evkit714/usb-id in your configuration directory") : path) +
           ". 'evkit714-cli usb list' shows the IDs of the attached USB devices.";
}

std::string escapeUsbString(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

}  // namespace evkit
