#pragma once
// The command the user gave last (a button clicked, a menu item or its shortcut chosen) and
// the window it was given in, watched application-wide in one place: the console names it
// as the cause of the lines printed after it. Another input that is no command (a click
// outside a button, Enter in a box) forgets it, so no later line is put on a command that
// did not cause it.
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace evkit::app {

class UserCommandTracker : public QObject {
  public:
    // Watches the application's events (nothing when there is no application yet).
    UserCommandTracker();
    ~UserCommandTracker() override;

    // "Board EEPROM \u25B8 Read", or empty when no command is known.
    QString lastCommand() const;
    void forget();

    // A command's text as the user reads it: the '&' of mnemonics removed ("&&" is one '&'),
    // a shortcut after a tab dropped, a trailing '\u2026' or "..." kept.
    static QString commandText(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The command `text` given in the window of `where`.
    void remember(const QWidget* where, const QString& text);

    QString window_;
    QString command_;
};

}  // namespace evkit::app
