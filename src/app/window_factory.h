#pragma once
// The nine standing windows of the program, created once in their fixed order.
#include <QWidget>
#include <string>
#include <vector>

#include "ui/app_context.h"

namespace evkit::app {

class StandingWindow;

struct NamedWindow {
    std::string panel;  // "pnl_start", "pnl_setup", ...
    QWidget* window;    // top-level, owned by whoever called createStandingWindows
};

// Creates start, setup, conversion, data, calibration, debug, EEPROM, temperature and
// pulse windows, in that order; the first is the StartWindow. A window whose objectName is
// empty gets its panel name. ctx.window() lookups work once all nine exist, so windows
// look each other up when used, not while being constructed.
std::vector<NamedWindow> createStandingWindows(AppContext& ctx);

// A standing window with a title and a short note, for windows not built yet.
StandingWindow* placeholderWindow(AppContext& ctx, const char* menuItem, const char* title);

}  // namespace evkit::app
