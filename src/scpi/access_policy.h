#pragma once
// Who may connect: client address ranges (--allow CIDR), the token file, and the rule that
// a server reachable from the network needs both.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace evkit::scpi {

// An address range "10.1.0.0/16", "2001:db8::/32" or a single address. IPv4 addresses are
// held as IPv4-mapped IPv6 ones, so that one range type serves both.
struct AddressRange {
    std::array<std::uint8_t, 16> base{};
    int prefix = 128;
    bool contains(const std::array<std::uint8_t, 16>& address) const;
};

std::optional<AddressRange> parseAddressRange(const std::string& text, std::string* why);
// "a.b.c.d" or an IPv6 text as 16 bytes (IPv4 mapped). nullopt when not an address.
std::optional<std::array<std::uint8_t, 16>> parseAddress(const std::string& text);
bool isLoopback(const std::array<std::uint8_t, 16>& address);

// Reads the token: the first line of the file, without surrounding blanks. Refused (nullopt,
// *why set) when the file cannot be read, is not a regular file, is owned by another user,
// can be read or written by group or others, or holds no token.
std::optional<std::string> readTokenFile(const std::string& path, std::string* why);

// "HOST:PORT" / "[v6]:PORT" / "PORT"; the host defaults to 127.0.0.1.
struct ListenAddress {
    std::string host = "127.0.0.1";
    unsigned port = 5025;
};
std::optional<ListenAddress> parseListenAddress(const std::string& text, std::string* why);

}  // namespace evkit::scpi
