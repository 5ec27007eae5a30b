#pragma once
// Base of the standing windows: created once, hidden (never destroyed) on close, with the
// check mark of their start-window menu item following their visibility.
#include <QWidget>
#include <string>

#include "ui/app_context.h"

class QLabel;

namespace evkit::app {

// `wanted`, at most the available screen area of `window` less room for a title bar and frame.
QSize fittedToScreen(const QWidget& window, QSize wanted);

class StandingWindow : public QWidget {
    Q_OBJECT
  public:
    StandingWindow(AppContext& ctx, std::string menuItem, const QString& title,
                   QWidget* parent = nullptr);
    const std::string& menuItem() const { return menuItem_; }

    // The menu callback: check mark on, show and raise, then onOpened() (e.g. a refresh).
    void openFromMenu();
    // A transient line at the foot of the window (a refused command, for instance); it
    // disappears by itself and never waits for the user.
    void showNotice(const QString& text);

  protected:
    // Hook after the window has been shown from the menu.
    virtual void onOpened() {}
    // Hook on the close request, before the window hides.
    virtual void onClosing() {}
    void closeEvent(QCloseEvent* event) override;
    // For windows larger than a small screen: the widget to lay the window's contents out
    // on, inside a scroll area that fills the window (called once, before the contents).
    QWidget* scrollingContent();
    // Sizes the window to `preferred` (its contents' size when not given), at most the
    // available screen area (call after the contents are built).
    void fitToScreen(QSize preferred = {});

    AppContext& ctx_;

  private:
    std::string menuItem_;
    QLabel* notice_ = nullptr;
    QWidget* content_ = nullptr;
};

}  // namespace evkit::app
