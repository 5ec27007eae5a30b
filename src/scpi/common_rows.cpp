// IEEE 488.2 common commands, the SYSTem subsystem (errors, lock, authentication) and the
// data format. None of them talks to the board.
#include "scpi/client_session.h"
#include "support/format.h"

namespace evkit::scpi {

namespace {

// Compares in time that does not depend on where the texts differ.
bool sameSecret(const std::string& a, const std::string& b) {
    unsigned diff = static_cast<unsigned>(a.size() ^ b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i]) ^
                static_cast<unsigned char>(b.empty() ? 0 : b[i % b.size()]);
    return diff == 0;
}

int statusByte(const ClientState& c) {
    int stb = 0;
    if (!c.errors.empty()) stb |= 0x04;     // error/event queue not empty
    if ((c.esr & c.ese) != 0) stb |= 0x20;  // event status summary
    if ((stb & c.sre) != 0) stb |= 0x40;    // master summary
    return stb;
}

void resetClient(ClientState& c) {
    c.ascii = false;
    c.swapped = true;
    c.fftWindow = 4;
}

}  // namespace

std::vector<CommandRow> commonRows() {
    using A = Access;
    return {
        {"*IDN?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             const auto& id = c.instrument.identity;
             std::string idn = "EVKIT714,";
             idn += id.model;
             idn += ',';
             idn += id.serial;
             idn += ',';
             idn += id.version;
             c.respond(std::move(idn));
         },
         "maker, identified device, board serial, program version"},
        {"*RST", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             resetClient(c.client);
         },
         "this client's settings (format, byte order, FFT window) to their defaults"},
        {"*CLS", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.client.errors.clear();
             c.client.esr = 0;
         },
         "clears the error queue and the event status register"},
        {"*OPC", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.client.esr |= kEsrOperationComplete;
         },
         "sets operation complete in the event status register"},
        {"*OPC?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond("1");
         },
         "1 once every command before it has finished"},
        {"*WAI", A::kLocal, [](Call& c) { c.expect(0, 0); }, "waits for the commands before it"},
        {"*ESR?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(std::to_string(c.client.esr));
             c.client.esr = 0;
         },
         "event status register (read and cleared)"},
        {"*ESE", A::kLocal,
         [](Call& c) {
             c.expect(1, 1);
             c.client.ese = static_cast<int>(c.integer(0, 0, 255));
         },
         "event status enable"},
        {"*ESE?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(std::to_string(c.client.ese));
         },
         ""},
        {"*SRE", A::kLocal,
         [](Call& c) {
             c.expect(1, 1);
             c.client.sre = static_cast<int>(c.integer(0, 0, 255) & 0xBF);
         },
         "service request enable"},
        {"*SRE?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(std::to_string(c.client.sre));
         },
         ""},
        {"*STB?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(std::to_string(statusByte(c.client)));
         },
         "status byte: 4 errors queued, 32 event summary, 64 master summary"},
        {"*TST?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond("0");
         },
         "self-test: 0"},
        {"SYSTem:ERRor[:NEXT]?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(c.client.errors.pop());
         },
         "oldest error: code,\"text\""},
        {"SYSTem:ERRor:COUNt?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(std::to_string(c.client.errors.size()));
         },
         "errors queued"},
        {"SYSTem:VERSion?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond("1999.0");
         },
         "command language version"},
        {"SYSTem:LOCK[:REQuest]", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             if (!c.instrument.lock(c.client.id))
                 throw Error{code::kHardwareError, "busy: another client holds the lock"};
         },
         "takes control of the board; others get -240 for board commands"},
        {"SYSTem:LOCK:RELease", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.instrument.unlock(c.client.id);
         },
         "gives control back"},
        {"SYSTem:LOCK?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             const auto owner = c.instrument.lockOwner();
             c.respond(owner == 0 ? "0" : owner == c.client.id ? "1" : "-1");
         },
         "1 held by this client, -1 by another, 0 free"},
        {"SYSTem:AUTHenticate", A::kLocal,
         [](Call& c) {
             c.expect(1, 1);
             const std::string& token = c.instrument.options.token;
             if (token.empty() || c.client.authenticated) return;
             if (sameSecret(c.text(0), token)) {
                 c.client.authenticated = true;
                 c.instrument.note(c.client.peer + " authenticated");
                 return;
             }
             ++c.client.authFailures;
             c.instrument.note(c.client.peer + " authentication failed (" +
                               std::to_string(c.client.authFailures) + ")");
             if (c.client.authFailures >= 3) c.client.closeRequested = true;
             throw Error{code::kCommandProtected, "wrong token"};
         },
         "the token of --token-file, first of all"},
        {"FORMat[:DATA]", A::kLocal,
         [](Call& c) {
             c.expect(1, 2);
             c.client.ascii = c.choice(0, {"ASCii", "INTeger"}) == 0;
             if (c.count() == 2) {
                 if (c.client.ascii)
                     throw Error{code::kParameterNotAllowed, "ASCii takes no length"};
                 c.integer(1, 32, 32);
             }
         },
         "ASCii or INTeger,32: how captures and dumps are sent"},
        {"FORMat[:DATA]?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(c.client.ascii ? "ASC" : "INT,32");
         },
         ""},
        {"FORMat:BORDer", A::kLocal,
         [](Call& c) {
             c.expect(1, 1);
             c.client.swapped = c.choice(0, {"NORMal", "SWAPped"}) == 1;
         },
         "byte order of binary blocks: SWAPped (default, least significant first) or NORMal"},
        {"FORMat:BORDer?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(c.client.swapped ? "SWAP" : "NORM");
         },
         ""},
        {"ABORt", A::kLocal, [](Call& c) { c.expect(0, 0); },
         "ends this client's running capture, FFT or monitor update, board left at rest"},
        {"SYSTem:HELP:HEADers?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             std::string s;
             for (const auto& r : c.instrument.table().rows()) s += r.pattern + "\n";
             s.pop_back();
             c.respond(blockHeader(s.size()) + s);
         },
         "every command pattern, as a block"},
    };
}

}  // namespace evkit::scpi
