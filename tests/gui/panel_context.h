#pragma once
// A window's context over a fresh virtual board: recorded messages, scripted file dialogs,
// menu check marks kept in `checks`, no other windows.
#include <map>
#include <string>

#include "ui/app_context.h"
#include "sim_rig.h"
#include "support/file_dialogs.h"

namespace evkit::test {

struct PanelContext {
    SimRig rig;
    ScriptedFileDialogs dialogs;
    std::map<std::string, bool> checks;
    app::AppContext ctx{rig.session,
                        rig.messages,
                        rig.console,
                        dialogs,
                        rig.clock,
                        [this](const std::string& item, bool on) { checks[item] = on; },
                        [](const std::string&) { return nullptr; }};
};

}  // namespace evkit::test
