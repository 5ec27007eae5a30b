#include "app/shell.h"

#include <cmath>

#include "app/start_window.h"

namespace evkit::app {

Shell::Shell(Session& session, Messages& messages, Console& console, FileDialogs& dialogs,
             Clock& clock)
    : ctx_{session, messages, console, dialogs, clock, {}, {}} {
    session.range = static_cast<std::int32_t>(std::pow(2.0, session.number_of_bits - 1));
    ctx_.setMenuChecked = [this](const std::string& item, bool checked) {
        if (start_) start_->setMenuChecked(item, checked);
    };
    ctx_.window = [this](const std::string& panel) { return window(panel); };
    windows_ = createStandingWindows(ctx_);
    start_ = qobject_cast<StartWindow*>(windows_.front().window);
    session.link.onConnectionLost = [this] {
        if (start_) start_->connectionLost();
    };
    session.link.onBusyNotice = [this](const std::string& text) {
        if (start_) start_->busyNotice(QString::fromStdString(text));
    };
}

Shell::~Shell() {
    ctx_.session.link.onConnectionLost = nullptr;
    ctx_.session.link.onBusyNotice = nullptr;
    start_ = nullptr;
    auto windows = std::move(windows_);
    windows_.clear();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) delete it->window;
}

QWidget* Shell::window(const std::string& panel) const {
    for (const auto& w : windows_)
        if (w.panel == panel) return w.window;
    return nullptr;
}

}  // namespace evkit::app
