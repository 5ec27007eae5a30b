#include "board/session_file.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace evkit {

namespace {

struct OpName {
    SessionOpKind kind;
    const char* name;
};

constexpr OpName kOpNames[] = {
    {SessionOpKind::kCount, "count"},     {SessionOpKind::kProduct, "product"},
    {SessionOpKind::kOpen, "open"},       {SessionOpKind::kTimeouts, "timeouts"},
    {SessionOpKind::kWrite, "write"},     {SessionOpKind::kRead, "read"},
    {SessionOpKind::kRxQueue, "rxqueue"}, {SessionOpKind::kFlush, "flush"},
    {SessionOpKind::kClose, "close"},
};

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return "-";
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * bytes.size());
    for (std::uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return out;
}

std::string timeText(std::int64_t ns) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%09lld", static_cast<long long>(ns / 1000000000),
                  static_cast<long long>(ns % 1000000000));
    return text;
}

std::uint32_t crcOf(std::string_view text) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes lengths as uInt: feed large texts in pieces.
    while (!text.empty()) {
        const std::size_t n = std::min<std::size_t>(text.size(), 1u << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(n));
        text.remove_prefix(n);
    }
    return static_cast<std::uint32_t>(crc);
}

// The words of one line: blanks separate them; a quoted text is one word (quotes kept).
bool splitWords(std::string_view line, std::vector<std::string_view>* words, std::string* why) {
    words->clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        const std::size_t start = i;
        if (line[i] == '"') {
            ++i;
            while (i < line.size() && line[i] != '"') i += line[i] == '\\' ? 2 : 1;
            if (i >= line.size()) {
                *why = "unterminated quoted text";
                return false;
            }
            ++i;
            if (i < line.size() && line[i] != ' ') {
                *why = "text after a closing quote";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ') ++i;
        }
        words->push_back(line.substr(start, i - start));
    }
    return true;
}

template <class T>
bool parseNumber(std::string_view word, T* out) {
    if (word.empty() || word[0] == '+' || (word.size() > 1 && word[0] == '0')) return false;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *out);
    return ec == std::errc() && end == word.data() + word.size();
}

