#include "scpi/parser.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace evkit::scpi {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool isAlpha(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool isAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

class Cursor {
  public:
    explicit Cursor(std::string_view s) : s_(s) {}
    bool done() const { return i_ >= s_.size(); }
    char peek() const { return done() ? '\0' : s_[i_]; }
    char get() { return s_[i_++]; }
    void skipSpace() {
        while (!done() && isSpace(s_[i_])) ++i_;
    }
    std::size_t pos() const { return i_; }
    std::string_view rest() const { return s_.substr(i_); }
    void advance(std::size_t n) { i_ += n; }

  private:
    std::string_view s_;
    std::size_t i_ = 0;
};

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

std::optional<Error> parseHeader(Cursor& c, Unit& u) {
    if (c.peek() == '*') {
        c.get();
        u.common = true;
        std::string m;
        while (!c.done() && isAlpha(c.peek())) m += c.get();
        if (m.empty()) return Error{code::kSyntaxError, "header expected after '*'"};
        u.nodes.push_back(upper(m));
    } else {
        if (c.peek() == ':') {
            u.absolute = true;
            c.get();
        }
        for (;;) {
            if (!isAlpha(c.peek())) {
                if (c.done() || c.peek() == ';')
                    return Error{code::kCommandError, "header expected"};
                return Error{code::kInvalidCharacter,
                             std::string("unexpected '") + c.peek() + "' in the header"};
            }
            std::string m;
            while (!c.done() && isAlnum(c.peek())) m += c.get();
            if (m.size() > 12) return Error{code::kSyntaxError, "mnemonic too long"};
            u.nodes.push_back(upper(m));
            if (c.peek() != ':') break;
            c.get();
        }
    }
    if (c.peek() == '?') {
        c.get();
        u.query = true;
    }
    if (!c.done() && !isSpace(c.peek()) && c.peek() != ';')
        return Error{code::kInvalidCharacter,
                     std::string("unexpected '") + c.peek() + "' after the header"};
    return std::nullopt;
}

std::optional<Error> parseBlock(Cursor& c, Param& p) {
    // At '#', followed by a digit 1..9.
    c.get();
    const int digits = c.get() - '0';
    std::size_t length = 0;
    for (int k = 0; k < digits; ++k) {
        if (c.done() || !std::isdigit(static_cast<unsigned char>(c.peek())))
            return Error{code::kInvalidBlockData, "block length digits missing"};
        length = length * 10 + static_cast<std::size_t>(c.get() - '0');
        if (length > c.rest().size() + 1000000) length = c.rest().size() + 1000000;
    }
    if (c.rest().size() < length)
        return Error{code::kInvalidBlockData, "block shorter than its length"};
    p.kind = Param::Kind::kBlock;
    p.text = std::string(c.rest().substr(0, length));
    c.advance(length);
    return std::nullopt;
}

std::optional<Error> parseParam(Cursor& c, Param& p) {
    c.skipSpace();
    const char first = c.peek();
    if (first == '"' || first == '\'') {
        c.get();
        p.kind = Param::Kind::kString;
        for (;;) {
            if (c.done()) return Error{code::kSyntaxError, "string not terminated"};
            const char ch = c.get();
            if (ch == first) {
                if (c.peek() == first) {
                    c.get();
                    p.text += ch;
                    continue;
                }
                break;
            }
            p.text += ch;
        }
    } else if (first == '#' && c.rest().size() > 1 && c.rest()[1] >= '1' && c.rest()[1] <= '9') {
        if (auto e = parseBlock(c, p)) return e;
    } else if (first == '#' && c.rest().size() > 1 && c.rest()[1] == '0') {
        return Error{code::kInvalidBlockData, "indefinite-length blocks are not accepted"};
    } else {
        p.kind = Param::Kind::kToken;
        while (!c.done() && c.peek() != ',' && c.peek() != ';') {
            const char ch = c.get();
            if (ch == '"' || ch == '\'') return Error{code::kSyntaxError, "quote inside a value"};
            if (static_cast<unsigned char>(ch) < 0x20 && !isSpace(ch))
                return Error{code::kInvalidCharacter, "control character in a value"};
            p.text += ch;
        }
        while (!p.text.empty() && isSpace(p.text.back())) p.text.pop_back();
        if (p.text.empty()) return Error{code::kSyntaxError, "empty parameter"};
        if (p.text.find_first_of(" \t") != std::string::npos)
            return Error{code::kSyntaxError, "space inside a value"};
    }
    c.skipSpace();
    return std::nullopt;
}

// A plain decimal number (sign, fraction, exponent), nothing else that strtod would take.
std::optional<double> decimalNumber(std::string_view text) {
    if (text.empty() || text.size() > 64) return std::nullopt;
    for (char ch : text)
        if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '+' || ch == '-' || ch == '.' ||
              ch == 'e' || ch == 'E'))
            return std::nullopt;
    const std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace

ParsedMessage parseMessage(std::string_view message) {
    ParsedMessage out;
    Cursor c(message);
    c.skipSpace();
    if (c.done()) return out;
    for (;;) {
        Unit u;
        c.skipSpace();
        if (auto e = parseHeader(c, u)) {
            out.error = e;
            return out;
        }
        c.skipSpace();
        if (!c.done() && c.peek() != ';') {
            for (;;) {
                Param p;
                if (auto e = parseParam(c, p)) {
                    out.error = e;
                    return out;
                }
                u.params.push_back(std::move(p));
                if (c.peek() == ',') {
                    c.get();
                    continue;
                }
                break;
            }
            if (!c.done() && c.peek() != ';') {
                out.error = Error{code::kSyntaxError, "',' or ';' expected"};
                return out;
            }
        }
        out.units.push_back(std::move(u));
        if (c.done()) return out;
        c.get();  // ';'
        c.skipSpace();
        if (c.done()) return out;  // a trailing ';' is tolerated
    }
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    int base = 10;
    std::string_view digits = text;
    bool negative = false;
    if (digits.size() > 2 && digits[0] == '#') {
        const char b = static_cast<char>(std::toupper(static_cast<unsigned char>(digits[1])));
        base = b == 'H' ? 16 : b == 'Q' ? 8 : b == 'B' ? 2 : 0;
        if (base == 0) return std::nullopt;
        digits.remove_prefix(2);
    } else {
        if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
            negative = digits[0] == '-';
            digits.remove_prefix(1);
        }
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
    }
    if (digits.empty()) return std::nullopt;
    std::uint64_t v = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size()) {
        // A decimal with a fraction or exponent that is still a whole number: 1e3, 4.0
        if (base != 10) return std::nullopt;
        const auto d = decimalNumber(text);
        if (!d || *d != std::floor(*d) || std::fabs(*d) > 9.0e15) return std::nullopt;
        return static_cast<std::int64_t>(*d);
    }
    if (v > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    const auto s = static_cast<std::int64_t>(v);
    return negative ? -s : s;
}

std::optional<double> parseNumber(std::string_view text) {
    if ((!text.empty() && text[0] == '#') ||
        (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))) {
        const auto i = parseInteger(text);
        if (!i) return std::nullopt;
        return static_cast<double>(*i);
    }
    return decimalNumber(text);
}

}  // namespace evkit::scpi
