#pragma once
// What every window of the desktop program is given: the session and the seams.
#include <functional>
#include <string>

#include "board/session.h"
#include "support/clock.h"
#include "support/console.h"
#include "support/file_dialogs.h"
#include "support/messages.h"
#include "support/pump.h"

class QWidget;

namespace evkit::app {

struct AppContext {
    Session& session;
    Messages& messages;
    Console& console;
    FileDialogs& dialogs;
    Clock& clock;
    // Sets the check mark of a start-window menu item by role name ("MENU_SETUP").
    std::function<void(const std::string& menuItem, bool checked)> setMenuChecked;
    // Another standing window by its panel name ("pnl_temp"); nullptr when absent.
    std::function<QWidget*(const std::string& panel)> window;
};

}  // namespace evkit::app
