#include "app/shell.h"

#include <QVariant>
#include <cmath>

#include "app/start_window.h"
#include "board/usb_id.h"

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
    if (start_) start_->onBoardNamed = [this](const std::string& name) { nameBoard(name); };
}

void Shell::nameBoard(const std::string& name) {
    for (const auto& w : windows_) {
        // The window's own title is kept beside it the first time a name is added.
        QVariant base = w.window->property("evkitBaseTitle");
        if (!base.isValid()) {
            base = w.window->windowTitle();
            w.window->setProperty("evkitBaseTitle", base);
        }
        w.window->setWindowTitle(name.empty() ? base.toString()
                                              : base.toString() + QString::fromUtf8(" \u2014 ") +
                                                    QString::fromStdString(escapeUsbString(name)));
    }
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
