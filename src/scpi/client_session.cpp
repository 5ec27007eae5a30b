#include "scpi/client_session.h"

#include <cctype>
#include <cstring>

#include "scpi/message_framer.h"
#include "support/format.h"

namespace evkit::scpi {

namespace {
constexpr int kMaxAuthFailures = 3;

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isAuth(const Unit& u) {
    return !u.common && !u.query && u.nodes.size() == 2 &&
           (u.nodes[0] == "SYST" || u.nodes[0] == "SYSTEM") &&
           (u.nodes[1] == "AUTH" || u.nodes[1] == "AUTHENTICATE");
}
}  // namespace

void ClientState::pushError(int c, const std::string& detail) {
    errors.push(c, detail);
    esr |= esrBitOf(c);
}

// --- Call ---------------------------------------------------------------------------------

void Call::expect(std::size_t min, std::size_t max) const {
    if (count() < min) throw Error{code::kMissingParameter, strprintf("%zu expected", min)};
    if (count() > max) throw Error{code::kParameterNotAllowed, strprintf("at most %zu", max)};
}

std::int64_t Call::integer(std::size_t i, std::int64_t min, std::int64_t max) const {
    if (i >= count()) throw Error{code::kMissingParameter, {}};
    const Param& p = unit.params[i];
    const auto v = p.kind == Param::Kind::kToken ? parseInteger(p.text) : std::nullopt;
    if (!v) throw Error{code::kDataTypeError, "integer expected"};
    if (*v < min || *v > max)
        throw Error{code::kDataOutOfRange,
                    strprintf("%lld not in %lld..%lld", static_cast<long long>(*v),
                              static_cast<long long>(min), static_cast<long long>(max))};
    return *v;
}

double Call::number(std::size_t i, double min, double max) const {
    if (i >= count()) throw Error{code::kMissingParameter, {}};
    const Param& p = unit.params[i];
    const auto v = p.kind == Param::Kind::kToken ? parseNumber(p.text) : std::nullopt;
    if (!v) throw Error{code::kDataTypeError, "number expected"};
    if (*v < min || *v > max)
        throw Error{code::kDataOutOfRange, strprintf("%g not in %g..%g", *v, min, max)};
    return *v;
}

std::string Call::text(std::size_t i) const {
    if (i >= count()) throw Error{code::kMissingParameter, {}};
    if (unit.params[i].kind == Param::Kind::kBlock)
        throw Error{code::kDataTypeError, "text expected"};
    return unit.params[i].text;
}

int Call::choice(std::size_t i, const std::vector<std::string>& choices) const {
    const std::string t = upper(text(i));
    for (std::size_t k = 0; k < choices.size(); ++k) {
        std::string shortForm;
        for (char c : choices[k])
            if (std::isupper(static_cast<unsigned char>(c)) ||
                std::isdigit(static_cast<unsigned char>(c)))
                shortForm += c;
            else
                break;
        if (t == shortForm || t == upper(choices[k])) return static_cast<int>(k);
    }
    throw Error{code::kDataOutOfRange, "unknown choice " + unit.params[i].text};
}

void Call::respondIntegers(const std::vector<std::int32_t>& values) {
    if (client.ascii) {
        std::string s;
        s.reserve(values.size() * 9);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i) s += ',';
            s += std::to_string(values[i]);
        }
        respond(std::move(s));
        return;
    }
    std::string s = blockHeader(values.size() * 4);
    s.reserve(s.size() + values.size() * 4);
    for (const std::int32_t v : values) {
        const auto u = static_cast<std::uint32_t>(v);
        char b[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                     static_cast<char>((u >> 16) & 0xFF), static_cast<char>(u >> 24)};
        if (!client.swapped) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
        s.append(b, 4);
    }
    respond(std::move(s));
}

void Call::board(int status) {
    if (status == 0) return;
    auto shown = instrument.board.messages.end();
    instrument.board.messages.begin();
    std::string text;
    for (const auto& m : shown) text += (text.empty() ? "" : " ") + m;
    if (status == kStatusBusy && text.empty()) text = "busy";
    if (status == kStatusCancelled && text.empty()) text = "aborted";
    if (text.empty()) text = strprintf("board status %d", status);
    throw Error{code::kHardwareError, text};
}

std::string blockHeader(std::size_t bytes) {
    const std::string length = std::to_string(bytes);
    std::string h(1, '#');
    h += std::to_string(length.size());
    h += length;
    return h;
}

std::string quoted(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

std::string csv(const std::vector<double>& values) {
    std::string s;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) s += ',';
        s += strprintf("%.6f", values[i]);
    }
    return s;
}

