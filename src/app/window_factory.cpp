#include "app/window_factory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/start_window.h"
#include "calibration/calibration_panel.h"
#include "collection/data_collection_panel.h"
#include "conversion/conversion_panel.h"
#include "diagnostics/debug_panel.h"
#include "diagnostics/eeprom_panel.h"
#include "metrology/accuracy_window.h"
#include "metrology/scaling_dialog.h"
#include "metrology/virtual_source_window.h"
#include "pulse/pulse_panel.h"
#include "setup/setup_panel.h"
#include "temperature/temperature_panel.h"
#include "ui/standing_window.h"

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

namespace {

template <typename T>
T* find(const std::vector<NamedWindow>& windows, const char* panel) {
    for (const auto& [name, window] : windows)
        if (name == panel) return dynamic_cast<T*>(window);
    return nullptr;
}

// The conversion log header takes the setup and calibration values as their windows show
// them; a window that has not shown its values yet is read from the device instead.
void connectLogHeader(const std::vector<NamedWindow>& windows) {
    auto* conv = find<conversion::ConversionPanel>(windows, "pnl_conv");
    auto* setup = find<SetupPanel>(windows, "pnl_setup");
    auto* cal = find<CalibrationPanel>(windows, "pnl_cal");
    if (!conv || !setup || !cal) return;
    auto fromDevice = conv->headerSource;
    conv->headerSource = [fromDevice, setup, cal]() -> std::optional<conversion::LogHeaderValues> {
        const setup::SetupValues& shown = setup->values();
        const auto numbers = cal->shownNumbers();
        std::optional<conversion::LogHeaderValues> v;
        if (!shown.refreshed || !numbers) v = fromDevice();
        if (!v) {
            if (!shown.refreshed || !numbers) return std::nullopt;
            v.emplace();
        }
        if (shown.refreshed)
            conversion::setSetupHeaderFields(*v, shown.configFields, shown.controlFields,
                                             shown.opmodeFields);
        if (numbers) conversion::setCalibrationHeaderNumbers(*v, *numbers);
        return v;
    };
}

}  // namespace

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
    w.push_back({"pnl_scaling", new metrology::ScalingDialog(ctx)});
    w.push_back({"pnl_source", new metrology::VirtualSourceWindow(ctx)});
    w.push_back({"pnl_accuracy", new metrology::AccuracyWindow(ctx)});
    for (auto& [panel, window] : w)
        if (window->objectName().isEmpty()) window->setObjectName(QString::fromStdString(panel));
    connectLogHeader(w);
    return w;
}

}  // namespace evkit::app