bool parseStatus(std::string_view word, int* out) {
    if (word.size() > 1 && word[0] == '-' && word[1] == '0') return false;
    if (!word.empty() && word[0] == '-') {
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *out);
        return ec == std::errc() && end == word.data() + word.size();
    }
    return parseNumber(word, out);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseHex(std::string_view word, std::vector<std::uint8_t>* out) {
    out->clear();
    if (word == "-") return true;
    if (word.empty() || word.size() % 2 != 0 || word.size() / 2 > kSessionMaxBytesPerOp)
        return false;
    out->reserve(word.size() / 2);
    for (std::size_t i = 0; i < word.size(); i += 2) {
        const int hi = hexDigit(word[i]), lo = hexDigit(word[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return true;
}

bool parseQuoted(std::string_view word, std::string* out) {
    out->clear();
    if (word.size() < 2 || word.front() != '"' || word.back() != '"') return false;
    word = word.substr(1, word.size() - 2);
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        if (c < 0x20 || c > 0x7E || c == '"') return false;
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (i + 1 >= word.size()) return false;
        const char e = word[++i];
        if (e == '\\' || e == '"') {
            out->push_back(e);
        } else if (e == 'x' && i + 2 < word.size() && hexDigit(word[i + 1]) >= 0 &&
                   hexDigit(word[i + 2]) >= 0) {
            out->push_back(static_cast<char>(hexDigit(word[i + 1]) << 4 | hexDigit(word[i + 2])));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// "12.000345678": seconds and exactly nine decimals.
bool parseTime(std::string_view word, std::int64_t* ns) {
    const std::size_t dot = word.find('.');
    if (dot == std::string_view::npos || word.size() - dot - 1 != 9) return false;
    std::int64_t seconds = 0, fraction = 0;
    if (!parseNumber(word.substr(0, dot), &seconds) || seconds > 1000000000) return false;
    const std::string_view digits = word.substr(dot + 1);
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    std::from_chars(digits.data(), digits.data() + digits.size(), fraction);
    *ns = seconds * 1000000000 + fraction;
    return true;
}

std::optional<SessionOpKind> kindOf(std::string_view name) {
    for (const auto& n : kOpNames)
        if (name == n.name) return n.kind;
    return std::nullopt;
}

// How many argument and result words each operation has (before an optional detail).
struct Shape {
    int args, results;
};

Shape shapeOf(SessionOpKind kind) {
    switch (kind) {
        case SessionOpKind::kCount:
            return {0, 2};
        case SessionOpKind::kProduct:
            return {1, 2};
        case SessionOpKind::kOpen:
            return {1, 2};
        case SessionOpKind::kTimeouts:
            return {2, 1};
        case SessionOpKind::kWrite:
            return {2, 2};
        case SessionOpKind::kRead:
            return {2, 3};
        case SessionOpKind::kRxQueue:
            return {1, 3};
        case SessionOpKind::kFlush:
        case SessionOpKind::kClose:
            return {1, 1};
    }
    return {0, 0};
}

// The words after the number and the time: "write 1 7e.. = 0 6 [detail "..."]".
bool parseOpWords(const std::vector<std::string_view>& w, SessionOp* op, std::string* why) {
    const auto kind = kindOf(w[2]);
    if (!kind) {
        *why = "unknown operation '" + std::string(w[2].substr(0, 32)) + "'";
        return false;
    }
    op->kind = *kind;
    const Shape shape = shapeOf(*kind);
    const std::size_t needed = 3 + shape.args + 1 + shape.results;
    if (w.size() != needed && w.size() != needed + 2) {
        *why = std::string("wrong number of fields for '") + sessionOpName(*kind) + "'";
        return false;
    }
    if (w[3 + shape.args] != "=") {
        *why = "'=' missing after the arguments";
        return false;
    }
    const auto a = [&](int i) { return w[3 + i]; };
    const auto r = [&](int i) { return w[4 + shape.args + i]; };
    bool ok = parseStatus(r(0), &op->status);
    switch (*kind) {
        case SessionOpKind::kCount:
            ok = ok && parseNumber(r(1), &op->value);
            break;
        case SessionOpKind::kProduct: {
            std::string text;
            ok = ok && parseNumber(a(0), &op->index) && parseQuoted(r(1), &text);
            op->data.assign(text.begin(), text.end());
            break;
        }
        case SessionOpKind::kOpen:
            ok = ok && parseNumber(a(0), &op->index) && parseNumber(r(1), &op->value);
            break;
        case SessionOpKind::kTimeouts:
            ok = ok && parseNumber(a(0), &op->first) && parseNumber(a(1), &op->second);
            break;
        case SessionOpKind::kWrite:
            ok = ok && parseNumber(a(0), &op->handle) && parseHex(a(1), &op->bytes) &&
                 parseNumber(r(1), &op->value);
            break;
        case SessionOpKind::kRead:
            ok = ok && parseNumber(a(0), &op->handle) && parseNumber(a(1), &op->first) &&
                 parseNumber(r(1), &op->value) && parseHex(r(2), &op->data) &&
                 op->data.size() == std::min<std::uint64_t>({op->value, std::uint64_t{op->first},
                                                             std::uint64_t{kSessionMaxBytesPerOp}});
            break;
        case SessionOpKind::kRxQueue:
            ok = ok && parseNumber(a(0), &op->handle) && parseNumber(r(1), &op->value) &&
                 parseNumber(r(2), &op->state);
            break;
        case SessionOpKind::kFlush:
        case SessionOpKind::kClose:
            ok = ok && parseNumber(a(0), &op->handle);
            break;
    }
    if (!ok) {
        *why = std::string("bad value in '") + sessionOpName(*kind) + "'";
        return false;
    }
    if (w.size() == needed + 2) {
        std::string detail;
        if (w[needed] != "detail" || !parseQuoted(w[needed + 1], &detail)) {
            *why = "bad detail";
            return false;
        }
        op->detail = std::move(detail);
    }
    return true;
}

}  // namespace

const char* sessionOpName(SessionOpKind kind) {
    for (const auto& n : kOpNames)
        if (n.kind == kind) return n.name;
    return "?";
}

std::string quoteSessionText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20 || u > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

std::string describeSessionCall(const SessionOp& op) {
    std::string text = sessionOpName(op.kind);
    const auto add = [&text](const std::string& word) { text += " " + word; };
    switch (op.kind) {
        case SessionOpKind::kCount:
            break;
        case SessionOpKind::kProduct:
        case SessionOpKind::kOpen:
            add(std::to_string(op.index));
            break;
        case SessionOpKind::kTimeouts:
            add(std::to_string(op.first));
            add(std::to_string(op.second));
            break;
        case SessionOpKind::kWrite:
            add(std::to_string(op.handle));
            add(hexBytes(op.bytes));
            break;
        case SessionOpKind::kRead:
            add(std::to_string(op.handle));
            add(std::to_string(op.first));
            break;
        case SessionOpKind::kRxQueue:
        case SessionOpKind::kFlush:
        case SessionOpKind::kClose:
            add(std::to_string(op.handle));
            break;
    }
    return text;
}

std::string formatSessionHeader(const std::string& program, bool simulated) {
    std::string clean;
    for (char c : program) clean.push_back(c >= 0x20 && c <= 0x7E ? c : '?');
    return std::string(kSessionMagic) + "\nprogram " + clean + "\nboard " +
           (simulated ? "virtual" : "usb") + "\n";
}

std::string formatSessionOp(std::uint64_t number, const SessionOp& op) {
    std::string line = std::to_string(number) + " " + timeText(op.timeNs) + " " +
                       describeSessionCall(op) + " = " + std::to_string(op.status);
    switch (op.kind) {
        case SessionOpKind::kCount:
        case SessionOpKind::kOpen:
        case SessionOpKind::kWrite:
            line += " " + std::to_string(op.value);
            break;
        case SessionOpKind::kProduct:
            line += " " + quoteSessionText(std::string(op.data.begin(), op.data.end()));
            break;
        case SessionOpKind::kRead:
            line += " " + std::to_string(op.value) + " " + hexBytes(op.data);
            break;
        case SessionOpKind::kRxQueue:
            line += " " + std::to_string(op.value) + " " + std::to_string(op.state);
            break;
        case SessionOpKind::kTimeouts:
        case SessionOpKind::kFlush:
        case SessionOpKind::kClose:
            break;
    }
    if (op.detail) line += " detail " + quoteSessionText(*op.detail);
    line.push_back('\n');
    return line;
}

std::string formatSessionEnd(std::string_view text, std::uint64_t count) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", crcOf(text));
    return "end " + std::to_string(count) + " " + crc + "\n";
}

bool parseSessionText(std::string_view text, SessionFile* out, std::string* error) {
    *out = SessionFile{};
    std::size_t pos = 0;
    std::uint64_t lineNumber = 0;
    const auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    std::vector<std::string_view> words;
    while (pos < text.size()) {
        const std::size_t lineStart = pos;
        const std::size_t newline = text.find('\n', pos);
        ++lineNumber;
        if (newline == std::string_view::npos)
            return fail("the file is cut off in the middle of a line");
        const std::string_view line = text.substr(pos, newline - pos);
        pos = newline + 1;
        if (line.size() > kSessionMaxLine) return fail("line too long");
        for (char c : line)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
                return fail("control or non-ASCII character");
        if (lineNumber == 1) {
            if (line != kSessionMagic)
                return fail("not a session file (no \"" + std::string(kSessionMagic) + "\" line)");
            continue;
        }
        if (lineNumber == 2) {
            if (line.rfind("program ", 0) != 0) return fail("'program' line missing");
            out->program = std::string(line.substr(8));
            continue;
        }
        if (lineNumber == 3) {
            if (line == "board usb")
                out->simulated = false;
            else if (line == "board virtual")
                out->simulated = true;
            else
                return fail("'board usb' or 'board virtual' line missing");
            continue;
        }
        std::string why;
        if (!splitWords(line, &words, &why)) return fail(why);
        if (!words.empty() && words[0] == "end") {
            std::uint64_t count = 0;
            if (words.size() != 3 || !parseNumber(words[1], &count) || words[2].size() != 8)
                return fail("bad closing line");
            if (count != out->ops.size())
                return fail("the closing line counts " + std::to_string(count) +
                            " operations, the file holds " + std::to_string(out->ops.size()));
            if (formatSessionEnd(text.substr(0, lineStart), count) != std::string(line) + "\n")
                return fail("checksum mismatch: the file has been changed or damaged");
            if (pos != text.size()) return fail("text after the closing line");
            return true;
        }
        if (words.size() < 5) return fail("incomplete operation line");
        std::uint64_t number = 0;
        if (!parseNumber(words[0], &number) || number != out->ops.size() + 1)
            return fail("operation number " + std::string(words[0].substr(0, 24)) + " where " +
                        std::to_string(out->ops.size() + 1) + " was due");
        SessionOp op;
        if (!parseTime(words[1], &op.timeNs)) return fail("bad time");
        if (!parseOpWords(words, &op, &why)) return fail(why);
        out->ops.push_back(std::move(op));
    }
    ++lineNumber;
    if (lineNumber <= 4) return fail("the file ends before its first operation");
    return fail("the file ends without its closing line after operation " +
                std::to_string(out->ops.size()) + " (it was cut off)");
}

}  // namespace evkit
