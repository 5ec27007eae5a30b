#include "ui/user_commands.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

namespace evkit::app {

namespace {

constexpr const char* kWatched = "evkitCommandWatched";

// The window a menu belongs to, not the menu's own popup.
const QWidget* ownerWindow(const QWidget* w) {
    while (w && qobject_cast<const QMenu*>(w) && w->parentWidget()) w = w->parentWidget();
    return w ? w->window() : nullptr;
}

bool isCommandWidget(const QObject* o) {
    return qobject_cast<const QAbstractButton*>(o) || qobject_cast<const QMenu*>(o) ||
           qobject_cast<const QMenuBar*>(o);
}

bool isChoosable(const QAction* a) {
    return a && a->isEnabled() && !a->isSeparator() && !a->menu();
}

}  // namespace

UserCommandTracker::UserCommandTracker() {
    if (qApp) qApp->installEventFilter(this);
}

UserCommandTracker::~UserCommandTracker() {
    if (qApp) qApp->removeEventFilter(this);
}

QString UserCommandTracker::lastCommand() const {
    if (command_.isEmpty()) return {};
    return window_ + QString::fromUtf8(" \u25B8 ") + command_;
}

void UserCommandTracker::forget() {
    window_.clear();
    command_.clear();
}

QString UserCommandTracker::commandText(const QString& text) {
    const QString shown = text.section('\t', 0, 0);
    QString out;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        // A mnemonic's '&' goes, the letter after it stays; "&&" is one '&'.
        if (shown[i] == '&' && ++i >= shown.size()) break;
        out += shown[i];
    }
    return out.trimmed();
}

void UserCommandTracker::remember(const QWidget* where, const QString& text) {
    const QString command = commandText(text);
    if (command.isEmpty()) {
        forget();
        return;
    }
    const QWidget* window = ownerWindow(where);
    window_ = window ? window->windowTitle().remove("[*]") : QString();
    if (window_.isEmpty()) window_ = "EVKIT714";
    command_ = command;
}

bool UserCommandTracker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Polish:
            // Every button, once: `pressed` comes before `clicked` (by mouse, key or click()),
            // so the command is known before its handler prints anything.
            if (auto* b = qobject_cast<QAbstractButton*>(watched);
                b && !b->property(kWatched).toBool()) {
                b->setProperty(kWatched, true);
                connect(b, &QAbstractButton::pressed, this,
                        [this, b] { remember(b, b->text().isEmpty() ? b->toolTip() : b->text()); });
            }
            break;
        case QEvent::MouseButtonPress:
            if (watched->isWidgetType() && !isCommandWidget(watched)) forget();
            break;
        case QEvent::MouseButtonRelease:
            // A menu item chosen with the mouse: the menu triggers it on this release.
            if (auto* menu = qobject_cast<QMenu*>(watched)) {
                const auto* e = static_cast<QMouseEvent*>(event);
                QAction* a = menu->actionAt(e->position().toPoint());
                if (isChoosable(a)) remember(menu, a->text());
            }
            break;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Return && key != Qt::Key_Enter) break;
            if (auto* menu = qobject_cast<QMenu*>(watched)) {
                if (QAction* a = menu->activeAction(); isChoosable(a)) remember(menu, a->text());
            } else if (watched->isWidgetType() && !isCommandWidget(watched)) {
                forget();  // Enter in a box; a default button it presses is remembered after
            }
            break;
        }
        case QEvent::Shortcut:
            // A menu item's shortcut is delivered to the action itself.
            if (auto* a = qobject_cast<QAction*>(watched); isChoosable(a)) {
                const QWidget* where = nullptr;
                for (QObject* o : a->associatedObjects())
                    if (o->isWidgetType()) {
                        where = static_cast<QWidget*>(o);
                        break;
                    }
                remember(where, a->text());
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace evkit::app