// --- ClientSession --------------------------------------------------------------------------

ClientSession::ClientSession(Instrument& instrument, std::uint64_t id, std::string peer)
    : instrument_(instrument) {
    state_.id = id;
    state_.peer = std::move(peer);
    state_.authenticated = instrument.options.token.empty();
}

const CommandRow* ClientSession::lookup(const Unit& u, std::vector<std::string>* matched) const {
    const auto& table = instrument_.table();
    if (u.common) {
        if (matched) matched->clear();
        return table.find(u.nodes, true, u.query);
    }
    if (!u.absolute && !path_.empty()) {
        std::vector<std::string> full = path_;
        full.insert(full.end(), u.nodes.begin(), u.nodes.end());
        if (const auto* r = table.find(full, false, u.query)) {
            if (matched) *matched = full;
            return r;
        }
    }
    if (matched) *matched = u.nodes;
    return table.find(u.nodes, false, u.query);
}

bool ClientSession::needsBoard(std::string_view message) const {
    if (!state_.authenticated) return false;
    const auto parsed = parseMessage(message);
    // The path moves as the units run; follow it the same way.
    ClientSession probe(*this);
    for (const auto& u : parsed.units) {
        std::vector<std::string> matched;
        const auto* row = probe.lookup(u, &matched);
        if (row && row->access != Access::kLocal) return true;
        if (row && !u.common && !matched.empty())
            probe.path_.assign(matched.begin(), matched.end() - 1);
    }
    return false;
}

void ClientSession::rejectOverlong() {
    state_.pushError(code::kTooMuchData,
                     strprintf("message longer than %zu bytes, dropped", kMaxMessageBytes));
}

void ClientSession::runUnit(const Unit& u, Instrument::Availability board,
                            std::vector<std::string>& answers) {
    if (!state_.authenticated && !isAuth(u)) {
        ++state_.authFailures;
        if (state_.authFailures >= kMaxAuthFailures) state_.closeRequested = true;
        throw Error{code::kCommandProtected, "authenticate first with SYSTem:AUTH"};
    }
    std::vector<std::string> matched;
    const CommandRow* row = lookup(u, &matched);
    if (!row) {
        std::string header(u.common ? 1 : 0, '*');
        for (std::size_t i = 0; i < u.nodes.size(); ++i) {
            if (i) header += ':';
            header += u.nodes[i];
        }
        if (u.query) header += '?';
        throw Error{code::kUndefinedHeader, header};
    }
    if (!u.common && !matched.empty()) path_.assign(matched.begin(), matched.end() - 1);
    auto& b = instrument_.board;
    if (row->access == Access::kBoardWrite && instrument_.options.readOnly)
        throw Error{code::kCommandProtected, "command protected: the server is read-only"};
    if (row->access != Access::kLocal) {
        if (board == Instrument::Availability::kLocked)
            throw Error{code::kHardwareError, "busy: another client holds the lock (SYSTem:LOCK)"};
        if (board == Instrument::Availability::kBusy)
            throw Error{code::kHardwareError,
                        "busy: the board is running another client's command"};
        if (b.link.busy())
            throw Error{code::kHardwareError, "busy: " + b.link.owner() + " owns the board"};
        if (b.link.insideEventProcessing())
            throw Error{code::kHardwareError, "busy: another operation owns the board"};
    }
    Call call{u, state_, instrument_, {}, false};
    if (row->access != Access::kLocal) {
        b.messages.begin();
        try {
            row->handler(call);
        } catch (...) {
            b.messages.end();
            throw;
        }
        b.messages.end();
    } else {
        row->handler(call);
    }
    if (call.answered) answers.push_back(std::move(call.response));
}

std::string ClientSession::execute(std::string_view message, Instrument::Availability board) {
    const auto parsed = parseMessage(message);
    std::vector<std::string> answers;
    for (const auto& u : parsed.units) {
        try {
            runUnit(u, board, answers);
        } catch (const Error& e) {
            state_.pushError(e.code, e.detail);
        }
        if (state_.closeRequested) break;
    }
    if (parsed.error && !state_.closeRequested) {
        if (!state_.authenticated) {
            ++state_.authFailures;
            if (state_.authFailures >= kMaxAuthFailures) state_.closeRequested = true;
        }
        state_.pushError(parsed.error->code, parsed.error->detail);
    }
    if (answers.empty()) return {};
    std::string out;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        if (i) out += ';';
        out += answers[i];
    }
    out += '\n';
    return out;
}

}  // namespace evkit::scpi
