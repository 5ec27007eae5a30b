#include <gtest/gtest.h>

#include "ui/standing_window.h"
#include "panel_context.h"

using namespace evkit;

TEST(StandingWindow, CheckMarkFollowsOpenAndCloseAndTheWindowSurvives) {
    test::PanelContext p;
    auto& checks = p.checks;
    app::StandingWindow w(p.ctx, "MENU_DEBUG", "Debug");
    w.openFromMenu();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(checks["MENU_DEBUG"]);
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(checks["MENU_DEBUG"]);
    w.openFromMenu();
    EXPECT_TRUE(w.isVisible());
}
