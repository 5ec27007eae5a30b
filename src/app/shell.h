#pragma once
// The running program's frame: the application context over one session, the nine
// standing windows, and the link between the board link and the start window's menu.
#include <string>
#include <vector>

#include "app/window_factory.h"
#include "ui/app_context.h"

namespace evkit::app {

class StartWindow;

class Shell {
  public:
    // The session's link must use the same messages; its pump serves long operations.
    Shell(Session& session, Messages& messages, Console& console, FileDialogs& dialogs,
          Clock& clock);
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    StartWindow& start() const { return *start_; }
    // A standing window by panel name ("pnl_data"); nullptr when unknown.
    QWidget* window(const std::string& panel) const;
    const std::vector<NamedWindow>& windows() const { return windows_; }
    AppContext& context() { return ctx_; }
    // Adds " — NAME" to every window's title (the board's serial, so that two programs on
    // two boards are told apart); "" puts the titles back.
    void nameBoard(const std::string& name);

  private:
    AppContext ctx_;
    std::vector<NamedWindow> windows_;
    StartWindow* start_ = nullptr;
};

}  // namespace evkit::app
