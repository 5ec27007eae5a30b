#pragma once
// Base of the standing windows: created once, hidden (never destroyed) on close, with the
// check mark of their start-window menu item following their visibility.
#include <QWidget>
#include <string>

#include "ui/app_context.h"

namespace evkit::app {

class StandingWindow : public QWidget {
    Q_OBJECT
public:
    StandingWindow(AppContext& ctx, std::string menuItem, const QString& title,
                   QWidget* parent = nullptr);
    const std::string& menuItem() const { return menuItem_; }

    // The menu callback: check mark on, show and raise, then onOpened() (e.g. a refresh).
    void openFromMenu();

protected:
    // Hook after the window has been shown from the menu.
    virtual void onOpened() {}
    // Hook on the close request, before the window hides.
    virtual void onClosing() {}
    void closeEvent(QCloseEvent* event) override;

    AppContext& ctx_;

private:
    std::string menuItem_;
};

}  // namespace evkit::app
