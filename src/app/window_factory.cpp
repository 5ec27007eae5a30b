#include "app/window_factory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/standing_window.h"
#include "app/start_window.h"
#include "calibration/calibration_panel.h"
#include "collection/data_collection_panel.h"
#include "conversion/conversion_panel.h"
#include "diagnostics/debug_panel.h"
#include "diagnostics/eeprom_panel.h"
#include "pulse/pulse_panel.h"
#include "setup/setup_panel.h"
#include "temperature/temperature_panel.h"

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
    w.push_back({"pnl_setup", new SetupPanel(ctx)});
    w.push_back({"pnl_conv", new conversion::ConversionPanel(ctx)});
    w.push_back({"pnl_data", new DataCollectionPanel(ctx)});
    w.push_back({"pnl_cal", new CalibrationPanel(ctx)});
    w.push_back({"pnl_debug", new DebugPanel(ctx)});
    w.push_back({"pnl_eeprom", new EepromPanel(ctx)});
    w.push_back({"pnl_temp", new TemperaturePanel(ctx)});
    w.push_back({"pnl_pulse", new PulsePanel(ctx)});
    for (auto& [panel, window] : w)
        if (window->objectName().isEmpty()) window->setObjectName(QString::fromStdString(panel));
    return w;
}

}  // namespace evkit::app
