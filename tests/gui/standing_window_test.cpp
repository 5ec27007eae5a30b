#include <gtest/gtest.h>

#include <QApplication>
#include <map>

#include "app/standing_window.h"
#include "sim_rig.h"

using namespace evkit;

TEST(StandingWindow, CheckMarkFollowsOpenAndCloseAndTheWindowSurvives) {
    test::SimRig rig;
    ScriptedFileDialogs dialogs;
    std::map<std::string, bool> checks;
    app::AppContext ctx{rig.session, rig.messages, rig.console, dialogs, rig.clock,
                        [&](const std::string& item, bool on) { checks[item] = on; },
                        [](const std::string&) { return nullptr; }};
    app::StandingWindow w(ctx, "MENU_DEBUG", "Debug");
    w.openFromMenu();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(checks["MENU_DEBUG"]);
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(checks["MENU_DEBUG"]);
    w.openFromMenu();
    EXPECT_TRUE(w.isVisible());
}
