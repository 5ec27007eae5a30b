#include "scpi/access_policy.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace evkit::scpi {

std::optional<std::array<std::uint8_t, 16>> parseAddress(const std::string& text) {
    std::array<std::uint8_t, 16> a{};
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        a[10] = a[11] = 0xFF;
        const auto* b = reinterpret_cast<const std::uint8_t*>(&v4.s_addr);
        for (int i = 0; i < 4; ++i) a[static_cast<std::size_t>(12 + i)] = b[i];
        return a;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        for (std::size_t i = 0; i < 16; ++i) a[i] = v6.s6_addr[i];
        return a;
    }
    return std::nullopt;
}

bool isLoopback(const std::array<std::uint8_t, 16>& a) {
    bool mapped = a[10] == 0xFF && a[11] == 0xFF;
    for (std::size_t i = 0; i < 10; ++i) mapped = mapped && a[i] == 0;
    if (mapped) return a[12] == 127;
    for (std::size_t i = 0; i < 15; ++i)
        if (a[i] != 0) return false;
    return a[15] == 1;
}

bool AddressRange::contains(const std::array<std::uint8_t, 16>& address) const {
    int bits = prefix;
    for (std::size_t i = 0; i < 16 && bits > 0; ++i, bits -= 8) {
        const std::uint8_t mask = bits >= 8 ? 0xFF : static_cast<std::uint8_t>(0xFF << (8 - bits));
        if ((address[i] & mask) != (base[i] & mask)) return false;
    }
    return true;
}

std::optional<AddressRange> parseAddressRange(const std::string& text, std::string* why) {
    const auto slash = text.find('/');
    const std::string host = text.substr(0, slash);
    const auto address = parseAddress(host);
    if (!address) {
        if (why) *why = "'" + text + "' is not an address range (e.g. 192.168.1.0/24)";
        return std::nullopt;
    }
    const bool v4 = host.find(':') == std::string::npos;
    AddressRange r;
    r.base = *address;
    r.prefix = 128;
    if (slash != std::string::npos) {
        const std::string bits = text.substr(slash + 1);
        int n = -1;
        if (!bits.empty() && bits.size() <= 3 &&
            bits.find_first_not_of("0123456789") == std::string::npos)
            n = std::stoi(bits);
        if (n < 0 || n > (v4 ? 32 : 128)) {
            if (why) *why = "'" + text + "': the prefix length must be 0.." + (v4 ? "32" : "128");
            return std::nullopt;
        }
        r.prefix = v4 ? 96 + n : n;
    }
    return r;
}

std::optional<std::string> readTokenFile(const std::string& path, std::string* why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (why) *why = "cannot read the token file " + path;
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        if (why) *why = "the token file " + path + " is not a regular file";
        return std::nullopt;
    }
    if (st.st_uid != ::geteuid()) {
        if (why) *why = "the token file " + path + " belongs to another user";
        return std::nullopt;
    }
    if ((st.st_mode & 077) != 0) {
        if (why)
            *why = "the token file " + path +
                   " can be read by others: make it readable only by its owner (chmod 600)";
        return std::nullopt;
    }
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) line.clear();
    const auto first = line.find_first_not_of(" \t\r");
    const auto last = line.find_last_not_of(" \t\r");
    if (first == std::string::npos) {
        if (why) *why = "the token file " + path + " holds no token";
        return std::nullopt;
    }
    return line.substr(first, last - first + 1);
}

std::optional<ListenAddress> parseListenAddress(const std::string& text, std::string* why) {
    ListenAddress l;
    std::string port = text;
    if (!text.empty() && text[0] == '[') {
        const auto close = text.find("]:");
        if (close == std::string::npos) {
            if (why) *why = "'" + text + "' is not [ADDRESS]:PORT";
            return std::nullopt;
        }
        l.host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        l.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (!parseAddress(l.host)) {
        if (why) *why = "'" + l.host + "' is not an IP address";
        return std::nullopt;
    }
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535) {
        if (why) *why = "'" + port + "' is not a port number (0..65535)";
        return std::nullopt;
    }
    l.port = static_cast<unsigned>(std::stoul(port));
    return l;
}

}  // namespace evkit::scpi
