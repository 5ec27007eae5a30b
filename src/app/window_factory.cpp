#include "app/window_factory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/standing_window.h"
#include "app/start_window.h"

namespace evkit::app {

StandingWindow* placeholderWindow(AppContext& ctx, const char* menuItem, const char* title) {
    auto* w = new StandingWindow(ctx, menuItem, title);
    auto* layout = new QVBoxLayout(w);
    auto* note =
        new QLabel(QString("%1: this window is not available in this build.").arg(title), w);
    note->setWordWrap(true);
    layout->addWidget(note);
    w->resize(360, 120);
    return w;
}

std::vector<NamedWindow> createStandingWindows(AppContext& ctx) {
    // One line per window, in load order. To use a finished window, replace its
    // placeholderWindow(...) with `new XxxPanel(ctx)` (and include its header).
    std::vector<NamedWindow> w;
    w.push_back({"pnl_start", new StartWindow(ctx)});
    w.push_back({"pnl_setup", placeholderWindow(ctx, "MENU_SETUP", "Device Setup")});
    w.push_back({"pnl_conv", placeholderWindow(ctx, "MENU_CONVERSION", "Conversion Monitor")});
    w.push_back({"pnl_data", placeholderWindow(ctx, "MENU_COLLECTION", "Data Collection")});
    w.push_back({"pnl_cal", placeholderWindow(ctx, "MENU_CALIBRATION", "Calibration")});
    w.push_back({"pnl_debug", placeholderWindow(ctx, "MENU_DEBUG", "Register Debug")});
    w.push_back({"pnl_eeprom", placeholderWindow(ctx, "MENU_EEPROM", "Board EEPROM")});
    w.push_back({"pnl_temp", placeholderWindow(ctx, "", "Temperature Sensor")});
    w.push_back({"pnl_pulse", placeholderWindow(ctx, "MENU_PULSE", "Energy Pulse Output")});
    for (auto& [panel, window] : w)
        if (window->objectName().isEmpty()) window->setObjectName(QString::fromStdString(panel));
    return w;
}

}  // namespace evkit::app
