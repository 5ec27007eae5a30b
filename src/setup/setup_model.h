#pragma once
// What the device setup window shows and how each of its controls edits the device.
//
// Every control of the window is a row of the control table (setup_controls.h). The window
// and the command line both go through SetupModel::commit with a control and a value, so
// both edit the device the same way: build the register word (the typed word, the packed
// fields, or the value converted with the register's entry rule), write it, read it back
// and keep what the device holds. When the read-back fails the previous
// values stay, so the window never shows a value that did not come from the device.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "board/session.h"
#include "setup/setup_controls.h"
#include "support/messages.h"

namespace evkit::setup {

// Status of an entry that was refused before anything was sent.
constexpr int kStatusRefusedEntry = -200;

class SetupModel {
  public:
    SetupModel(Session& session, Messages& messages) : session_(session), messages_(messages) {}

    // Reads every register the window shows, in the window's fixed order. Only the first
    // read is decisive: when it fails nothing changes and its status is returned. A later
    // read that fails keeps that register's previous values (see wasRead, refreshFailure).
    // When the board is found gone the refresh stops there, having said so once.
    int Refresh_Setup();
    // The status of the first read after the first that failed in the last refresh (0 when
    // every register was read).
    int refreshFailure() const { return refreshFailure_; }
    // False for a control whose register could not be read in the last refresh: what it
    // shows did not come from the device then.
    bool wasRead(const ControlSpec& control) const;
    // Device command 0xF4 (power-on defaults), one second's wait, then the refresh.
    // Returns the command's status when it failed, else the refresh's.
    int reset();
    // Writes all ones to the status register (clearing its bits) and reads it back.
    int clearStatus();
    // Commits `value` to the control as the window does on the control's commit event.
    // Returns 0, the first failing board status, or kStatusRefusedEntry (message shown).
    int commit(const ControlSpec& control, double value);
    int commit(std::string_view controlName, double value);
    // Whether the last commit read its register back (even when its write failed): the
    // register's controls then show the device's word.
    bool committedReadBack() const { return committedReadBack_; }

    // What the control shows now.
    double value(const ControlSpec& control) const;
    // False for the bits 2..3 ring of the operational mode that the selector hides.
    bool shown(const ControlSpec& control) const;

    const SetupValues& values() const { return values_; }
    Session& session() { return session_; }

  private:
    struct Exchange {
        int status = 0;                         // first failing status, 0 when both worked
        std::optional<std::uint32_t> readBack;  // the device's word, when the read worked
    };
    Exchange writeReadBack(RegisterRef reg, std::uint32_t word);
    void decodeInto(RegisterGroup group, std::uint32_t word, SetupValues& values) const;

    Session& session_;
    Messages& messages_;
    SetupValues values_;
    int refreshFailure_ = 0;
    bool committedReadBack_ = false;
    std::vector<RegisterRef> unread_;  // registers the last refresh could not read
};

}  // namespace evkit::setup
