#pragma once
// Qt implementations of the seams used by the desktop program. Tests replace each of them
// (RecordingMessages, RecordingConsole, NullPump, ScriptedFileDialogs).
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "support/console.h"
#include "support/file_dialogs.h"
#include "support/messages.h"
#include "support/pump.h"

class QPlainTextEdit;

namespace evkit::app {

class UserCommandTracker;

// Modal message boxes with the exact title and text. Safe to call from inside a board
// operation that processes events (the box is application-modal, so no other window takes
// input while it is open) and from a worker thread (the box is then shown by the
// user-interface thread as soon as it processes events).
class QtMessages : public Messages {
  public:
    void show(std::string_view title, std::string_view text) override;
};

// The console window: low-level diagnostics are appended to it; it appears when something
// is printed. 450 x 250 at (200, 200), hidden at start. Each line starts with its time and
// its source: the window and the command the user gave last ("Board EEPROM \u25B8 Read"),
// or the active window's title while no command is known.
class QtConsole : public Console {
  public:
    QtConsole();
    ~QtConsole() override;
    void print(std::string_view text) override;
    void hide() override;
    QWidget* window() const { return window_; }

  private:
    void append(const QString& text);
    QPointer<QWidget> window_;
    QPlainTextEdit* text_ = nullptr;
    std::unique_ptr<UserCommandTracker> commands_;
    bool atLineStart_ = true;  // the next text starts a line: it gets its time and source
};

// Event processing during long waits, and the stop flag that stop buttons set.
class QtPump : public Pump {
  public:
    void processEvents() override;
    bool cancelRequested() override { return cancel_.load(); }
    void requestCancel() override { cancel_ = true; }
    void clearCancel() override { cancel_ = false; }

  private:
    std::atomic<bool> cancel_{false};
};

// Qt file dialogs. A pattern such as "*.dat" becomes the dialog's first filter.
class QtFileDialogs : public FileDialogs {
  public:
    std::optional<std::string> openFile(const std::string& title,
                                        const std::string& pattern) override;
    std::optional<std::string> saveFile(const std::string& title, const std::string& pattern,
                                        const std::string& suggestedName) override;
    // A non-modal save dialog: the event loop below it (and a board operation waiting in
    // it) carries on; `done` runs when the dialog is accepted or closed.
    void saveFileLater(const std::string& title, const std::string& pattern,
                       const std::string& suggestedName, Answer done) override;
    // The filter text for a pattern ("*.dat" -> "*.dat files (*.dat);;All files (*)").
    static QString filterFor(const std::string& pattern);
};

}  // namespace evkit::app
