// Registers, device commands, identification, setup controls, the register dump and the
// board EEPROM: the same core calls as the register, setup and diagnostics commands of the CLI.
#include "board/connection.h"
#include "diagnostics/eeprom.h"
#include "diagnostics/register_debug.h"
#include "scpi/client_session.h"
#include "setup/setup_model.h"
#include "support/format.h"

namespace evkit::scpi {

namespace {

// A register word in the response form of a hexadecimal number: #H123456.
std::string hexResponse(std::uint32_t word, int digits = 6) {
    return strprintf("#H%0*X", digits, word);
}

const setup::ControlSpec& controlNamed(const Call& c, std::size_t i) {
    const std::string name = c.text(i);
    const auto* control = setup::findSetupControl(name);
    if (!control || control->kind == setup::ControlKind::Button)
        throw Error{code::kDataOutOfRange, "'" + name + "' is not a setup control"};
    return *control;
}

// The setup window's refresh, which every setup read and edit starts from.
void refreshed(Call& c, setup::SetupModel& model) {
    c.board(model.Refresh_Setup());
    c.board(model.refreshFailure());
}

}  // namespace

std::vector<CommandRow> registerRows() {
    using A = Access;
    return {
        {"REGister:READ?", A::kBoard,
         [](Call& c) {
             c.expect(2, 3);
             const int page = static_cast<int>(c.integer(0, 0, 255));
             const int address = static_cast<int>(c.integer(1, 0, 31));
             const int width = c.count() == 3 ? static_cast<int>(c.integer(2, 24, 32)) : 24;
             if (width != 24 && width != 32) throw Error{code::kDataOutOfRange, "width 24 or 32"};
             std::int32_t word = 0;
             c.board(c.link().readRegister(page, address, &word, width));
             const auto u = static_cast<std::uint32_t>(word);
             c.respond(width == 32 ? hexResponse(u, 8) : hexResponse(u & 0xFFFFFF));
         },
         "page,address[,24|32]: the register word, e.g. #H123456"},
        {"REGister:WRITe", A::kBoardWrite,
         [](Call& c) {
             c.expect(3, 3);
             const int page = static_cast<int>(c.integer(0, 0, 255));
             const int address = static_cast<int>(c.integer(1, 0, 31));
             const auto word = static_cast<std::uint32_t>(c.integer(2, 0, 0xFFFFFF));
             c.board(c.link().writeRegister(page, address, word));
         },
         "page,address,word: writes a 24-bit word (decimal, #H or 0x)"},
        {"REGister:COMMand", A::kBoardWrite,
         [](Call& c) {
             c.expect(1, 1);
             const int b = static_cast<int>(c.integer(0, 0, 255));
             if (!BoardLink::sendsCommand(b))
                 throw Error{code::kDataOutOfRange,
                             strprintf("command 0x%02X: %s", b, msg::kNotValid)};
             c.board(c.link().Fun_USB(b, 0, 0, 0, c.session().number_of_bits, nullptr));
         },
         "byte: sends a device command"},
        {"REGister:RAW:READ?", A::kBoard,
         [](Call& c) {
             c.expect(1, 1);
             std::int32_t word = 0;
             c.board(diagnostics::rawRead(c.link(), static_cast<int>(c.integer(0, 0, 31)), &word,
                                          c.session().number_of_bits));
             c.respond(hexResponse(static_cast<std::uint32_t>(word) & 0xFFFFFF));
         },
         "address: read on the page the device has selected"},
        {"REGister:RAW:WRITe", A::kBoardWrite,
         [](Call& c) {
             c.expect(2, 2);
             c.board(diagnostics::rawWrite(c.link(), static_cast<int>(c.integer(0, 0, 31)),
                                           static_cast<std::uint32_t>(c.integer(1, 0, 0xFFFFFF)),
                                           c.session().number_of_bits));
         },
         "address,word: write on the page the device has selected"},
        {"DEVice:IDENtify?", A::kBoard,
         [](Call& c) {
             c.expect(0, 0);
             int status = 0;
             const auto ids = query_board_id(c.link(), &status);
             c.board(status);
             const auto id = autodetect_device(c.link());
             c.board(id.status);
             c.session().chip = id.chip;
             c.respond(std::to_string(id.chip) + "," + quoted(id.name) + "," +
                       quoted(ids[0] + " " + ids[1] + " " + ids[2]));
         },
         "chip code,\"device\",\"board ID strings\""},
        {"SETup:CONTrol?", A::kBoard,
         [](Call& c) {
             c.expect(1, 1);
             const auto& control = controlNamed(c, 0);
             setup::SetupModel model(c.session(), c.instrument.board.messages);
             refreshed(c, model);
             c.respond(setup::formatControlValue(control, model.value(control)));
         },
         "\"NAME\": a setup control's value as the device holds it (names as 'setup show')"},
        {"SETup:CONTrol", A::kBoardWrite,
         [](Call& c) {
             c.expect(2, 2);
             const auto& control = controlNamed(c, 0);
             std::string error;
             const auto value = setup::parseControlValue(control, c.text(1), &error);
             if (!value) throw Error{code::kDataOutOfRange, control.name + ": " + error};
             setup::SetupModel model(c.session(), c.instrument.board.messages);
             refreshed(c, model);
             if (!model.shown(control))
                 throw Error{code::kExecutionError, control.name + " is not in force (bits 9..10)"};
             c.board(model.commit(control, *value));
         },
         "\"NAME\",value: edits a setup control (written, read back)"},
        {"SETup:RESet", A::kBoardWrite,
         [](Call& c) {
             c.expect(0, 0);
             setup::SetupModel model(c.session(), c.instrument.board.messages);
             c.board(model.reset());
             c.board(model.refreshFailure());
         },
         "resets the device's setup"},
        {"SETup:CLEar", A::kBoardWrite,
         [](Call& c) {
             c.expect(0, 0);
             setup::SetupModel model(c.session(), c.instrument.board.messages);
             refreshed(c, model);
             c.board(model.clearStatus());
         },
         "clears the status register"},
        {"DUMP?", A::kBoard,
         [](Call& c) {
             c.expect(2, 2);
             const int address = static_cast<int>(c.integer(0, 0, 31));
             const int count = static_cast<int>(c.integer(1, 1, diagnostics::kMaxBulkCount));
             BoardClaim claim(c.link(), "register dump");
             if (!claim.ok()) c.board(kStatusBusy);
             std::vector<std::int32_t> words;
             words.reserve(static_cast<std::size_t>(count));
             for (int i = 0; i < count; ++i) {
                 if (c.instrument.board.pump.cancelRequested()) c.board(kStatusCancelled);
                 std::int32_t w = 0;
                 c.board(c.link().readRegister(0, address, &w));
                 words.push_back(w & 0xFFFFFF);
             }
             c.respondIntegers(words);
         },
         "address,count: register 0:address read count times (as FORMat:DATA)"},
        {"EEPROM:READ?", A::kBoard,
         [](Call& c) {
             c.expect(0, 1);
             const int n = c.count()
                               ? static_cast<int>(c.integer(0, 0, diagnostics::kEepromBlockSize))
                               : diagnostics::kEepromBlockSize;
             diagnostics::EepromBlock block{};
             c.board(diagnostics::eepromRead(c.link(), c.instrument.board.console, block));
             std::vector<std::int32_t> bytes(block.begin(), block.begin() + n);
             c.respondIntegers(bytes);
         },
         "[n]: the first n (48) bytes of the board EEPROM"},
        {"EEPROM:WRITe", A::kBoardWrite,
         [](Call& c) {
             c.expect(1, diagnostics::kEepromMaxWriteCount);
             std::vector<std::uint8_t> bytes;
             if (c.unit.params[0].kind == Param::Kind::kBlock) {
                 c.expect(1, 1);
                 const auto& data = c.unit.params[0].text;
                 if (data.size() > static_cast<std::size_t>(diagnostics::kEepromMaxWriteCount))
                     throw Error{code::kTooMuchData, "at most 255 bytes"};
                 bytes.assign(data.begin(), data.end());
             } else {
                 for (std::size_t i = 0; i < c.count(); ++i)
                     bytes.push_back(static_cast<std::uint8_t>(c.integer(i, 0, 255)));
             }
             int written = 0;
             c.board(diagnostics::eepromWrite(c.link(), c.instrument.board.console, bytes, {},
                                              &written));
         },
         "b0,b1,... or a block: bytes written from EEPROM address 0"},
    };
}

}  // namespace evkit::scpi
