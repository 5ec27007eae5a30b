#include "ui/standing_window.h"

#include <QCloseEvent>

namespace evkit::app {

StandingWindow::StandingWindow(AppContext& ctx, std::string menuItem, const QString& title,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), menuItem_(std::move(menuItem)) {
    setWindowTitle(title);
}

void StandingWindow::openFromMenu() {
    if (ctx_.setMenuChecked && !menuItem_.empty()) ctx_.setMenuChecked(menuItem_, true);
    show();
    raise();
    activateWindow();
    onOpened();
}

void StandingWindow::closeEvent(QCloseEvent* event) {
    onClosing();
    if (ctx_.setMenuChecked && !menuItem_.empty()) ctx_.setMenuChecked(menuItem_, false);
    hide();
    event->ignore();  // standing windows are hidden, never destroyed
}

}  // namespace evkit::app
